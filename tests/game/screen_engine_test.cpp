// The cell screen, the frame diff and the output buffer, checked on the bytes
// that reach the door socket and through a terminal emulator.
#include "common/cp437.h"
#include "tests/game/game_fixture.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

using std::string;

using frame_diff = game_test;

TEST_F(frame_diff, FirstFrameClearsTheScreenInItsCommonestBackground)
{
    present_frame();
    EXPECT_EQ(door.output(), "\x1b[0;37;40m\x1b[2J\x1b[0m");
}

TEST_F(frame_diff, FrameWithoutChangeSendsOnlyTheReset)
{
    present_frame();
    door.clear_output();
    present_frame();
    EXPECT_EQ(door.output(), "\x1b[0m");
}

// The presenter's own choices, byte for byte: each case starts from a blank
// screen the terminal already shows, presents what `before` draws, then pins
// the bytes that bring the terminal to what `draw` adds.
TEST_F(frame_diff, EachChangeTakesTheShortestSequence)
{
    struct case_t {
        const char* what;
        void (*before)();
        void (*draw)();
        const char* want;
    };
    const auto nothing = [] {};
    const case_t cases[] = {
        {"a run needs one cursor move", nothing, [] { put_str(10, 3, "abc", 7, 0, 0); },
         "\x1b[4;11H\x1b[0;37;40mabc\x1b[0m"},
        {"leaving bold resets and sends the whole pen", nothing, [] {
             put_str(10, 3, "ab", 3, 4, 1);
             put_str(12, 3, "c", 2, 0, 0);
         },
         "\x1b[4;11H\x1b[0;1;33;44mab\x1b[0;32;40mc\x1b[0m"},
        {"otherwise only what changed in the pen", nothing, [] {
             put_str(0, 11, "a", 3, 4, 0);
             put_str(1, 11, "b", 3, 4, 1);
             put_str(2, 11, "c", 6, 4, 1);
             put_str(3, 11, "d", 6, 2, 1);
         },
         "\x1b[12H\x1b[0;33;44ma\x1b[1mb\x1b[36mc\x1b[42md\x1b[0m"},
        {"a bold-only change resends the character", [] { put_str(12, 3, "c", 2, 0, 0); },
         [] { g_back[3][12].bold = 1; }, "\x1b[4;13H\x1b[0;1;32;40mc\x1b[0m"},
        {"column 79 leaves the cursor unknown", nothing, [] {
             put_str(79, 5, "x", 2, 0, 0);
             put_str(0, 6, "y", 2, 0, 0);
         },
         "\x1b[6;80H\x1b[0;32;40mx\x1b[7Hy\x1b[0m"},
        {"a short gap is crossed by the characters already shown",
         [] { put_str(10, 3, "hello", 7, 0, 0); },
         [] {
             g_back[3][10].ch = 'j';
             g_back[3][13].ch = 'p';
         },
         "\x1b[4;11H\x1b[0;37;40mjelp\x1b[0m"},
        {"a gap in other colours takes a relative move",
         [] {
             put_str(10, 3, "ab", 7, 0, 0);
             put_str(12, 3, "cd", 2, 0, 0);
             put_str(14, 3, "e", 7, 0, 0);
         },
         [] {
             g_back[3][10].ch = 'X';
             g_back[3][14].ch = 'Y';
         },
         "\x1b[4;11H\x1b[0;37;40mX\x1b[3CY\x1b[0m"},
        {"the start of the next row is a carriage return and a line feed",
         [] {
             put_str(70, 5, "x", 7, 0, 0);
             put_str(0, 6, "y", 7, 0, 0);
         },
         [] {
             g_back[5][70].ch = 'X';
             g_back[6][0].ch = 'Y';
         },
         "\x1b[6;71H\x1b[0;37;40mX\r\nY\x1b[0m"},
        {"one row down and two columns back",
         [] {
             put_str(69, 5, "x", 7, 0, 0);
             put_str(68, 6, "y", 7, 0, 0);
         },
         [] {
             g_back[5][69].ch = 'X';
             g_back[6][68].ch = 'Y';
         },
         "\x1b[6;70H\x1b[0;37;40mX\x1b[B\b\bY\x1b[0m"},
        {"a row that ends blank is erased to its end",
         [] { put_str(0, 7, "a long line of text here", 7, 0, 0); }, [] { fill_rect(5, 7, 79, 7, 0); },
         "\x1b[8;6H\x1b[0;37;40m\x1b[K\x1b[0m"},
        {"the erase takes the blank's background", nothing, [] { fill_rect(40, 9, 79, 9, 4); },
         "\x1b[10;41H\x1b[0;37;44m\x1b[K\x1b[0m"},
        {"a screen mostly new is cleared in its background first", nothing, [] {
             fill_rect(0, 0, 79, 24, 1);
             put_str(0, 0, "Hi", 7, 1, 1);
         },
         "\x1b[0;37;41m\x1b[2J\x1b[H\x1b[1mHi\x1b[0m"},
    };
    for (const auto& c : cases) {
        clear_back();
        present_frame();
        c.before();
        present_frame();
        door.clear_output();
        c.draw();
        present_frame();
        EXPECT_EQ(door.output(), c.want) << c.what;
    }
}

