// The message box, the question, the title bar and the footer, as a caller's
// terminal shows them.
#include "game/screen/dialogs.h"
#include "game/rules/storage.h"
#include "tests/game/game_fixture.h"

#include <chrono>
#include <string>

using namespace std::chrono_literals;

namespace {

struct box_case {
    const char* what;
    const char* title;
    const char* text;
    int top, bottom, left, right;
    std::vector<std::pair<int, std::string>> rows;  // text row and its line
    int prompt_x;
};

}  // namespace

using dialogs = game_test;

TEST_F(dialogs, MessageBoxPromptMayOverhangANarrowBox)
{
    door.send_keys("x");
    EXPECT_EQ(msg_box("Title", "Hello", 2), 'x');
    auto s = screen();
    EXPECT_EQ(s->text_at(33, 10, 13), "╔═╡ Title ╞═╗");
    EXPECT_EQ(s->text_at(37, 12, 5), "Hello");
    EXPECT_EQ(s->text_at(33, 13, 17), "[ Press any key ]");
    EXPECT_EQ(s->cell(33, 13).fg, 2);
    EXPECT_TRUE(s->cell(33, 13).bold);
    EXPECT_EQ(s->text_at(33, 14, 13), "╚═══════════╝");
    EXPECT_EQ(s->cell(37, 12).fg, 7);
    EXPECT_TRUE(s->cell(37, 12).bold);
}

TEST_F(dialogs, MessageBoxGeometryFollowsTheText)
{
    const box_case cases[] = {
        {"empty text", "Title", "", 10, 14, 33, 45, {}, 33},
        {"trailing newline adds a row but no line", "Title", "Hello\n", 9, 14, 33, 45, {{11, "Hello"}}, 33},
        {"four lines, the widest sets the width", "Report", "one\nthree lines\n\nlast one here!", 8, 15, 31, 48,
         {{10, "one"}, {11, "three lines"}, {13, "last one here!"}}, 31},
    };
    for (const auto& c : cases) {
        door.clear_output();
        door.send_keys("k");
        msg_box(c.title, c.text, 6);
        auto s = screen();
        SCOPED_TRACE(std::string(c.what) + "\n" + s->dump());
        EXPECT_EQ(s->text_at(c.left, c.top, 1), "╔");
        EXPECT_EQ(s->text_at(c.right, c.top, 1), "╗");
        EXPECT_EQ(s->text_at(c.left, c.bottom, 1), "╚");
        EXPECT_EQ(s->text_at(c.right, c.bottom, 1), "╝");
        EXPECT_EQ(s->cell(c.left, c.top).fg, 6);
        EXPECT_EQ(s->text_at(c.prompt_x, c.bottom - 1, 17), "[ Press any key ]");
        int width = c.right - c.left + 1;
        for (int y = c.top + 1; y < c.bottom - 1; ++y) {
            std::string want(static_cast<std::size_t>(width - 2), ' ');
            for (const auto& [row, line] : c.rows) {
                if (row == y)
                    want.replace(static_cast<std::size_t>((width - static_cast<int>(line.size())) / 2 - 1),
                                 line.size(), line);
            }
            EXPECT_EQ(s->text_at(c.left + 1, y, width - 2), want) << "row " << y;
        }
        // The screen behind the box is cleared.
        EXPECT_EQ(s->row_text(c.top - 1), "");
        EXPECT_EQ(s->row_text(c.bottom + 1), "");
    }
}

TEST_F(dialogs, MessageBoxClearsWhatWasBehindIt)
{
    for (int y = 0; y < SCREEN_H; ++y)
        put_str(0, y, "################################################################################", 2, 0, 1);
    present_frame();
    door.send_keys("k");
    msg_box("Title", "Hello", 3);
    auto s = screen();
    EXPECT_EQ(s->row_text(0), "");
    EXPECT_EQ(s->text_at(33, 12, 13), "║   Hello   ║");
}

