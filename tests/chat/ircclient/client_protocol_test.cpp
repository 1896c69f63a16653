// What the client says to a scripted server and how it handles each kind
// of line: registration, capability end, nick collisions, names replies,
// automatic join, CTCP, line length, and lines that only look like commands.
#include <ostream>
#include <string>
#include <vector>

#include "tests/chat/ircclient/client_fixture.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::MatchesRegex;

TEST_F(ClientTest, RegistersInOrderAndAnnouncesTheConnection)
{
    connect_registered("ann", "#c");
    EXPECT_TRUE(events_.wait_status("Connected to 127.0.0.1:" + std::to_string(server_.port()) + " as ann"));
    EXPECT_EQ(irc_client_is_connected(client()), 1);
}

TEST_F(ClientTest, CapabilityNegotiationEndsOnceOnTheListOrTheWelcome)
{
    struct step {
        std::vector<std::string> from_server;
        std::string sent;
    };
    const std::vector<std::vector<step>> cases{
        // The server lists its capabilities (in two lines): the list ends it.
        {{{":srv CAP * LS * :multi-prefix"}, ""},
         {{":srv CAP * LS :sasl"}, "CAP END\n"},
         {{":srv 001 n :Welcome"}, ""}},
        // The server completes registration without a list: the welcome ends it.
        {{{":srv 001 n :Welcome"}, "CAP END\n"}, {{":srv 001 n :Welcome again"}, ""}},
    };
    for (const auto &script : cases) {
        connect_registered();
        for (const step &s : script) {
            for (const auto &line : s.from_server) {
                server_.send_line(line);
            }
            EXPECT_EQ(sync(), s.sent) << s.from_server[0];
        }
        irc_client_disconnect(client());
    }
}

TEST_F(ClientTest, LongNickInUseBecomesItsStartAndANumber)
{
    const std::string nick(60, 'x');
    g_fake_now = 1700000123;
    connect_registered(nick.c_str());
    server_.send_line(":srv 433 * " + nick + " :Nickname is already in use");
    const std::string retry = std::string(50, 'x') + "_123";
    EXPECT_EQ(sync(), "NICK " + retry + "\n");
    EXPECT_EQ(this->nick(), retry);
    EXPECT_TRUE(events_.wait_status(":srv 433 * " + nick + " :Nickname is already in use"));

    g_fake_now = 1700000999;
    server_.send_line(":srv 433 * " + retry + " :Nickname is already in use");
    EXPECT_THAT(sync(), MatchesRegex("NICK x{50}_999\n"));

    // Once registered, the server's name for us counts.
    server_.send_line(":srv 001 " + std::string(50, 'x') + "_999 :Welcome");
    EXPECT_EQ(sync(), "CAP END\n");
    EXPECT_EQ(this->nick(), std::string(50, 'x') + "_999");

    // Afterwards a taken nick answers a change the host asked for: ours stays.
    server_.send_line(":srv 433 " + std::string(50, 'x') + "_999 wanted :Nickname is already in use");
    EXPECT_EQ(sync(), "");
    EXPECT_EQ(this->nick(), std::string(50, 'x') + "_999");
}

TEST_F(ClientTest, NamesReplyKeepsModesAndAtMost200Entries)
{
    connect_registered();
    // 250 words: six with modes or none, a lone "@", then two-letter nicks.
    std::string words = "@op +v %h ~o &a p @";
    for (int i = 0; i < 243; ++i) {
        words += std::string(" ") + static_cast<char>('a' + i / 26) + static_cast<char>('a' + i % 26);
    }
    server_.send_line(":srv 353 n = #c :" + words);
    ASSERT_TRUE(events_.wait_names(1));
    const std::string row = events_.names().at(0);
    EXPECT_EQ(row.rfind("#c|200|@op|+v|%h|~o|&a| p| aa| ab|", 0), 0u) << row;
    EXPECT_NE(row.find("| hl"), std::string::npos);   // the 200th entry
    EXPECT_EQ(row.find("| hm"), std::string::npos);
    EXPECT_EQ(sync(), "");
}

