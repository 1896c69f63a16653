// The underground's outcomes: target hacks and Dark Market purchases, each
// checked in memory, on disk and in the boxes the player saw. The minigame is
// really played, by a bot in the clock seam.
#include "game/rules/catalogs.h"
#include "game/shops/underground.h"
#include "tests/game/reel_bot.h"
#include "tests/game/shop_fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

class underground_test : public shop_test {
protected:
    // A visit whose expected change may depend on what the game drew after
    // the minigame (the payout): want gets the generator at the game's end.
    struct hack_visit {
        const char* name;
        std::function<void(profile&)> start;
        std::string keys;            // typed up to the minigame
        bot_round round;             // the game and the keys after it
        int played_at;               // difficulty the minigame ran at
        std::function<void(profile&, std::uint32_t rng, std::vector<shown_box>&)> change;
    };

    void check(const hack_visit& v)
    {
        SCOPED_TRACE(v.name);
        new_profile();
        v.start(P);
        save_profile();
        door.clear_output();
        const profile before = P;
        {
            reel_bot bot(door.peer_fd());
            // The board on disk at the moment the result box is up.
            profile at_box{};
            bot_round round = v.round;
            round.on_end = [&] { at_box = saved(); };
            bot.add_round(round);
            door.send_keys(v.keys);
            hacker_underground();
            ASSERT_EQ(bot.games, 1);
            EXPECT_EQ(bot.openings[0].difficulty, v.played_at);
            profile want = before;
            std::vector<shown_box> seen{{"Attempt hack?", "Target: " + target_name(v.keys)}};
            v.change(want, bot.rng_at_end, seen);
            EXPECT_EQ(describe(P), describe(want));
            EXPECT_EQ(std::memcmp(&P, &want, sizeof P), 0);
            profile on_disk = saved();
            EXPECT_EQ(std::memcmp(&on_disk, &want, sizeof want), 0) << "the file lags behind";
            EXPECT_EQ(std::memcmp(&at_box, &want, sizeof want), 0) << "the box came before the save";
            EXPECT_EQ(boxes(), seen);
        }
    }

    static std::string target_name(const std::string& keys)
    {
        return TARGETS[static_cast<std::size_t>(keys[0] - '1')].name;
    }
};

void all_protection(profile& p)
{
    p.protection = (1u << PROTECT_SW.size()) - 1;
    for (std::size_t i = 0; i < PROTECT_SW.size(); ++i)
        p.protect_health[i] = 100;
}

// A won target: payout then warez drawn after the game, heat shed, skill by
// the table's difficulty.
void won(profile& p, std::uint32_t rng, std::vector<shown_box>& seen, int target, int heat_gain)
{
    const target_row& t = TARGETS[static_cast<std::size_t>(target)];
    const std::int64_t payout = t.payout_min + draw_from(rng, static_cast<std::uint32_t>(t.payout_max - t.payout_min + 1));
    const std::int32_t files = t.warez_min + static_cast<std::int32_t>(draw_from(rng, static_cast<std::uint32_t>(t.warez_max - t.warez_min + 1)));
    const int skill = std::min(p.hack_skill + t.difficulty / 15 + 1, 100);
    seen.push_back({"SCORE", "Pulled $" + std::to_string(payout) + " and " + std::to_string(files) +
                                 " warez files.\nHeat +" + std::to_string(heat_gain) + ", skill +" +
                                 std::to_string(skill - p.hack_skill) + "."});
    p.cash += payout;
    p.warez += files;
    p.heat = std::min(p.heat + heat_gain, 100);
    p.hack_skill = skill;
}