TEST_F(dialogs, QuestionHasAnEmptyRowAboveItsPrompt)
{
    door.send_keys("y");
    EXPECT_EQ(yes_no("Add a node?", "A new node costs $600.\nYou'll have 2 nodes total."), 1);
    auto s = screen();
    // h = 2 + 5 = 7: rows 9 to 15; W = max(26 + 6, 11 + 8) = 32: columns 24 to 55.
    EXPECT_EQ(s->text_at(24, 9, 1), "╔");
    EXPECT_EQ(s->text_at(55, 15, 1), "╝");
    EXPECT_EQ(s->cell(24, 9).fg, 3);
    EXPECT_EQ(s->text_at(25, 10, 30), std::string(30, ' '));
    EXPECT_EQ(s->text_at(29, 11, 22), "A new node costs $600.");
    EXPECT_EQ(s->text_at(27, 12, 26), "You'll have 2 nodes total.");
    EXPECT_EQ(s->text_at(25, 13, 30), std::string(30, ' '));
    EXPECT_EQ(s->text_at(31, 14, 17), "[Y] Yes    [N] No");
    EXPECT_EQ(s->cell(31, 14).fg, 3);
    EXPECT_TRUE(s->contains("╡ Add a node? ╞"));
}

TEST_F(dialogs, QuestionAnswersOnlyToItsKeys)
{
    const std::pair<const char*, int> cases[] = {
        {"y", 1}, {"Y", 1}, {"\r", 1}, {"\n", 1}, {"n", 0}, {"N", 0}, {"q\x1b[Ax9n", 0}, {"Q1 y", 1},
    };
    for (const auto& [keys, want] : cases) {
        door.send_keys(keys);
        EXPECT_EQ(yes_no("Sure?", "Really?"), want) << testing::PrintToString(keys);
    }
    // A lone ESC is "no".
    door.send_keys_after(50ms, "\x1b");
    EXPECT_EQ(yes_no("Sure?", "Really?"), 0);
}

TEST_F(dialogs, TopBarShowsTheNumbersAndWarnsOfHeat)
{
    P.day = 77;
    P.cash = 1234;
    P.rep = 9;
    const std::pair<int, int> cases[] = {{0, 7}, {30, 7}, {31, 3}, {60, 3}, {61, 1}, {100, 1}};
    for (auto [heat, colour] : cases) {
        P.heat = heat;
        clear_back();
        force_full_repaint();
        draw_topbar("Console");
        door.clear_output();
        present_frame();
        auto s = screen();
        EXPECT_EQ(s->cell(51, 0).fg, colour) << "heat " << heat;
        EXPECT_EQ(s->cell(51, 0).bg, 1);
    }
    auto s = screen();
    EXPECT_EQ(s->row_text(0), "VEXON SIMS    Day 77    Cash $1234      Rep   9    Heat 100           [Console]");
    EXPECT_EQ(s->text_at(70, 0, 9), "[Console]");  // ends at column 78
    EXPECT_EQ(s->cell(0, 0).fg, 0);
    EXPECT_EQ(s->cell(0, 0).bg, 3);
    EXPECT_EQ(s->cell(24, 0).fg, 3);  // cash
    EXPECT_EQ(s->cell(40, 0).fg, 2);  // rep
    EXPECT_EQ(s->cell(11, 0).bg, 1);  // the gap is on the bar
    EXPECT_EQ(s->cell(79, 0).bg, 1);
}

