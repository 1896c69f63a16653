// The day's callers, money, bills, standing, fame and victory. Every case
// ends with the event roll at 99, which no rule takes at these threats, so
// only the day itself shows.
#include "tests/game/day_fixture.h"

#include <limits>

using day_traffic = day_test;

TEST_F(day_traffic, NewBoardGetsOneToNineCallersAtThreeDollarsEach)
{
    // Base 4 for a new board: the 300 bps modem's 0 + 4, nothing else.
    for (int callers_draw : {0, 4, 8}) {
        SCOPED_TRACE(callers_draw);
        new_profile();
        door.clear_output();
        set_day_draws(callers_draw, 99);
        const int callers = callers_draw + 1;

        run_one_day();

        EXPECT_EQ(last_box_title(), "End of Day");
        EXPECT_TRUE(screen_shows(std::to_string(callers) + " callers today.")) << screen()->dump();
        EXPECT_TRUE(screen_shows("Earned  $" + std::to_string(3 * callers)));
        EXPECT_TRUE(screen_shows("Bills   $0"));
        EXPECT_TRUE(screen_shows("Rep 5   Heat 0   HW 98%"));
        EXPECT_EQ(P.callers_yesterday, callers);
        EXPECT_EQ(P.total_callers, callers);
        EXPECT_EQ(P.cash, 1500 + 3 * callers);
        EXPECT_EQ(P.day, 2u);
    }
}

TEST_F(day_traffic, PhoneBillsFallWhenDayThirtyIsRun)
{
    // FidoNet Point and UUCP: base 4 + 3 (second node) + 4 + 5 = 16; with
    // draw 3 that is 16 callers earning 5 * 16 / 60 + 3 * 16 = 49.
    // Bills: 20 + 60 + 25 * 2 = 130.
    struct bill_case {
        std::uint32_t day;
        std::int64_t bills;
    };
    for (const auto& c : {bill_case{29, 0}, bill_case{30, 130}, bill_case{31, 0}, bill_case{60, 130}}) {
        SCOPED_TRACE(c.day);
        new_profile();
        P.day = c.day;
        P.fido_tier = 1;
        P.inet_tier = 1;
        P.nodes = 2;
        door.clear_output();
        set_day_draws(3, 99);

        run_one_day();

        EXPECT_TRUE(screen_shows("Bills   $" + std::to_string(c.bills))) << screen()->dump();
        EXPECT_EQ(P.callers_yesterday, 16);
        EXPECT_EQ(P.cash, 1500 + 49 - c.bills);
        EXPECT_EQ(P.day, c.day + 1);
    }
}

TEST_F(day_traffic, BillsLargerThanTheTillLeaveItEmpty)
{
    // The top tiers and 16 nodes bill 550 + 300 + 400 against a few hundred
    // dollars of takings.
    P.cash = 0;
    P.day = 30;
    P.fido_tier = 4;
    P.inet_tier = 4;
    P.nodes = 16;
    set_day_draws(ANY, 99);
    run_one_day();
    EXPECT_TRUE(screen_shows("Bills   $1250")) << screen()->dump();
    EXPECT_EQ(P.cash, 0);
}

TEST_F(day_traffic, AFullDiskTurnsCallersAwayAndThenCostsReputation)
{
    // 120 MB drive; each two warez files take a megabyte. Rep 40 and five
    // nodes give a base of 4 + 12 + 5 = 21, and draw 0 takes 3 off.
    struct disk_case {
        std::int32_t warez;
        int percent;
        std::int32_t callers;
        std::int32_t rep;
    };
    const disk_case cases[] = {
        {216, 90, 18, 40},
        {218, 91, 12, 40},  // 21 * 3 / 4 = 15
        {228, 95, 12, 40},
        {230, 96, 12, 38},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.percent);
        new_profile();
        P.hdd = 2;
        P.rep = 40;
        P.nodes = 5;
        P.warez = c.warez;
        ASSERT_EQ(disk_pct(), c.percent);
        set_day_draws(0, 99);

        run_one_day();

        EXPECT_EQ(P.callers_yesterday, c.callers);
        EXPECT_EQ(P.rep, c.rep);
    }
}

