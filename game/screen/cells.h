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
// Brings the terminal from g_front to g_back by the shortest of equivalent
// byte sequences, then flushes. The picture is the same as if every cell
// were sent.
void present_frame();
// Marks what the terminal shows as unknown (the first frame, a dropped
// write, a garbled screen): the next present_frame paints every cell.
void force_full_repaint();
// Paints the whole screen again at once (the redraw keys).
void redraw_screen();
// Called after each frame has gone out (tests watch the frames here);
// nothing by default.
extern void (*g_frame_hook)();
// Hides the cursor and blanks g_back; the next frame shows the blank screen
// and whatever the caller draws on it.
void full_clear_and_home();