TEST_F(frame_diff, FrameShowsTextColoursAndBoldWhereDrawn)
{
    fill_rect(0, 0, 79, 24, 0);
    draw_dbox(10, 2, 69, 8, 3, 0);
    put_title(10, 69, 2, "VEXON SIMS", 3);
    put_str(30, 4, "Run your own BBS", 6, 0, 1);
    put_str(0, 24, "footer", 7, 4, 0);
    present_frame();
    auto s = screen();
    EXPECT_EQ(s->text_at(29, 4, 18), " Run your own BBS ");
    EXPECT_EQ(s->cell(30, 4).fg, 6);
    EXPECT_TRUE(s->cell(30, 4).bold);
    EXPECT_EQ(s->cell(0, 24).bg, 4);
    EXPECT_FALSE(s->cell(0, 24).bold);
    // Double frame corners and edges as a PC shows them.
    EXPECT_EQ(s->text_at(10, 2, 2), "╔═");
    EXPECT_EQ(s->text_at(68, 8, 2), "═╝");
    EXPECT_EQ(s->text_at(10, 5, 1), "║");
    EXPECT_EQ(s->cell(10, 2).fg, 3);
    EXPECT_TRUE(s->cell(10, 2).bold);
    // Caption: brackets, spaces, text.
    EXPECT_EQ(s->text_at(33, 2, 14), "╡ VEXON SIMS ╞");
    EXPECT_FALSE(s->cell(34, 2).bold);
}

TEST_F(frame_diff, Utf8ModeSendsTheGlyphsAModernTerminalExpects)
{
    g_glyph_mode = glyph_mode::utf8;
    draw_box(0, 0, 5, 2, 7);
    put_str(1, 1, "\x18\x19\x07\x0f\xdb", 7, 0, 0);
    present_frame();
    vt::vt_screen s(80, 25);
    s.feed(door.output());
    EXPECT_EQ(s.row_text(0), "┌────┐");
    EXPECT_EQ(s.row_text(1), "│↑↓•☼█");
    EXPECT_EQ(s.row_text(2), "└────┘");
}

TEST_F(frame_diff, CodePage437CellsBelow32GoOutAsPrintableLookAlikes)
{
    // Terminals take these bytes as controls: sent raw, a cell would draw
    // nothing and pull the rest of its row left.
    for (int ch = 0; ch < 32; ++ch)
        g_back[2][ch] = cell{static_cast<std::uint8_t>(ch), 3, 0, 1};
    g_back[2][32] = cell{127, 3, 0, 1};
    put_str(40, 2, "|end", 7, 0, 0);
    present_frame();
    for (char c : door.output()) {
        const auto b = static_cast<unsigned char>(c);
        EXPECT_TRUE(b >= 32 || b == 27 || b == '\b' || b == '\r' || b == '\n') << "byte " << int(b);
    }
    auto s = screen();
    EXPECT_EQ(s->text_at(40, 2, 4), "|end") << s->dump();
    EXPECT_EQ(s->text_at(15, 2, 1), "*") << "the fame star";
    EXPECT_EQ(s->text_at(24, 2, 2), "^v") << "the list's arrows";
    for (int x = 1; x < 33; ++x)
        EXPECT_NE(s->text_at(x, 2, 1), " ") << "column " << x;
}

