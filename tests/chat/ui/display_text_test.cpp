// Outside text on the terminal: nothing it holds may act as a control
// sequence, cuts fall between characters, and widths are screen columns.
#include "chat/ui/display_text.h"
#include "chat/ui/screen_out.h"
#include "tests/support/vt_screen.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

std::string g_written;

void keep(std::string_view bytes)
{
    g_written.append(bytes);
}

// Captures what the program writes through g_out.
class Written : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_written.clear();
        g_out.sink = keep;
    }
    void TearDown() override { g_out.sink = write_to_stdout; }

    std::string draw(std::string_view text, int width, text_format format, std::string_view base = {})
    {
        put_text(g_out, text, width, base, format);
        g_out.flush();
        return g_written;
    }
};

// Hostile text: screen clear, cursor moves, a title change, an 8-bit CSI,
// a bell, backspaces, NUL, DEL and a broken UTF-8 sequence.
const std::string HOSTILE = std::string("A\x1b[2J\x1b[1;1HB\x1b]0;pwn\x07" "C\xc2\x9b" "31mD\x08\x08\x7f") +
                            std::string(1, '\0') + "E\xe2\x82" "F";

TEST_F(Written, HostileTextCannotMoveOrClearTheScreen)
{
    vt::vt_screen screen(80, 5);
    screen.feed("\x1b[1;1Htop row stays\x1b[3;1Hleft|");
    for (const auto format : {text_format::strip, text_format::render}) {
        g_written.clear();
        screen.feed("\x1b[3;6H");
        screen.feed(draw(HOSTILE, 60, format));
        EXPECT_EQ(screen.row_text(0), "top row stays") << screen.dump();
        EXPECT_EQ(screen.cursor_y(), 2);
        const std::string row = screen.row_text(2);
        EXPECT_EQ(row.substr(0, 6), "left|A") << row;
        // Every control byte shows as its picture.
        EXPECT_NE(row.find("A\u241b[2J\u241b[1;1HB\u241b]0;pwn\u2407C\ufffd31mD\u2408\u2408\u2421\u2400E"),
                  std::string::npos)
            << row;
        EXPECT_NE(row.find("E\ufffd\ufffdF"), std::string::npos) << row;
    }
}

TEST_F(Written, StrippedTextHoldsNoControlByteAtAll)
{
    const std::string out = draw(HOSTILE + "\x02\x03" "4,2x\x0f", 200, text_format::strip);
    for (const char c : out) {
        EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7f) << static_cast<int>(c);
    }
}

TEST_F(Written, IrcFormattingIsRenderedAndEndsInTheBaseColour)
{
    vt::vt_screen screen(40, 2);
    const std::string base = "\x1b[38;5;39m";
    screen.feed(base);
    screen.feed(draw("a\x02" "b\x1f" "c\x0f" "d\x03" "04,02e\x03" "f\x16g", 10, text_format::render, base));
    EXPECT_EQ(screen.row_text(0), "abcdefg");
    EXPECT_FALSE(screen.cell(0, 0).bold);
    EXPECT_TRUE(screen.cell(1, 0).bold);
    EXPECT_TRUE(screen.cell(2, 0).bold);
    EXPECT_TRUE(screen.cell(2, 0).underline);
    EXPECT_FALSE(screen.cell(3, 0).bold);
    EXPECT_EQ(screen.cell(3, 0).fg, 39);   // reset goes back to the base colour
    EXPECT_EQ(screen.cell(4, 0).fg, 9);    // IRC red
    EXPECT_EQ(screen.cell(4, 0).bg, 4);    // IRC navy
    EXPECT_EQ(screen.cell(5, 0).fg, 39);   // a bare colour code ends the colours
    EXPECT_TRUE(screen.cell(6, 0).reverse);
    EXPECT_EQ(screen.cell(8, 0).fg, 39);   // padding after the text is plain again
    EXPECT_FALSE(screen.cell(8, 0).reverse);
}

TEST_F(Written, StripModeShowsFormattingAsNothing)
{
    vt::vt_screen screen(40, 2);
    screen.feed(draw("\x02" "bold\x02 \x03" "12,01blue\x04" "FF0000red", 20, text_format::strip));
    EXPECT_EQ(screen.row_text(0), "bold bluered");
    EXPECT_FALSE(screen.cell(0, 0).bold);
}

struct clip_case {
    const char* name;
    std::string text;
    int width;
    std::string shown;  // the cells, padding included
};

void PrintTo(const clip_case& c, std::ostream* os)
{
    *os << c.name;
}

class Clip : public Written, public ::testing::WithParamInterface<clip_case> {};

TEST_P(Clip, CutsAndPadsToColumns)
{
    const clip_case& c = GetParam();
    vt::vt_screen screen(40, 2);
    screen.feed(draw(c.text, c.width, text_format::strip) + "|");
    EXPECT_EQ(screen.row_text(0), c.shown + "|") << c.name;
    EXPECT_EQ(screen.cell(c.width, 0).ch, static_cast<std::uint32_t>('|')) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Clip,
    ::testing::Values(clip_case{"ASCII cut", "abcdefgh", 5, "abcde"},
                      clip_case{"ASCII padded", "ab", 5, "ab   "},
                      clip_case{"box characters are one column", "\u2551a\u2551b\u2551", 4, "\u2551a\u2551b"},
                      clip_case{"wide character not cut in half", "\u65e5\u672c\u8a9e", 5, "\u65e5\u672c "},
                      clip_case{"combining mark stays with its letter", "e\u0301tude", 3, "e\u0301tu"},
                      clip_case{"empty text", "", 3, "   "}),
    [](const auto& p) { return "case" + std::to_string(p.index); });

TEST(TextColumns, CountsScreenColumns)
{
    EXPECT_EQ(text_columns("abc"), 3);
    EXPECT_EQ(text_columns("\u65e5\u672c"), 4);
    EXPECT_EQ(text_columns("\x02" "b\x03" "04,05c"), 2);
    EXPECT_EQ(text_columns("\x1b[0m"), 4);  // ESC shows as one picture
    EXPECT_EQ(bytes_within_columns("\u65e5\u672c", 3), 3u);
}

TEST(TextColumns, TailsAndLastCharactersAreWholeCharacters)
{
    EXPECT_EQ(tail_within_columns("abcdef", 3), "def");
    EXPECT_EQ(tail_within_columns("a\u65e5\u672c", 3), "\u672c");  // a wide character is not halved
    EXPECT_EQ(tail_within_columns("ab", 5), "ab");
    EXPECT_EQ(without_last_character("caf\u00e9"), 3u);
    EXPECT_EQ(without_last_character("ab"), 1u);
    EXPECT_EQ(without_last_character(""), 0u);
    EXPECT_EQ(without_last_character("\u65e5\u65e5"), 3u);
    // Stray continuation bytes are drawn one stand-in each and go one at a time.
    EXPECT_EQ(without_last_character("\u65e5\x97\x97"), 4u);
    EXPECT_EQ(without_last_character("a\xe6\x97"), 2u);  // a cut sequence
}

}  // namespace
