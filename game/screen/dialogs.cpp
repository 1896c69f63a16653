#include "game/screen/dialogs.h"

#include "game/rules/profile.h"
#include "game/rules/storage.h"
#include "game/screen/cells.h"
#include "game/screen/terminal.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

int g_footer_diff_mode = 0;

namespace {

constexpr const char* PRESS_ANY_KEY = "[ Press any key ]";
constexpr const char* YES_NO_PROMPT = "[Y] Yes    [N] No";
constexpr int PROMPT_LEN = 17;
constexpr int MAX_LINE = 95;

struct box_geometry {
    int left, top, right, bottom;
};

struct text_shape {
    int lines;   // 1 + newlines
    int widest;  // longest line
};

text_shape measure(const char* text)
{
    text_shape s{1, 0};
    int run = 0;
    for (const char* p = text; *p; ++p) {
        if (*p == '\n') {
            ++s.lines;
            run = 0;
        } else {
            s.widest = std::max(s.widest, ++run);
        }
    }
    return s;
}

// Clears the screen behind the box, draws its frame, title, text and prompt.
void draw_modal(const box_geometry& g, const char* title, const char* text, int colour,
                const char* prompt)
{
    clear_back();
    fill_rect(g.left, g.top, g.right, g.bottom, 0);
    draw_dbox(g.left, g.top, g.right, g.bottom, colour, 0);
    put_title(g.left, g.right, g.top, title, colour);

    const int width = g.right - g.left + 1;
    int row = g.top + 2;
    const char* line = text;
    while (*line) {
        const char* end = std::strchr(line, '\n');
        int len = end ? static_cast<int>(end - line) : static_cast<int>(std::strlen(line));
        char buf[MAX_LINE + 1];
        int shown = std::min(len, MAX_LINE);
        std::memcpy(buf, line, static_cast<size_t>(shown));
        buf[shown] = '\0';
        put_str(std::max(g.left, g.left + (width - shown) / 2), row++, buf, 7, 0, 1);
        if (!end)
            break;
        line = end + 1;
    }
    put_str(std::max(g.left, g.left + (width - PROMPT_LEN) / 2), g.bottom - 1, prompt, colour, 0, 1);
    present_frame();
}

box_geometry place(int height, int width)
{
    box_geometry g{};
    g.top = (25 - height) / 2;
    g.bottom = g.top + height - 1;
    g.left = (80 - width) / 2;
    g.right = g.left + width - 1;
    return g;
}

}  // namespace

int msg_box(const char* title, const char* text, int colour)
{
    text_shape s = measure(text);
    int title_len = static_cast<int>(std::strlen(title));
    int h = std::min(s.lines + 4, 18);
    int w = std::min(std::max(s.widest, title_len + 4) + 4, 76);
    draw_modal(place(h, w), title, text, colour, PRESS_ANY_KEY);
    return read_key_block();
}

int yes_no(const char* title, const char* text)
{
    text_shape s = measure(text);
    int title_len = static_cast<int>(std::strlen(title));
    int h = std::min(s.lines + 5, 21);
    int w = std::min(std::max(s.widest + 6, title_len + 8), 76);
    draw_modal(place(h, w), title, text, 3, YES_NO_PROMPT);
    for (;;) {
        int k = read_key_block();
        if (k == 'y' || k == 'Y' || k == 13 || k == 10)
            return 1;
        if (k == 'n' || k == 'N' || k == 27)
            return 0;
    }
}

