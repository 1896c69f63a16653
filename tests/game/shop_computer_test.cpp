#include "game/rules/catalogs.h"
#include "game/shops/computer_store.h"
#include "tests/game/shop_fixture.h"

#include <string>
#include <vector>

namespace {

using computer_store_test = shop_test;

std::string buy(char department, int row)
{
    return std::string(1, department) + downs(row) + "\r";
}

const shown_box NOT_ENOUGH_RAM{"Not enough RAM", "Upgrade your RAM before this CPU."};

}  // namespace

TEST_F(computer_store_test, PurchasesFollowTheChecksInOrder)
{
    const store_visit visits[] = {
        {"cpu locked by ram", [](profile&) {}, buy('1', 2) + "x" "qq", [](profile&) {}, {NOT_ENOUGH_RAM}},
        {"cpu needs 2 MB with 1 MB", [](profile& p) { p.ram = 1; }, buy('1', 4) + "x" "qq", [](profile&) {},
         {NOT_ENOUGH_RAM}},
        {"no downgrade", [](profile& p) { p.cpu = 3; p.ram = 2; }, buy('1', 1) + "x" "qq", [](profile&) {},
         {{"Already installed", "You already run that CPU or better."}}},
        {"owned before locked", [](profile& p) { p.cpu = 5; }, buy('1', 4) + "x" "qq", [](profile&) {},
         {{"Already installed", "You already run that CPU or better."}}},
        {"cash exactly the price, health restored",
         [](profile& p) { p.cash = 500; p.hw_health = 40; }, buy('1', 1) + "y" "x" "qq",
         [](profile& p) { p.cash = 0; p.cpu = 1; p.hw_health = 100; },
         {{"Confirm purchase", "286 12MHz"}, {"Installed!", "New silicon is humming.\nBBS speed increased."}}},
        {"one dollar short", [](profile& p) { p.cash = 499; }, buy('1', 1) + "x" "qq", [](profile&) {},
         {{"No cash", "Come back when you've got the money."}}},
        {"no at the question", [](profile&) {}, buy('1', 1) + "n" "qq", [](profile&) {},
         {{"Confirm purchase", "286 12MHz"}}},
        {"rungs may be skipped", [](profile&) {}, buy('2', 3) + "y" "x" "qq",
         [](profile& p) { p.cash -= 800; p.ram = 3; },
         {{"Confirm purchase", "8 MB"}, {"Installed!", "New RAM detected. POST beeped happily."}}},
        {"ram below the current", [](profile& p) { p.ram = 2; }, buy('2', 1) + "x" "qq", [](profile&) {},
         {{"Already installed", "You already have that much RAM."}}},
        {"ram too dear", [](profile& p) { p.cash = 100; }, buy('2', 1) + "x" "qq", [](profile&) {},
         {{"No cash", "Save up some callers-per-day money first."}}},
        {"hard drive", [](profile&) {}, buy('3', 2) + "y" "x" "qq", [](profile& p) { p.cash -= 650; p.hdd = 2; },
         {{"Confirm purchase", "120 MB IDE"}, {"Installed!", "New drive partitioned and ready."}}},
        {"the drive already in", [](profile&) {}, buy('3', 0) + "x" "qq", [](profile&) {},
         {{"Already installed", "You already have that HDD or bigger."}}},
        {"hard drive too dear", [](profile& p) { p.cash = 0; }, buy('3', 9) + "x" "qq", [](profile&) {},
         {{"No cash", "Not enough money."}}},
        {"top monitor refused at the question", [](profile& p) { p.cash = 2800; }, buy('5', 4) + "n" "qq", [](profile&) {},
         {{"Confirm purchase", "17\" Trinitron"}}},
        {"monitor bought", [](profile& p) { p.cash = 700; }, buy('5', 2) + "y" "x" "qq",
         [](profile& p) { p.cash = 0; p.monitor = 2; },
         {{"Confirm purchase", "VGA"}, {"Installed!", "Finally, pixels you can count."}}},
        {"monitor owned", [](profile& p) { p.monitor = 3; }, buy('5', 3) + "x" "qq", [](profile&) {},
         {{"Already installed", "Already have that monitor."}}},
        {"cd-rom drive", [](profile& p) { p.peripherals = 1; }, buy('6', 3) + "y" "x" "qq",
         [](profile& p) { p.cash -= 280; p.peripherals = 1 | 8; },
         {{"Confirm purchase", "CD-ROM drive"}, {"Installed!", "Bolt-on hardware secured."}}},
        {"peripheral owned", [](profile& p) { p.peripherals = 8; }, buy('6', 3) + "x" "qq", [](profile&) {},
         {{"Already installed", "Already installed."}}},
        {"peripheral too dear", [](profile& p) { p.cash = 10; }, buy('6', 0) + "x" "qq", [](profile&) {},
         {{"No cash", "Save up!"}}},
        {"modem", [](profile&) {}, buy('4', 2) + "y" "x" "qq", [](profile& p) { p.cash -= 350; p.modem = 2; },
         {{"Confirm purchase", "2400 bps"}, {"Installed!", "Modem lights blinking like a Christmas tree."}}},
        {"modem owned", [](profile& p) { p.modem = 4; }, buy('4', 4) + "x" "qq", [](profile&) {},
         {{"Already installed", "Already got that modem."}}},
        {"modem too dear", [](profile& p) { p.cash = 0; }, buy('4', 1) + "x" "qq", [](profile&) {},
         {{"No cash", "Save up!"}}},
        {"lower-case q leaves", [](profile&) {}, "q", [](profile&) {}, {}},
    };
    check_visits(computer_store, visits);
}

