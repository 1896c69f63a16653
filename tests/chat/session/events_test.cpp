// What the session makes of the server's events and replies: readable
// lines, the nick list that follows them, the current channel, CTCP answers
// and why a connection was refused.
#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "tests/chat/session/session_fixture.h"

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;

// A session in #c with a known nick list.
class InChannel : public SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        connect_registered("n", "#c");
        server_.send_line(":srv 001 n :Welcome");
        ASSERT_EQ(server_.next_line(), "JOIN #c");
        server_.send_line(":n!u@h JOIN #c");
        server_.send_line(":srv 353 n = #c :n @op bob +carol");
        server_.send_line(":srv 366 n #c :End of /NAMES list.");
        sync();
    }
};

struct event_case {
    const char *line;
    const char *shown;   // the newest scrollback row
};

TEST_F(InChannel, EventsAreOneReadableLineEach)
{
    const std::vector<event_case> cases = {
        {":bob!~b@h NICK :bobby", "*|bob is now known as bobby"},
        {":bobby!~b@h TOPIC #c :new topic", "*|bobby changed the topic of #c to: new topic"},
        {":bobby!~b@h TOPIC #c :", "*|bobby cleared the topic of #c"},
        {":srv 332 n #c :the topic", "*|Topic for #c: the topic"},
        {":srv 333 n #c op!u@h 0", "*|Topic of #c set by op"},
        {":bobby!~b@h NOTICE n :psst", "bobby|psst"},
        {":srv.example NOTICE n :*** server says", "*|*** server says"},
        {"NOTICE AUTH :*** Looking up your hostname", "*|*** Looking up your hostname"},
        {":bobby!~b@h NOTICE n :\x01VERSION xchat 2\x01", "*|CTCP VERSION reply from bobby: xchat 2"},
        {":op!u@h MODE #c +o bobby", "*|op sets mode +o bobby on #c"},
        {":srv MODE #c +nt", "*|srv sets mode +nt on #c"},
        {":op!u@h KICK #c bobby :behave", "*|bobby was kicked from #c by op (behave)"},
        {":carol!c@h QUIT :Ping timeout", "*|carol has left #c (quit: Ping timeout)"},
        {":zed!z@h QUIT :", "*|zed has quit"},
        {":dave!d@h JOIN :#c", "*|dave has joined #c"},
        {":dave!d@h PART #c", "*|dave has left #c"},
        {":eve!e@h PART #c :off to bed", "*|eve has left #c (off to bed)"},
        {":op!u@h INVITE n :#secret", "*|op invites you to #secret"},
        {"ERROR :Closing link: (n@h) [Killed]", "*|Server error: Closing link: (n@h) [Killed]"},
        {":srv WALLOPS :odd", "*|:srv WALLOPS :odd"},
    };
    for (const auto &c : cases) {
        server_.send_line(c.line);
        sync();
        EXPECT_EQ(last_row(), c.shown) << c.line;
    }
    server_.send_line(":srv 333 n #c op 1700000000");
    sync();
    EXPECT_THAT(last_row(), MatchesRegex("\\*\\|Topic of #c set by op on 20[0-9-]+ [0-9:]+"));
}

struct list_step {
    const char *line;
    std::vector<std::string> users;   // the nick list afterwards
};

TEST_F(InChannel, NickListFollowsEveryChangeAtOnce)
{
    const std::vector<list_step> steps = {
        {":dave!d@h JOIN #c", {"@op", "+carol", "bob", "dave", "n"}},
        {":bob!b@h NICK :Abe", {"@op", "+carol", "Abe", "dave", "n"}},
        {":op!u@h MODE #c +v-v+o dave carol Abe", {"@Abe", "@op", "+dave", "carol", "n"}},
        {":op!u@h MODE #c -o+b Abe *!*@spam", {"@op", "+dave", "Abe", "carol", "n"}},
        {":op!u@h KICK #c carol :bye", {"@op", "+dave", "Abe", "n"}},
        {":dave!d@h PART #c :later", {"@op", "Abe", "n"}},
        {":Abe!b@h QUIT :gone", {"@op", "n"}},
        {":x!x@h JOIN #elsewhere", {"@op", "n"}},
        {":op!u@h MODE #elsewhere +o x", {"@op", "n"}},
        {":n!u@h NICK :me", {"@op", "me"}},
    };
    for (const auto &step : steps) {
        server_.send_line(step.line);
        sync();
        EXPECT_THAT(users(), ElementsAreArray(step.users)) << step.line;
    }
    const auto guard = irc_lock(s());
    EXPECT_STREQ(s()->nick, "me");
}

