// The chat program's screens for a code page 437 caller: every character the
// code page has becomes its byte, the rest "?" per screen column, so the
// frame and every column stay where they are.
#include "chat/ui/display_text.h"
#include "chat/ui/screen_out.h"
#include "tests/support/vt_screen.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

std::string encode(std::string_view text, std::size_t cut = std::string_view::npos)
{
    cp437_encoder encoder;
    std::string out;
    const auto piece = [&](std::string_view in) {
        std::vector<char> bytes(cp437_encoder::room(in.size()));
        out.append(bytes.data(), encoder.encode(in, bytes.data()));
    };
    if (cut > text.size()) {
        piece(text);
    } else {
        piece(text.substr(0, cut));
        piece(text.substr(cut));
    }
    return out;
}

struct cp437_case {
    const char* name;
    std::string utf8;
    std::string cp437;
};

void PrintTo(const cp437_case& c, std::ostream* os)
{
    *os << c.name;
}

const std::vector<cp437_case> CASES = {
    {"double and single box lines", "\u2554\u2550\u2566\u2557\u2551\u255a\u2569\u255d\u2500\u2502\u250c\u2510",
     "\xc9\xcd\xcb\xbb\xba\xc8\xca\xbc\xc4\xb3\xda\xbf"},
    {"blocks and shades", "\u2588\u2592\u2591", "\xdb\xb1\xb0"},
    {"accented letters the code page has", "\u00e9\u00fc\u00c7\u00f1\u00c4\u00df\u00a3",
     "\x82\x81\x80\xa4\x8e\xe1\x9c"},
    {"letters and signs it lacks", "\u20ac\u0151\u00e3", "???"},
    {"dashes, curly quotes and spaces it lacks in ASCII form", "\u2014\u2013\u201c\u201d\u2018\u2019\u2003\u202f",
     "--\"\"''  "},
    {"pictures it keeps below 32 are not sent as controls", "\u263a\u2666", "??"},
    {"wide characters keep both columns", "\u6f22\u5b57\U0001f600", "??????"},
    {"a combining mark takes no column", "e\u0301x", "ex"},
    {"the program's stand-ins for controls", "\u241b[2J\ufffd", "?[2J?"},
    {"broken UTF-8: a lead without its tail", "a\xc3(b", "a?(b"},
    {"broken UTF-8: stray and overlong bytes", "\xff\x80\xc0\xaf", "????"},
    {"escape sequences and ASCII pass", "\x1b[1;1H\x1b[38;5;51mok", "\x1b[1;1H\x1b[38;5;51mok"},
    {"no-break space is a plain space, not byte 255", "a\u00a0b", "a b"},
};

class Cp437Table : public ::testing::TestWithParam<cp437_case> {};

TEST_P(Cp437Table, EncodesWhereverAPieceEnds)
{
    const cp437_case& c = GetParam();
    EXPECT_EQ(encode(c.utf8), c.cp437);
    for (std::size_t cut = 0; cut <= c.utf8.size(); ++cut) {
        EXPECT_EQ(encode(c.utf8, cut), c.cp437) << "cut at " << cut;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Cp437Table, ::testing::ValuesIn(CASES),
                         [](const auto& p) { return "case" + std::to_string(p.index); });

std::string g_written;

void keep(std::string_view bytes)
{
    g_written.append(bytes);
}

class Cp437Output : public ::testing::Test {
protected:
    void SetUp() override { g_written.clear(); }
    void TearDown() override
    {
        g_out.sink = write_to_stdout;
        g_out_target = {};
    }
};

TEST_F(Cp437Output, ClippedTextKeepsItsColumnsOnACallersTerminal)
{
    g_out.sink = keep;
    put_text(g_out, "\u6f22\u5b57\u00e9\u20ac\u0301z and more", 6);
    g_out.put("|");
    g_out.flush();
    vt::vt_screen screen(20, 2);
    screen.feed_cp437(encode(g_written));
    EXPECT_EQ(screen.row_text(0), "????\u00e9?|");
}

TEST_F(Cp437Output, DoorSocketGetsCodePageBytes)
{
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    g_out_target = {pair[0], true, true, true};
    g_out.sink = write_to_target;
    g_out.put("\u2554\u2550 a\u00a0b \u00ff");
    g_out.flush();
    char got[64];
    const ssize_t n = ::recv(pair[1], got, sizeof got, MSG_DONTWAIT);
    EXPECT_EQ(std::string(got, static_cast<std::size_t>(n > 0 ? n : 0)), "\xc9\xcd a b \x98");
    ::close(pair[0]);
    ::close(pair[1]);
}

}  // namespace
