#include "game/screen/cells.h"

#include "game/screen/terminal.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

cell g_back[SCREEN_H][SCREEN_W];
cell g_front[SCREEN_H][SCREEN_W];
void (*g_frame_hook)() = nullptr;

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

namespace {

// Room for one encoded frame: even a frame that changes the pen and moves the
// cursor at every cell needs less than half of it.
constexpr std::size_t FRAME_BYTES_MAX = 1 << 17;

struct frame_bytes {
    unsigned char bytes[FRAME_BYTES_MAX];
    std::size_t len = 0;

    void add(const void* data, std::size_t n)
    {
        n = std::min(n, FRAME_BYTES_MAX - len);
        std::memcpy(bytes + len, data, n);
        len += n;
    }
};

// A short piece of output (a cursor move or a pen change) built aside so its
// length can be weighed against another way of doing the same.
struct piece {
    char text[256];
    std::size_t len = 0;

    void add(const void* data, std::size_t n)
    {
        n = std::min(n, sizeof text - len);
        std::memcpy(text + len, data, n);
        len += n;
    }
    void add(const char* s) { add(s, std::strlen(s)); }
    void addf(const char* fmt, int value)
    {
        char tmp[24];
        const int n = std::snprintf(tmp, sizeof tmp, fmt, value);
        if (n > 0)
            add(tmp, static_cast<std::size_t>(n));
    }
};

// What the terminal's cursor and pen are known to be while a frame is
// encoded; -1 where they are not known.
struct pen_state {
    int x = -1;
    int y = -1;
    int fg = -1;
    int bg = -1;
    int bold = -1;
};

bool is_blank_kind(const cell& c)
{
    return c.ch == ' ' && c.fg == 7 && c.bold == 0;
}

bool same_cell(const cell& a, const cell& b)
{
    return std::memcmp(&a, &b, sizeof(cell)) == 0;
}

// Encodes the cells of g_back that differ from `shown` (what the terminal is
// taken to show), choosing the shortest cursor moves, pen changes that send
// only what changed, and erasing to the end of a row where a row ends blank.
class frame_encoder {
public:
    frame_encoder(frame_bytes& out, const cell (*shown)[SCREEN_W], pen_state start)
        : out_(out), shown_(shown), pen_(start)
    {
    }

    void encode()
    {
        for (int y = 0; y < SCREEN_H; ++y)
            encode_row(y);
    }

private:
    void encode_row(int y)
    {
        const int tail = blank_tail_start(y);
        for (int x = 0; x < SCREEN_W; ++x) {
            if (same_cell(g_back[y][x], shown_[y][x]))
                continue;
            if (x >= tail && changed_span(y, x) > 3) {
                move_to(x, y);
                set_pen(g_back[y][x]);
                out_.add("\x1b[K", 3);
                return;
            }
            move_to(x, y);
            set_pen(g_back[y][x]);
            unsigned char glyph[3];
            out_.add(glyph, encode_glyph(g_back[y][x].ch, glyph));
            // Past the last column terminals differ (some stay, some wrap).
            pen_.x = x + 1 < SCREEN_W ? x + 1 : -1;
            pen_.y = x + 1 < SCREEN_W ? y : -1;
        }
    }

    // First column from which row y holds nothing but one blank cell to its
    // end (SCREEN_W when its last cell is not blank).
    static int blank_tail_start(int y)
    {
        const cell& last = g_back[y][SCREEN_W - 1];
        if (!is_blank_kind(last))
            return SCREEN_W;
        int t = SCREEN_W - 1;
        while (t > 0 && same_cell(g_back[y][t - 1], last))
            --t;
        return t;
    }

    // Columns from x through the last changed cell of row y.
    int changed_span(int y, int x) const
    {
        int last = x;
        for (int i = x; i < SCREEN_W; ++i) {
            if (!same_cell(g_back[y][i], shown_[y][i]))
                last = i;
        }
        return last - x + 1;
    }

    void set_pen(const cell& c)
    {
        const int bold = c.bold != 0 ? 1 : 0;
        if (pen_.fg == c.fg && pen_.bg == c.bg && pen_.bold == bold)
            return;
        piece p;
        p.add("\x1b[");
        if (pen_.fg < 0 || pen_.bg < 0 || pen_.bold < 0 || (pen_.bold == 1 && bold == 0)) {
            // Normal intensity alone is missing from ANSI.SYS-class
            // terminals: leaving bold takes a reset and the whole pen.
            p.add(bold ? "0;1;" : "0;");
            p.addf("3%d;", c.fg);
            p.addf("4%dm", c.bg);
        } else {
            bool first = true;
            auto part = [&](const char* fmt, int v) {
                if (!first)
                    p.add(";");
                p.addf(fmt, v);
                first = false;
            };
            if (bold != pen_.bold)
                part("%d", 1);
            if (c.fg != pen_.fg)
                part("3%d", c.fg);
            if (c.bg != pen_.bg)
                part("4%d", c.bg);
            p.add("m");
        }
        out_.add(p.text, p.len);
        pen_.fg = c.fg;
        pen_.bg = c.bg;
        pen_.bold = bold;
    }

