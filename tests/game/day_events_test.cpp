// The day's one random event: which roll gives which event at a known
// threat and shed, and what raids, failures, intrusions and viruses take.
#include "tests/game/day_fixture.h"

#include <map>
#include <set>
#include <vector>

using day_events = day_test;

namespace {

// The titles an event can show (attacks depend on whether they are stopped).
const std::set<std::string>& titles_of(const std::string& event)
{
    static const std::map<std::string, std::set<std::string>> titles{
        {"intrusion", {"Attack blocked", "You were hacked"}},
        {"virus", {"Anti-Virus caught it", "Virus outbreak"}},
        {"gift", {"Gift!"}},
        {"practice", {"Practice"}},
        {"drop", {"Anonymous drop"}},
        {"praise", {"FidoNet praise"}},
        {"vip", {"VIP Caller!"}},
        {"none", {"End of Day"}},
    };
    return titles.at(event);
}

struct band {
    int first_roll;
    int last_roll;
    const char* event;
};

}  // namespace

class day_event_bands : public day_test {
protected:
    // Runs the board prepared by setup once for each end of every band.
    void check_bands(void (*setup)(), const std::vector<band>& bands)
    {
        for (const auto& b : bands) {
            for (int roll : {b.first_roll, b.last_roll}) {
                SCOPED_TRACE(std::string(b.event) + " at roll " + std::to_string(roll));
                new_profile();
                setup();
                door.clear_output();
                set_day_draws(ANY, roll);
                run_one_day();
                EXPECT_EQ(titles_of(b.event).count(last_box_title()), 1u) << screen()->dump();
            }
        }
    }
};

TEST_F(day_event_bands, NewBoardAfterItsFirstDayIsNeverAttacked)
{
    // Threat 1, window 19.
    check_bands([] {}, {{0, 38, "gift"}, {39, 43, "practice"}, {44, 48, "drop"}, {49, 58, "vip"},
                        {59, 99, "none"}});
}

TEST_F(day_event_bands, ThreatTwentyFiveWithoutProtection)
{
    // Window 43.
    const std::vector<band> common{{0, 42, "intrusion"}, {43, 47, "virus"}, {48, 62, "gift"},
                                   {63, 67, "practice"}, {68, 72, "drop"},  {78, 82, "vip"},
                                   {83, 99, "none"}};
    check_bands(make_threatened_board, common);
    check_bands(make_threatened_board, {{73, 77, "vip"}});
    check_bands([] { make_threatened_board(); P.fido_tier = 1; }, {{73, 77, "praise"}, {78, 82, "vip"}});
}

TEST_F(day_event_bands, FullProtectionNarrowsTheAttackWindow)
{
    // Shed 80 takes 16 off the window: 27.
    check_bands(
        [] {
            make_threatened_board();
            protect_fully();
        },
        {{0, 26, "intrusion"}, {27, 31, "virus"}, {32, 46, "gift"}, {47, 51, "practice"}, {52, 56, "drop"},
         {57, 66, "vip"}, {67, 99, "none"}});
}

TEST_F(day_events, RaidsNeedHeatAboveSeventy)
{
    // A new board runs at threat 1: raids take rolls up to 1 / 3 + 14.
    struct raid_case {
        std::int32_t heat;
        int roll;
        bool raided;
    };
    for (const auto& c : {raid_case{71, 0, true}, raid_case{71, 14, true}, raid_case{71, 15, false},
                          raid_case{70, 0, false}}) {
        SCOPED_TRACE(std::to_string(c.heat) + " / " + std::to_string(c.roll));
        new_profile();
        P.heat = c.heat;
        P.warez = 9;
        door.clear_output();
        set_day_draws(3, c.roll);

        run_one_day();

        if (c.raided) {
            // The fine, 100 + 20 * 71 + 500, is more than the $1512 there is.
            EXPECT_EQ(last_box_title(), "FBI Raid");
            EXPECT_TRUE(screen_shows("Lost $1512 in fines.")) << screen()->dump();
            EXPECT_EQ(P.cash, 0);
            EXPECT_EQ(P.heat, 41);
            EXPECT_EQ(P.rep, 0);
            EXPECT_EQ(P.warez, 4);
        } else {
            EXPECT_EQ(last_box_title(), "Gift!");
        }
    }
}

