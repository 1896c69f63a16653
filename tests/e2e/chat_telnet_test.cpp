// ircdoor as a door on a board that hands over the caller's telnet socket:
// the door launcher stands in for the board, and the caller is the real
// telnet program in a terminal that shows code page 437, or a bare TCP
// caller that answers no telnet question.
#include "tests/e2e/chat_e2e.h"
#include "tests/support/door_call.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>

namespace {

using namespace std::chrono_literals;
using testsupport::door_caller;
using testsupport::door_launcher;

constexpr char32_t TOP_LEFT = U'\u2554';
constexpr char32_t TOP_RIGHT = U'\u2557';
constexpr char32_t TOP_JUNCTION = U'\u2566';
constexpr char32_t SIDE = U'\u2551';

// A board running ircdoor for callers named Ada, in a home of its own.
struct chat_board {
    explicit chat_board(std::vector<std::string> door_args = {})
    {
        std::vector<std::string> args{DOOR_LAUNCHER_PATH, "--door", IRCDOOR_PATH, "--dir", dir.path(),
                                      "--port",           "0",      "--user",     "Ada"};
        if (!door_args.empty()) {
            args.emplace_back("--");
            args.insert(args.end(), door_args.begin(), door_args.end());
        }
        board = std::make_unique<door_launcher>(args, std::vector<std::pair<std::string, std::string>>{{"HOME", dir.path()}});
        port = board->port();
    }
    testsupport::temp_dir dir;
    std::unique_ptr<door_launcher> board;
    int port = -1;
};

// The startup manager as a caller sees it on a screen of cols x rows: the
// frame's corners and divider at the top, its sides down to the key hints,
// the mode line on the last row.
testing::AssertionResult frame_fits(const vt::vt_screen& s, int cols, int rows)
{
    const int hints = rows - 4;  // rows from 0: ..., hints, status bar, input, mode line
    const struct {
        int x, y;
        char32_t ch;
    } marks[] = {{0, 1, TOP_LEFT},  {cols - 1, 1, TOP_RIGHT},  {cols / 2 - 1, 1, TOP_JUNCTION},
                 {0, hints, SIDE}, {cols - 1, hints, SIDE}};
    for (const auto& m : marks) {
        if (s.cell(m.x, m.y).ch != m.ch) {
            return testing::AssertionFailure() << "no frame at " << m.x << "," << m.y << "\n" << s.dump();
        }
    }
    if (s.row_text(rows - 1) != " BBS terminal mode enabled.") {
        return testing::AssertionFailure() << "no mode line on the last row\n" << s.dump();
    }
    return testing::AssertionSuccess();
}

TEST(chat_telnet, StartupManagerInCodePage437AtTheWindowSizeTelnetReports)
{
    chat_board b;
    ASSERT_GT(b.port, 0);
    auto caller = testsupport::telnet_caller(b.port, 100, 30);
    ASSERT_TRUE(caller->wait_for_text("Startup Manager")) << caller->screen().dump();
    ASSERT_TRUE(caller->wait_for_text("BBS terminal mode enabled.")) << caller->screen().dump();
    // The screen decodes code page 437: UTF-8 box characters would show as
    // three glyphs each and push the title apart.
    EXPECT_EQ(caller->screen().row_text(0).rfind(" Vexon IRC Client 6.0 \u2551 Startup Manager \u2551 ", 0), 0u)
        << caller->screen().row_text(0);
    EXPECT_TRUE(frame_fits(caller->screen(), 100, 30));
    EXPECT_EQ(caller->output().find("\xe2\x95"), std::string::npos) << "UTF-8 box characters were sent";
    EXPECT_NE(caller->screen().find_row("@Ada"), -1) << caller->screen().dump();
}

TEST(chat_telnet, ANewWindowSizeMidSessionRedraws)
{
    chat_board b;
    auto caller = testsupport::telnet_caller(b.port, 80, 24);
    ASSERT_TRUE(caller->wait_for_text("BBS terminal mode enabled.")) << caller->screen().dump();
    ASSERT_TRUE(frame_fits(caller->screen(), 80, 24));
    caller->resize(120, 40);  // telnet sends the new size in a NAWS report
    EXPECT_TRUE(caller->wait_until([&] { return frame_fits(caller->screen(), 120, 40); }))
        << caller->screen().dump();
    // Typing still works: the report arrived as no key.
    caller->send("t");  // from the door's 16-colour theme to the first one
    EXPECT_TRUE(caller->wait_until([&] { return caller->screen().cell(5, 0).bg == 25; })) << "theme changed";
}

TEST(chat_telnet, CallerAnsweringNoQuestionGets80x24AfterTheWait)
{
    chat_board b;
    door_caller caller(b.port, 90, 30);
    const auto called = std::chrono::steady_clock::now();
    ASSERT_TRUE(caller.wait_for_text("BBS terminal mode enabled.", 10s)) << caller.screen().dump();
    EXPECT_GE(std::chrono::steady_clock::now() - called, 1s) << "the size questions were waited for";
    EXPECT_TRUE(frame_fits(caller.screen(), 80, 24));
}

TEST(chat_telnet, CursorReportGivesTheSizeWithoutTelnetReport)
{
    chat_board b;
    door_caller caller(b.port, 100, 30);
    // A terminal program on a raw line: no telnet, but it answers where the
    // cursor stopped when sent to the far corner.
    ASSERT_TRUE(caller.wait_for_raw("\x1b[6n", 5s));
    caller.send("\x1b[30;100R");
    ASSERT_TRUE(caller.wait_for_text("BBS terminal mode enabled.", 5s)) << caller.screen().dump();
    EXPECT_TRUE(frame_fits(caller.screen(), 100, 30));
    caller.send("t");  // the report was no key; this one is
    EXPECT_TRUE(caller.wait_until([&] { return caller.screen().cell(5, 0).bg == 25; })) << caller.screen().dump();
}

TEST(chat_telnet, HangingUpEndsTheDoorWithinASecond)
{
    chat_board b;
    door_caller caller(b.port, 80, 24);
    ASSERT_TRUE(caller.wait_for_raw("\x1b[6n", 5s));
    caller.send("\x1b[24;80R");
    ASSERT_TRUE(caller.wait_for_text("BBS terminal mode enabled.", 5s)) << caller.screen().dump();
    const auto hung_up = std::chrono::steady_clock::now();
    caller.hang_up();
    const auto ended = b.board->wait_line("ended", 5s);
    ASSERT_TRUE(ended);
    EXPECT_LT(std::chrono::steady_clock::now() - hung_up, 1s);
    EXPECT_NE(ended->find("with status 0"), std::string::npos) << *ended;
    const auto own = chat_e2e::caller_server_files(b.dir);
    EXPECT_NE(std::find(own.begin(), own.end(), "ada"), own.end()) << "the caller's own saved servers written";
    EXPECT_TRUE(testsupport::read_file(b.dir.file(".vexon_irc_bookmarks")).empty()) << "not the board account's";
}

TEST(chat_telnet, Utf8OptionKeepsUtf8ForTheCaller)
{
    chat_board b({"--utf8"});
    auto caller = testsupport::telnet_caller(b.port, 80, 24);
    ASSERT_TRUE(caller->wait_for_text("Startup Manager")) << caller->screen().dump();
    EXPECT_NE(caller->output().find("\xe2\x95\x94"), std::string::npos) << "the frame goes out as UTF-8";
}

}  // namespace

namespace {

// A board that bridges its caller to the door's standard streams, with the
// caller's terminal in code page 437.
TEST(chat_cp437, OptionSendsCodePage437OnStandardOutput)
{
    testsupport::temp_dir home;
    testsupport::pty_options options;
    options.cols = 80;
    options.rows = 24;
    options.cwd = home.path();
    options.env = {{"HOME", home.path()}};
    options.cp437 = true;
    testsupport::pty_process door({IRCDOOR_PATH, "--bbs", "--cp437"}, options);
    ASSERT_TRUE(door.wait_for_text("BBS terminal mode enabled.")) << door.screen().dump();
    EXPECT_TRUE(frame_fits(door.screen(), 80, 24));
    door.send("q");
    EXPECT_EQ(door.wait_exit(3000ms), 0);
}

}  // namespace
