#include "game/shops/catalog_picker.h"
#include "tests/game/shop_fixture.h"

#include <string>
#include <vector>

using testsupport::KEY_DOWN;
using testsupport::KEY_UP;

namespace {

class catalog_picker : public shop_test {
protected:
    // A list of n plain rows named "Item 0", "Item 1", ...
    std::vector<catalog_item> plain_rows(int n)
    {
        names_.clear();
        for (int i = 0; i < n; ++i)
            names_.push_back("Item " + std::to_string(i));
        std::vector<catalog_item> rows;
        for (const auto& name : names_)
            rows.push_back(catalog_item{name.c_str(), 100, 0, 0, nullptr});
        return rows;
    }

    int pick(const std::vector<catalog_item>& rows, const std::string& keys)
    {
        door.send_keys(keys);
        return catalog_pick("Test List", rows.data(), static_cast<int>(rows.size()), "A hint.");
    }

    std::vector<std::string> names_;
};

struct paging_case {
    int rows;
    int downs;
    int ups;
    int chosen;
    bool up_mark;
    bool down_mark;
    int first_shown;  // row index on screen row 6
};

}  // namespace

TEST_F(catalog_picker, PagingMarksFollowTheWindowAndTheHighlightNeverWraps)
{
    const paging_case cases[] = {
        {12, 3, 0, 3, false, false, 0},    // a list that fits has no marks
        {12, 20, 0, 11, false, false, 0},  // down on the last row stays
        {16, 0, 0, 0, false, true, 0},     // only the down mark at first
        {16, 11, 0, 11, false, true, 0},   // still inside the first window
        {16, 12, 0, 12, true, true, 1},    // past row 12: both marks
        {16, 15, 0, 15, true, false, 4},   // last row visible: no down mark
        {16, 30, 0, 15, true, false, 4},   // no wrap at the bottom
        {16, 0, 5, 0, false, true, 0},     // no wrap at the top
        {16, 15, 4, 11, true, false, 4},   // moving up inside the window keeps it
        {16, 15, 15, 0, false, true, 0},   // up past the window's top scrolls back
    };
    // The marks are code page 437 glyphs below 32; UTF-8 output shows them as arrows.
    g_glyph_mode = glyph_mode::utf8;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rows << " rows, " << c.downs << " down, " << c.ups << " up");
        door.clear_output();
        auto rows = plain_rows(c.rows);
        std::string keys;
        for (int i = 0; i < c.downs; ++i)
            keys += KEY_DOWN;
        for (int i = 0; i < c.ups; ++i)
            keys += KEY_UP;
        EXPECT_EQ(pick(rows, keys + "\r"), c.chosen);
        auto s = std::make_unique<vt::vt_screen>();
        s->feed(door.history());
        EXPECT_EQ(s->text_at(74, 6, 6) == "↑ more", c.up_mark) << s->dump();
        EXPECT_EQ(s->text_at(74, 17, 6) == "↓ more", c.down_mark) << s->dump();
        EXPECT_EQ(s->text_at(4, 6, 7), "Item " + std::to_string(c.first_shown) + (c.first_shown < 10 ? " " : ""));
        // The highlight is the chosen row, black on yellow.
        int y = 6 + c.chosen - c.first_shown;
        EXPECT_EQ(s->cell(10, y).bg, 3);
        EXPECT_EQ(s->cell(4, y).fg, 0);
    }
}

TEST_F(catalog_picker, StatusShowsOwnedThenLockThenCash)
{
    P.cash = 500;
    const catalog_item rows[] = {
        {"Owned and locked", 900, 1, 1, "NEEDS RAM"},
        {"Locked and too dear", 900, 0, 1, "NEED DISK"},
        {"Locked without a label", 10, 0, 1, nullptr},
        {"Too dear", 501, 0, 0, nullptr},
        {"Exactly the cash", 500, 0, 0, nullptr},
    };
    struct expected { const char* status; int fg; };
    const expected want[] = {{"OWNED", 2}, {"NEED DISK", 1}, {"LOCKED", 1}, {"NO CASH", 1}, {"AVAILABLE", 2}};
    door.send_keys(downs(4) + "\r");
    EXPECT_EQ(catalog_pick("Status", rows, 5, "hint"), 4);
    auto s = screen();
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(rows[i].name);
        EXPECT_EQ(s->text_at(62, 6 + i, 10), std::string(want[i].status).append(10 - std::strlen(want[i].status), ' '));
        if (i < 4) {  // the selected row is drawn black on yellow instead
            EXPECT_EQ(s->cell(62, 6 + i).fg, want[i].fg);
            EXPECT_TRUE(s->cell(62, 6 + i).bold);
        }
    }
    EXPECT_EQ(s->cell(62, 10).fg, 0);
    EXPECT_EQ(s->cell(62, 10).bg, 3);
    EXPECT_EQ(s->text_at(49, 10, 9), "$500     ");
    EXPECT_EQ(s->cell(49, 9).fg, 2);  // prices are green on unselected rows
}

TEST_F(catalog_picker, LongNamesAreCutAt44AndThePageShowsTheBoard)
{
    P.cash = 1234;
    P.day = 7;
    P.rep = 42;
    P.heat = 3;
    P.hack_skill = 10;
    P.nodes = 2;
    const std::string name = "A name that is far too long for the name column of the list";
    const catalog_item rows[] = {{name.c_str(), 5, 0, 0, nullptr}};
    door.send_keys("\r");
    EXPECT_EQ(catalog_pick("Long Names", rows, 1, "Pick one."), 0);
    auto s = screen();
    EXPECT_EQ(s->text_at(3, 6, 46), " " + name.substr(0, 44) + " ");
    EXPECT_EQ(s->text_at(49, 6, 2), "$5");
    EXPECT_NE(s->row_text(2).find(" CASH $1234    DAY 7    REP 42    HEAT 3    HACK 10    NODES 2 "),
              std::string::npos);
    EXPECT_NE(s->row_text(1).find("╡ Long Names ╞"), std::string::npos);
    EXPECT_NE(s->row_text(0).find("[Long Names]"), std::string::npos);
    EXPECT_EQ(s->text_at(4, 4, 4), "NAME");
    EXPECT_EQ(s->text_at(50, 4, 5), "PRICE");
    EXPECT_EQ(s->text_at(62, 4, 6), "STATUS");
    EXPECT_EQ(s->text_at(3, 21, 9), "Pick one.");
    EXPECT_NE(s->row_text(24).find("[UP/DOWN] move   [ENTER] buy   [ESC] back"), std::string::npos);
}

TEST_F(catalog_picker, BackingOutAndChoosing)
{
    auto rows = plain_rows(3);
    struct { const char* keys; int result; } cases[] = {
        {"q", -1}, {"Q", -1}, {" ", 0}, {"\n", 0}, {"zx\x1b[B\r", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keys);
        EXPECT_EQ(pick(rows, c.keys), c.result);
    }
    door.send_keys_after(std::chrono::milliseconds(50), "\x1b");
    EXPECT_EQ(catalog_pick("Esc", rows.data(), 3, ""), -1);
}