TEST_F(day_traffic, StandingFollowsCallersHealthWearAndCooling)
{
    // Rep 40; base 4 + 5 + (3 * nodes - 3), draw 0 takes 3 off.
    struct standing_case {
        const char* what;
        std::int32_t hw;
        std::int32_t nodes;
        bool ups;
        std::uint32_t day;
        std::int32_t heat;
        std::int32_t rep_after;
        std::int32_t hw_after;
        std::int32_t heat_after;
    };
    const standing_case cases[] = {
        {"healthy", 40, 1, false, 1, 0, 40, 38, 0},
        {"ailing", 39, 1, false, 1, 0, 38, 37, 0},
        {"ups saves a point", 39, 1, true, 1, 0, 38, 38, 0},
        {"five nodes wear more", 50, 5, false, 1, 0, 40, 47, 0},
        {"21 callers", 50, 6, false, 1, 0, 41, 46, 0},
        {"worn out", 1, 1, false, 1, 0, 38, 0, 0},
        {"even day keeps heat", 100, 1, false, 1, 10, 40, 98, 10},
        {"odd day cools", 100, 1, false, 2, 10, 40, 98, 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        new_profile();
        P.rep = 40;
        P.hw_health = c.hw;
        P.nodes = c.nodes;
        P.peripherals = c.ups ? 1u << 4 : 0u;
        P.day = c.day;
        P.heat = c.heat;
        set_day_draws(0, 99);

        run_one_day();

        EXPECT_EQ(P.rep, c.rep_after);
        EXPECT_EQ(P.hw_health, c.hw_after);
        EXPECT_EQ(P.heat, c.heat_after);
    }
}

TEST_F(day_traffic, FameRisesWithCallersAndNeverFalls)
{
    struct fame_case {
        std::int32_t total_callers;
        std::int32_t fame;
        std::int32_t fame_after;
    };
    for (const auto& c : {fame_case{0, 3, 3}, fame_case{600, 0, 1}, fame_case{1400, 4, 4},
                          fame_case{60000, 2, 5}, fame_case{60000, 5, 5}}) {
        SCOPED_TRACE(c.total_callers);
        new_profile();
        P.total_callers = c.total_callers;
        P.fame = c.fame;
        set_day_draws(ANY, 99);
        run_one_day();
        EXPECT_EQ(P.fame, c.fame_after);
    }
}

TEST_F(day_traffic, FamousBoardsDrawMoreCallers)
{
    // Base 4 times (fame + 5) / 5: fame 5 doubles it.
    P.fame = 5;
    set_day_draws(3, 99);
    run_one_day();
    EXPECT_EQ(P.callers_yesterday, 8);
}

TEST_F(day_traffic, CountsNearTheTopOfTheirRangeDoNotWrap)
{
    // Loading caps such numbers far lower; the day still never wraps them.
    P.cash = std::numeric_limits<std::int64_t>::max() - 1;
    P.total_callers = std::numeric_limits<std::int32_t>::max() - 1;
    set_day_draws(8, 99);
    run_one_day();
    EXPECT_EQ(P.cash, std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(P.total_callers, std::numeric_limits<std::int32_t>::max());
}

namespace {

// Everything the legend needs: fame 5, $200k, 30k callers, a Pentium 166
// MMX, ISDN and both top network tiers.
void make_legend()
{
    P.fame = 5;
    P.cash = 200000;
    P.total_callers = 30000;
    P.cpu = 7;
    P.modem = 8;
    P.fido_tier = 4;
    P.inet_tier = 4;
    P.hdd = 9;
    P.rep = 50;
}

}  // namespace

TEST_F(day_traffic, VictoryNeedsTheWholeRig)
{
    struct victory_case {
        const char* what;
        void (*change)();
        bool wins;
    };
    const victory_case cases[] = {
        {"legend", [] {}, true},
        {"T1 line", [] { P.modem = 9; }, true},
        {"56K modem", [] { P.modem = 7; }, false},
        {"Pentium 90", [] { P.cpu = 6; }, false},
        {"FidoNet hub", [] { P.fido_tier = 3; }, false},
        {"dedicated 56K", [] { P.inet_tier = 3; }, false},
        {"fame 4", [] { P.fame = 4; }, false},
        {"24k callers", [] { P.total_callers = 24000; }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        new_profile();
        make_legend();
        c.change();
        door.clear_output();
        set_day_draws(ANY, 99);

        run_one_day();

        EXPECT_EQ(last_box_title(), c.wins ? "YOU WIN!" : "End of Day");
        EXPECT_EQ(P.won, c.wins ? 1 : 0);
    }
}

TEST_F(day_traffic, VictoryIsAnnouncedOncePerBoardAlsoAfterReloading)
{
    make_legend();
    set_day_draws(ANY, 99);
    run_one_day();
    ASSERT_EQ(last_box_title(), "YOU WIN!");
    EXPECT_TRUE(screen_shows("Your BBS is a global LEGEND.")) << screen()->dump();

    door.clear_output();
    set_day_draws(ANY, 99);
    run_one_day();
    EXPECT_EQ(last_box_title(), "End of Day");

    std::memset(&P, 0, sizeof P);
    ASSERT_EQ(load_profile(), 1);
    EXPECT_EQ(P.won, 1);
    door.clear_output();
    set_day_draws(ANY, 99);
    run_one_day();
    EXPECT_EQ(last_box_title(), "End of Day");
    EXPECT_EQ(P.day, 4u);
}
