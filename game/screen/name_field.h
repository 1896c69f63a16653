// The one-line name editor that renaming the board and the sysop share: a
// 30-cell field prefilled with the old name, letters typed in capitals.
#pragma once

#include <cstddef>

inline constexpr std::size_t NAME_FIELD_SIZE = 32;  // 31 characters and the NUL

struct name_field_screen {
    const char* tag;      // the title bar's tag
    const char* caption;  // the frame's caption
    const char* prompt;   // the line above the field
    int prompt_x;         // its column on row 8
};

// Edits a copy of start until ENTER or ESC. True when ENTER confirmed a
// non-empty name, which is then in out; false leaves out untouched.
bool edit_name_field(const name_field_screen& screen, const char* start, char (&out)[NAME_FIELD_SIZE]);
