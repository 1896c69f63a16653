#include "game/rules/catalogs.h"
#include "game/shops/software_store.h"
#include "tests/game/shop_fixture.h"

#include <string>
#include <vector>

namespace {

using software_store_test = shop_test;

std::string pick(char department, int row)
{
    return std::string(1, department) + downs(row) + "\r";
}

// Warez fill the board's otherwise empty drive until `free_mb` are left
// (an empty board uses 1 MB; two files take 1 MB).
void leave_free(profile& p, int free_mb)
{
    p.warez = (HDDS[static_cast<std::size_t>(p.hdd)].megabytes - 1 - free_mb) * 2;
}

constexpr std::uint32_t CDROM_DRIVE = 1u << 3;

const shown_box NOT_ENOUGH_HDD{"Not enough HDD", "Free up disk or install a bigger drive."};

}  // namespace

TEST_F(software_store_test, PurchasesAndRepairsFollowTheChecksInOrder)
{
    const store_visit visits[] = {
        {"door on a new board", [](profile&) {}, pick('1', 0) + "y" "x" "qq",
         [](profile& p) { p.cash -= 150; p.doors = 1; p.rep += 5; },
         {{"Confirm purchase", "LORD"}, {"Door installed!", "Your users will be delighted."}}},
        {"door with exactly 1 MB free", [](profile& p) { leave_free(p, 1); }, pick('1', 0) + "x" "qq",
         [](profile&) {}, {NOT_ENOUGH_HDD}},
        {"door with 2 MB free", [](profile& p) { leave_free(p, 2); }, pick('1', 5) + "y" "x" "qq",
         [](profile& p) { p.cash -= 75; p.doors = 1u << 5; p.rep += 2; },
         {{"Confirm purchase", "Food Fight"}, {"Door installed!", "Your users will be delighted."}}},
        {"door already running", [](profile& p) { p.doors = 2; leave_free(p, 0); }, pick('1', 1) + "x" "qq",
         [](profile&) {}, {{"Already installed", "Already running that door."}}},
        {"door too dear", [](profile& p) { p.cash = 149; }, pick('1', 0) + "x" "qq", [](profile&) {},
         {{"No cash", "Save up for that one."}}},
        {"rep capped at 100", [](profile& p) { p.rep = 98; p.cash = 150; }, pick('1', 0) + "y" "x" "qq",
         [](profile& p) { p.cash = 0; p.doors = 1; p.rep = 100; },
         {{"Confirm purchase", "LORD"}, {"Door installed!", "Your users will be delighted."}}},
        {"disc without a drive", [](profile& p) { p.cash = 0; }, pick('2', 0) + "x" "qq", [](profile&) {},
         {{"No CD-ROM drive", "Buy a CD-ROM drive in the Computer Store first."}}},
        {"disc without room", [](profile& p) { p.peripherals = CDROM_DRIVE; }, pick('2', 0) + "x" "qq",
         [](profile&) {}, {{"Not enough disk", "Install a larger HDD before adding more discs."}}},
        {"disc that just fits", [](profile& p) { p.peripherals = CDROM_DRIVE; p.hdd = 1; leave_free(p, 25); },
         pick('2', 3) + "y" "x" "qq", [](profile& p) { p.cash -= 300; p.cdroms = 1u << 3; p.rep += 7; },
         {{"Confirm purchase", "Id Software DOOM WADs"}, {"Disc in the rack!", "Users will line up for this."}}},
        {"disc already mounted", [](profile& p) { p.cdroms = 1; }, pick('2', 0) + "x" "qq", [](profile&) {},
         {{"Already installed", "That disc is already in the rack."}}},
        {"disc too dear", [](profile& p) { p.peripherals = CDROM_DRIVE; p.hdd = 2; p.cash = 10; },
         pick('2', 0) + "x" "qq", [](profile&) {}, {{"No cash", "Save up."}}},
        {"packages accumulate without a disk check", [](profile& p) { p.bbs_software = 1; leave_free(p, 0); },
         pick('3', 14) + "y" "x" "qq", [](profile& p) { p.cash -= 600; p.bbs_software |= 1u << 14; p.rep += 9; },
         {{"Install this BBS software?", "PCBoard"}, {"Installed!", "Your users will notice the upgrade."}}},
        {"package owned", [](profile& p) { p.bbs_software = 1; }, pick('3', 0) + "x" "qq", [](profile&) {},
         {{"Already installed", "Already running that BBS package."}}},
        {"package too dear", [](profile& p) { p.cash = 0; }, pick('3', 0) + "x" "qq", [](profile&) {},
         {{"No cash", "Save up."}}},
        {"protection", [](profile&) {}, pick('4', 2) + "y" "x" "qq",
         [](profile& p) { p.cash -= 320; p.protection = 4; p.protect_health[2] = 100; p.rep += 4; },
         {{"Install?", "Personal Firewall"}, {"Hardened!", "Your BBS is a little more secure."}}},
        {"protection owned", [](profile& p) { p.protection = 1; p.protect_health[0] = 30; }, pick('4', 0) + "x" "qq",
         [](profile&) {}, {{"Already installed", "Already have that protection."}}},
        {"protection too dear", [](profile& p) { p.cash = 1099; }, pick('4', 9) + "x" "qq", [](profile&) {},
         {{"No cash", "Save up."}}},
        {"nothing to repair", [](profile&) {}, "5" "x" "q", [](profile&) {},
         {{"Nothing to repair", "You don't own any protection yet."}}},
        {"repair at health 0 costs 120", [](profile& p) { p.protection = 1; }, pick('5', 0) + "y" "x" "qq",
         [](profile& p) { p.cash -= 120; p.protect_health[0] = 100; },
         {{"Confirm repair", "Anti-Virus - McAfee"}, {"Repaired", "Protection restored to 100% health."}}},
        {"repair at health 50 costs 320", [](profile& p) { p.protection = 1u << 9; p.protect_health[9] = 50; },
         pick('5', 9) + "y" "x" "qq", [](profile& p) { p.cash -= 320; p.protect_health[9] = 100; },
         {{"Confirm repair", "Hardened BBS Shell"}, {"Repaired", "Protection restored to 100% health."}}},
        {"repair at health 99 costs 26, exactly the cash",
         [](profile& p) { p.protection = 1u << 9; p.protect_health[9] = 99; p.cash = 26; },
         pick('5', 9) + "y" "x" "qq", [](profile& p) { p.cash = 0; p.protect_health[9] = 100; },
         {{"Confirm repair", "Hardened BBS Shell"}, {"Repaired", "Protection restored to 100% health."}}},
        {"repair too dear", [](profile& p) { p.protection = 1; p.cash = 119; }, pick('5', 0) + "x" "qq",
         [](profile&) {}, {{"No cash", "Not enough money for this repair."}}},
        {"repair of a row not owned", [](profile& p) { p.protection = 1; }, pick('5', 1) + "x" "qq",
         [](profile&) {}, {{"Not owned", "You don't own this protection yet."}}},
        {"repair of a full row", [](profile& p) { p.protection = 1; p.protect_health[0] = 100; },
         pick('5', 0) + "x" "qq", [](profile&) {}, {{"Already full", "This protection is at 100% health."}}},
    };
    check_visits(software_store, visits);
}

