// The real sysopsim as a BBS door: a caller on a new board buys something in
// each store and renames the board; every sale is in the board's file while
// its success box is still on the screen.
#include "game/rules/profile.h"
#include "tests/support/door_call.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using testsupport::door_caller;
using testsupport::door_launcher;

namespace {

constexpr const char* CONSOLE = "VEXON SIMS - BBS CONSOLE";
constexpr const char* KEY_DOWN = "\x1b[B";

struct board_file {
    std::string path;
    profile read() const
    {
        profile p{};
        const std::string bytes = testsupport::read_file(path);
        EXPECT_EQ(bytes.size(), sizeof p);
        std::memcpy(&p, bytes.data(), bytes.size() < sizeof p ? bytes.size() : sizeof p);
        return p;
    }
};

// Types keys, then waits for a text on the caller's screen.
::testing::AssertionResult step(door_caller& c, const std::string& keys, const std::string& text)
{
    c.send(keys);
    if (c.wait_for_text(text))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no \"" << text << "\" after \"" << keys << "\":\n" << c.screen().dump();
}

}  // namespace

TEST(game_shops, CallerBuysInEachStoreAndRenamesTheBoard)
{
    testsupport::temp_dir dir;
    door_launcher board({DOOR_LAUNCHER_PATH, "--game", SYSOPSIM_PATH, "--dir", dir.path(), "--port", "0", "--user",
                         "Shopper"});
    door_caller c(board.port());
    const board_file file{dir.file("data/sysop_shopper.dat")};
    ASSERT_TRUE(c.wait_for_text("[1] New BBS")) << c.screen().dump();
    ASSERT_TRUE(step(c, "1", "Welcome!"));
    ASSERT_TRUE(step(c, " ", CONSOLE));

    // Computer store: 1 MB of RAM for $150.
    ASSERT_TRUE(step(c, "2", "BYTE ME COMPUTING"));
    ASSERT_TRUE(step(c, "2", "Byte Me Computing - RAM"));
    ASSERT_TRUE(step(c, std::string(KEY_DOWN) + "\r", "Confirm purchase"));
    ASSERT_TRUE(step(c, "y", "New RAM detected. POST beeped happily."));
    profile p = file.read();
    EXPECT_EQ(p.ram, 1);
    EXPECT_EQ(p.cash, 1350);
    ASSERT_TRUE(step(c, "x", "[ENTER] buy"));
    ASSERT_TRUE(step(c, "q", "current: 1 MB"));
    ASSERT_TRUE(step(c, "q", CONSOLE));

    // Software store: the first door, "LORD", for $150 and 5 reputation.
    ASSERT_TRUE(step(c, "3", "BIG JOHN'S SOFTWARE EMPORIUM"));
    ASSERT_TRUE(step(c, "1", "Doors & Games"));
    ASSERT_TRUE(step(c, "\r", "Confirm purchase"));
    ASSERT_TRUE(step(c, "y", "Door installed!"));
    p = file.read();
    EXPECT_EQ(p.doors, 1u);
    EXPECT_EQ(p.cash, 1200);
    EXPECT_EQ(p.rep, 10);
    ASSERT_TRUE(step(c, "x", "[ENTER] buy"));
    ASSERT_TRUE(step(c, "q", " 1 of 16 owned"));
    ASSERT_TRUE(step(c, "q", CONSOLE));

    // Phone company: a FidoNet point for $150 and 4 reputation.
    ASSERT_TRUE(step(c, "4", "THE PHONE COMPANY"));
    ASSERT_TRUE(step(c, "1", "Confirm FidoNet upgrade"));
    ASSERT_TRUE(step(c, "y", "Your modem sings the FidoNet song."));
    p = file.read();
    EXPECT_EQ(p.fido_tier, 1);
    EXPECT_EQ(p.cash, 1050);
    EXPECT_EQ(p.rep, 14);
    ASSERT_TRUE(step(c, "x", "Current tier: FidoNet Point"));
    ASSERT_TRUE(step(c, "q", CONSOLE));

    // Rename: the old name erased, the new one typed in lower case.
    ASSERT_TRUE(step(c, "7", "Type a new name for your BBS:"));
    ASSERT_TRUE(step(c, std::string(31, '\b') + "the den\r", "Renamed"));
    EXPECT_STREQ(file.read().bbs_name, "THE DEN");
    ASSERT_TRUE(step(c, "x", "Your BBS:  THE DEN"));
}
