// The real sysopsim as a door: a caller in the underground wins and loses
// hacks by eye, buys a kit, and breaks into a second player's board, who
// hears of it when calling next. A caller who hangs up mid-game ends the
// game at once.
#include "game/rules/profile.h"
#include "tests/e2e/game_reels.h"
#include "tests/support/door_call.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

using namespace std::chrono_literals;
using testsupport::door_caller;
using testsupport::door_launcher;

namespace {

constexpr const char* CONSOLE = "VEXON SIMS - BBS CONSOLE";
constexpr const char* COVE = "THE PIRATE COVE";

profile read_board(const std::string& path)
{
    profile p{};
    const std::string bytes = testsupport::read_file(path);
    EXPECT_EQ(bytes.size(), sizeof p) << path;
    std::memcpy(&p, bytes.data(), std::min(bytes.size(), sizeof p));
    return p;
}

::testing::AssertionResult step(door_caller& c, const std::string& keys, const std::string& text)
{
    c.send(keys);
    if (c.wait_for_text(text, 20s))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no \"" << text << "\" after \"" << keys << "\":\n" << c.screen().dump();
}

// Calls in, names the caller, and opens a new board or continues one.
void call_in(door_caller& c, const std::string& name, const char* title_key, const std::string& first_text)
{
    ASSERT_TRUE(c.wait_for_raw("Your name: ", 20s));
    c.send(name + "\r");
    ASSERT_TRUE(c.wait_for_text("[1] New BBS", 20s)) << c.screen().dump();
    ASSERT_TRUE(step(c, title_key, first_text));
}

// Attacks a target until a game ends with the wanted box; the games lost on
// the way (a press that came late) count as tries.
std::string attack_until(door_caller& c, const std::string& keys, bool win, const std::string& want, int tries,
                         const std::string& back_to = COVE)
{
    std::string got;
    for (int i = 0; i < tries && got != want; ++i) {
        if (!step(c, keys, "Attempt hack?"))
            return "no question";
        c.send("y");
        got = reels::play(c, win);
        if (got.find("no game") != std::string::npos || got == "timed out")
            return got;
        c.send(" ");
        if (!c.wait_for_text(back_to, 20s))
            return "no screen after the box";
    }
    return got;
}

}  // namespace

TEST(game_underground, CallerHacksTargetsBuysAKitAndBreaksIntoASecondBoard)
{
    testsupport::temp_dir dir;
    door_launcher board({DOOR_LAUNCHER_PATH, "--game", SYSOPSIM_PATH, "--dir", dir.path(), "--port", "0"});
    const int port = board.port();
    ASSERT_GT(port, 0);

    // The victim opens a board and leaves.
    {
        door_caller v(port);
        call_in(v, "Victor", "1", "Welcome!");
        ASSERT_TRUE(step(v, " ", CONSOLE));
        ASSERT_TRUE(step(v, "q", "[1] New BBS"));
        v.hang_up();
        ASSERT_TRUE(board.wait_line("ended", 10s));
    }
    const std::string victim_file = dir.file("data/sysop_victor.dat");
    const profile victim_before = read_board(victim_file);

    door_caller c(port);
    call_in(c, "Hacker", "1", "Welcome!");
    ASSERT_TRUE(step(c, " ", CONSOLE));
    ASSERT_TRUE(step(c, "5", COVE));
    EXPECT_TRUE(c.screen().contains("Hack Skill: 10 / 100      Heat: 0 / 100      Cash: $1500"));

    // A won hack on the local kid, on the board before the box.
    ASSERT_EQ(attack_until(c, "1", true, "SCORE", 5), "SCORE");
    const profile after_win = read_board(dir.file("data/sysop_hacker.dat"));
    EXPECT_GE(after_win.cash, 1500 + 50);
    EXPECT_GE(after_win.warez, 1);
    EXPECT_EQ(after_win.hack_skill, 12);

    // A lost one costs reputation.
    ASSERT_EQ(attack_until(c, "1", false, "BUSTED TRACE", 3), "BUSTED TRACE");
    const profile after_loss = read_board(dir.file("data/sysop_hacker.dat"));
    EXPECT_EQ(after_loss.rep, std::max(after_win.rep - 2, 0));

    // The Password List from the Dark Market.
    ASSERT_TRUE(step(c, "d", "Dark Market - Viruses & Hack Kits"));
    ASSERT_TRUE(step(c, "\r", "Buy from the Dark Market?"));
    ASSERT_TRUE(step(c, "y", "Skill +3   Warez +0   Heat +1"));
    const profile after_kit = read_board(dir.file("data/sysop_hacker.dat"));
    EXPECT_EQ(after_kit.dark_goods, 1u);
    EXPECT_EQ(after_kit.cash, after_loss.cash - 150);
    ASSERT_TRUE(step(c, "x", "[ENTER] buy"));
    ASSERT_TRUE(step(c, "q", COVE));

    // The second player's board.
    ASSERT_TRUE(step(c, "p", "RIVAL SYSOP UNDERGROUND"));
    EXPECT_TRUE(c.screen().contains("Victor's Haven"));
    const profile hacker_before = read_board(dir.file("data/sysop_hacker.dat"));
    ASSERT_EQ(attack_until(c, "\r", true, "RIVAL OWNED", 5, "RIVAL SYSOP UNDERGROUND"), "RIVAL OWNED");
    const profile victim_after = read_board(victim_file);
    EXPECT_EQ(victim_after.hacked_while_away, 1);
    EXPECT_EQ(victim_after.cash, victim_before.cash - 300);  // 1500 / 6 + 50
    EXPECT_EQ(read_board(dir.file("data/sysop_hacker.dat")).cash, hacker_before.cash + 300);
    ASSERT_TRUE(step(c, "q", COVE));
    ASSERT_TRUE(step(c, "q", CONSOLE));
    ASSERT_TRUE(step(c, "q", "[1] New BBS"));
    c.hang_up();
    ASSERT_TRUE(board.wait_line("ended", 10s));

    // The victim calls again and hears of it.
    door_caller v(port);
    call_in(v, "Victor", "2", "Someone hacked you");
    EXPECT_TRUE(v.screen().contains("While you were away, 1 rival sysop"));
    ASSERT_TRUE(step(v, " ", CONSOLE));
    EXPECT_EQ(read_board(victim_file).hacked_while_away, 0) << "the report is not shown twice";
    EXPECT_TRUE(v.screen().contains("CASH $1200"));
}

TEST(game_underground, HangingUpMidGameEndsTheGame)
{
    testsupport::temp_dir dir;
    door_launcher board(
        {DOOR_LAUNCHER_PATH, "--game", SYSOPSIM_PATH, "--dir", dir.path(), "--port", "0", "--user", "Quitter"});
    door_caller c(board.port());
    ASSERT_TRUE(c.wait_for_text("[1] New BBS", 20s));
    ASSERT_TRUE(step(c, "1", "Welcome!"));
    ASSERT_TRUE(step(c, " ", CONSOLE));
    ASSERT_TRUE(step(c, "5", COVE));
    ASSERT_TRUE(step(c, "8", "Attempt hack?"));
    ASSERT_TRUE(step(c, "y", "BREAKING IN"));
    const auto hung_up = std::chrono::steady_clock::now();
    c.hang_up();
    const auto ended = board.wait_line("ended", 10s);
    ASSERT_TRUE(ended);
    EXPECT_NE(ended->find("with status 0"), std::string::npos) << *ended;
    // The game noticed within a frame or two, not at some later timeout.
    EXPECT_LT(std::chrono::steady_clock::now() - hung_up, 3s);
}
