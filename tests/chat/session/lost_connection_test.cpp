// A connection that dies: the server closing it, a silence our PING gets no
// answer to, a registration that never ends; and the reconnect that joins
// every channel again.
#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>

#include "chat/session/irc_transport.h"
#include "tests/chat/session/session_fixture.h"

namespace {

// Time limits short enough for a test, long enough for a loaded machine.
class LostConnection : public SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        g_irc_ping_after_ms = 300;
        g_irc_ping_timeout_ms = 300;
        g_irc_register_timeout_ms = 600;
    }
    void TearDown() override
    {
        SessionTest::TearDown();
        g_irc_ping_after_ms = saved_ping_after_;
        g_irc_ping_timeout_ms = saved_ping_timeout_;
        g_irc_register_timeout_ms = saved_register_;
    }

    bool lost()
    {
        return wait_until([](irc_session *x) { return x->lost != 0 && x->connected == 0; });
    }

    void welcome()
    {
        server_.send_line(":irc.test 001 n :Welcome");
    }

    const int saved_ping_after_ = g_irc_ping_after_ms;
    const int saved_ping_timeout_ = g_irc_ping_timeout_ms;
    const int saved_register_ = g_irc_register_timeout_ms;
};

TEST_F(LostConnection, ServerClosingIsALossButOurOwnDisconnectIsNot)
{
    connect_registered();
    welcome();
    server_.close_client();
    EXPECT_TRUE(lost());

    connect_registered();
    irc_disconnect(s(), "Bye");
    const auto guard = irc_lock(s());
    EXPECT_EQ(s()->lost, 0);
}

TEST_F(LostConnection, SilenceIsAskedAboutAndAnAnswerKeepsTheConnection)
{
    connect_registered();
    welcome();
    expect_sent({"JOIN #c"});
    const auto ping = server_.next_line(5000);
    ASSERT_TRUE(ping.has_value());
    EXPECT_EQ(ping->rfind("PING :", 0), 0u) << *ping;
    server_.send_line(":irc.test PONG irc.test :" + ping->substr(6));
    // Answered: a later silence brings another PING, not the end.
    const auto again = server_.next_line(5000);
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(again->rfind("PING :", 0), 0u) << *again;
    const auto guard = irc_lock(s());
    EXPECT_EQ(s()->connected, 1);
}

TEST_F(LostConnection, UnansweredPingLosesTheConnection)
{
    connect_registered();
    welcome();
    ASSERT_TRUE(lost());
    const auto rows = scrollback();
    EXPECT_THAT(rows, ::testing::Contains(::testing::HasSubstr("ping timeout")));
    EXPECT_EQ(rows.back(), "*|Disconnected from server");
}

TEST_F(LostConnection, UnfinishedRegistrationLosesTheConnection)
{
    g_irc_ping_after_ms = 60000;
    connect_registered();
    // The server answers PINGs but never welcomes us.
    for (int i = 0; i < 3; ++i) {
        server_.send_line("PING :still-here");
    }
    ASSERT_TRUE(lost());
    EXPECT_THAT(scrollback(), ::testing::Contains(::testing::HasSubstr("did not finish registration")));
}

TEST_F(LostConnection, ReconnectJoinsEveryChannelWeWereInWithTheFirstNick)
{
    g_irc_ping_after_ms = 60000;
    connect_registered("n", "#c");
    server_.send_line(":irc.test 433 * n :Nickname is already in use");
    expect_sent({"NICK n_"});
    server_.send_line(":irc.test 001 n_ :Welcome");
    expect_sent({"JOIN #c"});
    server_.send_line(":n_!u@h JOIN #c");
    irc_handle_command(s(), "/join #d");
    irc_handle_command(s(), "/join #e");
    server_.send_line(":n_!u@h JOIN :#d");
    server_.send_line(":n_!u@h JOIN #e");
    server_.send_line(":bob!u@h JOIN #f");   // someone else: not ours
    irc_handle_command(s(), "/part");        // leaves #e, the current one
    server_.send_line(":n_!u@h PART #e :bye");
    server_.send_line(":n_!u@h JOIN #g");
    server_.send_line(":op!u@h KICK #g N_ :out");   // nicks match in any case
    server_.send_line(":op!u@h KICK #c bob :not us");
    sync();   // every line above handled

    server_.close_client();
    ASSERT_TRUE(lost());
    ASSERT_EQ(irc_reconnect(s()), 0);
    ASSERT_TRUE(server_.accept_client());
    expect_sent({"CAP LS 302", "NICK n", "USER n 0 * :Vexon IRC Client"});
    server_.send_line(":irc.test 001 n :Welcome back");
    EXPECT_EQ(sync(), "JOIN #c\nJOIN #d\n");
    const auto guard = irc_lock(s());
    EXPECT_STREQ(s()->nick, "n");
    EXPECT_EQ(s()->lost, 0);
}