TEST_F(day_events, HardwareFailureChargesTheRepairOnlyWhenThereIsCash)
{
    // Health 29 wears to 27; threat 1: failures take rolls up to 15 and the
    // repair costs 20 + 100.
    struct failure_case {
        std::int64_t cash;
        std::int64_t cash_after;
    };
    for (const auto& c : {failure_case{1500, 1512 - 120}, failure_case{0, 12}}) {
        SCOPED_TRACE(c.cash);
        new_profile();
        P.cash = c.cash;
        P.hw_health = 29;
        g_rng = state_where({9, 100}, [](const draw_peek& d) { return d[0] == 3 && d[1] == 15; });
        const std::int32_t health = static_cast<std::int32_t>(peek_draws(g_rng, {9, 100, 31})[2]) + 20;
        door.clear_output();

        run_one_day();

        EXPECT_EQ(last_box_title(), "Hardware Failure");
        EXPECT_TRUE(screen_shows("Repair bill: $120.  Rep -4.")) << screen()->dump();
        EXPECT_EQ(P.cash, c.cash_after);
        EXPECT_EQ(P.hw_health, health);
        EXPECT_EQ(P.rep, 0);
    }
}

namespace {

// The threatened board takes in 14 callers on draw 3: 50 * 14 / 60 + 3 * 14
// = 53 dollars, so the event starts from $5053.
constexpr std::int64_t THREATENED_CASH = 5053;

}  // namespace

TEST_F(day_events, FullProtectionCutsAnIntrusionToAFifth)
{
    new_profile();
    make_threatened_board();
    protect_fully();
    // Draws: callers, roll 0, not stopped (80 or more), the loss, the worn item.
    g_rng = state_where({9, 100, 100}, [](const draw_peek& d) { return d[0] == 3 && d[1] == 0 && d[2] >= 80; });
    const draw_peek d = peek_draws(g_rng, {9, 100, 100, 751, 10});
    const std::int64_t loss = (d[3] + 50) / 5;

    run_one_day();

    EXPECT_EQ(last_box_title(), "You were hacked");
    EXPECT_TRUE(screen_shows("Your protection cut damage by 80%.")) << screen()->dump();
    EXPECT_TRUE(screen_shows("Lost $" + std::to_string(loss) + ".  Rep -1."));
    EXPECT_EQ(P.cash, THREATENED_CASH - loss);
    EXPECT_EQ(P.rep, 49);
    EXPECT_EQ(P.protect_health[d[4]], 85);
}

TEST_F(day_events, StoppedIntrusionOnlyWearsOneItem)
{
    new_profile();
    make_threatened_board();
    protect_fully();
    // Draws: callers, roll 0, stopped (under 80), the worn item.
    g_rng = state_where({9, 100, 100}, [](const draw_peek& d) { return d[0] == 3 && d[1] == 0 && d[2] < 80; });
    const draw_peek d = peek_draws(g_rng, {9, 100, 100, 10});

    run_one_day();

    EXPECT_EQ(last_box_title(), "Attack blocked");
    EXPECT_TRUE(screen_shows("Your IDS + firewall blocked an intrusion attempt.")) << screen()->dump();
    EXPECT_EQ(P.cash, THREATENED_CASH);
    for (std::uint32_t i = 0; i < 10; ++i)
        EXPECT_EQ(P.protect_health[i], i == d[3] ? 95 : 100) << i;
}

TEST_F(day_events, UnprotectedIntrusionTakesTheWholeLossUpToTheCash)
{
    // Draws: callers, roll 0, never stopped without protection, the loss.
    struct loss_case {
        std::int64_t cash;
        std::uint32_t least_loss_draw;
    };
    for (const auto& c : {loss_case{5000, 0}, loss_case{0, 700}}) {
        SCOPED_TRACE(c.cash);
        new_profile();
        make_threatened_board();
        P.cash = c.cash;
        P.total_callers = 2400;  // keeps the threat at 25 with an empty till
        g_rng = state_where({9, 100, 100, 751},
                            [&](const draw_peek& d) { return d[0] == 3 && d[1] == 0 && d[3] >= c.least_loss_draw; });
        const draw_peek d = peek_draws(g_rng, {9, 100, 100, 751});
        const std::int64_t before = c.cash + 53;
        const std::int64_t loss = std::min<std::int64_t>(d[3] + 50, before);

        run_one_day();

        EXPECT_EQ(last_box_title(), "You were hacked");
        EXPECT_TRUE(screen_shows("Lost $" + std::to_string(loss) + ".  Rep -1.")) << screen()->dump();
        EXPECT_TRUE(screen_shows("(Install protection software to cut this.)"));
        EXPECT_EQ(P.cash, before - loss);
        EXPECT_GE(P.cash, 0);
    }
}

