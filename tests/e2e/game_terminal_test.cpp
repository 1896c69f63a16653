// The real sysopsim in a pseudo-terminal: it takes the terminal, draws in
// the glyphs the terminal's locale expects, gives the terminal back, and
// leaves cleanly when the terminal goes away.
#include "game/rules/profile.h"
#include "tests/support/pty_process.h"
#include "tests/support/temp_dir.h"

#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

using namespace std::chrono_literals;
using testsupport::pty_options;
using testsupport::pty_process;

namespace {

pty_options game_options(const testsupport::temp_dir& dir, const char* lang, int cols = 80, int rows = 25)
{
    pty_options o;
    o.cols = cols;
    o.rows = rows;
    o.cwd = dir.path();
    o.env = {{"LANG", lang}, {"LC_ALL", lang}};
    return o;
}

}  // namespace

TEST(game_terminal, Utf8LocaleShowsBoxDrawingAndLeavingRestoresTheTerminal)
{
    testsupport::temp_dir dir;
    pty_process game({SYSOPSIM_PATH}, game_options(dir, "C.UTF-8"));
    ASSERT_TRUE(game.wait_for_text("V E X O N   S I M S")) << game.screen().dump();
    EXPECT_TRUE(game.screen().alt_screen());
    EXPECT_FALSE(game.screen().cursor_visible());
    EXPECT_TRUE(game.screen().contains("╔══")) << game.screen().dump();

    game.send("4");
    auto status = game.wait_exit(10s);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 0);
    EXPECT_FALSE(game.screen().alt_screen());
    EXPECT_TRUE(game.screen().cursor_visible());
    // Auto-wrap is switched back on at the end.
    EXPECT_NE(game.output().find("\x1b[?7h"), std::string::npos);
}

TEST(game_terminal, ClosedTerminalEndsTheGameWithinASecond)
{
    testsupport::temp_dir dir;
    pty_process game({SYSOPSIM_PATH}, game_options(dir, "C.UTF-8"));
    ASSERT_TRUE(game.wait_for_text("V E X O N"));
    auto start = std::chrono::steady_clock::now();
    game.hang_up();
    auto status = game.wait_exit(10s);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 0);
    // A second for the game (timed in the unit tests), with room for the exit
    // of a sanitizer build on a loaded machine.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
}

TEST(game_terminal, SmallTerminalIsToldBeforeTheTitle)
{
    testsupport::temp_dir dir;
    pty_process game({SYSOPSIM_PATH}, game_options(dir, "C.UTF-8", 70, 20));
    ASSERT_TRUE(game.wait_for_text("VEXON SIMS needs an 80x25 terminal.")) << game.screen().dump();
    EXPECT_TRUE(game.screen().contains("This one is 70x20."));
    EXPECT_FALSE(game.screen().contains("V E X O N"));

    game.resize(80, 25);
    game.send(" ");
    ASSERT_TRUE(game.wait_for_text("[1] New BBS")) << game.screen().dump();
    game.send("q");
    auto status = game.wait_exit(10s);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 0);
}

TEST(game_terminal, SmallTerminalCanBeLeftAtOnce)
{
    testsupport::temp_dir dir;
    pty_process game({SYSOPSIM_PATH}, game_options(dir, "C.UTF-8", 80, 24));
    ASSERT_TRUE(game.wait_for_text("This one is 80x24.")) << game.screen().dump();
    game.send("q");
    auto status = game.wait_exit(10s);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 0);
    EXPECT_FALSE(game.screen().alt_screen());
}

