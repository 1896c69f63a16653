// Key decoding: what each input sequence becomes, and how unfinished escape
// sequences wait for the rest or settle.
#include "chat/ui/keys.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

// Every key the bytes give when no more input will come.
std::vector<int> keys_of(std::string_view bytes)
{
    key_decoder d;
    d.feed(bytes);
    std::vector<int> keys;
    for (int key = d.next(false); key != KEY_NONE; key = d.next(false)) {
        keys.push_back(key);
    }
    return keys;
}

struct key_case {
    const char* name;
    std::string bytes;
    std::vector<int> keys;
};

void PrintTo(const key_case& c, std::ostream* os)
{
    *os << c.name;
}


class KeyDecoding : public ::testing::TestWithParam<key_case> {};

TEST_P(KeyDecoding, GivesTheKeys)
{
    EXPECT_EQ(keys_of(GetParam().bytes), GetParam().keys) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, KeyDecoding,
    ::testing::Values(
        key_case{"plain bytes", "ab", {'a', 'b'}},
        key_case{"CR and LF are Enter", "\r\n\n", {KEY_ENTER, KEY_ENTER}},
        key_case{"CR NUL from telnet is one Enter", std::string("\r\0x", 3), {KEY_ENTER, 'x'}},
        key_case{"arrows", "\x1b[A\x1b[B\x1b[C\x1b[D", {KEY_UP, KEY_DOWN, KEY_RIGHT, KEY_LEFT}},
        key_case{"application-mode arrows", "\x1bOA\x1bOD", {KEY_UP, KEY_LEFT}},
        key_case{"modified arrow", "\x1b[1;5C", {KEY_RIGHT}},
        key_case{"paging and delete", "\x1b[5~\x1b[6~\x1b[3~", {KEY_PGUP, KEY_PGDN, KEY_DELETE}},
        key_case{"function keys", "\x1bOP\x1bOQ\x1bOR\x1bOS", {KEY_F1, KEY_F2, KEY_F3, KEY_F4}},
        key_case{"home in every form", "\x1b[H\x1bOH\x1b[1~\x1b[7~\x1b[1;5H", {KEY_HOME, KEY_HOME, KEY_HOME, KEY_HOME, KEY_HOME}},
        key_case{"end in every form", "\x1b[F\x1bOF\x1b[4~\x1b[8~", {KEY_END, KEY_END, KEY_END, KEY_END}},
        key_case{"control letters stay bytes", "\x01\x05\x15\x17", {1, 5, 21, 23}},
        key_case{"backspace both ways", "\x08\x7f", {KEY_BACKSPACE, KEY_BACKSPACE}},
        key_case{"tab", "\t", {KEY_TAB}},
        key_case{"ESC and a letter: Escape, letter consumed", "\x1bxy", {KEY_ESC, 'y'}},
        key_case{"lone ESC", "\x1b", {KEY_ESC}},
        key_case{"unknown complete sequence is ignored, not Escape", "\x1b[15~a", {KEY_IGNORED, 'a'}},
        key_case{"unknown ESC O sequence is Escape", "\x1bOzq", {KEY_ESC, 'q'}},
        key_case{"NUL padding is no key and holds nothing back", std::string("a\0\0b", 4), {'a', 'b'}}),
    [](const auto& p) { return "case" + std::to_string(p.index); });

TEST(KeyDecoder, UnfinishedSequenceWaitsForTheRest)
{
    key_decoder d;
    d.feed("\x1b[");
    EXPECT_EQ(d.next(true), KEY_NONE);  // may still become an arrow
    d.feed("5");
    EXPECT_EQ(d.next(true), KEY_NONE);
    d.feed("~");
    EXPECT_EQ(d.next(true), KEY_PGUP);
    EXPECT_FALSE(d.has_input());
}

TEST(KeyDecoder, LoneEscapeSettlesOnlyWhenNoMoreMayCome)
{
    key_decoder d;
    d.feed("\x1b");
    EXPECT_EQ(d.next(true), KEY_NONE);
    EXPECT_EQ(d.next(false), KEY_ESC);
    EXPECT_EQ(d.next(false), KEY_NONE);
}

TEST(KeyDecoder, EnterSplitAcrossReadsIsOneKey)
{
    key_decoder d;
    d.feed("\r");
    EXPECT_EQ(d.next(true), KEY_ENTER);
    EXPECT_EQ(d.next(true), KEY_NONE);  // nothing read yet: the CR is remembered
    d.feed("\nz");
    EXPECT_EQ(d.next(true), 'z');
}

TEST(KeyDecoder, EndlessParameterBytesCannotHoldInput)
{
    key_decoder d;
    d.feed("\x1b[" + std::string(40, '1') + "A");
    const int first = d.next(true);
    EXPECT_NE(first, KEY_NONE);
    int guard = 0;
    while (d.next(false) != KEY_NONE && ++guard < 100) {
    }
    EXPECT_LT(guard, 100);
    EXPECT_FALSE(d.has_input());
}

}  // namespace
