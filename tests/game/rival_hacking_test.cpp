// Hacking other players' boards: the outcomes on both boards, the write-back
// into the rival's file, and the list screen as the player sees it.
#include "game/rules/catalogs.h"
#include "game/rules/storage.h"
#include "game/shops/rival_hacking.h"
#include "tests/game/reel_bot.h"
#include "tests/game/shop_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

namespace {

class rival_test : public shop_test {
protected:
    // A rival's board as a new player's, changed by edit, saved under data/.
    static profile make_rival(const std::string& sysop, const std::function<void(profile&)>& edit = {})
    {
        const profile mine = P;
        const door_info who = g_d;
        copy_text(g_d.user_name, sysop);
        new_profile();
        profile r = P;
        P = mine;
        g_d = who;
        r.magic = PROFILE_MAGIC;
        r.version = PROFILE_VERSION;
        if (edit)
            edit(r);
        testsupport::write_file(rival_path(sysop), std::string(reinterpret_cast<const char*>(&r), sizeof r));
        return r;
    }

    static std::string rival_path(const std::string& sysop)
    {
        char slug[64];
        slugify(sysop.c_str(), slug);
        return std::string("data/sysop_") + slug + ".dat";
    }

    static profile read_board(const std::string& path)
    {
        profile p{};
        const std::string bytes = testsupport::read_file(path);
        EXPECT_EQ(bytes.size(), sizeof p) << path;
        std::memcpy(&p, bytes.data(), std::min(bytes.size(), sizeof p));
        return p;
    }
};

// One attempt on a single rival from the list.
struct rival_case {
    const char* name;
    std::function<void(profile&)> player;
    std::function<void(profile&)> rival;
    bot_round round;
    int played_at;
    std::function<void(profile&)> player_change;
    std::function<void(profile&)> rival_change;  // nothing: the file is untouched
    shown_box result;
};

TEST_F(rival_test, Outcomes)
{
    const auto none = [](profile&) {};
    const rival_case cases[] = {
        {"25 is taken from a rival with $40 and no warez", none, [](profile& r) { r.cash = 40; }, {"hhhh", " q"}, 14,
         [](profile& p) {
             p.cash += 25;
             p.heat += 5;
             p.hack_skill += 1;
             p.rep += 1;
         },
         [](profile& r) {
             r.cash = 15;
             r.hacked_while_away = 1;
         },
         {"RIVAL OWNED", "Pwned Victim's Haven!\nStole $25 + 0 warez.\nHeat +5, Rep +1.\n"
                         "(Victim will see a 'you were hacked' event)"}},
        {"10050 is taken from $60000", none,
         [](profile& r) {
             r.cash = 60000;
             r.warez = 100;
             r.hacked_while_away = 2;
         },
         {"hhhh", " q"}, 14,
         [](profile& p) {
             p.cash += 10050;
             p.warez += 11;
             p.heat += 5;
             p.hack_skill += 1;
             p.rep += 1;
         },
         [](profile& r) {
             r.cash = 49950;
             r.warez = 89;
             r.hacked_while_away = 3;
         },
         {"RIVAL OWNED", "Pwned Victim's Haven!\nStole $10050 + 11 warez.\nHeat +5, Rep +1.\n"
                         "(Victim will see a 'you were hacked' event)"}},
        {"difficulty 95 against skill 90 plays at 65 and adds 5 skill", [](profile& p) { p.hack_skill = 90; },
         [](profile& r) {
             r.fame = 5;
             r.rep = 100;
             r.protection = (1u << PROTECT_SW.size()) - 1;
         },
         {"hhhh", " q"}, 65,
         [](profile& p) {
             p.cash += 300;
             p.heat += 14;
             p.hack_skill = 95;
             p.rep += 1;
         },
         [](profile& r) {
             r.cash = 1200;
             r.hacked_while_away = 1;
         },
         {"RIVAL OWNED", "Pwned Victim's Haven!\nStole $300 + 0 warez.\nHeat +14, Rep +1.\n"
                         "(Victim will see a 'you were hacked' event)"}},
        {"a failure at heat_gain 5 adds 2 heat and costs 3 rep", none, none, {"mmmmmmmmm", " q"}, 14,
         [](profile& p) {
             p.heat += 2;
             p.rep -= 3;
         },
         nullptr,
         {"TRACED", "Victim's Haven traced you back.\nThey posted your dropfile on FidoNews.\nRep -3, Heat +2."}},
        {"ESC leaves both boards alone", none, none, {"he", " q"}, 14, none, nullptr,
         {"Aborted", "You disconnected before they caught the trace."}},
    };
    for (const rival_case& c : cases) {
        SCOPED_TRACE(c.name);
        std::remove(rival_path("Victim").c_str());
        new_profile();
        c.player(P);
        save_profile();
        const profile rival_before = make_rival("Victim", c.rival);
        profile want = P;
        c.player_change(want);
        profile rival_want = rival_before;
        if (c.rival_change)
            c.rival_change(rival_want);
        door.clear_output();
        profile mine_at_box{};
        profile theirs_at_box{};
        {
            reel_bot bot(door.peer_fd());
            // Both boards on disk at the moment the result box is up.
            bot_round round = c.round;
            round.on_end = [&] {
                mine_at_box = saved();
                theirs_at_box = read_board(rival_path("Victim"));
            };
            bot.add_round(round);
            door.send_keys("\ry");
            rival_underground();
            ASSERT_EQ(bot.games, 1);
            EXPECT_EQ(bot.openings[0].difficulty, c.played_at);
        }
        EXPECT_EQ(std::memcmp(&mine_at_box, &want, sizeof want), 0) << "the box came before the player's save";
        EXPECT_EQ(std::memcmp(&theirs_at_box, &rival_want, sizeof rival_want), 0);
        EXPECT_EQ(describe(P), describe(want));
        EXPECT_EQ(std::memcmp(&P, &want, sizeof P), 0);
        const profile mine = saved();
        EXPECT_EQ(std::memcmp(&mine, &want, sizeof want), 0) << "the player's file lags behind";
        const profile theirs = read_board(rival_path("Victim"));
        EXPECT_EQ(describe(theirs), describe(rival_want));
        EXPECT_EQ(theirs.hacked_while_away, rival_want.hacked_while_away);
        EXPECT_EQ(std::memcmp(&theirs, &rival_want, sizeof theirs), 0);
        EXPECT_EQ(boxes(),
                  (std::vector<shown_box>{{"Attempt hack?", "Target: Victim (Victim's Haven)"}, c.result}));
        // The list after the attempt was read again from the files.
        auto list = last_page("RIVAL SYSOP UNDERGROUND");
        ASSERT_TRUE(list);
        char stake[32];
        std::snprintf(stake, sizeof stake, "$%-5ld", static_cast<long>(rival_want.cash / 6 + 50));
        EXPECT_NE(list->row_text(8).find(stake), std::string::npos) << list->dump();
    }
}

TEST_F(rival_test, WriteBackAppliesTheHackToWhatTheFileHoldsNow)
{
    make_rival("Victim", [](profile& r) { r.cash = 6000; });
    scan_rivals();
    ASSERT_EQ(g_rival_count, 1);
    // The rival's own game saves after the scan.
    profile now = make_rival("Victim", [](profile& r) {
        r.cash = 60000;
        r.warez = 500;
        r.hacked_while_away = 2;
        r.day = 77;
    });
    const rival_take take = rob_rival_file(g_rivals[0]);
    EXPECT_EQ(take.cash, 10050);
    EXPECT_EQ(take.warez, 51);
    EXPECT_TRUE(take.written);
    now.cash = 49950;
    now.warez = 449;
    now.hacked_while_away = 3;
    const profile after = read_board(rival_path("Victim"));
    EXPECT_EQ(std::memcmp(&after, &now, sizeof now), 0) << describe(after);
}

TEST_F(rival_test, WriteBackLeavesAFileThatIsNoLongerABoard)
{
    struct row {
        const char* name;
        std::function<void()> spoil;
        bool exists_after;
    };
    const row rows[] = {
        {"vanished", [] { std::remove(rival_path("Victim").c_str()); }, false},
        {"not a board", [] { testsupport::write_file(rival_path("Victim"), std::string(232, 'x')); }, true},
        {"cut short", [] { testsupport::write_file(rival_path("Victim"), "VXSS"); }, true},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        make_rival("Victim", [](profile& p) { p.cash = 6000; });
        scan_rivals();
        ASSERT_EQ(g_rival_count, 1);
        r.spoil();
        const std::string before = testsupport::read_file(rival_path("Victim"));
        const rival_take take = rob_rival_file(g_rivals[0]);
        // Nothing was taken, so nothing is paid.
        EXPECT_EQ(take.cash, 0);
        EXPECT_EQ(take.warez, 0);
        EXPECT_FALSE(take.written);
        EXPECT_EQ(testsupport::read_file(rival_path("Victim")), before);
        FILE* f = std::fopen(rival_path("Victim").c_str(), "rb");
        EXPECT_EQ(f != nullptr, r.exists_after);
        if (f)
            std::fclose(f);
    }
}

TEST_F(rival_test, ListScreenPagesAndDigitsAttackRowsOutOfView)
{
    P.hack_skill = 20;
    save_profile();
    for (int i = 1; i <= 14; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "Rival%02d", i);
        make_rival(name, [i](profile& r) {
            r.fame = i % 3 == 0 ? 5 : (i % 3 == 1 ? 1 : 0);
            r.cash = 600 * i;
            r.protection = i == 2 ? 3u : 0u;
        });
    }
    door.send_keys(downs(13) + "1nq");
    rival_underground();
    ASSERT_EQ(g_rival_count, 14);
    std::vector<std::unique_ptr<vt::vt_screen>> lists;
    for (auto& s : frames()) {
        if (s->row_text(1).find("RIVAL SYSOP UNDERGROUND") != std::string::npos)
            lists.push_back(std::move(s));
    }
    ASSERT_GE(lists.size(), 15u);
    const vt::vt_screen& first = *lists[0];
    EXPECT_EQ(first.text_at(16, 3, 47), "\"Take down the competition.  Take their warez.\"");
    EXPECT_TRUE(first.contains("Hack Skill 20   Heat 0   Cash $1500   Turns left 30")) << first.dump();
    EXPECT_EQ(first.text_at(3, 6, 61), "#  SYSOP           BBS                    FAME PRO DIFF STEAL");
    std::string rule;
    for (int i = 0; i < 74; ++i)
        rule += "─";
    EXPECT_EQ(first.text_at(3, 7, 74), rule);
    for (int k = 0; k < 12; ++k) {
        SCOPED_TRACE(k);
        const rival& r = g_rivals[k];
        char want[96];
        std::snprintf(want, sizeof want, " %-2d %-14.14s %-22.22s %d/5  %2d  %3d  $%-5ld", k + 1, r.record.sysop_name,
                      r.record.bbs_name, r.record.fame, count_bits(r.record.protection, 10), r.difficulty,
                      static_cast<long>(r.steal_cash));
        EXPECT_EQ(first.text_at(3, 8 + k, static_cast<int>(std::strlen(want))), want);
        const vt::cell_info c = first.cell(10, 8 + k);
        if (k == 0) {
            EXPECT_EQ(c.fg, 0);
            EXPECT_EQ(c.bg, 3);
            EXPECT_EQ(first.cell(76, 8).bg, 3) << "the band spans columns 3..76";
        } else {
            EXPECT_EQ(c.fg, r.difficulty > 40 ? 1 : (r.difficulty > 20 ? 3 : 2)) << r.difficulty;
        }
    }
    // Code page 437 callers see printable look-alikes of the arrow glyphs.
    EXPECT_EQ(first.text_at(72, 19, 6), "v more");
    EXPECT_EQ(first.text_at(72, 8, 6), "      ");
    EXPECT_EQ(first.text_at(3, 22, 73),
              "FAME = their level   PRO = protection count   DIFF = effective difficulty");
    EXPECT_EQ(first.text_at(3, 23, 56), "[UP/DOWN] select     [ENTER] attempt hack     [ESC] back");

