// The day's rules on their own: played through recording screens, with no
// terminal, they tell each piece of news only once the board holding it is
// saved, and the VIP caller's handshake comes before the tip is counted.
#include "tests/game/day_fixture.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

struct told {
    std::string title;
    std::int32_t saved_day;  // the day in the board's file when the news came
    std::int32_t rep;        // P.rep at that moment
};

std::vector<told> g_told;

std::int32_t saved_day()
{
    const profile playing = P;
    const int read = load_profile();
    const std::int32_t day = read ? P.day : -1;
    P = playing;
    return day;
}

constexpr day_screens RECORDER{
    [](const char* title, const char*, int) { g_told.push_back({title, saved_day(), P.rep}); },
    [] { g_told.push_back({"(handshake)", saved_day(), P.rep}); },
};

}  // namespace

using day_rules = day_test;

TEST_F(day_rules, NewsComesAfterTheSaveAndTheHandshakeBeforeTheTip)
{
    g_told.clear();
    save_profile();
    // Roll 55 falls in the VIP caller's band on a fresh board.
    set_day_draws(ANY, 55);
    play_day(RECORDER);

    ASSERT_EQ(g_told.size(), 3u);
    EXPECT_EQ(g_told[0].title, "End of Day");
    EXPECT_EQ(g_told[1].title, "(handshake)");
    EXPECT_EQ(g_told[2].title, "VIP Caller!");
    for (const told& t : g_told)
        EXPECT_EQ(t.saved_day, P.day) << t.title;
    EXPECT_EQ(g_told[2].rep, g_told[1].rep + 1) << "the tip's reputation is counted after the handshake";
    EXPECT_EQ(slept_ms, 0) << "the rules played no animation of their own";
}

TEST_F(day_rules, ADayWithoutTurnsSaysSoAndChangesNothing)
{
    g_told.clear();
    P.turns_per_day = 1;
    P.turn_day = TODAY;
    P.turns_used = 1;
    save_profile();
    const profile before = P;
    play_day(RECORDER);

    ASSERT_EQ(g_told.size(), 1u);
    EXPECT_EQ(g_told[0].title, "Out of turns");
    EXPECT_EQ(std::memcmp(&before, &P, sizeof P), 0);
}
