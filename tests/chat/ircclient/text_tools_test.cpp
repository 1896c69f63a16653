// Colour escapes, the incremental UTF-8 decoder and the string utilities.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "chat/ircclient/irc_colors.h"
#include "chat/ircclient/string_util.h"
#include "chat/ircclient/utf8_decoder.h"

namespace {

using ::testing::ElementsAreArray;

TEST(Colors, PairsBecomeBackgroundThenForeground)
{
    struct row {
        int fg, bg, bright;
        const char *escape;
    };
    const row cases[] = {
        {3, 9, 1, "\x1b[93m"},          {3, 4, 0, "\x1b[44m\x1b[33m"}, {7, 0, 1, "\x1b[40m\x1b[97m"},
        {9, -1, 0, "\x1b[31m"},         {9, 8, 1, "\x1b[31m"},         {-1, 2, 0, "\x1b[42m"},
        {0, 7, 0, "\x1b[47m\x1b[30m"},  {15, -3, 1, "\x1b[37m"},
    };
    for (const row &r : cases) {
        EXPECT_STREQ(color_get_ansi(r.fg, r.bg, r.bright), r.escape) << r.fg << "," << r.bg << "," << r.bright;
    }
}

TEST(Colors, IrcNumbersMapToTheirEscapes)
{
    const std::vector<std::string> want{
        "\x1b[37m", "\x1b[30m", "\x1b[34m", "\x1b[32m", "\x1b[31m", "\x1b[33m", "\x1b[35m", "\x1b[38;5;208m",
        "\x1b[33m", "\x1b[92m", "\x1b[36m", "\x1b[96m", "\x1b[94m", "\x1b[95m", "\x1b[90m", "\x1b[37m"};
    for (int code = 0; code < 16; ++code) {
        EXPECT_EQ(color_irc_to_ansi(code), want[static_cast<std::size_t>(code)]) << code;
    }
    for (int code : {-1, 16, 99, 1000}) {
        EXPECT_STREQ(color_irc_to_ansi(code), "\x1b[0m") << code;
    }
}

// Feeds bytes one by one; the results, and the code points completed.
std::pair<std::vector<int>, std::vector<std::uint32_t>> decode(const std::vector<unsigned char> &bytes)
{
    std::unique_ptr<utf8_decoder, void (*)(utf8_decoder *)> d{utf8_decoder_create(), utf8_decoder_destroy};
    std::vector<int> results;
    std::vector<std::uint32_t> points;
    std::uint32_t cp = 0;
    for (unsigned char b : bytes) {
        results.push_back(utf8_decode_byte(d.get(), b, &cp));
        if (results.back() == 1) {
            points.push_back(cp);
        }
    }
    return {results, points};
}

TEST(Utf8Decoder, DecodesWellFormedSequencesOnly)
{
    struct row {
        const char *name;
        std::vector<unsigned char> bytes;
        std::vector<int> results;
        std::vector<std::uint32_t> points;
    };
    const row cases[] = {
        {"ascii", {'A', 0x00, 0x7F}, {1, 1, 1}, {0x41, 0, 0x7F}},
        {"e acute", {0xC3, 0xA9}, {0, 1}, {0xE9}},
        {"euro", {0xE2, 0x82, 0xAC}, {0, 0, 1}, {0x20AC}},
        {"emoji", {0xF0, 0x9F, 0x98, 0x80}, {0, 0, 0, 1}, {0x1F600}},
        {"highest", {0xF4, 0x8F, 0xBF, 0xBF}, {0, 0, 0, 1}, {0x10FFFF}},
        {"lone continuation", {0x80, 'a'}, {-1, 1}, {'a'}},
        {"invalid lead", {0xFF, 0xF8, 'b'}, {-1, -1, 1}, {'b'}},
        {"cut short by ascii", {0xC3, 'a', 'b'}, {0, -1, 1}, {'b'}},
        {"cut short by a lead", {0xE2, 0x82, 0xC3, 0xA9}, {0, 0, -1, -1}, {}},
        {"overlong slash", {0xC0, 0xAF, 'c'}, {0, -1, 1}, {'c'}},
        {"overlong three", {0xE0, 0x80, 0xAF}, {0, 0, -1}, {}},
        {"surrogate", {0xED, 0xA0, 0x80}, {0, 0, -1}, {}},
        {"above U+10FFFF", {0xF4, 0x90, 0x80, 0x80}, {0, 0, 0, -1}, {}},
    };
    for (const row &r : cases) {
        const auto [results, points] = decode(r.bytes);
        EXPECT_THAT(results, ElementsAreArray(r.results)) << r.name;
        EXPECT_THAT(points, ElementsAreArray(r.points)) << r.name;
    }
    std::uint32_t cp = 0;
    // The byte that broke a sequence was not taken: fed again, it starts its own.
    utf8_decoder broken{};
    for (int b : {0xE2, 0x82}) {
        EXPECT_EQ(utf8_decode_byte(&broken, static_cast<unsigned char>(b), &cp), 0);
    }
    EXPECT_EQ(utf8_decode_byte(&broken, 0xC3, &cp), -1);
    EXPECT_EQ(utf8_decode_byte(&broken, 0xC3, &cp), 0);
    EXPECT_EQ(utf8_decode_byte(&broken, 0xA9, &cp), 1);
    EXPECT_EQ(cp, 0xE9u);

    EXPECT_EQ(utf8_decode_byte(nullptr, 'a', &cp), -1);
    utf8_decoder d{};
    EXPECT_EQ(utf8_decode_byte(&d, 'a', nullptr), -1);
}

std::vector<std::string> split(const char *text, char sep, int max)
{
    std::vector<char *> pieces(static_cast<std::size_t>(max > 0 ? max : 1), nullptr);
    const int n = string_split(text, sep, pieces.data(), max);
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) {
        out.emplace_back(pieces[static_cast<std::size_t>(i)]);
        std::free(pieces[static_cast<std::size_t>(i)]);
    }
    return out;
}