namespace {

// The STATUS column of a list, one entry per row.
std::vector<std::string> statuses(const vt::vt_screen& s, int rows)
{
    std::vector<std::string> out;
    for (int y = 6; y < 6 + rows; ++y) {
        std::string st = s.text_at(62, y, 10);
        out.push_back(st.substr(0, st.find_last_not_of(' ') + 1));
    }
    return out;
}

}  // namespace

TEST_F(software_store_test, ListsMarkWhatTheDiskAndDriveAllow)
{
    struct list_case {
        const char* name;
        std::function<void(profile&)> start;
        char department;
        const char* caption;
        std::vector<std::string> rows;
    };
    const std::vector<std::string> all_need_disk(9, "NEED DISK");
    const list_case cases[] = {
        {"doors at 1 MB free", [](profile& p) { p.doors = 1; leave_free(p, 1); }, '1', "Doors & Games",
         {"OWNED", "NEED DISK", "NEED DISK", "NEED DISK"}},
        {"doors at 2 MB free", [](profile& p) { leave_free(p, 2); p.cash = 150; }, '1', "Doors & Games",
         {"AVAILABLE", "NO CASH", "AVAILABLE", "NO CASH"}},
        {"discs without a drive", [](profile& p) { p.cdroms = 2; }, '2', "CD-ROM Collections",
         {"NEED CDROM", "OWNED", "NEED CDROM", "NEED CDROM", "NEED CDROM"}},
        {"discs with a drive and 25 MB free", [](profile& p) { p.peripherals = CDROM_DRIVE; p.hdd = 1; leave_free(p, 25); },
         '2', "CD-ROM Collections", {"NEED DISK", "NEED DISK", "NEED DISK", "AVAILABLE", "AVAILABLE"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        new_profile();
        c.start(P);
        door.clear_output();
        door.send_keys(std::string(1, c.department) + "qq");
        software_store();
        auto s = last_page(c.caption);
        ASSERT_TRUE(s);
        EXPECT_EQ(statuses(*s, static_cast<int>(c.rows.size())), c.rows) << s->dump();
    }
}

TEST_F(software_store_test, RepairListShowsHealthAndCost)
{
    P.protection = 1u | (1u << 9) | (1u << 3);
    P.protect_health[0] = 0;
    P.protect_health[9] = 50;
    P.protect_health[3] = 100;
    door.send_keys("5qq");
    software_store();
    auto s = last_page("Repair Protection");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->text_at(3, 6, 40), " Anti-Virus - McAfee        health   0% ");
    EXPECT_EQ(s->text_at(49, 6, 5), "$120 ");
    EXPECT_EQ(s->text_at(3, 7, 46), " Anti-Virus - Norton        health   0%       ");
    EXPECT_EQ(s->text_at(49, 7, 2), "$0");
    EXPECT_EQ(s->text_at(3, 15, 40), " Hardened BBS Shell         health  50% ");
    EXPECT_EQ(s->text_at(49, 15, 4), "$320");
    EXPECT_EQ(statuses(*s, 10), (std::vector<std::string>{"AVAILABLE", "OWNED", "OWNED", "OWNED", "OWNED", "OWNED",
                                                           "OWNED", "OWNED", "OWNED", "AVAILABLE"}));
    EXPECT_EQ(s->text_at(3, 21, 30), "Damage accumulates with every ");
}

TEST_F(software_store_test, MainScreenCountsWhatIsOwned)
{
    P.doors = 0xFFFF;
    P.cdroms = 3;
    P.bbs_software = 1;
    P.protection = 3;
    P.protect_health[0] = 100;
    P.protect_health[1] = 10;
    door.send_keys("7q");
    software_store();
    auto s = last_page("BIG JOHN'S SOFTWARE EMPORIUM");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->text_at(20, 3, 39), "\"Legit doors.  Legit discs.  Probably.\"");
    EXPECT_EQ(s->text_at(26, 6, 28), "BIG JOHN'S SOFTWARE EMPORIUM");
    EXPECT_EQ(s->cell(26, 6).fg, 5);
    EXPECT_EQ(s->text_at(22, 7, 35), "doors  shareware  cdrom collections");
    EXPECT_EQ(s->text_at(20, 5, 1), "█");
    EXPECT_EQ(s->text_at(59, 7, 1), "█");
    EXPECT_NE(s->row_text(10).find(" CASH $1500    DAY 1    REP 5    HEAT 0 "), std::string::npos);
    EXPECT_EQ(s->text_at(18, 12, 48), "[1] Doors & Games               16 of 16 owned  ");
    EXPECT_EQ(s->text_at(50, 13, 16), " 2 of  9 mounted");
    EXPECT_EQ(s->text_at(50, 14, 14), " 1 of 15 owned");
    EXPECT_EQ(s->text_at(50, 15, 14), " 2 of 10 owned");
    EXPECT_EQ(s->text_at(50, 16, 10), " 1 damaged");
    EXPECT_EQ(s->cell(51, 16).fg, 1);
    EXPECT_EQ(s->cell(51, 15).fg, 2);
    EXPECT_EQ(s->text_at(18, 18, 21), "[ESC] Back to console");
    EXPECT_NE(s->row_text(24).find("Software = callers.   Protection = peace of mind."), std::string::npos);
}