TEST(game_terminal, ConfigurationModeWorksOnTheBoardOfTheLoginUser)
{
    testsupport::temp_dir dir;
    auto options = game_options(dir, "C.UTF-8");
    options.env.emplace_back("USER", "tester");
    {
        pty_process game({SYSOPSIM_PATH, "--config", "--cp437"}, options);
        ASSERT_TRUE(game.wait_for_text("No saved BBS found for this user.")) << game.screen().dump();
        game.send("k");
        auto status = game.wait_exit(10s);
        ASSERT_TRUE(status.has_value());
        EXPECT_EQ(*status, 0);
    }
    {
        pty_process game({SYSOPSIM_PATH}, options);
        ASSERT_TRUE(game.wait_for_text("[1] New BBS")) << game.screen().dump();
        game.send("1");
        ASSERT_TRUE(game.wait_for_text("Welcome!")) << game.screen().dump();
        game.send(" ");
        ASSERT_TRUE(game.wait_for_text("VEXON SIMS - BBS CONSOLE")) << game.screen().dump();
        game.send("q");
        ASSERT_TRUE(game.wait_for_text("[1] New BBS")) << game.screen().dump();
        game.send("4");
        ASSERT_TRUE(game.wait_exit(10s).has_value());
    }
    // USER names the board in configuration mode only: the game above made
    // the default "Sysop"'s board, which the login user takes over here (a
    // board belongs to the name it was saved for, so it is renamed and its
    // owner key cleared, as in a board from before owner keys).
    profile taken{};
    const std::string bytes = testsupport::read_file(dir.file("data/sysop_sysop.dat"));
    ASSERT_EQ(bytes.size(), sizeof taken);
    std::memcpy(&taken, bytes.data(), sizeof taken);
    std::snprintf(taken.sysop_name, sizeof taken.sysop_name, "tester");
    taken.owner_key = 0;
    testsupport::write_file(dir.file("data/sysop_tester.dat"),
                            std::string(reinterpret_cast<const char*>(&taken), sizeof taken));
    pty_process config({SYSOPSIM_PATH, "--config"}, options);
    ASSERT_TRUE(config.wait_for_text("CONFIG.EXE - VEXON SIMS")) << config.screen().dump();
    EXPECT_TRUE(config.screen().contains("[5] User / profile editor"));
    config.send("q");
    auto status = config.wait_exit(10s);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 0);
    EXPECT_FALSE(config.screen().alt_screen());
}

TEST(game_terminal, SmallTerminalIsToldBeforeTheConfigurationMenu)
{
    testsupport::temp_dir dir;
    auto options = game_options(dir, "C.UTF-8", 80, 20);
    options.env.emplace_back("USER", "tester");
    pty_process config({SYSOPSIM_PATH, "--config"}, options);
    ASSERT_TRUE(config.wait_for_text("This one is 80x20.")) << config.screen().dump();
    EXPECT_FALSE(config.screen().contains("No profile loaded"));
    config.resize(80, 25);
    config.send(" ");
    ASSERT_TRUE(config.wait_for_text("No profile loaded")) << config.screen().dump();
    config.send(" ");
    auto status = config.wait_exit(10s);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 0);
}

namespace {

// Keys that make the game send screen after screen (the hall of fame and
// back to the title), more than a terminal holds unread; then waits until
// what the terminal holds stops growing: the game waits to write.
bool fill_terminal_nobody_reads(pty_process& game)
{
    for (int i = 0; i < 80; ++i)
        game.send("3 ");
    const auto give_up = std::chrono::steady_clock::now() + 20s;
    std::size_t last = game.unread_bytes();
    auto same_since = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() < give_up) {
        std::this_thread::sleep_for(50ms);
        const std::size_t now = game.unread_bytes();
        if (now != last) {
            last = now;
            same_since = std::chrono::steady_clock::now();
        } else if (now > 1024 && std::chrono::steady_clock::now() - same_since > 500ms) {
            return true;
        }
    }
    return false;
}

}  // namespace

TEST(game_terminal, QuitSignalEndsAGameStuckOnATerminalNobodyReads)
{
    for (int sig : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(sig == SIGTERM ? "SIGTERM" : "SIGHUP");
        testsupport::temp_dir dir;
        pty_process game({SYSOPSIM_PATH}, game_options(dir, "C.UTF-8"));
        ASSERT_TRUE(game.wait_for_text("[1] New BBS")) << game.screen().dump();
        ASSERT_TRUE(fill_terminal_nobody_reads(game));
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(kill(game.pid(), sig), 0);
        const auto status = game.wait_exit_unread(10s);
        ASSERT_TRUE(status.has_value()) << "still writing to a terminal nobody reads";
        EXPECT_EQ(*status, 0);
        // A second for the game, with room for a sanitizer build's exit on a
        // loaded machine.
        EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    }
}

TEST(game_terminal, TerminalNobodyReadsForSecondsIsTakenForAHangUp)
{
    testsupport::temp_dir dir;
    pty_process game({SYSOPSIM_PATH}, game_options(dir, "C.UTF-8"));
    ASSERT_TRUE(game.wait_for_text("[1] New BBS")) << game.screen().dump();
    ASSERT_TRUE(fill_terminal_nobody_reads(game));
    // The game lets a caller who takes nothing go after 6 s.
    const auto status = game.wait_exit_unread(30s);
    ASSERT_TRUE(status.has_value()) << "still writing to a terminal nobody reads";
    EXPECT_EQ(*status, 0);
}