    // Thirteen downs: the last row selected, the first two scrolled away.
    const vt::vt_screen& scrolled = *lists[13];
    EXPECT_EQ(scrolled.text_at(72, 8, 6), "^ more");
    EXPECT_EQ(scrolled.text_at(72, 19, 6), "      ");
    EXPECT_EQ(scrolled.cell(10, 19).bg, 3);
    EXPECT_NE(scrolled.text_at(3, 8, 20).find(" 3 "), std::string::npos);

    // "1" still attacks the first rival, out of view.
    char question[96];
    std::snprintf(question, sizeof question, "Target: %s (%s)", g_rivals[0].record.sysop_name,
                  g_rivals[0].record.bbs_name);
    EXPECT_EQ(boxes(), (std::vector<shown_box>{{"Attempt hack?", question}}));
}

TEST_F(rival_test, DigitBeyondTheListIsIgnoredAndNineAttacksTheNinth)
{
    for (int i = 1; i <= 9; ++i)
        make_rival("Rival" + std::to_string(i));
    {
        reel_bot bot(door.peer_fd());
        bot.add_round({"hhhh", " q"});
        door.send_keys("9y");
        rival_underground();
    }
    const std::string ninth = g_rivals[8].path;
    EXPECT_EQ(read_board(ninth).hacked_while_away, 1);
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(read_board(g_rivals[k].path).hacked_while_away, 0);

    std::remove(ninth.c_str());
    door.clear_output();
    door.send_keys("9q");
    rival_underground();
    EXPECT_TRUE(boxes().empty());
}

TEST_F(rival_test, EmptyListAfterTheRescanAttacksNothing)
{
    make_rival("Victim");
    {
        reel_bot bot(door.peer_fd());
        bot.add_round({"e", " \r q", [] { std::remove(rival_path("Victim").c_str()); }});
        door.send_keys("\ry");
        rival_underground();
        EXPECT_EQ(bot.games, 1);
    }
    EXPECT_EQ(g_rival_count, 0);
    EXPECT_EQ(boxes(), (std::vector<shown_box>{{"Attempt hack?", "Target: Victim (Victim's Haven)"},
                                               {"Aborted", "You disconnected before they caught the trace."}}));
}

TEST_F(rival_test, NoRivalsSaysSo)
{
    door.send_keys(" ");
    rival_underground();
    EXPECT_EQ(boxes(), (std::vector<shown_box>{{"No rival sysops",
                                                "No other saved sysops exist yet.\nShare your board - friends who "
                                                "play\nVEXON SIMS will appear in this list."}}));
}

}  // namespace
