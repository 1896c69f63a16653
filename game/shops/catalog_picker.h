// The one list screen every store department sells from: rows with price
// and status, a moving highlight, paging marks. It only shows and picks; the
// caller makes every check and change of a purchase.
#pragma once

#include <cstdint>

struct catalog_item {
    const char* name;         // borrowed from the caller
    std::int64_t price;       // dollars, compared with the cash
    std::int32_t owned;       // non-zero: "OWNED"
    std::int32_t locked;      // non-zero (and not owned): the lock label
    const char* lock_label;   // borrowed; none means "LOCKED"
};

// Rows visible at once; a longer list scrolls.
inline constexpr int PICKER_WINDOW = 12;
// Largest list a caller hands over.
inline constexpr int PICKER_MAX_ROWS = 16;

// Index of the chosen row, or -1 when the player backs out.
int catalog_pick(const char* title, const catalog_item* items, int count, const char* hint);
