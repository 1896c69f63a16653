// What a caller on a classic BBS terminal meets: code page 437 keys typed
// into the input line as UTF-8, ASCII forms of characters the code page
// lacks, the 16-colour theme, and the pauses between reconnect attempts.
#include "chat/session/irc_session.h"
#include "chat/ui/display_text.h"
#include "chat/ui/keys.h"
#include "chat/ui/screen_out.h"
#include "chat/ui/ui.h"
#include "tests/support/vt_screen.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<int> keys_of(std::string_view bytes, bool cp437)
{
    key_decoder d;
    d.set_cp437(cp437);
    d.feed(bytes);
    std::vector<int> keys;
    for (int key = d.next(false); key != KEY_NONE; key = d.next(false)) {
        keys.push_back(key);
    }
    return keys;
}

TEST(Cp437Keys, HighBytesAreCodePageCharacters)
{
    EXPECT_EQ(keys_of("a\x82\x81\xe1\x9c\xff\r", true),
              (std::vector<int>{'a', KEY_CHAR + 0xE9, KEY_CHAR + 0xFC, KEY_CHAR + 0xDF, KEY_CHAR + 0xA3,
                                KEY_CHAR + 0xA0, KEY_ENTER}));
    // Escape sequences are still keys.
    EXPECT_EQ(keys_of("\x1b[A\x82", true), (std::vector<int>{KEY_UP, KEY_CHAR + 0xE9}));
    // On other terminals a high byte is no character of its own.
    EXPECT_EQ(keys_of("\x82", false), (std::vector<int>{0x82}));
}

TEST(Cp437Keys, CharactersBecomeUtf8)
{
    struct utf8_case {
        int key;
        std::string utf8;
    };
    for (const utf8_case& c : {utf8_case{KEY_CHAR + 0xE9, "\u00e9"}, utf8_case{KEY_CHAR + 0x2593, "\u2593"},
                               utf8_case{KEY_CHAR + 0x1F600, "\U0001F600"}, utf8_case{'a', ""},
                               utf8_case{KEY_ENTER, ""}}) {
        char out[4];
        EXPECT_EQ(std::string(out, key_char_utf8(c.key, out)), c.utf8) << c.key;
    }
}

TEST(Cp437Keys, InputLineHoldsUtf8AndBackspaceTakesAWholeCharacter)
{
    auto ui = std::make_unique<ui_state>();
    auto s = std::make_unique<irc_session>();
    for (const int key : keys_of("caf\x82 \x9c", true)) {
        chat_handle_key(ui.get(), s.get(), key);
    }
    EXPECT_EQ(std::string(ui->input, static_cast<std::size_t>(ui->input_length)), "caf\u00e9 \u00a3");
    EXPECT_EQ(text_columns({ui->input, static_cast<std::size_t>(ui->input_length)}), 6);
    chat_handle_key(ui.get(), s.get(), KEY_BACKSPACE);
    chat_handle_key(ui.get(), s.get(), KEY_BACKSPACE);
    chat_handle_key(ui.get(), s.get(), KEY_BACKSPACE);
    EXPECT_EQ(std::string(ui->input), "caf");
}

struct ascii_case {
    std::uint32_t cp;
    const char* ascii;   // null: none
};

class AsciiForms : public ::testing::TestWithParam<ascii_case> {};

