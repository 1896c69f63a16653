// A door session of the real sysopsim as a board runs it: the door launcher
// writes the dropfile (time left, node) and the test is the caller. Limits run
// on a door minute of a few seconds (VEXON_DOOR_MINUTE_SECONDS), so a
// one-minute limit ends in seconds.
#include "tests/support/door_call.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using testsupport::door_caller;
using testsupport::door_launcher;

namespace {

// Types keys, then waits for a text on the caller's screen.
::testing::AssertionResult step(door_caller& c, const std::string& keys, const std::string& text,
                                std::chrono::milliseconds timeout = 5s)
{
    c.send(keys);
    if (c.wait_for_text(text, timeout))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no \"" << text << "\" after \"" << keys << "\":\n" << c.screen().dump();
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    return lines;
}

// The caller log's lines, each without its time stamp.
std::vector<std::string> log_events(const std::string& path)
{
    std::vector<std::string> events;
    for (const auto& l : lines_of(testsupport::read_file(path)))
        events.push_back(l.size() > 20 ? l.substr(20) : l);
    return events;
}

struct saved_board {
    std::int64_t cash = -1;
    std::int32_t nodes = -1;
};

saved_board read_board(const std::string& path)
{
    const std::string bytes = testsupport::read_file(path);
    saved_board b;
    if (bytes.size() == 232) {
        std::memcpy(&b.cash, bytes.data() + 80, 8);
        std::memcpy(&b.nodes, bytes.data() + 96, 4);
    }
    return b;
}

// The hall of fame's first record: sysop name and cash.
std::pair<std::string, std::int64_t> first_of_fame(const std::string& path)
{
    const std::string bytes = testsupport::read_file(path);
    if (bytes.size() < 88)
        return {"", -1};
    std::int64_t cash = 0;
    std::memcpy(&cash, bytes.data() + 64, 8);
    return {std::string(bytes.data(), strnlen(bytes.data(), 32)), cash};
}

// A board for the caller "Ada" with door minutes of the given seconds.
struct game_board {
    game_board(int minute_seconds, std::vector<std::string> launcher_args, std::vector<std::string> door_args = {})
    {
        std::vector<std::string> args{DOOR_LAUNCHER_PATH, "--game", SYSOPSIM_PATH, "--dir", dir.path(),
                                      "--port",           "0",      "--user",      "Ada"};
        args.insert(args.end(), launcher_args.begin(), launcher_args.end());
        if (!door_args.empty()) {
            args.emplace_back("--");
            args.insert(args.end(), door_args.begin(), door_args.end());
        }
        board.emplace(args, std::vector<std::pair<std::string, std::string>>{
                                {"VEXON_DOOR_MINUTE_SECONDS", std::to_string(minute_seconds)},
                                {"LANG", "C.UTF-8"}, {"LC_ALL", "C.UTF-8"}});
    }
    testsupport::temp_dir dir;
    std::optional<door_launcher> board;
};

// A new board, then a second node bought: the board saved with $900.
::testing::AssertionResult play_a_little(door_caller& c)
{
    for (const auto& [keys, text] : std::vector<std::pair<std::string, std::string>>{
             {"1", "Welcome!"}, {" ", "VEXON SIMS - BBS CONSOLE"}, {"8", "A new node costs $600."},
             {"y", "New node online!"}, {" ", "2 nodes"}}) {
        if (auto r = step(c, keys, text); !r)
            return r;
    }
    return ::testing::AssertionSuccess();
}

TEST(game_session, OneMinuteLeftWarnsThenSavesRecordsAndSaysGoodbye)
{
    game_board b(10, {"--minutes", "1"});
    door_caller c(b.board->port());
    ASSERT_TRUE(b.board->wait_line("started pid"));
    // One minute left from the start: the warning comes with the title.
    ASSERT_TRUE(c.wait_for_text("Time is running out")) << c.screen().dump();
    EXPECT_TRUE(c.screen().contains("1 minute of your time left."));
    // The key that takes the warning away does nothing else.
    c.send("4");
    ASSERT_TRUE(c.wait_until([&] { return !c.screen().contains("Time is running out"); })) << c.screen().dump();
    EXPECT_TRUE(c.screen().contains("[1] New BBS"));
    ASSERT_TRUE(play_a_little(c));

    ASSERT_TRUE(c.wait_for_text("Time's up", 15s)) << c.screen().dump();
    const auto ended = b.board->wait_line("ended", 10s);
    ASSERT_TRUE(ended);
    EXPECT_NE(ended->find("with status 0"), std::string::npos) << *ended;

    const saved_board saved = read_board(b.dir.file("data/sysop_ada.dat"));
    EXPECT_EQ(saved.nodes, 2);
    EXPECT_EQ(saved.cash, 900);
    EXPECT_EQ(first_of_fame(b.dir.file("data/topsysops.dat")), std::make_pair(std::string("Ada"), std::int64_t{900}));
    EXPECT_NE(testsupport::read_file(b.dir.file("data/scores.asc")).find("Ada's Haven"), std::string::npos);
    const auto events = log_events(b.dir.file("data/sysopsim.log"));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], "node 1 start Ada");
    EXPECT_EQ(events[1].rfind("node 1 end (time up, ", 0), 0u) << events[1];
}

