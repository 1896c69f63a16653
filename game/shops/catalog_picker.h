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

// The visible part of a long list and its highlight: the arrows move the
// highlight without wrapping, and the window follows it.
struct list_window {
    int sel = 0;
    int top = 0;
    int shown_end = PICKER_WINDOW;  // one past the last row that fits
};
void window_up(list_window& w);
void window_down(list_window& w, int count);

// Index of the chosen row, or -1 when the player backs out.
int catalog_pick(const char* title, const catalog_item* items, int count, const char* hint);
