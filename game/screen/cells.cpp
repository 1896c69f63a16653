#include "game/screen/cells.h"

#include "game/screen/terminal.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

cell g_back[SCREEN_H][SCREEN_W];
cell g_front[SCREEN_H][SCREEN_W];

namespace {

bool on_screen(int x, int y)
{
    return x >= 0 && x < SCREEN_W && y >= 0 && y < SCREEN_H;
}

void set_cell(int x, int y, unsigned char ch, int fg, int bg, int bold)
{
    if (!on_screen(x, y))
        return;
    g_back[y][x] = cell{ch, static_cast<std::uint8_t>(fg), static_cast<std::uint8_t>(bg),
                        static_cast<std::uint8_t>(bold)};
}

struct frame_glyphs {
    unsigned char horizontal, vertical, top_left, top_right, bottom_left, bottom_right;
};
constexpr frame_glyphs SINGLE_FRAME{196, 179, 218, 191, 192, 217};
constexpr frame_glyphs DOUBLE_FRAME{205, 186, 201, 187, 200, 188};

void draw_frame(int x0, int y0, int x1, int y1, int fg, int bg, const frame_glyphs& g)
{
    for (int x = x0 + 1; x < x1; ++x) {
        set_cell(x, y0, g.horizontal, fg, bg, 1);
        set_cell(x, y1, g.horizontal, fg, bg, 1);
    }
    for (int y = y0 + 1; y < y1; ++y) {
        set_cell(x0, y, g.vertical, fg, bg, 1);
        set_cell(x1, y, g.vertical, fg, bg, 1);
    }
    set_cell(x0, y0, g.top_left, fg, bg, 1);
    set_cell(x1, y0, g.top_right, fg, bg, 1);
    set_cell(x0, y1, g.bottom_left, fg, bg, 1);
    set_cell(x1, y1, g.bottom_right, fg, bg, 1);
}

}  // namespace

void fill_rect(int x0, int y0, int x1, int y1, int bg)
{
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x)
            set_cell(x, y, ' ', 7, bg, 0);
    }
}

void put_str(int x, int y, const char* text, int fg, int bg, int bold)
{
    if (!text || y < 0 || y >= SCREEN_H)
        return;
    for (int i = 0; text[i] != '\0'; ++i) {
        int cx = x + i;
        if (cx >= SCREEN_W)
            break;
        set_cell(cx, y, static_cast<unsigned char>(text[i]), fg, bg, bold);
    }
}

void put_run(int x, int y, unsigned char ch, int count, int fg, int bg, int bold)
{
    for (int i = 0; i < count; ++i)
        set_cell(x + i, y, ch, fg, bg, bold);
}

void put_fmt(int x, int y, int fg, int bg, int bold, const char* fmt, ...)
{
    char tmp[256];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(tmp, sizeof tmp, fmt, ap);
    va_end(ap);
    put_str(x, y, tmp, fg, bg, bold);
}

void put_title(int x0, int x1, int y, const char* text, int fg)
{
    int len = static_cast<int>(std::strlen(text));
    int s = x0 + (x1 - x0 - len - 3) / 2;
    set_cell(s, y, 181, fg, 0, 1);
    set_cell(s + 1, y, ' ', fg, 0, 0);
    put_str(s + 2, y, text, fg, 0, 1);
    set_cell(s + len + 2, y, ' ', fg, 0, 0);
    set_cell(s + len + 3, y, 198, fg, 0, 1);
}

void draw_box(int x0, int y0, int x1, int y1, int fg)
{
    draw_frame(x0, y0, x1, y1, fg, 0, SINGLE_FRAME);
}

void draw_dbox(int x0, int y0, int x1, int y1, int fg, int bg)
{
    draw_frame(x0, y0, x1, y1, fg, bg, DOUBLE_FRAME);
}

void clear_back()
{
    for (auto& row : g_back) {
        for (auto& c : row)
            c = BLANK_CELL;
    }
}

void present_frame()
{
    int last_y = -2;
    int last_x = -2;
    int last_fg = -1;
    int last_bg = -1;
    int last_bold = -1;
    for (int y = 0; y < SCREEN_H; ++y) {
        for (int x = 0; x < SCREEN_W; ++x) {
            const cell& b = g_back[y][x];
            cell& f = g_front[y][x];
            if (std::memcmp(&b, &f, sizeof(cell)) == 0)
                continue;
            if (!(y == last_y && x == last_x + 1))
                buf_printf("\x1b[%d;%dH", y + 1, x + 1);
            if (b.fg != last_fg || b.bg != last_bg || b.bold != last_bold) {
                buf_printf("\x1b[0;%s3%u;4%um", b.bold ? "1;" : "", static_cast<unsigned>(b.fg),
                           static_cast<unsigned>(b.bg));
                last_fg = b.fg;
                last_bg = b.bg;
                last_bold = b.bold;
            }
            f = b;
            buf_put_glyph(b.ch);
            last_y = y;
            last_x = x;
        }
    }
    buf_printf("\x1b[0m");
    // After a dropped frame nobody knows what the caller's screen shows.
    if (flush_out() != 0)
        force_full_repaint();
}

void force_full_repaint()
{
    std::memset(g_front, 255, sizeof g_front);
}

void full_clear_and_home()
{
    buf_printf("\x1b[2J\x1b[H\x1b[0m\x1b[?25l");
    flush_out();
    clear_back();
    force_full_repaint();
}