// Idle for a door minute: warned with a bell half-way, dropped at the end;
// a key in between starts the wait again.
TEST(game_session, IdleCallerIsWarnedThenDroppedAndAKeyKeepsThem)
{
    game_board b(6, {}, {"--idle-minutes", "1"});
    door_caller c(b.board->port());
    ASSERT_TRUE(c.wait_for_text("[1] New BBS")) << c.screen().dump();
    ASSERT_TRUE(step(c, "1", "Welcome!"));
    ASSERT_TRUE(step(c, " ", "VEXON SIMS - BBS CONSOLE"));

    ASSERT_TRUE(c.wait_for_text("Still there?", 10s)) << c.screen().dump();
    EXPECT_TRUE(c.wait_for_raw("\a"));
    c.send("x");
    ASSERT_TRUE(c.wait_until([&] { return !c.screen().contains("Still there?"); })) << c.screen().dump();
    EXPECT_TRUE(c.screen().contains("VEXON SIMS - BBS CONSOLE"));
    // Kept: the next warning comes only after a new half minute of silence,
    // and the game is still there to give it.
    ASSERT_TRUE(c.wait_for_text("Still there?", 10s)) << c.screen().dump();
    EXPECT_FALSE(b.board->wait_line("ended", 0ms));

    ASSERT_TRUE(c.wait_for_text("Idle too long", 10s)) << c.screen().dump();
    const auto ended = b.board->wait_line("ended", 10s);
    ASSERT_TRUE(ended);
    EXPECT_NE(ended->find("with status 0"), std::string::npos) << *ended;
    EXPECT_EQ(first_of_fame(b.dir.file("data/topsysops.dat")).first, "Ada");
    const auto events = log_events(b.dir.file("data/sysopsim.log"));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].rfind("node 1 end (idle, ", 0), 0u) << events[1];
}

struct way_out {
    const char* name;
    int signal;          // 0: the caller hangs up
    const char* reason;  // in the caller log
};

void PrintTo(const way_out& w, std::ostream* os)
{
    *os << w.name;
}

class game_gone : public ::testing::TestWithParam<way_out> {};

