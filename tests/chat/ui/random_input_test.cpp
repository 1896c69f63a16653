// Random bytes from outside through the key decoder, the text display and the
// word wrap: whatever arrives, no control byte reaches the terminal, rows fit
// their room, every byte of input is used, and nothing reads out of bounds
// (the sanitizers watch). A fixed seed keeps failures reproducible.
#include "chat/ui/chat_wrap.h"
#include "chat/ui/display_text.h"
#include "chat/ui/keys.h"
#include "chat/ui/screen_out.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

constexpr int ROUNDS = 3000;

// Text built from pieces that matter: control bytes, IRC formatting with
// digits, escape sequences, UTF-8 of every length, broken UTF-8, spaces.
std::string random_text(std::mt19937& rng, std::size_t max_pieces)
{
    static constexpr std::string_view PIECES[] = {
        "\x1b", "[", "\x1b[2J", "\x9b", "\xc2\x9b", "\x07", "\x08", "\x7f", "\x01", "\x02", "\x03", "\x03" "4",
        "\x03" "12,05", ",", "\x0f", "\x16", "\x1d", "\x1f", "\x04" "FF00FF", "\x04", "\t", " ", "  ", "a", "word",
        "\u00e9", "\u2551", "\u65e5", "\U0001F600", "e\u0301", "\xe2\x82", "\xf0\x9f", "\xff", "\xc0\xaf",
        "\xed\xa0\x80", "0", "99", "\r", "\n", std::string_view("\0", 1)};
    std::uniform_int_distribution<std::size_t> piece(0, std::size(PIECES) - 1);
    std::uniform_int_distribution<std::size_t> count(0, max_pieces);
    std::string text;
    for (std::size_t n = count(rng); n > 0; --n) {
        text += PIECES[piece(rng)];
    }
    return text;
}

bool valid_utf8(std::string_view s)
{
    text_attr attr;
    for (std::size_t pos = 0; pos < s.size();) {
        const glyph g = next_glyph(s, pos, attr);
        if (g.format || std::string_view(g.out, g.length) != s.substr(pos, g.used)) {
            return false;  // the writer output would have been changed: it was not clean
        }
        pos += g.used;
    }
    return true;
}

// Removes the SGR sequences the writer itself adds; false if any other
// escape is found.
bool strip_own_sgr(std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\x1b') {
            out += s[i];
            continue;
        }
        if (i + 1 >= s.size() || s[i + 1] != '[') {
            return false;
        }
        std::size_t j = i + 2;
        while (j < s.size() && ((s[j] >= '0' && s[j] <= '9') || s[j] == ';')) {
            ++j;
        }
        if (j >= s.size() || s[j] != 'm') {
            return false;
        }
        i = j;
    }
    s = out;
    return true;
}

std::string g_written;

void keep(std::string_view bytes)
{
    g_written.append(bytes);
}

TEST(RandomInput, WrittenTextIsCleanAndExactlyAsWide)
{
    std::mt19937 rng(20261209);
    g_out.sink = keep;
    for (int round = 0; round < ROUNDS; ++round) {
        const std::string text = random_text(rng, 40);
        const int width = static_cast<int>(rng() % 60);
        for (const auto format : {text_format::strip, text_format::render}) {
            g_written.clear();
            put_text(g_out, text, width, "\x1b[38;5;39m", format);
            g_out.flush();
            std::string shown = g_written;
            ASSERT_TRUE(strip_own_sgr(shown)) << round;
            ASSERT_TRUE(format == text_format::render || shown == g_written) << "strip mode adds no attributes";
            ASSERT_TRUE(valid_utf8(shown)) << round;
            ASSERT_EQ(text_columns(shown), width) << round;
        }
    }
    g_out.sink = write_to_stdout;
}

TEST(RandomInput, WrapRowsFitTheirRoomAndCoverTheText)
{
    std::mt19937 rng(7);
    wrap_row rows[WRAP_ROWS_PER_LINE];
    for (int round = 0; round < ROUNDS; ++round) {
        const std::string body = random_text(rng, 120).substr(0, 767);
        const int room = WRAP_MIN_ROOM + static_cast<int>(rng() % 60);
        const int n = wrap_body(body, room, rows);
        std::size_t expected_start = 0;
        for (int r = 0; r < n; ++r) {
            ASSERT_GE(rows[r].start, expected_start) << round;
            ASSERT_EQ(body.substr(expected_start, rows[r].start - expected_start).find_first_not_of(' '),
                      std::string::npos)
                << "only spaces are dropped between rows";
            ASSERT_LT(rows[r].start, rows[r].end) << "no empty row";
            ASSERT_LE(text_columns(body.substr(rows[r].start, rows[r].end - rows[r].start)), room) << round;
            expected_start = rows[r].end;
        }
        ASSERT_EQ(body.substr(expected_start).find_first_not_of(' '), std::string::npos) << "all text placed";
    }
}

TEST(RandomInput, KeyDecoderUsesEveryByteInAnyChunking)
{
    std::mt19937 rng(99);
    for (int round = 0; round < ROUNDS; ++round) {
        std::string bytes = random_text(rng, 30);
        bytes += "\x1b[5~\x1bOP";
        key_decoder d;
        std::size_t fed = 0;
        int keys = 0;
        while (fed < bytes.size() || d.has_input()) {
            const std::size_t chunk = 1 + rng() % 7;
            fed += d.feed(std::string_view(bytes).substr(fed, chunk));
            for (int key = d.next(rng() % 2 == 0); key != KEY_NONE; key = d.next(true)) {
                ASSERT_TRUE((key > 0 && key < 256) || (key >= KEY_ENTER && key <= KEY_F4) || key == KEY_IGNORED)
                    << key;
                ++keys;
            }
            if (fed == bytes.size()) {
                while (d.next(false) != KEY_NONE) {
                    ++keys;
                }
            }
            ASSERT_LT(keys, 10000);
        }
        ASSERT_FALSE(d.has_input());
    }
}

}  // namespace