TEST_F(computer_store_test, CpuListLocksByRamAndUnlocksAfterARamUpgrade)
{
    auto statuses = [](const vt::vt_screen& s) {
        std::vector<std::string> out;
        for (int y = 6; y < 16; ++y) {
            std::string st = s.text_at(62, y, 10);
            out.push_back(st.substr(0, st.find_last_not_of(' ') + 1));
        }
        return out;
    };
    P.cash = 3000;
    door.send_keys("1q" + buy('2', 1) + "y" "x" "q" "1q" "q");
    computer_store();
    EXPECT_EQ(P.ram, 1);

    auto shots = frames();
    std::vector<std::vector<std::string>> cpu_lists;
    for (const auto& s : shots) {
        if (s->row_text(1).find("Byte Me Computing - CPUs") != std::string::npos)
            cpu_lists.push_back(statuses(*s));
    }
    ASSERT_EQ(cpu_lists.size(), 2u);
    const std::vector<std::string> before{"OWNED",     "AVAILABLE", "NEEDS RAM", "NEEDS RAM", "NEEDS RAM",
                                          "NEEDS RAM", "NEEDS RAM", "NEEDS RAM", "NEEDS RAM", "NEEDS RAM"};
    const std::vector<std::string> after{"OWNED",     "AVAILABLE", "AVAILABLE", "AVAILABLE", "NEEDS RAM",
                                         "NEEDS RAM", "NEEDS RAM", "NEEDS RAM", "NEEDS RAM", "NEEDS RAM"};
    EXPECT_EQ(cpu_lists[0], before);
    EXPECT_EQ(cpu_lists[1], after);
}

TEST_F(computer_store_test, MainScreenShowsTheInstalledParts)
{
    P.cpu = 2;
    P.ram = 1;
    P.monitor = 4;
    P.peripherals = 0x3F & ~2u;
    P.cash = 777;
    door.send_keys("9q");  // an unknown key only redraws
    computer_store();
    auto s = last_page("BYTE ME COMPUTING");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->text_at(21, 3, 38), "\"We sell the iron, you sell the bits.\"");
    std::string blocks;
    for (int i = 0; i < 36; ++i)
        blocks += "█";
    EXPECT_EQ(s->text_at(22, 6, 36), blocks);
    EXPECT_EQ(s->text_at(22, 10, 36), blocks);
    EXPECT_EQ(s->text_at(22, 7, 17), "█        BYTE ME ");
    EXPECT_EQ(s->text_at(35, 9, 9), "OPEN 24/7");
    EXPECT_EQ(s->cell(35, 9).fg, 2);
    EXPECT_EQ(s->text_at(57, 8, 1), "█");
    EXPECT_NE(s->row_text(12).find(" CASH $777    DAY 1    REP 5    HEAT 0 "), std::string::npos);
    EXPECT_EQ(s->text_at(20, 14, 42), "[1] CPUs          current: 386SX 16MHz    ");
    EXPECT_EQ(s->text_at(47, 15, 4), "1 MB");
    EXPECT_EQ(s->text_at(47, 18, 13), "17\" Trinitron");
    EXPECT_EQ(s->text_at(20, 19, 32), "[6] Peripherals   installed: 5/6");
    EXPECT_EQ(s->cell(49, 19).fg, 2);
    EXPECT_EQ(s->text_at(20, 21, 21), "[ESC] Back to console");
    EXPECT_NE(s->row_text(24).find("Pick a department."), std::string::npos);
}

TEST_F(computer_store_test, NewModemPlaysItsHandshakeOnceTheSaleIsOnDisk)
{
    static int modem_on_disk_while_playing = -1;
    g_sleep_hook = [](int ms) {
        slept_ms += ms;
        profile p{};
        std::string bytes = testsupport::read_file("data/sysop_sysop.dat");
        std::memcpy(&p, bytes.data(), std::min(bytes.size(), sizeof p));
        modem_on_disk_while_playing = p.modem;
    };
    door.send_keys(buy('4', 2) + "y" "x" "qq");
    computer_store();
    EXPECT_EQ(modem_on_disk_while_playing, 2);
    EXPECT_EQ(slept_ms, 4500);
    bool connected = false;
    for (const auto& f : frames())
        connected = connected || f->contains("CONNECT 2400");
    EXPECT_TRUE(connected);
    EXPECT_EQ(boxes(), (std::vector<shown_box>{{"Confirm purchase", "2400 bps"},
                                               {"Installed!", "Modem lights blinking like a Christmas tree."}}));
}