namespace {

// Cells (x, y) where two terminals differ in character, colours or bold.
std::string differing_cells(const vt::vt_screen& a, const vt::vt_screen& b)
{
    std::string out;
    for (int y = 0; y < 25; ++y) {
        for (int x = 0; x < 80; ++x) {
            const auto p = a.cell(x, y);
            const auto q = b.cell(x, y);
            if (p.ch != q.ch || p.fg != q.fg || p.bg != q.bg || p.bold != q.bold)
                out += " (" + std::to_string(x) + "," + std::to_string(y) + ")";
        }
    }
    return out;
}

std::unique_ptr<vt::vt_screen> caller_terminal(const std::string& bytes)
{
    auto s = std::make_unique<vt::vt_screen>(80, 25);
    s->take_c0_as_controls(true);
    s->feed_cp437(bytes);
    return s;
}

}  // namespace

TEST_F(frame_diff, RedrawKeysRestoreAGarbledTerminal)
{
    fill_rect(0, 0, 79, 24, 4);
    draw_dbox(0, 1, 79, 23, 6, 0);
    put_str(5, 5, "What the caller should see", 3, 4, 1);
    present_frame();
    const auto good = screen();
    // Line noise: a cleared screen, stray text, a red erase, wrap back on,
    // and an escape sequence left open.
    const std::string noise = "\x1b[2J\x1b[3;7Hnoise\x1b[41m\x1b[K\x1b[?7h\x1b[1;3";
    for (const char* key : {"\x0c", "\x12"}) {
        SCOPED_TRACE(key[0] == 12 ? "Ctrl-L" : "Ctrl-R");
        const std::string before = door.history();
        door.send_keys(std::string(key) + "x");
        EXPECT_EQ(read_key_block(), 'x') << "a redraw key is no key of a screen";
        const std::string after = door.history().substr(before.size());
        auto garbled = caller_terminal(before + noise);
        EXPECT_NE(differing_cells(*garbled, *good), "");
        auto caller = caller_terminal(before + noise + after);
        EXPECT_EQ(differing_cells(*caller, *good), "") << caller->dump();
    }
}

