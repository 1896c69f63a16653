// The main screen of a store: its page, motto and sign, the cash line, one
// line per department with a live figure, and the key loop that opens the
// departments ("1".."n") until ESC or "Q".
#pragma once

#include "game/shops/department.h"

#include <cstddef>
#include <span>

struct sign_text {
    int x, y;
    const char* text;
    int fg;
};

// A frame of full blocks with two lines of lettering inside.
struct store_sign {
    int x0, y0, x1, y1, fg;
    std::array<sign_text, 2> lettering;
};

// One department's line: its label and a figure from the profile.
struct shelf_line {
    const char* label;
    int value_x;
    // Writes the figure and returns its colour.
    int (*value)(char* out, std::size_t size);
};

struct store_front {
    const char* tag;
    const char* caption;
    const char* motto;
    int motto_x;
    store_sign sign;
    int money_row;
    int label_x;
    int first_shelf_row;
    std::span<const shelf_line> shelves;           // key "1" opens the first
    std::span<const shop_department> departments;  // same order as shelves
    int back_row;
    const char* footer;
};

void run_store_front(const store_front& f);