TEST_F(day_events, VirusLossesWithFullProtection)
{
    // Threat 25 draws 15 for the virus: n = (draw + 1) * 20 files in
    // hundredths, at least one file.
    struct virus_case {
        std::uint32_t draw;
        std::int32_t lost;
    };
    const virus_case cases[] = {{0, 1}, {3, 1}, {4, 1}, {5, 1}, {9, 2}, {14, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.draw);
        new_profile();
        make_threatened_board();
        protect_fully();
        P.warez = 10;
        // Draws: callers, roll 27 (virus band), not stopped, the loss.
        g_rng = state_where({9, 100, 100, 15}, [&](const draw_peek& d) {
            return d[0] == 3 && d[1] == 27 && d[2] >= 80 && d[3] == c.draw;
        });
        door.clear_output();

        run_one_day();

        EXPECT_EQ(last_box_title(), "Virus outbreak");
        EXPECT_TRUE(screen_shows("Lost " + std::to_string(c.lost) + " warez files.  HW Health -3."))
            << screen()->dump();
        EXPECT_EQ(P.warez, 10 - c.lost);
        EXPECT_EQ(P.hw_health, 80 - 2 - 3);
    }
}

TEST_F(day_events, VirusNeverTakesMoreWarezThanThereAre)
{
    // No protection: n = (draw + 1) * 100, so draw 14 would take 15 files.
    for (std::int32_t warez : {0, 1}) {
        SCOPED_TRACE(warez);
        new_profile();
        make_threatened_board();
        P.warez = warez;
        g_rng = state_where({9, 100, 100, 15}, [](const draw_peek& d) { return d[1] == 43 && d[3] == 14; });
        door.clear_output();

        run_one_day();

        EXPECT_EQ(last_box_title(), "Virus outbreak");
        EXPECT_TRUE(screen_shows("Lost " + std::to_string(warez) + " warez files.")) << screen()->dump();
        EXPECT_EQ(P.warez, 0);
    }
}

TEST_F(day_events, VirusStoppedByProtectionChangesNothing)
{
    make_threatened_board();
    protect_fully();
    P.warez = 10;
    g_rng = state_where({9, 100, 100}, [](const draw_peek& d) { return d[0] == 3 && d[1] == 27 && d[2] < 80; });

    run_one_day();

    EXPECT_EQ(last_box_title(), "Anti-Virus caught it");
    EXPECT_EQ(P.warez, 10);
    EXPECT_EQ(P.hw_health, 78);
    EXPECT_EQ(P.cash, THREATENED_CASH);
}

TEST_F(day_events, GoodLuckPaysOut)
{
    // A new board at threat 1; callers draw 3 brings $1512 before the event.
    // The event's own draw (0 when it has none) is added where it pays.
    enum class pays { nothing, cash, warez };
    struct luck_case {
        int roll;
        std::uint32_t range;
        const char* title;
        pays where;
        std::int64_t cash;
        std::int32_t warez;
        std::int32_t rep;
        std::int32_t skill;
    };
    const luck_case cases[] = {
        {0, 401, "Gift!", pays::cash, 1512 + 100, 0, 7, 10},
        {39, 0, "Practice", pays::nothing, 1512, 0, 5, 11},
        {44, 4, "Anonymous drop", pays::warez, 1512, 1, 5, 10},
        {49, 201, "VIP Caller!", pays::cash, 1512 + 50, 0, 6, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        new_profile();
        g_rng = state_where({9, 100}, [&](const draw_peek& d) {
            return d[0] == 3 && d[1] == static_cast<std::uint32_t>(c.roll);
        });
        const std::int32_t own = c.range ? static_cast<std::int32_t>(peek_draws(g_rng, {9, 100, c.range})[2]) : 0;
        door.clear_output();
        slept_ms = 0;

        run_one_day();

        EXPECT_EQ(last_box_title(), c.title) << screen()->dump();
        EXPECT_EQ(P.cash, c.cash + (c.where == pays::cash ? own : 0));
        EXPECT_EQ(P.warez, c.warez + (c.where == pays::warez ? own : 0));
        EXPECT_EQ(P.rep, c.rep);
        EXPECT_EQ(P.hack_skill, c.skill);
        // Only the VIP caller plays the modem handshake.
        EXPECT_EQ(slept_ms, std::string(c.title) == "VIP Caller!" ? 4500 : 0);
    }
}
