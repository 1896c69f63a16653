// Word wrap of scrollback lines and the prefixes beside them.
#include "chat/session/irc_session.h"
#include "chat/ui/chat_wrap.h"
#include "chat/ui/ui.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> rows_of(std::string_view body, int room)
{
    wrap_row rows[WRAP_ROWS_PER_LINE];
    const int n = wrap_body(body, room, rows);
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) {
        out.emplace_back(body.substr(rows[i].start, rows[i].end - rows[i].start));
    }
    return out;
}

struct wrap_case {
    const char* name;
    std::string body;
    int room;
    std::vector<std::string> rows;
};

void PrintTo(const wrap_case& c, std::ostream* os)
{
    *os << c.name;
}


class Wrap : public ::testing::TestWithParam<wrap_case> {};

TEST_P(Wrap, SplitsIntoRows)
{
    EXPECT_EQ(rows_of(GetParam().body, GetParam().room), GetParam().rows) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Wrap,
    ::testing::Values(
        wrap_case{"a long word is cut hard", std::string(30, 'x'), 10,
                  {std::string(10, 'x'), std::string(10, 'x'), std::string(10, 'x')}},
        wrap_case{"breaks at the last space, spaces dropped", "aaa bbb ccc ddd", 9, {"aaa bbb", "ccc ddd"}},
        // The break is looked for before the room's last column only, so a
        // space just past a full row does not keep the word on that row.
        wrap_case{"a space just past the room is no break point", "hello world foo", 11, {"hello", "world foo"}},
        wrap_case{"a break keeps the spaces before the last one", "aaaa bbbbb   ccc", 10,
                  {"aaaa", "bbbbb  ", "ccc"}},
        wrap_case{"a space at the row start is no break point", " " + std::string(12, 'y'), 8,
                  {" yyyyyyy", "yyyyy"}},
        wrap_case{"fits in one row", "hello", 8, {"hello"}},
        wrap_case{"empty text gives no row", "", 8, {}},
        wrap_case{"wide characters are never split", "\u65e5\u65e5\u65e5\u65e5\u65e5", 8,
                  {"\u65e5\u65e5\u65e5\u65e5", "\u65e5"}},
        wrap_case{"formatting takes no room", "\x02" "abcdefgh" "\x02", 8, {"\x02" "abcdefgh" "\x02"}},
        wrap_case{"UTF-8 counts columns, not bytes", "\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9", 8,
                  {"\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9"}}),
    [](const auto& p) { return "case" + std::to_string(p.index); });

TEST(Wrap, FormattingCarriesOverToTheNextRow)
{
    wrap_row rows[4];
    const std::string body = "\x02" "bold words here";
    ASSERT_EQ(wrap_body(body, 10, rows), 2);
    EXPECT_EQ(rows[0].attr.flags, 0);
    EXPECT_EQ(rows[1].attr.flags, text_attr::bold);
}

TEST(Wrap, StopsAtTheRowsGiven)
{
    wrap_row rows[2];
    EXPECT_EQ(wrap_body(std::string(100, 'z'), 8, rows), 2);
}

struct prefix_case {
    const char *sender;
    const char *text;
    int kind;
    const char *where;
    const char *prefix;
    const char *body;
};

TEST(DisplayLine, PrefixesByKind)
{
    const prefix_case cases[] = {
        {"alice", "hi", LINE_USER, "", "[12:00:00] <alice> ", "hi"},
        {"*", "Connected", LINE_SYSTEM, "", "[12:00:00] * ", "Connected"},
        {"bob", "\x01" "ACTION waves\x01", LINE_USER, "", "[12:00:00] * bob ", "waves"},
        {"bob", "hi", LINE_USER, "#other", "[12:00:00] #other <bob> ", "hi"},
        {"bob", "\x01" "ACTION waves\x01", LINE_USER, "#other", "[12:00:00] #other * bob ", "waves"},
        {"bob", "psst", LINE_PRIVATE, "", "[12:00:00] *bob* ", "psst"},
        {"bob", "\x01" "ACTION nods\x01", LINE_PRIVATE, "", "[12:00:00] * bob ", "nods"},
        {"bob", "psst", LINE_PRIVATE_SENT, "", "[12:00:00] -> *bob* ", "psst"},
        {"bob", "note", LINE_NOTICE, "", "[12:00:00] -bob- ", "note"},
        {"bob", "note", LINE_NOTICE, "#c", "[12:00:00] #c -bob- ", "note"},
        {"bob", "x", LINE_USER, "#a-channel-name-longer-than-twenty", "[12:00:00] #a-channel-name-long <bob> ", "x"},
    };
    for (const auto &c : cases) {
        display_line d;
        make_display_line(d, "12:00:00", c.sender, c.text, c.kind, 60, c.where);
        EXPECT_STREQ(d.prefix, c.prefix) << c.prefix;
        EXPECT_EQ(d.body, c.body) << c.prefix;
        EXPECT_EQ(d.prefix_columns, static_cast<int>(std::string_view{c.prefix}.size()));
    }
}

TEST(DisplayLine, LongSenderLeavesRoomForTheText)
{
    display_line d;
    for (const int kind : {LINE_USER, LINE_PRIVATE, LINE_PRIVATE_SENT, LINE_NOTICE}) {
        make_display_line(d, "12:00:00", std::string(63, 'n').c_str(), "text", kind, 53, "#chan");
        EXPECT_EQ(d.prefix_columns, 53 - WRAP_MIN_ROOM) << kind;
    }
}

TEST(ActionText, RecognisesActionsOnly)
{
    std::string_view action;
    EXPECT_TRUE(action_text("\x01" "ACTION dances", action));  // closing byte missing
    EXPECT_EQ(action, "dances");
    EXPECT_FALSE(action_text("\x01" "VERSION\x01", action));
    EXPECT_FALSE(action_text("\x01" "ACTIONS\x01", action));
    EXPECT_FALSE(action_text("ACTION no delimiter", action));
}

TEST(ChatLayout, EightyByTwentyFourWithTheNickList)
{
    const chat_layout with = chat_view_layout({24, 80}, true);
    EXPECT_EQ(with.text_width, 53);
    EXPECT_EQ(with.visible_rows, 18);
    EXPECT_EQ(with.users_column, 60);
    EXPECT_EQ(chat_view_layout({24, 80}, false).text_width, 75);
}

}  // namespace