TEST_F(ClientTest, LongLineIsCutTo510BytesAndEndsAtItsFirstLineBreak)
{
    connect_registered();
    EXPECT_EQ(irc_send_command(client(), std::string(600, 'a').c_str()), 0);
    const auto line = server_.next_line();
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(*line, std::string(510, 'a'));

    // Text from a user cannot add a command of its own.
    EXPECT_EQ(irc_send_message(client(), "#c", "hi\r\nQUIT :gone"), 0);
    EXPECT_EQ(sync(), "PRIVMSG #c :hi\n");
}

TEST_F(ClientTest, CtcpRepliesGoOutAsNotices)
{
    EXPECT_EQ(irc_send_ctcp_version(client(), "bob"), -1);   // not connected: nothing to send on
    connect_registered();
    EXPECT_EQ(irc_send_ctcp_version(client(), "bob"), 0);
    EXPECT_EQ(irc_send_ctcp_ping(client(), "bob", "12345"), 0);
    EXPECT_EQ(irc_send_ctcp_ping(client(), "bob", ""), 0);
    EXPECT_EQ(irc_send_ctcp_ping(client(), "bob", nullptr), 0);
    EXPECT_EQ(irc_send_ctcp_time(client(), "bob"), 0);
    expect_sent({"NOTICE bob :\x01VERSION Vexon IRC Client 3.1\x01", "NOTICE bob :\x01PING 12345\x01",
                 "NOTICE bob :\x01PING\x01", "NOTICE bob :\x01PING\x01"});
    const auto time_line = server_.next_line();
    ASSERT_TRUE(time_line.has_value());
    EXPECT_THAT(*time_line,
                MatchesRegex("NOTICE bob :\x01TIME [A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9:]{8} [0-9]{4}\x01"));
}

TEST_F(ClientTest, CtcpRequestsReachTheHostWithTheRequester)
{
    connect_registered();
    server_.send_line(":bob!b@h PRIVMSG n :\x01VERSION\x01");
    server_.send_line(":bob!b@h PRIVMSG n :\x01PING 999 1\x01");
    server_.send_line(":carl!c@h PRIVMSG #c :\x01" "ACTION waves\x01");
    // The command is "CTCP" and the text the request after the \x01.
    EXPECT_TRUE(events_.wait_ctcp("carl|CTCP|ACTION waves"));
    EXPECT_THAT(events_.ctcp(), ElementsAre("bob|CTCP|VERSION", "bob|CTCP|PING 999 1", "carl|CTCP|ACTION waves"));
    EXPECT_THAT(events_.messages(), IsEmpty());

    // A reply to one of our own requests is no request.
    server_.send_line(":bob!b@h NOTICE n :\x01VERSION other 1.0\x01");
    sync();
    EXPECT_EQ(events_.ctcp().size(), 3u);
}

TEST_F(ClientTest, MessagesReachTheHostAndOtherLinesTheStatus)
{
    connect_registered();
    server_.send_line(":bob!b@h PRIVMSG #c :hello there");
    server_.send_line(":srv PRIVMSG #c :from a server, dropped");
    server_.send_line(":srv 372 n :- motd line");
    EXPECT_TRUE(events_.wait_status(":srv 372 n :- motd line"));
    EXPECT_THAT(events_.messages(), ElementsAre("#c|bob|hello there"));
}

struct autojoin_case {
    const char *name;
    std::vector<std::string> lines;   // after registration
    std::string joins;                // what the client sends in reply
};

void PrintTo(const autojoin_case &c, std::ostream *out)
{
    *out << c.name;
}

class Autojoin : public ClientTest, public ::testing::WithParamInterface<autojoin_case> {};

TEST_P(Autojoin, JoinsOnceAfterTheMotdUnlessIdentificationIsDemanded)
{
    connect_registered();
    for (const std::string &line : GetParam().lines) {
        server_.send_line(line);
    }
    EXPECT_EQ(sync(), GetParam().joins);
}