TEST_F(dialogs, FooterPlacesTheNameLabel)
{
    const std::string hint65 = "The quick brown fox jumps over the lazy dog and keeps on running f";
    struct case_t {
        const char* what;
        std::string hint;
        const char* name;
        int label_x;
        std::string label;
    };
    const case_t cases[] = {
        {"short hint, short name", "Pick a department.", "Bob", 69, "Sysop: Bob"},
        {"long hint, long name", hint65.substr(0, 65), "Sixteen_Letters!", 60, "Sysop: Sixteen_Lette"},
        {"long hint, short name", hint65.substr(0, 65), "Bob", 69, "Sysop: Bob"},
        {"trailing spaces move the label right", "Pick a department.", "Bob  ", 69, "Sysop: Bob"},
    };
    for (const auto& c : cases) {
        copy_text(P.sysop_name, c.name);
        door.clear_output();
        draw_footer(c.hint.c_str());
        auto s = screen();
        SCOPED_TRACE(c.what);
        std::string shown = c.hint.substr(0, 58);
        EXPECT_EQ(s->text_at(0, 24, 1), " ");
        EXPECT_EQ(s->text_at(1, 24, static_cast<int>(shown.size())), shown);
        EXPECT_EQ(s->text_at(c.label_x, 24, static_cast<int>(c.label.size())), c.label);
        EXPECT_EQ(s->cell(c.label_x, 24).fg, 3);
        EXPECT_EQ(s->cell(c.label_x - 1, 24).fg, 7);
        EXPECT_EQ(s->cell(c.label_x, 24).bg, 4);
        EXPECT_FALSE(s->cell(c.label_x, 24).bold);
        EXPECT_EQ(s->cell(0, 24).bg, 4);
        EXPECT_EQ(s->cell(79, 24).bg, 4);
        EXPECT_EQ(s->text_at(79, 24, 1), c.label_x == 69 ? " " : "e");
    }
}

TEST_F(dialogs, ImmediateFooterSendsItsRowAtOnceAndOnlyOnce)
{
    copy_text(P.sysop_name, "Bob");
    present_frame();
    door.clear_output();
    draw_footer("Pick a department.");
    const std::string hint = " Pick a department.";
    EXPECT_EQ(door.output(), "\x1b[25;1H\x1b[0;37;44m" + hint + std::string(69 - hint.size(), ' ') +
                                 "\x1b[0;33;44mSysop: Bob\x1b[0;37;44m \x1b[0m");
    door.clear_output();
    present_frame();
    EXPECT_EQ(door.output(), "\x1b[0m");

    // A label reaching column 79 sends no colour switch after it.
    copy_text(P.sysop_name, "Sixteen_Letters!");
    door.clear_output();
    draw_footer(std::string(65, 'h').c_str());
    std::string out = door.output();
    EXPECT_EQ(out.substr(out.size() - 34), "\x1b[0;33;44mSysop: Sixteen_Lette\x1b[0m");
}

TEST_F(dialogs, DeferredFooterWaitsForTheFrame)
{
    copy_text(P.sysop_name, "Bob");
    present_frame();
    door.clear_output();
    g_footer_diff_mode = 1;
    draw_footer("Hack fast.");
    g_footer_diff_mode = 0;
    EXPECT_EQ(door.output(), "");
    present_frame();
    auto s = screen();
    EXPECT_EQ(s->text_at(1, 24, 10), "Hack fast.");
    EXPECT_EQ(s->text_at(69, 24, 10), "Sysop: Bob");
}

TEST_F(dialogs, TopBarCutsALongTagAndKeepsEveryFigureReadable)
{
    struct bar_case {
        const char* what;
        std::int64_t cash;
        const char* tag;
        const char* row;
    };
    const bar_case cases[] = {
        {"a tag that fits", 1234, "Console",
         "VEXON SIMS    Day 77    Cash $1234      Rep   9    Heat  42           [Console]"},
        {"a long shop title", 1234, "Byte Me Computing - Peripherals",
         "VEXON SIMS    Day 77    Cash $1234      Rep   9    Heat  42 [Byte Me Computing]"},
        {"a fortune of many digits", 123456789012345LL, "Byte Me Computing - Peripherals",
         "VEXON SIMS    Day 77    Cash $123456789012345  Rep   9  Heat  42[Byte Me Compu]"},
        {"the largest fortune a board may hold", MAX_CASH, "Byte Me Computing - Peripherals",
         "VEXON SIMS    Day 77    Cash $1000000000000000  Rep   9  Heat  42[Byte Me Comp]"},
    };
    P.day = 77;
    P.rep = 9;
    P.heat = 42;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        P.cash = c.cash;
        clear_back();
        force_full_repaint();
        draw_topbar(c.tag);
        door.clear_output();
        present_frame();
        auto s = screen();
        EXPECT_EQ(s->row_text(0), c.row);
        EXPECT_EQ(s->cell(79, 0).bg, 1);
    }
}
