// Nick completion from the last names reply, the sent-line history, and
// bookmarks of a client's connection in an address book.
#include <cstring>
#include <tuple>

#include "chat/ircclient/addressbook.h"
#include "tests/chat/config/scratch_dir.h"
#include "tests/chat/ircclient/client_fixture.h"

namespace {

std::string complete(irc_client *client, const char *prefix, int index)
{
    char *nick = irc_tab_complete(client, prefix, index);
    const std::string result = nick != nullptr ? nick : "(none)";
    std::free(nick);
    return result;
}

TEST_F(ClientTest, TabCompletionCyclesThroughTheLastNamesReply)
{
    connect_registered();
    server_.send_line(":srv 353 n = #c :@Alice +alfred bob");
    server_.send_line(":srv 353 n = #c :alvin");
    server_.send_line(":srv 366 n #c :End of /NAMES list.");
    sync();
    const std::tuple<const char *, int, std::string> cases[] = {
        {"al", 0, "Alice"}, {"al", 1, "alfred"}, {"AL", 2, "alvin"}, {"al", 3, "(none)"},
        {"b", 0, "bob"},    {"z", 0, "(none)"},  {"", 1, "alfred"},  {"al", -1, "(none)"},
    };
    for (const auto &[prefix, index, want] : cases) {
        EXPECT_EQ(complete(client(), prefix, index), want) << prefix << " " << index;
    }
    // A new reply replaces the old list.
    server_.send_line(":srv 353 n = #c :carol");
    sync();
    EXPECT_EQ(complete(client(), "al", 0), "(none)");
    EXPECT_EQ(complete(client(), "c", 0), "carol");
}

TEST(History, KeepsTheNewestLinesAndReadsThemBack)
{
    std::unique_ptr<irc_client, void (*)(irc_client *)> c{irc_client_create(), irc_client_destroy};
    char out[600];
    EXPECT_EQ(irc_history_get(c.get(), 0, out, sizeof out), -1);
    irc_add_to_history(c.get(), "");
    EXPECT_EQ(irc_history_count(c.get()), 0);
    for (int i = 0; i < IRC_HISTORY_LINES + 7; ++i) {
        irc_add_to_history(c.get(), ("line " + std::to_string(i)).c_str());
    }
    ASSERT_EQ(irc_history_count(c.get()), IRC_HISTORY_LINES);
    ASSERT_EQ(irc_history_get(c.get(), 0, out, sizeof out), 0);
    EXPECT_STREQ(out, "line 56");
    ASSERT_EQ(irc_history_get(c.get(), IRC_HISTORY_LINES - 1, out, sizeof out), 0);
    EXPECT_STREQ(out, "line 7");
    EXPECT_EQ(irc_history_get(c.get(), IRC_HISTORY_LINES, out, sizeof out), -1);
    EXPECT_EQ(irc_history_get(c.get(), -1, out, sizeof out), -1);
    irc_add_to_history(c.get(), std::string(700, 'y').c_str());   // kept as a line of 510 bytes
    ASSERT_EQ(irc_history_get(c.get(), 0, out, sizeof out), 0);
    EXPECT_EQ(std::strlen(out), IRC_LINE_MAX);
}

TEST_F(ClientTest, BookmarkKeepsTheLastConnect)
{
    scratch_dir dir;
    std::unique_ptr<addressbook, void (*)(addressbook *)> book{addressbook_create(), addressbook_destroy};
    EXPECT_EQ(irc_bookmark_add(client(), book.get(), "home"), -1);   // nothing connected yet
    connect_registered("ann", "#room");
    EXPECT_EQ(irc_bookmark_add(client(), book.get(), "home"), 0);
    EXPECT_EQ(irc_bookmark_add(client(), book.get(), "home"), -1);
    addressbook_entry e{};
    ASSERT_EQ(irc_bookmark_get(book.get(), "home", &e), 0);
    EXPECT_STREQ(e.server, "127.0.0.1");
    EXPECT_EQ(e.port, server_.port());
    EXPECT_STREQ(e.nick, "ann");
    EXPECT_STREQ(e.channel, "#room");
    EXPECT_EQ(e.use_ssl, 0);
    EXPECT_EQ(dir.read(ADDRESSBOOK_FILE),
              "home|127.0.0.1|" + std::to_string(server_.port()) + "|ann|#room|0\n");
    EXPECT_EQ(irc_bookmark_get(book.get(), "HOME", &e), -1);
    EXPECT_EQ(irc_bookmark_remove(book.get(), "nothere"), -1);
    EXPECT_EQ(irc_bookmark_remove(book.get(), "home"), 0);
    EXPECT_EQ(irc_bookmark_get(book.get(), "home", &e), -1);
    EXPECT_EQ(dir.read(ADDRESSBOOK_FILE), "");
}

} // namespace
