// The console screen as the caller sees it: texts, places and the colours
// that carry a warning.
#include "game/rules/storage.h"
#include "game/tools/console.h"
#include "tests/game/game_fixture.h"

#include <string>

namespace {

constexpr std::int64_t NOON_DAY_20000 = 20000LL * 86400 + 43200;

std::int64_t day_20000()
{
    return NOON_DAY_20000;
}

}  // namespace

class console_screen : public game_test {
protected:
    console_screen()
    {
        new_profile();
        P.total_callers = 7;
        g_clock_hook = day_20000;
    }
    std::unique_ptr<vt::vt_screen> drawn()
    {
        door.clear_output();
        render_console();
        return screen();
    }
};

TEST_F(console_screen, NewBoardShowsEveryPanel)
{
    auto s = drawn();
    SCOPED_TRACE(s->dump());
    EXPECT_EQ(s->text_at(26, 1, 28), "╡ VEXON SIMS - BBS CONSOLE ╞");
    EXPECT_EQ(s->text_at(70, 0, 9), "[Console]");
    EXPECT_EQ(s->text_at(2, 3, 63), "  Your BBS:  Sysop's Haven                  1 node    7 users  ");
    EXPECT_EQ(s->cell(15, 3).fg, 3);
    // The strip: red from column 2 to 77, the text centred on it.
    EXPECT_EQ(s->text_at(4, 4, 71), "  CASH $1500       DAY 1     REP   5  HEAT   0  FAME 0/5  TURNS 30/30  ");
    EXPECT_EQ(s->cell(2, 4).bg, 1);
    EXPECT_EQ(s->cell(77, 4).bg, 1);
    EXPECT_EQ(s->cell(78, 4).bg, 0);
    EXPECT_EQ(s->cell(8, 4).fg, 3);
    EXPECT_TRUE(s->cell(8, 4).bold);

    EXPECT_EQ(s->text_at(2, 5, 12), "┌─ Hardware ");
    EXPECT_EQ(s->text_at(3, 6, 24), "CPU    : XT 8088 4.77MHz");
    EXPECT_EQ(s->text_at(3, 7, 15), "RAM    : 640 KB");
    EXPECT_EQ(s->text_at(3, 8, 30), "HDD    : 20 MB MFM     5% used");
    EXPECT_EQ(s->text_at(3, 9, 16), "Modem  : 300 bps");
    EXPECT_EQ(s->text_at(3, 10, 12), "Monitor: CGA");
    EXPECT_EQ(s->text_at(3, 11, 20), "Periphs: 0 installed");
    EXPECT_EQ(s->text_at(3, 12, 20), "Doors  : 0 installed");
    EXPECT_EQ(s->text_at(3, 13, 33), "CD-ROM : 0 mounted    Health 100%");
    EXPECT_EQ(s->text_at(40, 14, 1), "┘");

    EXPECT_EQ(s->text_at(42, 5, 12), "┌─ Networks ");
    EXPECT_EQ(s->text_at(43, 6, 23), "FidoNet : Not connected");
    EXPECT_EQ(s->text_at(43, 7, 14), "Internet: None");
    EXPECT_EQ(s->text_at(43, 8, 17), "Warez   : 0 files");
    EXPECT_EQ(s->cell(43, 8).fg, 5);
    EXPECT_EQ(s->text_at(43, 9, 11), "Nodes   : 1");
    EXPECT_EQ(s->text_at(43, 10, 21), "Callers yesterday : 0");
    EXPECT_EQ(s->text_at(43, 11, 21), "Total users       : 7");
    EXPECT_EQ(s->cell(43, 11).fg, 2);
    EXPECT_EQ(s->text_at(43, 12, 22), "Hack skill :  10 / 100");

    EXPECT_EQ(s->text_at(2, 15, 16), "┌─ Command Menu ");
    EXPECT_EQ(s->text_at(4, 16, 31), "[1] Run the BBS (advance 1 day)");
    EXPECT_EQ(s->cell(4, 16).fg, 2);
    EXPECT_EQ(s->text_at(4, 20, 24), "[5] Hack the Underground");
    EXPECT_EQ(s->cell(4, 20).fg, 5);
    EXPECT_EQ(s->text_at(42, 18, 20), "[8] Buy another node");
    EXPECT_EQ(s->cell(42, 18).fg, 6);
    EXPECT_EQ(s->text_at(42, 20, 17), "[Q] Save and quit");
    EXPECT_EQ(s->cell(42, 20).fg, 1);
    EXPECT_EQ(s->text_at(77, 21, 1), "┘");

    EXPECT_EQ(s->text_at(1, 24, 36), "Pick a letter or number to continue.");
    EXPECT_EQ(s->text_at(67, 24, 12), "Sysop: Sysop");
}