TEST_F(InChannel, JoinAndPartChurnAsksForNoNames)
{
    for (int i = 0; i < 100; ++i) {
        server_.send_line(":u" + std::to_string(i) + "!u@h JOIN #c");
        server_.send_line(":u" + std::to_string(i) + "!u@h PART #c :churn");
    }
    server_.send_line(":bob!b@h QUIT :q");
    server_.send_line(":op!u@h KICK #c +carol");
    EXPECT_EQ(sync(), "") << "no NAMES after others join and leave";
    EXPECT_THAT(users(), ElementsAre("@op", "+carol", "n"));
}

TEST_F(InChannel, JoiningAndLeavingChannelsMovesTheCurrentTarget)
{
    irc_handle_command(s(), "/join #two,#three key");
    EXPECT_EQ(server_.next_line(), "JOIN #two,#three key");
    server_.send_line(":n!u@h JOIN #two");
    server_.send_line(":n!u@h JOIN #three");
    server_.send_line(":srv 353 n = #two :n zed");
    server_.send_line(":srv 366 n #two :End");
    server_.send_line(":srv 353 n = #three :n yan");
    server_.send_line(":srv 366 n #three :End");
    EXPECT_EQ(sync(), "") << "the names at our own join are the server's to send";
    EXPECT_THAT(users(), ElementsAre("n", "zed"));
    EXPECT_EQ(last_row(), "*|Users on #three: n yan");

    irc_handle_command(s(), "/part #three going");
    EXPECT_EQ(server_.next_line(), "PART #three :going");
    server_.send_line(":n!u@h PART #three :going");
    EXPECT_EQ(sync(), "") << "leaving another channel keeps the target";
    {
        const auto guard = irc_lock(s());
        EXPECT_STREQ(s()->channel, "#two");
    }
    irc_handle_command(s(), "/part");
    EXPECT_EQ(server_.next_line(), "PART #two");
    server_.send_line(":n!u@h PART #two");
    EXPECT_EQ(sync(), "NAMES #c\n") << "back in #c, whose list is asked for once";
    {
        const auto guard = irc_lock(s());
        EXPECT_STREQ(s()->channel, "#c");
    }
    server_.send_line(":op!u@h KICK #c n :out");
    sync();
    EXPECT_EQ(last_row(), "*|You were kicked from #c by op (out)");
    const auto guard = irc_lock(s());
    EXPECT_STREQ(s()->channel, "");
    EXPECT_EQ(s()->user_count, 0);
}

TEST_F(InChannel, RefusedJoinGoesBackToTheChannelWeAreIn)
{
    irc_handle_command(s(), "/join #closed");
    EXPECT_EQ(server_.next_line(), "JOIN #closed");
    server_.send_line(":srv 473 n #closed :Cannot join channel (+i)");
    sync();
    EXPECT_EQ(last_row(), "*|#closed: Cannot join channel (+i)");
    const auto guard = irc_lock(s());
    EXPECT_STREQ(s()->channel, "#c");
}

TEST_F(InChannel, RepliesAreShownAsServerText)
{
    const std::vector<event_case> cases = {
        {":srv 002 n :Your host is srv", "*|Your host is srv"},
        {":srv 311 n bob ~b host.example * :Bob Real", "*|bob ~b host.example * Bob Real"},
        {":srv 312 n bob srv :The server", "*|bob srv The server"},
        {":srv 318 n bob :End of WHOIS list", "*|bob End of WHOIS list"},
        {":srv 322 n #c 3 :[+nt] the topic", "*|#c 3 [+nt] the topic"},
        {":srv 323 n :End of LIST", "*|End of LIST"},
        {":srv 352 n #c ~b host srv bob H :0 Bob", "*|#c ~b host srv bob H 0 Bob"},
        {":srv 305 n :You are no longer marked as being away", "*|You are no longer marked as being away"},
        {":srv 401 n nobody :No such nick/channel", "*|nobody: No such nick/channel"},
        {":srv 442 n #x :You're not on that channel", "*|#x: You're not on that channel"},
        {":srv 482 n #c :You're not channel operator", "*|#c: You're not channel operator"},
        {":srv 999 n", "*|999 n"},
    };
    for (const auto &c : cases) {
        server_.send_line(c.line);
        sync();
        EXPECT_EQ(last_row(), c.shown) << c.line;
    }
}

TEST_F(InChannel, LongListRollsThroughTheScrollback)
{
    std::string block;
    for (int i = 0; i < 3000; ++i) {
        block += ":srv 322 n #ch" + std::to_string(i) + " 1 :topic\r\n";
    }
    block += ":srv 323 n :End of LIST\r\n";
    server_.send_raw(block);
    sync();
    const auto rows = scrollback();
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(SCROLLBACK_LINES));
    EXPECT_EQ(rows.back(), "*|End of LIST");
    EXPECT_EQ(rows[rows.size() - 2], "*|#ch2999 1 topic");
}

