// The real sysopsim in configuration mode, started as a BBS door: CONFIG.EXE
// works on the board the game saved, prints a bulletin for the BBS, and a
// caller who drops carrier inside it ends the program like anywhere else.
#include "game/rules/profile.h"
#include "tests/support/door_call.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

using namespace std::chrono_literals;
using clock_type = std::chrono::steady_clock;
using testsupport::door_caller;
using testsupport::door_launcher;
using testsupport::hang_up_and_expect_clean_exit;

namespace {

constexpr const char* CONFIG = "CONFIG.EXE - VEXON SIMS";

::testing::AssertionResult step(door_caller& c, const std::string& keys, const std::string& text,
                                std::chrono::milliseconds timeout = 5s)
{
    c.send(keys);
    if (c.wait_for_text(text, timeout))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no \"" << text << "\" after \"" << keys << "\":\n" << c.screen().dump();
}

door_launcher config_board(const testsupport::temp_dir& dir, const char* user)
{
    return door_launcher({DOOR_LAUNCHER_PATH, "--game", SYSOPSIM_PATH, "--dir", dir.path(), "--port", "0", "--user",
                          user, "--", "--config"});
}

}  // namespace

TEST(game_config, WithoutASavedBoardOnlyTheBoxIsShown)
{
    testsupport::temp_dir dir;
    door_launcher board = config_board(dir, "Nobody");
    door_caller c(board.port());
    ASSERT_TRUE(c.wait_for_text("No saved BBS found for this user.")) << c.screen().dump();
    EXPECT_TRUE(c.screen().contains("No profile loaded"));
    EXPECT_TRUE(c.screen().contains("Start a new BBS from the main menu first."));
    EXPECT_FALSE(c.screen().contains(CONFIG));
    c.send(" ");
    auto ended = board.wait_line("ended", 5s);
    ASSERT_TRUE(ended);
    EXPECT_NE(ended->find("with status 0"), std::string::npos) << *ended;
    EXPECT_EQ(testsupport::read_file(dir.file("data/sysop_nobody.dat")), "");
}

TEST(game_config, SysopConfiguresTheBoardPrintsABulletinAndHangsUp)
{
    testsupport::temp_dir dir;
    {
        // The board as the game made it.
        door_launcher game({DOOR_LAUNCHER_PATH, "--game", SYSOPSIM_PATH, "--dir", dir.path(), "--port", "0",
                            "--user", "Bob"});
        door_caller c(game.port());
        ASSERT_TRUE(c.wait_for_text("[1] New BBS")) << c.screen().dump();
        ASSERT_TRUE(step(c, "1", "Welcome!"));
        ASSERT_TRUE(step(c, " ", "VEXON SIMS - BBS CONSOLE"));
        ASSERT_TRUE(step(c, "q", "[1] New BBS"));
        hang_up_and_expect_clean_exit(game, c);
    }

    door_launcher board = config_board(dir, "Bob");
    door_caller c(board.port());
    ASSERT_TRUE(c.wait_for_text(CONFIG)) << c.screen().dump();
    EXPECT_TRUE(c.screen().contains("Sysop: Bob                   BBS: Bob's Haven")) << c.screen().dump();
    EXPECT_TRUE(c.screen().contains("Turns/Day: 30     Difficulty: Normal"));

    ASSERT_TRUE(step(c, "3", "TURNS PER DAY"));
    ASSERT_TRUE(step(c, "6", "Turns per day updated."));
    ASSERT_TRUE(step(c, " ", "Turns/Day: 100    Difficulty: Normal"));
    profile p{};
    const std::string bytes = testsupport::read_file(dir.file("data/sysop_bob.dat"));
    ASSERT_EQ(bytes.size(), sizeof p);
    std::memcpy(&p, bytes.data(), sizeof p);
    EXPECT_EQ(p.turns_per_day, 100);

    ASSERT_TRUE(step(c, "2", "CHANGE SYSOP NAME"));
    ASSERT_TRUE(step(c, "\b\b\bada\r", "Sysop name updated."));
    ASSERT_TRUE(step(c, " ", "Sysop: ADA "));

    ASSERT_TRUE(step(c, "8", "Pick a report to print."));
    ASSERT_TRUE(step(c, "1", "Printing DAILY log for ADA..."));
    ASSERT_TRUE(c.wait_for_text("Saved daily log to:", 30s)) << c.screen().dump();
    EXPECT_TRUE(c.screen().contains("data/log_day.ans"));
    const std::string asc = testsupport::read_file(dir.file("data/log_day.asc"));
    EXPECT_NE(asc.find("| |  Sysop         : ADA"), std::string::npos) << asc;
    EXPECT_NE(asc.find("| |  Turns used    : 0 / 100"), std::string::npos) << asc;
    EXPECT_NE(testsupport::read_file(dir.file("data/log_day.ans")).find("\x1b[0;37m ** VEXON SIMS - DAILY LOG **"),
              std::string::npos);
    ASSERT_TRUE(step(c, " ", "Pick a report to print."));
    ASSERT_TRUE(step(c, "q", CONFIG));

    ASSERT_TRUE(step(c, "7", "scores.ans + scores.asc"));
    EXPECT_NE(testsupport::read_file(dir.file("data/scores.asc")).find("  1 Bob"), std::string::npos);
    EXPECT_NE(testsupport::read_file(dir.file("data/scores.ans")).find("  1 Bob"), std::string::npos);
    ASSERT_TRUE(step(c, " ", CONFIG));

    // Dropping carrier on the main screen ends the program.
    hang_up_and_expect_clean_exit(board, c);
}

TEST(game_config, HangUpInsideAQuestionEndsTheProgram)
{
    testsupport::temp_dir dir;
    {
        door_launcher game({DOOR_LAUNCHER_PATH, "--game", SYSOPSIM_PATH, "--dir", dir.path(), "--port", "0",
                            "--user", "Eve"});
        door_caller c(game.port());
        ASSERT_TRUE(c.wait_for_text("[1] New BBS")) << c.screen().dump();
        ASSERT_TRUE(step(c, "1", "Welcome!"));
        ASSERT_TRUE(step(c, " ", "VEXON SIMS - BBS CONSOLE"));
        hang_up_and_expect_clean_exit(game, c);
    }
    const std::string saved = testsupport::read_file(dir.file("data/sysop_eve.dat"));
    ASSERT_EQ(saved.size(), 232u);

    door_launcher board = config_board(dir, "Eve");
    door_caller c(board.port());
    ASSERT_TRUE(c.wait_for_text(CONFIG)) << c.screen().dump();
    ASSERT_TRUE(step(c, "6", "Wipe everything and start fresh?"));
    hang_up_and_expect_clean_exit(board, c);
    EXPECT_EQ(testsupport::read_file(dir.file("data/sysop_eve.dat")), saved);
}
