// The real sysopsim as a BBS door: a caller advances the board from the
// console and sees each day's report, while the board's file follows.
#include "game/rules/profile.h"
#include "tests/support/door_call.h"
#include "tests/support/temp_dir.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>

using namespace std::chrono_literals;
using testsupport::door_caller;
using testsupport::door_launcher;

namespace {

constexpr const char* CONSOLE = "VEXON SIMS - BBS CONSOLE";
constexpr const char* BOX_PROMPT = "[ Press any key ]";

// The board as its file holds it (all zero when the file is not whole).
profile board_on_disk(const std::string& path)
{
    profile p{};
    const std::string bytes = testsupport::read_file(path);
    if (bytes.size() == sizeof p)
        std::memcpy(&p, bytes.data(), sizeof p);
    return p;
}

// Answers the boxes after a day until the console is back. A VIP caller
// plays a 4.5 s modem animation before its box.
bool answer_boxes_until_console(door_caller& c)
{
    for (int box = 0; box < 4; ++box) {
        std::string before = c.screen().dump();
        c.send("x");
        bool moved = c.wait_until(
            [&] {
                auto& s = c.screen();
                return s.contains(CONSOLE) || (s.contains(BOX_PROMPT) && s.dump() != before);
            },
            10s);
        if (!moved)
            return false;
        if (c.screen().contains(CONSOLE))
            return true;
    }
    return false;
}

// The number of callers the report box states ("N callers today."), or -1.
int callers_in_report(vt::vt_screen& s)
{
    const int y = s.find_row(" callers today.");
    if (y < 0)
        return -1;
    const std::string row = s.row_text(y);
    const std::size_t end = row.find(" callers today.");
    std::size_t start = end;
    while (start > 0 && row[start - 1] >= '0' && row[start - 1] <= '9')
        --start;
    return start == end ? -1 : std::atoi(row.substr(start, end - start).c_str());
}

// A board behind the door launcher with one caller on the title screen.
struct board_call {
    board_call(const testsupport::temp_dir& dir, const char* user)
        : board({DOOR_LAUNCHER_PATH, "--game", SYSOPSIM_PATH, "--dir", dir.path(), "--port", "0", "--user", user}),
          caller(board.port())
    {
    }
    door_launcher board;
    door_caller caller;
};

}  // namespace

TEST(game_day, AdvancingDaysFromTheConsoleSavesEachDayBeforeItsReport)
{
    testsupport::temp_dir dir;
    board_call call(dir, "Dee");
    door_caller& c = call.caller;
    ASSERT_TRUE(c.wait_for_text("[1] New BBS")) << c.screen().dump();
    c.send("1");
    ASSERT_TRUE(c.wait_for_text("Welcome!")) << c.screen().dump();
    c.send(" ");
    ASSERT_TRUE(c.wait_for_text(CONSOLE)) << c.screen().dump();
    const std::string file = dir.file("data/sysop_dee.dat");

    for (std::uint32_t day = 2; day <= 3; ++day) {
        SCOPED_TRACE(day);
        c.send("1");
        ASSERT_TRUE(c.wait_for_text("End of Day")) << c.screen().dump();
        ASSERT_TRUE(c.wait_for_text(BOX_PROMPT)) << c.screen().dump();
        // The day is on disk while its report is still on screen.
        const profile saved = board_on_disk(file);
        EXPECT_EQ(saved.day, day);
        EXPECT_EQ(saved.turns_used, static_cast<std::int32_t>(day - 1));
        EXPECT_EQ(saved.callers_yesterday, callers_in_report(c.screen())) << c.screen().dump();
        EXPECT_GE(saved.callers_yesterday, 0);
        ASSERT_TRUE(answer_boxes_until_console(c)) << c.screen().dump();
    }
    EXPECT_EQ(board_on_disk(file).day, 3u);
}

TEST(game_day, OutOfTurnsLeavesTheBoardFileAsItWas)
{
    // Clear of midnight UTC, so "today" is the same for the test and the game
    // even when a loaded machine takes its time over the test.
    if (const auto left = 86400 - std::time(nullptr) % 86400; left < 120)
        std::this_thread::sleep_for(std::chrono::seconds(left + 1));

    testsupport::temp_dir dir;
    ::mkdir(dir.file("data").c_str(), 0755);
    profile p{};
    p.magic = PROFILE_MAGIC;
    p.version = PROFILE_VERSION;
    std::snprintf(p.sysop_name, sizeof p.sysop_name, "Eve");
    std::snprintf(p.bbs_name, sizeof p.bbs_name, "Eve's Haven");
    p.day = 7;
    p.cash = 1500;
    p.rep = 5;
    p.nodes = 1;
    p.hack_skill = 10;
    p.hw_health = 100;
    p.reserved_one = 1;
    p.turns_per_day = 1;
    p.difficulty = 1;
    p.turn_day = static_cast<std::int32_t>(std::time(nullptr) / 86400);
    p.turns_used = 1;
    const std::string file = dir.file("data/sysop_eve.dat");
    testsupport::write_file(file, std::string(reinterpret_cast<const char*>(&p), sizeof p));

    board_call call(dir, "Eve");
    door_caller& c = call.caller;
    ASSERT_TRUE(c.wait_for_text("[1] New BBS")) << c.screen().dump();
    c.send("2");
    ASSERT_TRUE(c.wait_for_text(CONSOLE)) << c.screen().dump();
    const std::string before = testsupport::read_file(file);
    ASSERT_EQ(before.size(), sizeof p);

    c.send("1");
    ASSERT_TRUE(c.wait_for_text("Out of turns")) << c.screen().dump();
    EXPECT_TRUE(c.screen().contains("You've used all 1 turns today.")) << c.screen().dump();
    c.send("x");
    ASSERT_TRUE(c.wait_for_text(CONSOLE)) << c.screen().dump();
    EXPECT_EQ(testsupport::read_file(file), before);
    EXPECT_EQ(board_on_disk(file).day, 7u);
}