TEST_F(LostConnection, AFreshConnectJoinsOnlyTheFormsChannel)
{
    g_irc_ping_after_ms = 60000;
    connect_registered("n", "#c");
    welcome();
    expect_sent({"JOIN #c"});
    server_.send_line(":n!u@h JOIN #c");
    irc_handle_command(s(), "/join #d");
    server_.send_line(":n!u@h JOIN #d");
    sync();

    connect_registered("n", "#x");
    welcome();
    EXPECT_EQ(sync(), "JOIN #x\n");
}

TEST_F(LostConnection, PublicOnlyRefusesLoopbackWithoutConnecting)
{
    {
        const auto guard = irc_lock(s());
        s()->public_only = 1;
    }
    for (const char *host : {"127.0.0.1", "localhost"}) {
        EXPECT_EQ(irc_connect_server(s(), host, server_.port(), "n", "#c", 0, ""), -1) << host;
        EXPECT_THAT(last_row(), ::testing::HasSubstr("local or private network")) << host;
    }
    EXPECT_FALSE(server_.accept_client(200)) << "a connection was made";
}

struct address_case {
    const char *address;
    bool local;
};

class AddressScope : public ::testing::TestWithParam<address_case> {};

TEST_P(AddressScope, LocalNetworksAreKnown)
{
    const address_case &c = GetParam();
    sockaddr_storage storage{};
    if (std::strchr(c.address, ':') != nullptr) {
        auto *a = reinterpret_cast<sockaddr_in6 *>(&storage);
        a->sin6_family = AF_INET6;
        ASSERT_EQ(inet_pton(AF_INET6, c.address, &a->sin6_addr), 1);
    } else {
        auto *a = reinterpret_cast<sockaddr_in *>(&storage);
        a->sin_family = AF_INET;
        ASSERT_EQ(inet_pton(AF_INET, c.address, &a->sin_addr), 1);
    }
    EXPECT_EQ(transport_address_is_local(reinterpret_cast<sockaddr *>(&storage)), c.local) << c.address;
}

INSTANTIATE_TEST_SUITE_P(
    Table, AddressScope,
    ::testing::Values(address_case{"127.0.0.1", true}, address_case{"127.10.20.30", true},
                      address_case{"0.0.0.0", true}, address_case{"10.0.0.1", true},
                      address_case{"172.16.0.1", true}, address_case{"172.31.255.254", true},
                      address_case{"172.32.0.1", false}, address_case{"192.168.1.1", true},
                      address_case{"169.254.169.254", true}, address_case{"100.64.0.1", true},
                      address_case{"224.0.0.1", true}, address_case{"255.255.255.255", true},
                      address_case{"8.8.8.8", false}, address_case{"192.0.3.1", false},
                      address_case{"::1", true}, address_case{"::", true}, address_case{"fe80::1", true},
                      address_case{"fd00::1", true}, address_case{"ff02::1", true},
                      address_case{"::ffff:127.0.0.1", true}, address_case{"::ffff:10.1.1.1", true},
                      address_case{"::ffff:8.8.8.8", false}, address_case{"2002:7f00:1::", true},
                      address_case{"64:ff9b::a00:1", true}, address_case{"2001:4860:4860::8888", false}));

} // namespace