TEST_F(InChannel, CtcpRequestsAreAnsweredAndShown)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"\x01VERSION\x01", "NOTICE bob :\x01VERSION Vexon IRC Client 6.0\x01\n"},
        {"\x01PING 12345 678\x01", "NOTICE bob :\x01PING 12345 678\x01\n"},
        {"\x01" "CLIENTINFO\x01", "NOTICE bob :\x01" "CLIENTINFO ACTION CLIENTINFO PING TIME VERSION\x01\n"},
        {"\x01PING\x01", "NOTICE bob :\x01PING\x01\n"},
        {"\x01version", "NOTICE bob :\x01VERSION Vexon IRC Client 6.0\x01\n"},
    };
    for (const auto &[request, answer] : cases) {
        {
            const auto guard = irc_lock(s());   // a fresh minute, and send pace, for each request
            std::fill(std::begin(s()->ctcp_answer_ms), std::end(s()->ctcp_answer_ms), 0);
            pacer_reset(&s()->pacer);
        }
        server_.send_line(":bob!b@h PRIVMSG n :" + request);
        EXPECT_EQ(sync(), answer);
    }
    EXPECT_THAT(scrollback(), ::testing::IsSupersetOf({"*|bob asked for our VERSION", "*|bob asked for our PING",
                                                        "*|bob asked for our CLIENTINFO"}));
    server_.send_line(":bob!b@h PRIVMSG #c :\x01" "FINGER\x01");
    EXPECT_EQ(sync(), "") << "no answer to what we do not support";
    EXPECT_EQ(last_row(), "*|bob sent an unknown CTCP FINGER");
}

TEST_F(InChannel, CtcpBurstIsAnsweredOnlyAFewTimes)
{
    for (int i = 0; i < 20; ++i) {
        server_.send_line(":bob!b@h PRIVMSG n :\x01VERSION\x01");
    }
    server_.send_line(":bob!b@h PRIVMSG n :\x01TIME\x01");
    const std::string sent = sync();
    std::size_t answers = 0;
    for (std::size_t at = sent.find("NOTICE bob"); at != std::string::npos; at = sent.find("NOTICE bob", at + 1)) {
        ++answers;
    }
    EXPECT_EQ(answers, static_cast<std::size_t>(CTCP_ANSWERS_PER_MINUTE));
    EXPECT_EQ(last_row(), "*|bob asked for our TIME (not answered: too many requests)");
}

TEST_F(SessionTest, CtcpTimeAnswersWithTheLocalTime)
{
    connect_registered();
    server_.send_line(":bob!b@h PRIVMSG n :\x01TIME\x01");
    EXPECT_THAT(sync(), MatchesRegex("NOTICE bob :\x01TIME [A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9:]{8} [0-9]{4}\x01\n"));
}

TEST_F(SessionTest, RefusedRegistrationIsRememberedForTheInterface)
{
    connect_registered();
    server_.send_line(":srv 464 n :Password incorrect");
    server_.send_line("ERROR :Closing link: n[127.0.0.1] (Bad password)");
    server_.close_client();
    ASSERT_TRUE(wait_until([](irc_session *x) { return x->running == 0; }));
    const auto guard = irc_lock(s());
    EXPECT_STREQ(s()->connect_error, "Closing link: n[127.0.0.1] (Bad password)");
}

TEST_F(SessionTest, ConnectionEndingAfterWelcomeIsNoRefusal)
{
    connect_registered();
    server_.send_line(":srv 001 n :Welcome");
    ASSERT_EQ(server_.next_line(), "JOIN #c");
    server_.send_line("ERROR :Closing link (Quit)");
    server_.close_client();
    ASSERT_TRUE(wait_until([](irc_session *x) { return x->running == 0; }));
    const auto guard = irc_lock(s());
    EXPECT_STREQ(s()->connect_error, "");
}

TEST_F(SessionTest, OwnJoinWithoutChannelBecomesTheTarget)
{
    connect_registered("n", "");
    server_.send_line(":n!u@h JOIN #x");
    server_.send_line(":srv 353 n = #x :n @op");
    server_.send_line(":srv 366 n #x :End");
    EXPECT_EQ(sync(), "");
    EXPECT_THAT(users(), ElementsAre("@op", "n"));
    const auto guard = irc_lock(s());
    EXPECT_STREQ(s()->channel, "#x");
}

}  // namespace