TEST_F(underground_test, TargetHacks)
{
    const hack_visit visits[] = {
        {"a new board wins on the local kid at difficulty 12", [](profile&) {}, "1y", {"hhhh", " q"}, 12,
         [](profile& p, std::uint32_t rng, std::vector<shown_box>& seen) { won(p, rng, seen, 0, 1); }},
        {"at skill 90 the minigame floors at 10", [](profile& p) { p.hack_skill = 90; }, "1y", {"hhhh", " q"}, 10,
         [](profile& p, std::uint32_t rng, std::vector<shown_box>& seen) { won(p, rng, seen, 0, 1); }},
        {"shed 80 against heat 34 adds 7", [](profile& p) { all_protection(p); p.hack_skill = 0; }, "8y",
         {"hhhh", " q"}, 92,
         [](profile& p, std::uint32_t rng, std::vector<shown_box>& seen) { won(p, rng, seen, 7, 7); }},
        {"skill caps at 100 and the box says what was gained", [](profile& p) { p.hack_skill = 98; }, "7y",
         {"hhhh", " q"}, 53,
         [](profile& p, std::uint32_t rng, std::vector<shown_box>& seen) { won(p, rng, seen, 6, 24); }},
        {"a failed attack on heat 1 adds none and costs the rep", [](profile& p) { p.rep = 40; }, "1y",
         {"mmmmmmmmm", " q"}, 12,
         [](profile& p, std::uint32_t, std::vector<shown_box>& seen) {
             p.rep = 38;
             seen.push_back({"BUSTED TRACE", "You tripped an alert.\nRep -2, heat +0."});
         }},
        {"rep 1 against rep_loss 2 reports the whole loss", [](profile& p) { p.rep = 1; }, "1y",
         {"mmmmmmmmm", " q"}, 12,
         [](profile& p, std::uint32_t, std::vector<shown_box>& seen) {
             p.rep = 0;
             seen.push_back({"BUSTED TRACE", "You tripped an alert.\nRep -2, heat +0."});
         }},
        {"a failure brings half the heat, capped", [](profile& p) { p.heat = 95; }, "6y", {"mmmmmm", " q"}, 72,
         [](profile& p, std::uint32_t, std::vector<shown_box>& seen) {
             p.rep = 0;
             p.heat = 100;
             seen.push_back({"BUSTED TRACE", "You tripped an alert.\nRep -18, heat +8."});
         }},
        {"ESC aborts with nothing changed", [](profile&) {}, "8y", {"hhe", " q"}, 89,
         [](profile&, std::uint32_t, std::vector<shown_box>& seen) {
             seen.push_back({"Aborted", "You disconnected before they caught the trace."});
         }},
    };
    for (const hack_visit& v : visits)
        check(v);
}

TEST_F(underground_test, SayingNoToTheQuestionPlaysNothing)
{
    door.send_keys("3nq");
    hacker_underground();
    EXPECT_EQ(boxes(), (std::vector<shown_box>{{"Attempt hack?", "Target: University Server"}}));
    EXPECT_EQ(saved().cash, 1500);
}

TEST_F(underground_test, DarkMarket)
{
    const std::string zero_day = downs(7);
    const store_visit visits[] = {
        {"a kit raises skill, warez and heat, unshed, capped at 100",
         [](profile& p) { p.heat = 90; all_protection(p); }, "d" + zero_day + "\ry xqq",
         [](profile& p) {
             p.cash -= 1500;
             p.dark_goods = 1u << 7;
             p.hack_skill += 20;
             p.warez += 10;
             p.heat = 100;
         },
         {{"Buy from the Dark Market?", "Zero-Day Exploit Pack"}, {"Deal done.", "Skill +20   Warez +10   Heat +15"}}},
        {"an owned kit is not sold twice", [](profile& p) { p.dark_goods = 1; }, "d\rxqq", [](profile&) {},
         {{"Already owned", "You already have that kit."}}},
        {"no cash", [](profile& p) { p.cash = 100; }, "d\rxqq", [](profile&) {}, {{"No cash", "Save up."}}},
        {"declined", [](profile&) {}, "d\rnqq", [](profile&) {}, {{"Buy from the Dark Market?", "Password List (txt)"}}},
    };
    check_visits(hacker_underground, visits);
}

TEST_F(underground_test, MainScreen)
{
    P.hack_skill = 40;
    door.send_keys("q");
    hacker_underground();
    auto s = screen();
    EXPECT_NE(s->row_text(1).find("╡ THE PIRATE COVE ╞"), std::string::npos) << s->dump();
    EXPECT_EQ(s->text_at(15, 3, 49), "\"If you can ring the bell, you can have the pie.\"");
    EXPECT_TRUE(s->contains("Hack Skill: 40 / 100      Heat: 0 / 100      Cash: $1500"));
    EXPECT_EQ(s->text_at(3, 6, 53), "[1] Local Kid's BBS             diff  15   $50 - $200");
    EXPECT_EQ(s->text_at(3, 20, 58), "[8] Globotech Datacenter        diff  92   $12000 - $32000");
    // Green at or under the skill, yellow within 20 above it, red beyond.
    EXPECT_EQ(s->cell(3, 6).fg, 2);
    EXPECT_EQ(s->cell(3, 10).fg, 2);   // difficulty 40
    EXPECT_EQ(s->cell(3, 12).fg, 3);   // 55
    EXPECT_EQ(s->cell(3, 14).fg, 1);   // 65
    EXPECT_EQ(s->cell(1, 1).fg, 5);
    EXPECT_EQ(s->text_at(3, 22, 38), "[D] Dark Market  [P] Hack Other Sysops");
    EXPECT_EQ(s->text_at(60, 22, 10), "[ESC] back");
    EXPECT_EQ(s->row_text(24).substr(0, 45), " Higher difficulty = bigger haul + more heat.");
}

}  // namespace