TEST_P(AsciiForms, CloseFormOfWhatTheCodePageLacks)
{
    const ascii_case& c = GetParam();
    const char* got = ascii_form(c.cp);
    if (c.ascii == nullptr) {
        EXPECT_EQ(got, nullptr) << std::hex << c.cp;
    } else {
        ASSERT_NE(got, nullptr) << std::hex << c.cp;
        EXPECT_STREQ(got, c.ascii) << std::hex << c.cp;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, AsciiForms,
    ::testing::Values(ascii_case{0x2010, "-"}, ascii_case{0x2013, "-"}, ascii_case{0x2014, "-"},
                      ascii_case{0x2015, "-"}, ascii_case{0x2212, "-"}, ascii_case{0x2018, "'"},
                      ascii_case{0x2019, "'"}, ascii_case{0x201C, "\""}, ascii_case{0x201D, "\""},
                      ascii_case{0x201E, "\""}, ascii_case{0x2026, "..."}, ascii_case{0x00A0, " "},
                      ascii_case{0x2002, " "}, ascii_case{0x2009, " "}, ascii_case{0x200A, " "},
                      ascii_case{0x202F, " "}, ascii_case{0x3000, " "}, ascii_case{0x2122, "TM"},
                      ascii_case{0x20AC, "EUR"}, ascii_case{0x2022, "*"},
                      // None: the code page has them, or nothing is close.
                      ascii_case{0x00E9, nullptr}, ascii_case{0x2550, nullptr}, ascii_case{0x200B, nullptr},
                      ascii_case{0x6F22, nullptr}, ascii_case{0x2009 + 0x100, nullptr}));

class Cp437Text : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_text_cp437 = true;
        g_written().clear();
        g_out.sink = [](std::string_view bytes) { g_written().append(bytes); };
    }
    void TearDown() override
    {
        g_text_cp437 = false;
        g_text_ansi16 = false;
        g_out.sink = write_to_stdout;
    }
    static std::string& g_written()
    {
        static std::string written;
        return written;
    }
    // The text drawn in width columns, then a bar, as the caller sees it.
    std::string shown(std::string_view text, int width)
    {
        put_text(g_out, text, width);
        g_out.put("|");
        g_out.flush();
        vt::vt_screen screen(40, 2);
        screen.feed(g_written());
        g_written().clear();
        return screen.row_text(0);
    }
};

TEST_F(Cp437Text, AsciiFormsTakeTheirOwnColumnsSoRowsStayAligned)
{
    EXPECT_EQ(shown("(none \u2014 SASL disabled)", 24), "(none - SASL disabled)  |");
    EXPECT_EQ(shown("wait\u2026 \u201cok\u201d", 12), "wait... \"ok\"|");
    EXPECT_EQ(shown("a\u2026b", 3), "a  |");   // the ellipsis does not fit: never cut in half
    EXPECT_EQ(text_columns("a\u2026b"), 5);
}

TEST_F(Cp437Text, SixteenColourThemeDrawsIrcColoursWithoutThe256ColourEscapes)
{
    g_text_ansi16 = true;
    put_text(g_out, "a\x03" "04,02b\x03" "03c", 10, {}, text_format::render);
    g_out.flush();
    const std::string bytes = g_written();
    EXPECT_EQ(bytes.find("38;5"), std::string::npos) << bytes;
    EXPECT_EQ(bytes.find("48;5"), std::string::npos) << bytes;
    vt::vt_screen screen(20, 2);
    screen.feed(bytes);
    EXPECT_EQ(screen.cell(1, 0).fg, 1);   // IRC red: bright red, as bold red
    EXPECT_TRUE(screen.cell(1, 0).bold);
    EXPECT_EQ(screen.cell(1, 0).bg, 4);   // IRC navy: blue
    EXPECT_EQ(screen.cell(2, 0).fg, 2);   // IRC green
    EXPECT_FALSE(screen.cell(2, 0).bold);
}

TEST(Themes, OnlyTheDoorThemeIsSixteenColoursAndItHasNo256ColourEscape)
{
    for (std::size_t i = 0; i < themes.size(); ++i) {
        const theme& t = themes[i];
        EXPECT_EQ(t.ansi16, i == static_cast<std::size_t>(DOOR_THEME)) << i;
        if (t.ansi16) {
            for (const std::string part : {t.frame, t.bar, t.heading}) {
                EXPECT_EQ(part.find(";5;"), std::string::npos) << i << ": " << part;
            }
        }
    }
}

struct pause_case {
    int attempt;
    std::uint32_t random;
    int pause_ms;
};

class ReconnectPause : public ::testing::TestWithParam<pause_case> {};

TEST_P(ReconnectPause, DoublesUpToTheLongestWithAQuarterMoreAtMost)
{
    const pause_case& c = GetParam();
    EXPECT_EQ(reconnect_pause_ms(c.attempt, c.random), c.pause_ms);
}

INSTANTIATE_TEST_SUITE_P(Table, ReconnectPause,
                         ::testing::Values(pause_case{0, 0, 5000}, pause_case{1, 0, 10000}, pause_case{2, 0, 20000},
                                           pause_case{6, 0, 300000}, pause_case{60, 0, 300000},
                                           pause_case{0, 1250, 6250}, pause_case{0, 1251, 5000},
                                           pause_case{6, 75000, 375000}, pause_case{6, 4000000000u, 346668}));

} // namespace
