// Typed lines and slash commands: what goes on the wire and what is shown.
#include <string>
#include <vector>

#include "tests/chat/session/session_fixture.h"

namespace {

struct command_case {
    const char *input;
    int result;
    const char *wire;      // lines sent, each ending in "\n"
    const char *shown;     // the newest scrollback row afterwards ("" = none)
    const char *channel;   // the stored channel afterwards
    const char *nick;      // the stored nick afterwards
};

const command_case COMMAND_CASES[] = {
    {"hello all", 0, "PRIVMSG #c :hello all\n", "n|hello all", "#c", "n"},
    {"/JOIN #a", 0, "JOIN #a\n", "", "#a", "n"},
    {"/join #a,#b key", 0, "JOIN #a,#b key\n", "", "#a", "n"},
    {"/join", 0, "JOIN \n", "", "", "n"},
    {"/part", 0, "PART #c\n", "", "#c", "n"},
    {"/part see you", 0, "PART #c :see you\n", "", "#c", "n"},
    {"/part #a", 0, "PART #a\n", "", "#c", "n"},
    {"/part #a,#b bye now", 0, "PART #a :bye now\n", "", "#c", "n"},
    {"/nick newbie", 0, "NICK newbie\n", "", "#c", "newbie"},
    {"/msg bob hi there", 0, "PRIVMSG bob :hi there\n", "bob|hi there", "#c", "n"},
    {"/msg #a hi all", 0, "PRIVMSG #a :hi all\n", "n|hi all", "#c", "n"},
    {"/msg bob", -1, "", "", "#c", "n"},
    {"/ME waves hello", 0, "PRIVMSG #c :\x01" "ACTION waves hello\x01\n", "n|\x01" "ACTION waves hello\x01", "#c", "n"},
    {"/me", 0, "", "", "#c", "n"},
    {"/raw MODE #c +i", 0, "MODE #c +i\n", "", "#c", "n"},
    {"/quote WHOIS bob", 0, "WHOIS bob\n", "", "#c", "n"},
    {"/who", 0, "WHO\n", "", "#c", "n"},
    {"/who #a", 0, "who #a\n", "", "#c", "n"},
    {"/Names", 0, "NAMES\n", "", "#c", "n"},
    {"/names #a", 0, "names #a\n", "", "#c", "n"},
    {"/list foo", 0, "LIST\n", "", "#c", "n"},
    {"/mode #a +i", 0, "mode #a +i\n", "", "#c", "n"},
    {"/help", 0, "", "*|Commands: /join /part /msg /nick /raw /who /names /list /quit", "#c", "n"},
    {"/quit", 0, "", "", "#c", "n"},
    {"", 0, "", "", "#c", "n"},
    {"/raw PRIVMSG #c :one\r\nQUIT :two", 0, "PRIVMSG #c :one\n", "", "#c", "n"},
};

class Command : public SessionTest, public ::testing::WithParamInterface<command_case> {};

TEST_P(Command, SendsItsLineAndUpdatesTheSession)
{
    const command_case &c = GetParam();
    connect_registered("n", "#c");
    mark_registered();
    EXPECT_EQ(irc_handle_command(s(), c.input), c.result);
    EXPECT_EQ(sync(), c.wire);
    const auto rows = scrollback();
    EXPECT_EQ(rows.empty() ? "" : rows.back(), c.shown);
    const auto guard = irc_lock(s());
    EXPECT_STREQ(s()->channel, c.channel);
    EXPECT_STREQ(s()->nick, c.nick);
    EXPECT_EQ(s()->quit_requested, std::string(c.input) == "/quit" ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Table, Command, ::testing::ValuesIn(COMMAND_CASES));

TEST_F(SessionTest, OwnMessagesAreShownAsPrivateOrInTheirChannel)
{
    connect_registered("n", "#c");
    irc_handle_command(s(), "/msg bob psst");
    irc_handle_command(s(), "in the channel");
    sync();
    const auto guard = irc_lock(s());
    ASSERT_EQ(irc_line_count(s()), 2);
    EXPECT_EQ(irc_line_at(s(), 0)->kind, LINE_PRIVATE_SENT);
    EXPECT_EQ(irc_line_at(s(), 1)->kind, LINE_USER);
    EXPECT_STREQ(irc_line_at(s(), 1)->where, "#c");
}

TEST_F(SessionTest, PlainTextGoesToOwnNickWithoutChannel)
{
    connect_registered("n", "#c");
    mark_registered();
    irc_handle_command(s(), "/join");
    irc_handle_command(s(), "hi");
    EXPECT_EQ(sync(), "JOIN \nPRIVMSG n :hi\n");
}

TEST_F(SessionTest, LinesTypedBeforeTheWelcomeWaitForIt)
{
    // A caller who types as soon as the status bar says CONNECTED: the
    // server would refuse the lines until it has let us in, and the join
    // must not cost the connection's own channel.
    connect_registered("n", "#c");
    EXPECT_EQ(irc_handle_command(s(), "/join #second"), 0);
    EXPECT_EQ(irc_handle_command(s(), "hello"), 0);
    EXPECT_EQ(sync(), "");
    server_.send_line(":s 001 n :Welcome");
    ASSERT_TRUE(wait_until([](irc_session *x) { return x->registered == 1 && pacer_waiting(&x->pacer) == 0; }));
    EXPECT_EQ(sync(), "JOIN #second\nPRIVMSG #second :hello\nJOIN #c\n");
}

TEST_F(SessionTest, LinesStillWaitingWhenTheConnectionEndsAreReportedNotSent)
{
    connect_registered("n", "#c");
    irc_handle_command(s(), "one");
    irc_handle_command(s(), "two");
    server_.close_client();
    ASSERT_TRUE(wait_until([](irc_session *x) { return x->running == 0; }));
    EXPECT_EQ(last_row(), "*|Not sent (connection lost): 2 lines");
}

TEST_F(SessionTest, OfflineCommandsSendNothingAndSaySo)
{
    EXPECT_EQ(irc_handle_command(s(), "hello"), -1);
    EXPECT_EQ(irc_handle_command(s(), "/msg bob hi"), -1);
    EXPECT_EQ(irc_handle_command(s(), "/join #z"), -1);
    EXPECT_EQ(irc_handle_command(s(), "/nick zed"), -1);
    EXPECT_THAT(scrollback(), ::testing::ElementsAre("*|Not sent (not connected): hello",
                                                     "*|Not sent (not connected): /msg bob hi",
                                                     "*|Not sent (not connected): /join #z",
                                                     "*|Not sent (not connected): /nick zed"));
    EXPECT_STREQ(s()->channel, "");
    EXPECT_STREQ(s()->nick, "");
    EXPECT_EQ(irc_handle_command(s(), "/help"), 0);
    EXPECT_EQ(irc_handle_command(s(), "/QUIT"), 0);
    EXPECT_EQ(s()->quit_requested, 1);
}

TEST_F(SessionTest, TextAfterPeerLeftIsReportedNotSentAndNotEchoed)
{
    connect_registered("n", "#c");
    server_.close_client();
    ASSERT_TRUE(wait_until([](irc_session *x) { return x->connected == 0; }));
    const auto before = scrollback().size();
    EXPECT_EQ(irc_handle_command(s(), "anyone?"), -1);
    EXPECT_EQ(scrollback().size(), before + 1);
    EXPECT_EQ(last_row(), "*|Not sent (not connected): anyone?");
}

} // namespace
