#include "game/shops/phone_co.h"
#include "tests/game/shop_fixture.h"

#include <string>
#include <vector>

namespace {

using phone_co_test = shop_test;

const shown_box ALREADY{"Already subscribed", "You're at or above that tier."};
const shown_box FIDO_SONG{"Connected!", "Your modem sings the FidoNet song."};
const shown_box SUPERHIGHWAY{"Connected!", "Welcome to the information superhighway."};

}  // namespace

TEST_F(phone_co_test, TiersOnlyGoUpAndChargeTheirOwnFee)
{
    const store_visit visits[] = {
        {"tier 0 is always subscribed", [](profile&) {}, "0xq", [](profile&) {}, {ALREADY}},
        {"internet none is always subscribed", [](profile&) {}, "Axq", [](profile&) {}, {ALREADY}},
        {"first fidonet tier", [](profile&) {}, "1yxq", [](profile& p) { p.cash -= 150; p.rep += 4; p.fido_tier = 1; },
         {{"Confirm FidoNet upgrade", "FidoNet Point"}, FIDO_SONG}},
        {"hub straight from point", [](profile& p) { p.fido_tier = 1; p.cash = 2000; }, "3yxq",
         [](profile& p) { p.cash = 500; p.rep += 14; p.fido_tier = 3; },
         {{"Confirm FidoNet upgrade", "FidoNet Hub"}, FIDO_SONG}},
        {"no downgrade", [](profile& p) { p.fido_tier = 3; }, "2xq", [](profile&) {}, {ALREADY}},
        {"cash exactly the fee", [](profile& p) { p.cash = 900; }, "Cyxq",
         [](profile& p) { p.cash = 0; p.rep += 10; p.inet_tier = 2; },
         {{"Confirm Internet upgrade", "Usenet + FTP"}, SUPERHIGHWAY}},
        {"fee one dollar too steep", [](profile& p) { p.cash = 899; }, "Cxq", [](profile&) {},
         {{"No cash", "Signup fee is too steep."}}},
        {"lower-case letters choose internet tiers, rep capped",
         [](profile& p) { p.cash = 8000; p.rep = 95; p.inet_tier = 1; }, "eyxq",
         [](profile& p) { p.cash = 0; p.rep = 100; p.inet_tier = 4; },
         {{"Confirm Internet upgrade", "Dedicated T1"}, SUPERHIGHWAY}},
        {"no at the question", [](profile&) {}, "2nq", [](profile&) {}, {{"Confirm FidoNet upgrade", "FidoNet Node"}}},
        {"other letters only redraw", [](profile&) {}, "fz5!Q", [](profile&) {}, {}},
    };
    check_visits(phone_co, visits);
}

TEST_F(phone_co_test, PanelsShowBothLaddersAndTheCurrentTiers)
{
    P.fido_tier = 2;
    P.inet_tier = 0;
    P.cash = 4321;
    P.day = 31;
    P.rep = 17;
    door.send_keys("q");
    phone_co();
    auto s = last_page("AT&T - PAC BELL - THE PHONE COMPANY");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->text_at(14, 3, 51), "\"Your friendly local monopoly.  Signup fees apply.\"");
    EXPECT_EQ(s->text_at(3, 5, 12), "┌─ FidoNet ─");
    EXPECT_EQ(s->text_at(4, 6, 26), "Current tier: FidoNet Node");
    EXPECT_EQ(s->text_at(4, 7, 32), "[0] Not connected  $0    $0     ");
    EXPECT_EQ(s->text_at(4, 10, 32), "[3] FidoNet Hub    $1500 $120   ");
    EXPECT_EQ(s->cell(5, 9).fg, 2);   // tier 2 is held
    EXPECT_EQ(s->cell(5, 10).fg, 7);  // tier 3 is not
    EXPECT_EQ(s->text_at(42, 5, 13), "┌─ Internet ─");
    EXPECT_EQ(s->text_at(43, 6, 18), "Current tier: None");
    EXPECT_EQ(s->text_at(43, 11, 32), "[E] Dedicated T1   $8000 $550   ");
    EXPECT_EQ(s->cell(44, 7).fg, 2);
    EXPECT_EQ(s->cell(44, 8).fg, 7);
    EXPECT_EQ(s->text_at(77, 13, 1), "┘");
    EXPECT_EQ(s->text_at(3, 15, 54), "Monthly bills are auto-deducted on day 1 of each month");
    EXPECT_FALSE(s->cell(3, 15).bold);
    EXPECT_NE(s->row_text(17).find(" CASH $4321    DAY 31    REP 17 "), std::string::npos);
    EXPECT_EQ(s->text_at(3, 19, 51), "Press a number 0-4 for FidoNet, or A-E for Internet");
    EXPECT_EQ(s->text_at(3, 20, 10), "[ESC] Back");
    EXPECT_NE(s->row_text(24).find("Upgrade networks to earn more callers."), std::string::npos);
}