    // Appends to p the way from column `from` to column x on row y, the
    // cursor standing on row y: a relative move, or the row's own characters
    // when they are shorter and need no pen change.
    void horizontal(piece& p, int from, int x, int y) const
    {
        if (x == from)
            return;
        if (x < from) {
            if (from - x <= 2)
                p.add("\b\b", static_cast<std::size_t>(from - x));
            else
                p.addf("\x1b[%dD", from - x);
            return;
        }
        piece step;
        if (x - from == 1)
            step.add("\x1b[C");
        else
            step.addf("\x1b[%dC", x - from);
        piece plain;
        bool plain_ok = true;
        for (int i = from; i < x && plain_ok; ++i) {
            const cell& c = g_back[y][i];
            plain_ok = c.fg == pen_.fg && c.bg == pen_.bg && (c.bold != 0 ? 1 : 0) == pen_.bold;
            unsigned char glyph[3];
            plain.add(glyph, encode_glyph(c.ch, glyph));
        }
        const piece& best = plain_ok && plain.len < step.len ? plain : step;
        p.add(best.text, best.len);
    }

    static void vertical(piece& p, int dy)
    {
        if (dy == 1)
            p.add("\x1b[B");
        else if (dy > 1)
            p.addf("\x1b[%dB", dy);
        else if (dy == -1)
            p.add("\x1b[A");
        else if (dy < -1)
            p.addf("\x1b[%dA", -dy);
    }

    void move_to(int x, int y)
    {
        if (pen_.x == x && pen_.y == y)
            return;
        piece best;
        if (x == 0 && y == 0)
            best.add("\x1b[H");
        else if (x == 0)
            best.addf("\x1b[%dH", y + 1);
        else {
            best.addf("\x1b[%d;", y + 1);
            best.addf("%dH", x + 1);
        }
        if (pen_.x >= 0 && pen_.y >= 0) {
            const int dy = y - pen_.y;
            piece direct;
            vertical(direct, dy);
            horizontal(direct, pen_.x, x, y);
            piece from_start;
            if (dy == 1) {
                from_start.add("\r\n");
            } else {
                from_start.add("\r");
                vertical(from_start, dy);
            }
            horizontal(from_start, 0, x, y);
            for (const piece* c : {&direct, &from_start}) {
                if (c->len < best.len)
                    best = *c;
            }
        }
        out_.add(best.text, best.len);
        pen_.x = x;
        pen_.y = y;
    }

    frame_bytes& out_;
    const cell (*shown_)[SCREEN_W];
    pen_state pen_;
};

// The background most blank cells of g_back have: clearing the screen in
// it leaves the fewest cells to send.
int commonest_blank_background()
{
    int count[8] = {};
    for (const auto& row : g_back) {
        for (const cell& c : row) {
            if (is_blank_kind(c) && c.bg < 8)
                ++count[c.bg];
        }
    }
    int best = 0;
    for (int bg = 1; bg < 8; ++bg) {
        if (count[bg] > count[best])
            best = bg;
    }
    return best;
}

frame_bytes g_by_difference;
frame_bytes g_from_clear;
cell g_cleared[SCREEN_H][SCREEN_W];

}  // namespace

void present_frame()
{
    if (take_resized())
        force_full_repaint();
    // Two ways to the same picture: the changed cells alone, or a cleared
    // screen and every cell that is not blank. The shorter one goes out.
    g_by_difference.len = 0;
    frame_encoder(g_by_difference, g_front, pen_state{}).encode();

    const int bg = commonest_blank_background();
    for (auto& row : g_cleared) {
        for (cell& c : row)
            c = cell{' ', 7, static_cast<std::uint8_t>(bg), 0};
    }
    char clear[24];
    const int n = std::snprintf(clear, sizeof clear, "\x1b[0;37;4%dm\x1b[2J", bg);
    g_from_clear.len = 0;
    g_from_clear.add(clear, static_cast<std::size_t>(n));
    frame_encoder(g_from_clear, g_cleared, pen_state{-1, -1, 7, bg, 0}).encode();

    const frame_bytes& best = g_from_clear.len < g_by_difference.len ? g_from_clear : g_by_difference;
    buf_write(best.bytes, best.len);
    buf_write("\x1b[0m", 4);
    std::memcpy(g_front, g_back, sizeof g_front);
    // After a dropped frame nobody knows what the caller's screen shows.
    if (flush_out() != 0)
        force_full_repaint();
    if (g_frame_hook)
        g_frame_hook();
}

void force_full_repaint()
{
    std::memset(g_front, 255, sizeof g_front);
}

void redraw_screen()
{
    // Line noise may also have switched auto-wrap back on or shown the cursor.
    buf_write("\x1b[?7l\x1b[?25l", 12);
    force_full_repaint();
    present_frame();
}

void full_clear_and_home()
{
    // The next frame is drawn by difference against what the caller's
    // terminal shows, so only cells that really change are sent.
    buf_write("\x1b[?25l", 6);
    flush_out();
    clear_back();
}