void draw_topbar(const char* tag)
{
    fill_rect(0, 0, SCREEN_W - 1, 0, 1);
    put_str(0, 0, "VEXON SIMS ", 0, 3, 1);
    // Each figure at its column, or right after the one before when that one
    // ran long (a fortune of many digits), so none overwrites another.
    char buf[96];
    int x = 13;
    auto figure = [&](int column, int fg, const char* text) {
        x = std::max(x, column);
        put_str(x, 0, text, fg, 1, 1);
        x += static_cast<int>(std::strlen(text));
    };
    std::snprintf(buf, sizeof buf, " Day %-4u ", P.day);
    figure(13, 7, buf);
    std::snprintf(buf, sizeof buf, " Cash $%-8ld ", static_cast<long>(P.cash));
    figure(23, 3, buf);
    std::snprintf(buf, sizeof buf, " Rep %3d ", P.rep);
    figure(39, 2, buf);
    int heat_fg = P.heat > 60 ? 1 : (P.heat > 30 ? 3 : 7);
    std::snprintf(buf, sizeof buf, " Heat %3d ", P.heat);
    figure(50, heat_fg, buf);
    // The screen's tag gets what is left of the row (from the blank after
    // the last figure), cut to fit.
    const int room = SCREEN_W - x - 2;
    if (room <= 0)
        return;
    int shown = static_cast<int>(strnlen(tag, static_cast<std::size_t>(room)));
    while (shown > 0 && tag[shown - 1] == ' ')
        --shown;
    std::snprintf(buf, sizeof buf, "[%.*s]", shown, tag);
    put_str(SCREEN_W - 1 - static_cast<int>(std::strlen(buf)), 0, buf, 3, 1, 1);
}

void draw_footer(const char* hint)
{
    char line[SCREEN_W + 1];
    std::memset(line, ' ', SCREEN_W);
    line[SCREEN_W] = '\0';
    int n = std::min(static_cast<int>(std::strlen(hint)), 58);
    std::memcpy(line + 1, hint, static_cast<size_t>(n));

    char label[32];
    std::snprintf(label, sizeof label, "Sysop: %.16s", P.sysop_name);
    int len = static_cast<int>(std::strlen(label));
    while (len > 0 && label[len - 1] == ' ')
        label[--len] = '\0';
    int start = (n + 1 < 79 - len) ? 79 - len : n + 2;
    int shown = std::min(len, SCREEN_W - start);
    std::memcpy(line + start, label, static_cast<size_t>(shown));
    int end = start + shown;  // first column after the label

    for (int x = 0; x < SCREEN_W; ++x) {
        bool in_label = x >= start && x < end;
        g_back[24][x] = cell{static_cast<std::uint8_t>(line[x]), static_cast<std::uint8_t>(in_label ? 3 : 7), 4, 0};
    }
    // Sent at once only when the caller's terminal does not show it yet.
    if (g_footer_diff_mode || std::memcmp(g_front[24], g_back[24], sizeof g_back[24]) == 0)
        return;

    std::memcpy(g_front[24], g_back[24], sizeof g_back[24]);
    buf_printf("\x1b[%d;1H\x1b[0;37;44m", 25);
    for (int x = 0; x < start; ++x)
        buf_put_glyph(static_cast<unsigned char>(line[x]));
    buf_printf("\x1b[0;33;44m");
    for (int x = start; x < end; ++x)
        buf_put_glyph(static_cast<unsigned char>(line[x]));
    if (end < SCREEN_W) {
        buf_printf("\x1b[0;37;44m");
        for (int x = end; x < SCREEN_W; ++x)
            buf_put_glyph(static_cast<unsigned char>(line[x]));
    }
    buf_printf("\x1b[0m");
    flush_out();
}

void begin_framed_screen(const char* tag, const char* caption, int frame_fg)
{
    compose_framed_screen(tag, caption, frame_fg);
}

void compose_framed_screen(const char* tag, const char* caption, int frame_fg)
{
    clear_back();
    fill_rect(0, 0, 79, 24, 0);
    draw_topbar(tag);
    draw_dbox(0, 1, 79, 23, frame_fg, 0);
    put_title(0, 79, 1, caption, 3);
}

bool board_cannot_be_opened()
{
    if (!profile_unreadable())
        return false;
    msg_box("Save can't be opened",
            "Your saved BBS is there, but it\ncannot be opened. Ask the sysop\nof this board to check its file.", 1);
    return true;
}
