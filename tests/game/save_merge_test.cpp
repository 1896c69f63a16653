// A save carries into the board what other nodes wrote into its file since
// the game last loaded or saved it, so a rival's hack made while the victim
// plays is neither overwritten nor lost.
#include "game/rules/storage.h"
#include "tests/game/game_fixture.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

namespace {

constexpr const char* BOARD = "data/sysop_sysop.dat";

class save_merge_test : public game_test {
protected:
    static profile on_disk()
    {
        profile p{};
        const std::string bytes = testsupport::read_file(BOARD);
        EXPECT_EQ(bytes.size(), sizeof p);
        std::memcpy(&p, bytes.data(), std::min(bytes.size(), sizeof p));
        return p;
    }
    // Another node's write: the file changed behind this game's back.
    static void others_write(const std::function<void(profile&)>& change)
    {
        profile p = on_disk();
        change(p);
        testsupport::write_file(BOARD, std::string(reinterpret_cast<const char*>(&p), sizeof p));
    }
};

struct merge_case {
    const char* name;
    std::function<void(profile&)> others;  // what another node did to the file
    std::function<void(profile&)> mine;    // what this game did to P
    std::int64_t cash;
    std::int32_t warez;
    std::int32_t hacked;
};

TEST_F(save_merge_test, OtherWritersChangesAreCarriedIntoTheSave)
{
    const auto none = [](profile&) {};
    const merge_case cases[] = {
        {"nobody else wrote", none,
         [](profile& p) {
             p.cash += 200;
             p.warez += 3;
         },
         1200, 53, 0},
        {"a hack while the victim played a day",
         [](profile& p) {
             p.cash -= 250;
             p.warez -= 5;
             p.hacked_while_away += 1;
         },
         [](profile& p) {
             p.cash += 200;
             p.warez += 3;
         },
         950, 48, 1},
        {"two hacks, and the victim spent meanwhile",
         [](profile& p) {
             p.cash -= 500;
             p.warez -= 50;
             p.hacked_while_away += 2;
         },
         [](profile& p) { p.cash -= 300; }, 200, 0, 2},
        {"the difference never takes a figure below 0",
         [](profile& p) {
             p.cash -= 900;
             p.warez -= 50;
             p.hacked_while_away += 1;
         },
         [](profile& p) {
             p.cash -= 600;
             p.warez -= 10;
         },
         0, 0, 1},
        {"the report of break-ins read while another lands",
         [](profile& p) { p.hacked_while_away += 1; }, [](profile& p) { p.hacked_while_away = 0; }, 1000, 50, 1},
    };
    for (const merge_case& c : cases) {
        SCOPED_TRACE(c.name);
        new_profile();
        P.cash = 1000;
        P.warez = 50;
        P.hacked_while_away = 0;
        save_profile();
        ASSERT_EQ(load_profile(), 1);
        others_write(c.others);
        c.mine(P);
        save_profile();
        for (const profile& p : {P, on_disk()}) {
            EXPECT_EQ(p.cash, c.cash);
            EXPECT_EQ(p.warez, c.warez);
            EXPECT_EQ(p.hacked_while_away, c.hacked);
        }
    }
}

TEST_F(save_merge_test, EachChangeIsCarriedOnce)
{
    new_profile();
    P.cash = 1000;
    save_profile();
    others_write([](profile& p) { p.cash -= 100; });
    save_profile();
    EXPECT_EQ(P.cash, 900);
    // Saved again with no other writer: nothing is taken twice.
    save_profile();
    EXPECT_EQ(P.cash, 900);
    others_write([](profile& p) { p.cash -= 50; });
    P.cash += 10;
    save_profile();
    EXPECT_EQ(on_disk().cash, 860);
}

TEST_F(save_merge_test, WhereBothSidesChangedAFieldThisGamesValueStays)
{
    new_profile();
    save_profile();
    others_write([](profile& p) {
        p.rep = 99;
        p.day = 500;
        p.cash += 70;
    });
    P.rep = 7;
    P.day = 2;
    save_profile();
    const profile p = on_disk();
    EXPECT_EQ(p.rep, 7);
    EXPECT_EQ(p.day, 2u);
    EXPECT_EQ(p.cash, 1570);
}

// The sysop changes settings and names in the configuration menu while the
// player plays on another node: both sides' changes survive the save.
TEST_F(save_merge_test, FieldsOnlyAnotherWriterChangedAreTaken)
{
    struct field_case {
        const char* name;
        std::function<void(profile&)> others;
        std::function<bool(const profile&)> kept;
    };
    const field_case cases[] = {
        {"turns per day", [](profile& p) { p.turns_per_day = 75; }, [](const profile& p) { return p.turns_per_day == 75; }},
        {"difficulty", [](profile& p) { p.difficulty = 2; }, [](const profile& p) { return p.difficulty == 2; }},
        {"sysop name", [](profile& p) { copy_text(p.sysop_name, "The Sysop"); },
         [](const profile& p) { return std::string(p.sysop_name) == "The Sysop"; }},
        {"board name", [](profile& p) { copy_text(p.bbs_name, "Renamed BBS"); },
         [](const profile& p) { return std::string(p.bbs_name) == "Renamed BBS"; }},
        {"hardware", [](profile& p) { p.cpu = 3; }, [](const profile& p) { return p.cpu == 3; }},
        {"protection health", [](profile& p) { p.protect_health[4] = 40; },
         [](const profile& p) { return p.protect_health[4] == 40; }},
    };
    for (const field_case& c : cases) {
        SCOPED_TRACE(c.name);
        new_profile();
        save_profile();
        ASSERT_EQ(load_profile(), 1);
        others_write(c.others);
        // The player's own progress meanwhile.
        P.day = 9;
        P.modem = 2;
        P.cash += 25;
        save_profile();
        for (const profile& p : {P, on_disk()}) {
            EXPECT_TRUE(c.kept(p));
            EXPECT_EQ(p.day, 9u);
            EXPECT_EQ(p.modem, 2);
            EXPECT_EQ(p.cash, 1525);
        }
        // And a later save does not take it back.
        P.day = 10;
        save_profile();
        EXPECT_TRUE(c.kept(on_disk()));
    }
}

TEST_F(save_merge_test, AFileThatIsNoLongerABoardIsWrittenWhole)
{
    struct row {
        const char* name;
        std::function<void()> spoil;
    };
    const row rows[] = {
        {"not a board", [] { testsupport::write_file(BOARD, std::string(232, '\0')); }},
        {"cut short", [] { testsupport::write_file(BOARD, "VXSS"); }},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        new_profile();
        P.cash = 1234;
        save_profile();
        r.spoil();
        save_profile();
        const profile p = on_disk();
        EXPECT_EQ(std::memcmp(&p, &P, sizeof p), 0);
        EXPECT_EQ(p.cash, 1234);
    }
}

int g_removed_calls = 0;

TEST_F(save_merge_test, ABoardDeletedSinceItWasLoadedIsNotWrittenBack)
{
    const auto saved_hook = g_board_removed_hook;
    g_board_removed_hook = [] { ++g_removed_calls; };
    new_profile();
    save_profile();
    ASSERT_EQ(load_profile(), 1);
    std::remove(BOARD);
    P.cash = 999;
    g_removed_calls = 0;
    save_profile();
    EXPECT_EQ(g_removed_calls, 1);
    EXPECT_NE(access(BOARD, F_OK), 0) << "the deleted board came back";

    // A board started afresh is written, deleted file or not.
    new_profile();
    save_profile();
    EXPECT_EQ(g_removed_calls, 1);
    EXPECT_EQ(on_disk().cash, 1500);
    g_board_removed_hook = saved_hook;
}

}  // namespace
