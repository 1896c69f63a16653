#include "game/rules/catalogs.h"
#include "tests/game/game_fixture.h"

#include <vector>

using profile_rules = game_test;

TEST_F(profile_rules, RngFollowsTheGeneratorFromAKnownState)
{
    g_rng = 0xC0FFEE;
    std::vector<std::uint32_t> got;
    for (std::uint32_t n : {100u, 100u, 100u, 9u, 6u, 1000u})
        got.push_back(rng_draw(n));
    EXPECT_EQ(got, (std::vector<std::uint32_t>{27, 46, 17, 2, 4, 121}));
    EXPECT_EQ(g_rng, 0x2F59ED08u);
}

TEST_F(profile_rules, DiskUseCountsEveryInstalledThing)
{
    P.hdd = 0;
    EXPECT_EQ(disk_used_total(), 1);
    EXPECT_EQ(disk_pct(), 5);  // 1 MB of a 20 MB drive

    P.warez = 7;  // half the files, rounded down
    EXPECT_EQ(disk_used_total(), 1 + 3);
    P.doors = 0b101;                   // two doors
    P.cdroms = (1u << 0) | (1u << 8);  // 30 + 36 MB
    P.bbs_software = 1u << 14;         // one package
    P.protection = 0b11;               // two items
    EXPECT_EQ(disk_used_total(), 1 + 3 + 4 + 66 + 5 + 6);
    EXPECT_EQ(disk_pct(), 100);  // 85 MB of 20 MB is shown as full
}

TEST_F(profile_rules, ShedIsCappedAndCountsHealthAboveFullAsFull)
{
    EXPECT_EQ(protect_shed_pct(), 0);

    P.protection = 1u << 9;  // Hardened BBS Shell, 25 at full health
    P.protect_health[9] = 200;
    EXPECT_EQ(protect_shed_pct(), 25);
    P.protect_health[9] = 50;
    EXPECT_EQ(protect_shed_pct(), 12);  // 50 * 25 / 100

    P.protection = 0x3FF;  // the whole set: 125 before the cap
    for (int i = 0; i < 10; ++i)
        P.protect_health[i] = 100;
    EXPECT_EQ(protect_shed_pct(), 80);
}

TEST_F(profile_rules, DamageDrawsOnlyWhenThereIsAChoice)
{
    struct case_t {
        std::uint32_t owned;
        bool draws;
    };
    for (auto c : {case_t{0, false}, case_t{1u << 4, false}, case_t{(1u << 2) | (1u << 7), true},
                   case_t{0x3FF, true}}) {
        P.protection = c.owned;
        for (int i = 0; i < 10; ++i)
            P.protect_health[i] = 100;
        g_rng = 12345;
        protection_take_damage(15);
        EXPECT_EQ(g_rng != 12345, c.draws) << "owned " << c.owned;
        if (c.draws) {
            std::uint32_t probe = 12345;
            probe = probe * 1103515245u + 12345u;
            EXPECT_EQ(g_rng, probe) << "exactly one draw";
        }
        int damaged = 0;
        for (int i = 0; i < 10; ++i) {
            if (P.protect_health[i] != 100) {
                EXPECT_TRUE(has_bit(c.owned, i)) << "only owned items wear";
                EXPECT_EQ(P.protect_health[i], 85);
                ++damaged;
            }
        }
        EXPECT_EQ(damaged, c.owned ? 1 : 0);
    }
}

TEST_F(profile_rules, DamageNeverTakesHealthBelowZero)
{
    P.protection = 1u << 3;
    P.protect_health[3] = 4;
    protection_take_damage(15);
    EXPECT_EQ(P.protect_health[3], 0);
}

TEST(catalogs, NamesAreShownAsTheyStand)
{
    EXPECT_STREQ(MONITORS[4].name, "17\" Trinitron");
    EXPECT_STREQ(CPUS[7].name, "Pentium 166 MMX");
    EXPECT_EQ(MODEMS[9].bps, 1544000);
    EXPECT_EQ(HDDS[9].megabytes, 40960);
    EXPECT_EQ(TARGETS[7].payout_max, 32000);
    EXPECT_EQ(INET[4].monthly_fee, 550);
    EXPECT_EQ(DOORS.size(), 16u);
    EXPECT_EQ(BBS_SW.size(), 15u);
    EXPECT_EQ(CDROMS.size(), 9u);
    EXPECT_EQ(PERIS.size(), 6u);
}