TEST_F(console_screen, PluralEndingKeepsTheLineLength)
{
    P.nodes = 2;
    auto s = drawn();
    EXPECT_EQ(s->text_at(2, 3, 63), "  Your BBS:  Sysop's Haven                  2 nodes   7 users  ");
    copy_text(P.bbs_name, "A board name far longer than twenty-eight");
    P.nodes = 16;
    s = drawn();
    EXPECT_EQ(s->text_at(2, 3, 64), "  Your BBS:  A board name far longer than   16 nodes   7 users  ");
}

TEST_F(console_screen, FameStarsReachACodePage437CallerAsPrintableBytes)
{
    // A terminal that takes byte 15 as a control would draw nothing there
    // and pull the rest of the row, the panel's right border with it, left.
    P.fame = 3;
    auto s = drawn();
    EXPECT_EQ(s->text_at(53, 13, 5), "***··") << s->dump();
    EXPECT_EQ(s->cell(53, 13).fg, 3);
    EXPECT_EQ(s->text_at(77, 13, 1), "│") << s->dump();
}

TEST_F(console_screen, DiskAndHealthTurnRedAtTheirThresholds)
{
    struct case_t {
        std::int32_t warez, hw_health;
        const char* hdd_line;
        int hdd_fg, health_fg;
    };
    // 1 MB for the system plus half the warez count, on a 20 MB drive.
    const case_t cases[] = {
        {34, 39, "HDD    : 20 MB MFM    90% used", 1, 1},
        {32, 40, "HDD    : 20 MB MFM    85% used", 7, 7},
        {200, 0, "HDD    : 20 MB MFM   100% used", 1, 1},
    };
    for (const auto& c : cases) {
        P.warez = c.warez;
        P.hw_health = c.hw_health;
        auto s = drawn();
        EXPECT_EQ(s->text_at(3, 8, 30), c.hdd_line);
        EXPECT_EQ(s->cell(3, 8).fg, c.hdd_fg) << c.warez;
        EXPECT_EQ(s->cell(3, 13).fg, c.health_fg) << c.hw_health;
    }
}

TEST_F(console_screen, FameShowsSunsAndDots)
{
    // Character 15 is a control byte to an ANSI terminal emulator, so the
    // marks are read in the UTF-8 form, where it is the sun glyph.
    g_glyph_mode = glyph_mode::utf8;
    for (int fame : {0, 2, 5}) {
        P.fame = fame;
        door.clear_output();
        render_console();
        vt::vt_screen s(80, 25);
        s.feed(door.history());
        EXPECT_EQ(s.text_at(43, 13, 10), "Fame    : ");
        for (int i = 0; i < 5; ++i) {
            bool sun = i < fame;
            EXPECT_EQ(g_back[13][53 + i].ch, sun ? 15 : 250);
            EXPECT_EQ(s.text_at(53 + i, 13, 1), sun ? "☼" : "·") << fame << " mark " << i;
            EXPECT_EQ(s.cell(53 + i, 13).fg, sun ? 3 : 7);
            EXPECT_TRUE(s.cell(53 + i, 13).bold);
        }
        EXPECT_EQ(s.text_at(4, 4, 71).substr(48, 8), "FAME " + std::to_string(fame) + "/5");
    }
}

TEST_F(console_screen, TurnsLeftCountOnlyTodayAgainstTheRealLimit)
{
    struct case_t {
        std::int32_t turn_day, used, per_day;
        const char* turns;
    };
    const case_t cases[] = {
        {20000, 12, 30, "TURNS 18/30"},  // today
        {19999, 12, 30, "TURNS 30/30"},  // counted on an earlier day
        {20000, 40, 30, "TURNS  0/30"},  // never below zero
        {20000, 5, 100, "TURNS 95/100"},
        {20000, 0, 10, "TURNS 10/10"},
    };
    for (const auto& c : cases) {
        P.turn_day = c.turn_day;
        P.turns_used = c.used;
        P.turns_per_day = c.per_day;
        auto s = drawn();
        EXPECT_NE(s->row_text(4).find(c.turns), std::string::npos) << s->row_text(4);
    }
}