// A caller's line with a small socket buffer that the test reads only when
// it chooses: frames stall on it as on a line that drops packets.
class stalled_line : public game_test {
protected:
    stalled_line()
    {
        int sv[2];
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
        game_ = sv[0];
        peer_ = sv[1];
        int small = 4096;
        setsockopt(game_, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
        door_socket_ = g_d.socket;
        g_d.socket = game_;
        saved_frame_stall_ = g_frame_stall_ms;
        saved_gone_stall_ = g_gone_stall_ms;
        g_frame_stall_ms = 100;
        g_gone_stall_ms = 60000;
    }
    ~stalled_line() override
    {
        g_d.socket = door_socket_;
        g_frame_stall_ms = saved_frame_stall_;
        g_gone_stall_ms = saved_gone_stall_;
        g_hangup_hook = door_hook_;
        reset_output_line();
        g_outpos = 0;
        close(game_);
        close(peer_);
    }

    // Everything the line holds for the caller now.
    std::string take_waiting()
    {
        std::string got;
        char buf[65536];
        for (;;) {
            const ssize_t n = recv(peer_, buf, sizeof buf, MSG_DONTWAIT);
            if (n <= 0)
                return got;
            got.append(buf, static_cast<std::size_t>(n));
        }
    }

    // A frame far larger than the socket's buffer: every cell another pen.
    static void draw_busy_frame(char letter)
    {
        for (int y = 0; y < SCREEN_H; ++y) {
            for (int x = 0; x < SCREEN_W; ++x)
                g_back[y][x] = cell{static_cast<std::uint8_t>(letter + (x + y) % 20),
                                    static_cast<std::uint8_t>(1 + (x + y) % 7), static_cast<std::uint8_t>(x % 3),
                                    static_cast<std::uint8_t>(y % 2)};
        }
    }

    int game_ = -1;
    int peer_ = -1;
    int door_socket_ = -1;
    int saved_frame_stall_ = 0;
    int saved_gone_stall_ = 0;
    void (*door_hook_)() = g_hangup_hook;
};

TEST_F(stalled_line, FrameDroppedMidWayIsFollowedByAWholeRepaint)
{
    draw_busy_frame('A');
    present_frame();  // stalls: the caller reads nothing
    std::string received = take_waiting();
    auto cut = caller_terminal(received);

    // The caller reads again, as fast as it likes; the next frame changes
    // one cell.
    g_frame_stall_ms = 60000;
    g_back[12][40].ch = '#';
    std::string rest;
    std::atomic<bool> sent{false};
    std::thread reader([&] {
        while (!sent) {
            pollfd p{peer_, POLLIN, 0};
            poll(&p, 1, 50);
            rest += take_waiting();
        }
    });
    present_frame();
    sent = true;
    reader.join();
    rest += take_waiting();
    auto caller = caller_terminal(received + rest);

    // The picture the caller should have, sent whole on a line that works.
    g_d.socket = door_socket_;
    force_full_repaint();
    present_frame();
    auto want = screen();
    EXPECT_NE(differing_cells(*cut, *want), "") << "the first frame was not cut";
    EXPECT_EQ(differing_cells(*caller, *want), "") << caller->dump();
}

TEST_F(stalled_line, CallerWhoTakesNothingForTheBoundIsGone)
{
    struct gone {};
    g_hangup_hook = [] { throw gone{}; };
    g_gone_stall_ms = 300;
    bool ended = false;
    try {
        // Dropped frames one after another; the line stays stalled.
        for (int frame = 0; frame < 100; ++frame) {
            draw_busy_frame(static_cast<char>('A' + frame % 2));
            present_frame();
        }
    } catch (const gone&) {
        ended = true;
    }
    EXPECT_TRUE(ended);
}

using primitives = game_test;

TEST_F(primitives, ClipAtTheScreenEdgesWithoutWrapping)
{
    clear_back();
    put_str(75, 3, "0123456789", 7, 0, 0);
    EXPECT_EQ(g_back[3][75].ch, '0');
    EXPECT_EQ(g_back[3][79].ch, '4');
    EXPECT_EQ(g_back[4][0].ch, ' ');

    put_str(-3, 5, "abcdef", 7, 0, 0);
    EXPECT_EQ(g_back[5][0].ch, 'd');
    EXPECT_EQ(g_back[5][2].ch, 'f');

    put_str(0, 25, "x", 7, 0, 0);
    put_str(0, -1, "x", 7, 0, 0);
    fill_rect(0, 10, 79, 9, 4);  // y0 > y1
    fill_rect(5, 0, 4, 24, 4);   // x0 > x1
    fill_rect(78, 23, 90, 30, 2);
    for (int y = 0; y < SCREEN_H; ++y) {
        for (int x = 0; x < SCREEN_W; ++x) {
            bool in_fill = x >= 78 && y >= 23;
            EXPECT_EQ(g_back[y][x].bg, in_fill ? 2 : 0) << x << "," << y;
        }
    }
}

TEST_F(primitives, TitleIsCentredByTruncatingDivision)
{
    clear_back();
    put_title(10, 69, 2, "ABCDEFGHIJ", 3);  // 10 + (59 - 13) / 2 = 33
    EXPECT_EQ(g_back[2][33].ch, 181);
    EXPECT_EQ(g_back[2][34].ch, ' ');
    EXPECT_EQ(g_back[2][35].ch, 'A');
    EXPECT_EQ(g_back[2][45].ch, ' ');
    EXPECT_EQ(g_back[2][46].ch, 198);
    EXPECT_EQ(g_back[2][47].ch, ' ');

    clear_back();
    put_title(0, 2, 0, "ABCDEFGHIJ", 3);  // 0 + (2 - 13) / 2 = -5: clipped
    EXPECT_EQ(g_back[0][0].ch, 'D');
}

TEST_F(primitives, NarrowFrameHasOnlyCornersAndSides)
{
    clear_back();
    draw_dbox(4, 1, 5, 4, 6, 1);
    EXPECT_EQ(g_back[1][4].ch, 201);
    EXPECT_EQ(g_back[1][5].ch, 187);
    EXPECT_EQ(g_back[2][4].ch, 186);
    EXPECT_EQ(g_back[4][5].ch, 188);
    EXPECT_EQ(g_back[2][4].bg, 1);
    EXPECT_EQ(g_back[3][6].ch, ' ');
}

using output_buffer = game_test;

TEST_F(output_buffer, LongWritesFlushWholeBuffersAndKeepTheRest)
{
    string big(70000, 'z');
    buf_write(big.data(), big.size());
    EXPECT_EQ(g_outpos, 4464u);
    EXPECT_EQ(door.output().size(), 65536u);
    flush_out();
    EXPECT_EQ(door.output(), big);
    EXPECT_EQ(g_outpos, 0u);
}

TEST_F(output_buffer, PrintfCutsAt511Characters)
{
    string long_text(600, 'q');
    buf_printf("%s", long_text.c_str());
    EXPECT_EQ(g_outpos, 511u);
    buf_printf("%s", "");
    EXPECT_EQ(g_outpos, 511u);
    flush_out();
    EXPECT_EQ(door.output(), string(511, 'q'));
}
