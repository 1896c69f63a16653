// The 80x25 cell screen: screens compose a frame in g_back, and
// present_frame sends only the cells that differ from g_front, which mirrors
// what the terminal shows.
#pragma once

#include <cstdint>

inline constexpr int SCREEN_W = 80;
inline constexpr int SCREEN_H = 25;

struct cell {
    std::uint8_t ch;    // code page 437 character
    std::uint8_t fg;    // ANSI colour 0..7
    std::uint8_t bg;    // ANSI colour 0..7
    std::uint8_t bold;  // 0 normal, 1 bright
};
static_assert(sizeof(cell) == 4);

inline constexpr cell BLANK_CELL{' ', 7, 0, 0};

extern cell g_back[SCREEN_H][SCREEN_W];
extern cell g_front[SCREEN_H][SCREEN_W];

// Sets the rectangle to spaces on bg (foreground 7, not bold).
void fill_rect(int x0, int y0, int x1, int y1, int bg);
// Writes text from (x, y) on one row, clipped to the screen.
void put_str(int x, int y, const char* text, int fg, int bg, int bold);
// Writes count copies of one character from (x, y) on one row, clipped.
void put_run(int x, int y, unsigned char ch, int count, int fg, int bg, int bold);
// put_str of a printf-formatted text (at most 255 characters).
void put_fmt(int x, int y, int fg, int bg, int bold, const char* fmt, ...)
    __attribute__((format(printf, 6, 7)));
// A caption set into the top edge of a frame with corners at x0 and x1.
void put_title(int x0, int x1, int y, const char* text, int fg);
// Single-line frame (bold, background 0).
void draw_box(int x0, int y0, int x1, int y1, int fg);
// Double-line frame (bold).
void draw_dbox(int x0, int y0, int x1, int y1, int fg, int bg);
// Sets every cell of g_back to the blank cell.
void clear_back();
// Sends the difference between g_back and g_front, then flushes.
void present_frame();
// Makes the next present_frame send every cell.
void force_full_repaint();
// Clears the terminal, hides the cursor, blanks g_back and forces a repaint.
void full_clear_and_home();
