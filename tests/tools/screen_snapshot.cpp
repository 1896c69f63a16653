// Turns what a caller received into a plain ANSI picture of the screen it
// left: the bytes (telnet commands taken out) go through the test terminal,
// and each cell comes out as its code page 437 byte in one of the 16 colours
// of a PC screen. Renderers of BBS art (ansilove) draw the result exactly.
//
//   screen_snapshot COLS ROWS < received.bin > screen.ans
#include "common/cp437.h"
#include "common/telnet.h"
#include "tests/support/vt_screen.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <string>

namespace {

struct rgb {
    int r, g, b;
};

// The 16 colours of a PC screen in ANSI order.
constexpr std::array<rgb, 16> PC_COLOURS{{{0, 0, 0},      {170, 0, 0},    {0, 170, 0},    {170, 85, 0},
                                          {0, 0, 170},    {170, 0, 170},  {0, 170, 170},  {170, 170, 170},
                                          {85, 85, 85},   {255, 85, 85},  {85, 255, 85},  {255, 255, 85},
                                          {85, 85, 255},  {255, 85, 255}, {85, 255, 255}, {255, 255, 255}}};

rgb palette_colour(int index)
{
    if (index < 16)
        return PC_COLOURS[static_cast<std::size_t>(index)];
    if (index < 232) {
        constexpr std::array<int, 6> LEVELS{0, 95, 135, 175, 215, 255};
        const int i = index - 16;
        return {LEVELS[static_cast<std::size_t>(i / 36)], LEVELS[static_cast<std::size_t>(i / 6 % 6)],
                LEVELS[static_cast<std::size_t>(i % 6)]};
    }
    const int grey = 8 + 10 * (index - 232);
    return {grey, grey, grey};
}

// The nearest of the 16 PC colours to a 256-colour palette index.
int pc_colour(int index)
{
    if (index < 16)
        return index;
    const rgb c = palette_colour(index);
    int best = 0;
    long best_distance = -1;
    for (int i = 0; i < 16; ++i) {
        const rgb p = PC_COLOURS[static_cast<std::size_t>(i)];
        const long d = (c.r - p.r) * (c.r - p.r) + (c.g - p.g) * (c.g - p.g) + (c.b - p.b) * (c.b - p.b);
        if (best_distance < 0 || d < best_distance) {
            best = i;
            best_distance = d;
        }
    }
    return best;
}

char cp437_byte(std::uint32_t ch)
{
    if (ch >= 32 && ch < 127)
        return static_cast<char>(ch);
    const unsigned char b = cp437_from_unicode(ch);
    return b != 0 ? static_cast<char>(b) : (ch == 0 ? ' ' : '?');
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: screen_snapshot COLS ROWS < received > screen.ans\n");
        return 2;
    }
    const int cols = std::atoi(argv[1]);
    const int rows = std::atoi(argv[2]);
    if (cols < 1 || cols > 1000 || rows < 1 || rows > 500)
        return 2;
    std::string received((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    telnet_state telnet;
    auto* bytes = reinterpret_cast<unsigned char*>(received.data());
    received.resize(telnet_receive(telnet, {bytes, received.size()}, {bytes, received.size()}));

    vt::vt_screen screen(cols, rows);
    screen.feed_cp437(received);
    std::string out = "\x1b[0m\x1b[2J\x1b[H";
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < cols; ++x) {
            const vt::cell_info c = screen.cell(x, y);
            int fg = c.fg < 0 ? 7 : pc_colour(c.fg);
            int bg = c.bg < 0 ? 0 : pc_colour(c.bg);
            if (c.bold && fg < 8)
                fg += 8;
            if (c.reverse)
                std::swap(fg, bg);
            char sgr[32];
            // Bright backgrounds need the blink bit read as iCE colour.
            std::snprintf(sgr, sizeof sgr, "\x1b[0;%s%s%d;%dm", fg >= 8 ? "1;" : "", bg >= 8 ? "5;" : "", 30 + fg % 8,
                          40 + bg % 8);
            out += sgr;
            out += cp437_byte(c.ch);
        }
    }
    out += "\x1b[0m";
    std::cout << out;
    return 0;
}