const std::string WELCOME = ":srv 001 n :Welcome";
const std::string NEED_AUTH = ":srv 477 n #c :You need to be identified";
const std::string IDENTIFIED = ":NickServ!s@services NOTICE n :You are now identified for n.";

INSTANTIATE_TEST_SUITE_P(
    Cases, Autojoin,
    ::testing::Values(
        autojoin_case{"EndOfMotd", {WELCOME, ":srv 376 n :End"}, "CAP END\nJOIN #c\n"},
        autojoin_case{"NoMotd", {WELCOME, ":srv 422 n :No MOTD"}, "CAP END\nJOIN #c\n"},
        autojoin_case{"OnlyOnce", {WELCOME, ":srv 376 n :End", ":srv 422 n :No MOTD"}, "CAP END\nJOIN #c\n"},
        autojoin_case{"NotBeforeWelcome", {":srv 376 n :End"}, ""},
        autojoin_case{"WaitsForIdentification", {WELCOME, NEED_AUTH, ":srv 376 n :End"}, "CAP END\n"},
        autojoin_case{"AfterIdentification", {WELCOME, NEED_AUTH, ":srv 376 n :End", IDENTIFIED}, "CAP END\nJOIN #c\n"},
        autojoin_case{"IdentifiedAsNumeric",
                      {WELCOME, NEED_AUTH, ":srv 376 n :End", ":srv 900 n n!u@h n :You are now identified as n"},
                      "CAP END\nJOIN #c\n"},
        autojoin_case{"UserNoticeIsNoIdentification",
                      {WELCOME, NEED_AUTH, ":srv 376 n :End", ":eve!e@h NOTICE n :You are now identified"},
                      "CAP END\n"},
        autojoin_case{"OwnJoinEndsTheWait", {WELCOME, ":n!u@h JOIN :#other", ":srv 376 n :End"}, "CAP END\n"}),
    [](const auto &test) { return std::string(test.param.name); });

TEST_F(ClientTest, OwnJoinNamesTheChannelAndOwnNickChangesAreFollowed)
{
    connect_registered();
    server_.send_line(":n!u@h JOIN :#elsewhere");
    server_.send_line(":bob!b@h JOIN #c");
    sync();
    char channel[64];
    irc_client_get_channel(client(), channel, sizeof channel);
    EXPECT_STREQ(channel, "#elsewhere");

    // After a change of our nick, our JOINs come under the new one.
    server_.send_line(":n!u@h NICK :m");
    server_.send_line(":m!u@h JOIN :#later");
    sync();
    EXPECT_EQ(nick(), "m");
    irc_client_get_channel(client(), channel, sizeof channel);
    EXPECT_STREQ(channel, "#later");
}

// Anyone on a channel can send these texts: they are messages, nothing more.
TEST_F(ClientTest, MessagesThatContainProtocolTextChangeNothing)
{
    connect_registered();
    const std::vector<std::string> texts{"error 433 here", "x 353 = #c :@evil @mallory", "fake 001 welcome",
                                         "You are now identified", "x now identified as n", ":srv 376 n :End",
                                         "PING :gotcha"};
    server_.send_line(NEED_AUTH);
    for (const std::string &text : texts) {
        server_.send_line(":eve!e@h PRIVMSG #c :" + text);
        server_.send_line(":eve!e@h PRIVMSG n : 433 376 " + text);
    }
    EXPECT_EQ(sync(), "");
    EXPECT_EQ(nick(), "n");
    EXPECT_THAT(events_.names(), IsEmpty());
    EXPECT_EQ(events_.messages().size(), texts.size() * 2);
    {
        const std::lock_guard<std::mutex> guard(client()->lock);
        EXPECT_EQ(client()->registered, 0);
        EXPECT_EQ(client()->motd_done, 0);
        EXPECT_EQ(client()->auth_required, 1);
    }
}

} // namespace
