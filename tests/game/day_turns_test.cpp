// Turns are counted per real UTC day; a day that ran is on disk before the
// player is told about it.
#include "tests/game/day_fixture.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

using day_turns = day_test;

namespace {

std::string profile_bytes()
{
    return testsupport::read_file("data/sysop_sysop.dat");
}

}  // namespace

TEST_F(day_turns, OutOfTurnsShowsTheLimitAndChangesNothing)
{
    struct out_of_turns_case {
        std::int32_t turns_per_day;
        std::int32_t turns_used;
        const char* text;
    };
    const out_of_turns_case cases[] = {
        {30, 30, "You've used all 30 turns today."},
        {5, 5, "You've used all 5 turns today."},
        {5, 9, "You've used all 5 turns today."},
        {0, 30, "You've used all 30 turns today."},  // no limit stored: the default
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.turns_per_day);
        new_profile();
        P.turns_per_day = c.turns_per_day;
        P.turn_day = TODAY;
        P.turns_used = c.turns_used;
        save_profile();
        const std::string before = profile_bytes();
        const profile in_memory = P;
        g_rng = 12345;
        door.clear_output();

        run_one_day();

        EXPECT_EQ(last_box_title(), "Out of turns");
        EXPECT_TRUE(screen_shows(c.text)) << screen()->dump();
        EXPECT_TRUE(screen_shows("Come back tomorrow to advance your BBS."));
        EXPECT_EQ(std::memcmp(&P, &in_memory, sizeof P), 0);
        EXPECT_EQ(profile_bytes(), before);
        EXPECT_EQ(g_rng, 12345u) << "no draw is taken";
    }
}

TEST_F(day_turns, TurnsRunOutWithinTheDayAndComeBackTheNextDay)
{
    P.turns_per_day = 2;
    set_day_draws(ANY, 99);
    run_one_day();
    run_one_day();
    EXPECT_EQ(P.day, 3u);
    EXPECT_EQ(P.turn_day, TODAY);
    EXPECT_EQ(P.turns_used, 2);

    door.clear_output();
    run_one_day();
    EXPECT_EQ(last_box_title(), "Out of turns");
    EXPECT_EQ(P.day, 3u);

    // A second after midnight the count starts again.
    g_clock_hook = [] { return NOON + 12 * 3600; };
    door.clear_output();
    set_day_draws(ANY, 99);
    run_one_day();
    EXPECT_EQ(last_box_title(), "End of Day");
    EXPECT_EQ(P.day, 4u);
    EXPECT_EQ(P.turn_day, TODAY + 1);
    EXPECT_EQ(P.turns_used, 1);

    // The count was saved with the board.
    ASSERT_EQ(load_profile(), 1);
    EXPECT_EQ(P.turn_day, TODAY + 1);
    EXPECT_EQ(P.turns_used, 1);
}

namespace {

// Hands the game a door socket whose caller has sent these keys and then
// hung up, and makes the hang-up end the process the way it does in play.
void caller_hangs_up_after(const std::string& keys)
{
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, sv) != 0)
        std::_Exit(3);
    if (!keys.empty() && send(sv[1], keys.data(), keys.size(), MSG_NOSIGNAL) < 0)
        std::_Exit(3);
    close(sv[1]);
    g_d.socket = sv[0];
    g_hangup_hook = [] { std::_Exit(0); };
}

}  // namespace

TEST_F(day_turns, HangingUpOnTheNewsKeepsTheDay)
{
    // Callers draw 3 (4 callers, $12), roll 0: a Gift of (draw 401) + 100.
    g_rng = state_where({9, 100}, [](const draw_peek& d) { return d[0] == 3 && d[1] == 0; });
    const std::uint32_t seed = g_rng;
    const std::int64_t gift = peek_draws(seed, {9, 100, 401})[2] + 100;
    save_profile();

    struct hang_up_case {
        const char* keys;  // answered boxes before the caller leaves
        std::int64_t cash;
        std::int32_t rep;
    };
    const hang_up_case cases[] = {
        {"", 1512, 5},            // gone during the End of Day box
        {"x", 1512 + gift, 7},    // gone during the Gift box
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keys);
        new_profile();
        save_profile();
        g_rng = seed;
        EXPECT_EXIT(
            {
                caller_hangs_up_after(c.keys);
                run_day();
                std::_Exit(1);
            },
            ::testing::ExitedWithCode(0), "");
        ASSERT_EQ(load_profile(), 1);
        EXPECT_EQ(P.day, 2u);
        EXPECT_EQ(P.turns_used, 1);
        EXPECT_EQ(P.cash, c.cash);
        EXPECT_EQ(P.rep, c.rep);
    }
}