// Whichever way the caller goes mid-game, the hall of fame and its bulletin
// catch up with the board as saved, as a quit leaves them.
TEST_P(game_gone, HallOfFameMatchesTheSavedBoard)
{
    const way_out& w = GetParam();
    game_board b(60, {});
    door_caller c(b.board->port());
    const auto started = b.board->wait_line("started pid");
    ASSERT_TRUE(started);
    const pid_t game = std::atoi(started->substr(started->find("pid ") + 4).c_str());
    ASSERT_TRUE(c.wait_for_text("[1] New BBS")) << c.screen().dump();
    ASSERT_TRUE(play_a_little(c));
    ASSERT_TRUE(step(c, "6", "SYSOP DOSSIER"));
    EXPECT_FALSE(std::filesystem::exists(b.dir.file("data/topsysops.dat"))) << "nothing recorded before leaving";

    if (w.signal)
        ASSERT_EQ(kill(game, w.signal), 0);
    else
        c.hang_up();
    const auto ended = b.board->wait_line("ended", 10s);
    ASSERT_TRUE(ended);
    EXPECT_NE(ended->find("with status 0"), std::string::npos) << *ended;

    const saved_board saved = read_board(b.dir.file("data/sysop_ada.dat"));
    EXPECT_EQ(saved.cash, 900);
    EXPECT_EQ(first_of_fame(b.dir.file("data/topsysops.dat")), std::make_pair(std::string("Ada"), saved.cash));
    const std::string scores = testsupport::read_file(b.dir.file("data/scores.asc"));
    EXPECT_NE(scores.find("Ada's Haven"), std::string::npos) << scores;
    EXPECT_NE(scores.find("900"), std::string::npos) << scores;
    const auto events = log_events(b.dir.file("data/sysopsim.log"));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].rfind(std::string("node 1 end (") + w.reason + ", ", 0), 0u) << events[1];
}

INSTANTIATE_TEST_SUITE_P(ways, game_gone,
                         ::testing::Values(way_out{"HangUp", 0, "hang-up"}, way_out{"Sighup", SIGHUP, "signal"},
                                           way_out{"Sigterm", SIGTERM, "signal"}),
                         [](const auto& p) { return std::string(p.param.name); });

struct format_case {
    const char* format;
    const char* dropfile;  // in node1/
};

void PrintTo(const format_case& f, std::ostream* os)
{
    *os << f.format;
}

class game_formats : public ::testing::TestWithParam<format_case> {};

// The formats that name no socket: the caller is on the game's standard
// streams, in code page 437 although the locale is UTF-8.
TEST_P(game_formats, CallerOnStandardStreamsPlaysUnderTheDropfilesName)
{
    const format_case& f = GetParam();
    game_board b(60, {"--dropfile-format", f.format, "--minutes", "30"});
    door_caller c(b.board->port());
    ASSERT_TRUE(c.wait_for_text("[1] New BBS")) << c.screen().dump();
    EXPECT_EQ(c.screen().text_at(10, 2, 2), "╔═") << "frames in code page 437\n" << c.screen().dump();
    ASSERT_TRUE(step(c, "1", "Welcome!"));
    ASSERT_TRUE(step(c, " ", "Sysop: Ada"));
    EXPECT_TRUE(std::filesystem::exists(b.dir.file(std::string("node1/") + f.dropfile)));
    ASSERT_TRUE(step(c, "q", "[1] New BBS"));
    c.send("4");
    const auto ended = b.board->wait_line("ended", 10s);
    ASSERT_TRUE(ended);
    EXPECT_NE(ended->find("with status 0"), std::string::npos) << *ended;
    EXPECT_EQ(read_board(b.dir.file("data/sysop_ada.dat")).cash, 1500);
    const auto events = log_events(b.dir.file("data/sysopsim.log"));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], "node 1 start Ada");
    EXPECT_EQ(events[1].rfind("node 1 end (quit, ", 0), 0u) << events[1];
}

INSTANTIATE_TEST_SUITE_P(formats, game_formats,
                         ::testing::Values(format_case{"door", "DOOR.SYS"}, format_case{"dorinfo", "DORINFO1.DEF"},
                                           format_case{"chain", "CHAIN.TXT"}),
                         [](const auto& p) { return std::string(p.param.format); });

}  // namespace
