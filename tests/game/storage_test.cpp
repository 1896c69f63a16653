#include "game/core/storage.h"
#include "tests/game/game_fixture.h"

#include <sys/stat.h>

using storage = game_test;

TEST_F(storage, NewBoardSavesAndLoadsBackTheSameBytes)
{
    copy_text(g_d.user_name, "Mr. O'Neil 2");
    new_profile();
    EXPECT_STREQ(P.bbs_name, "Mr. O'Neil 2's Haven");
    P.cash = 123456789012LL;
    save_profile();
    std::string bytes = testsupport::read_file("data/sysop_mroneil2.dat");
    ASSERT_EQ(bytes.size(), 232u);
    EXPECT_EQ(bytes.substr(0, 4), "SSXV");  // the magic, little-endian

    profile saved = P;
    std::memset(&P, 0, sizeof P);
    ASSERT_EQ(load_profile(), 1);
    EXPECT_EQ(std::memcmp(&P, &saved, sizeof P), 0);
}

TEST_F(storage, MissingFileLeavesTheProfileAlone)
{
    P.cash = 77;
    EXPECT_EQ(load_profile(), 0);
    EXPECT_EQ(P.cash, 77);
}