TEST(StringSplit, CountsEmptyPiecesAndStopsAtTheMaximum)
{
    using strings = std::vector<std::string>;
    EXPECT_EQ(split("a,,b", ',', 5), (strings{"a", "", "b"}));
    EXPECT_EQ(split("a,,b", ',', 2), (strings{"a", ""}));
    EXPECT_EQ(split("a,b,", ',', 5), (strings{"a", "b", ""}));
    EXPECT_EQ(split("", ',', 3), (strings{""}));
    EXPECT_EQ(split("abc", ',', 1), (strings{"abc"}));
    EXPECT_EQ(split("abc", ',', 0), strings{});
    char *piece = nullptr;
    EXPECT_EQ(string_split(nullptr, ',', &piece, 1), 0);
    EXPECT_EQ(string_split("a", ',', nullptr, 1), 0);
}

TEST(StringReplace, ReplacesEveryOccurrenceWithoutOverlap)
{
    struct row {
        const char *text, *from, *to, *want;
    };
    const std::string many(1000, 'a');
    const std::string grown(4000, 'b');
    const row cases[] = {
        {"hello world", "o", "0", "hell0 w0rld"},
        {"aaaa", "aa", "b", "bb"},
        {"aaa", "aa", "xyz", "xyza"},
        {"abc", "abc", "", ""},
        {"abc", "x", "y", "abc"},
        {"abc", "", "zz", "abc"},   // nothing to look for: unchanged
        {"", "a", "b", ""},
        {many.c_str(), "a", "bbbb", grown.c_str()},
    };
    for (const row &r : cases) {
        char *out = string_replace(r.text, r.from, r.to);
        ASSERT_NE(out, nullptr) << r.text;
        EXPECT_STREQ(out, r.want) << r.text << " / " << r.from;
        std::free(out);
    }
    EXPECT_EQ(string_replace(nullptr, "a", "b"), nullptr);
    EXPECT_EQ(string_replace("a", nullptr, "b"), nullptr);
    EXPECT_EQ(string_replace("a", "a", nullptr), nullptr);
}

TEST(StringTrim, RemovesWhiteSpaceAtBothEnds)
{
    const std::pair<const char *, const char *> cases[] = {
        {"  a b \r\n", "a b"}, {"   ", ""}, {"", ""}, {"x", "x"}, {"\tx\t", "x"}};
    for (const auto &[in, want] : cases) {
        std::string buf = in;
        string_trim(buf.data());
        EXPECT_STREQ(buf.c_str(), want);
    }
    string_trim(nullptr);
}

TEST(StringCompare, IgnoresCaseForAtMostNBytes)
{
    std::setlocale(LC_CTYPE, "C");
    struct row {
        const char *a, *b;
        std::size_t n;
        int sign;
    };
    const row cases[] = {
        {"Hello", "hELLO", 5, 0}, {"abc", "abd", 2, 0}, {"abc", "abd", 3, -1}, {"b", "A", 1, 1},
        {"x", "y", 0, 0},         {"ab", "abc", 5, -1}, {"NICK", "nick!", 4, 0},
    };
    for (const row &r : cases) {
        const int got = strncasecmp(r.a, r.b, r.n);
        EXPECT_EQ((got > 0) - (got < 0), r.sign) << r.a << " " << r.b << " " << r.n;
    }
    EXPECT_EQ(strncasecmp("abc", "ABD", 3), 'c' - 'd');
}

} // namespace
