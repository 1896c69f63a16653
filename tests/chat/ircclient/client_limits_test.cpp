// What keeps the client a good citizen and keeps it alive against servers
// that misbehave: the send pace, registration and ping time-outs, the cap on
// nick retries, reconnect pauses that count only a registration as success,
// and a callback that ends the connection it is told about.
#include <cstring>
#include <poll.h>
#include <string>
#include <vector>

#include "chat/session/send_pacer.h"
#include "tests/chat/ircclient/client_fixture.h"

namespace {

using ::testing::Contains;

// The pacer alone, on a clock the test turns.
TEST(SendPacer, BurstThenOneLinePerInterval)
{
    const send_pace saved = g_send_pace;
    g_send_pace = {3, 1000};
    send_pacer p;
    pacer_reset(&p);
    g_send_pace = saved;

    std::int64_t now = 50000;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(pacer_may_send(&p, now)) << i;
        pacer_take(&p, now);
    }
    EXPECT_FALSE(pacer_may_send(&p, now));
    ASSERT_TRUE(pacer_hold(&p, "A\r\n", 3));
    ASSERT_TRUE(pacer_hold(&p, "B\r\n", 3));
    EXPECT_EQ(pacer_waiting(&p), 2);
    EXPECT_EQ(pacer_due_ms(&p, now), 1000);

    char out[PACER_BYTES];
    EXPECT_EQ(pacer_next(&p, now + 999, out, sizeof out), 0u);
    ASSERT_EQ(pacer_next(&p, now + 1000, out, sizeof out), 3u);
    EXPECT_EQ(std::string(out, 3), "A\r\n");
    EXPECT_EQ(pacer_due_ms(&p, now + 1000), 1000);
    ASSERT_EQ(pacer_next(&p, now + 2000, out, sizeof out), 3u);
    EXPECT_EQ(std::string(out, 3), "B\r\n");
    EXPECT_EQ(pacer_due_ms(&p, now + 2000), -1);

    // A quiet spell gives the whole burst back, never more.
    now += 60000;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(pacer_may_send(&p, now)) << i;
        pacer_take(&p, now);
    }
    EXPECT_FALSE(pacer_may_send(&p, now));

    // Held lines are bounded.
    std::string big(PACER_BYTES - 10, 'x');
    EXPECT_TRUE(pacer_hold(&p, big.data(), big.size()));
    EXPECT_FALSE(pacer_hold(&p, "0123456789A\r\n", 13));
}

TEST(SendPacer, WhatIsNeverHeldBack)
{
    struct exempt_case {
        const char *line;
        bool registered;
        bool exempt;
    };
    const exempt_case cases[] = {
        {"PONG :irc.example", true, true},   {"pong x", true, true},         {"QUIT :bye", true, true},
        {"QUIT", true, true},                {"NICK n", false, true},        {"USER n 0 * :r", false, true},
        {"CAP END", false, true},            {"AUTHENTICATE PLAIN", false, true},
        {"PASS pw", false, true},            {"NICK m", true, false},        {"CAP REQ :x", true, false},
        {"PRIVMSG #c :hi", false, false},    {"PRIVMSG #c :hi", true, false}, {"JOIN #c", true, false},
        {"PONGS", true, false},              {"QUITE", true, false},         {"PING :x", true, false},
    };
    for (const exempt_case &c : cases) {
        EXPECT_EQ(pacer_exempt(c.line, std::strlen(c.line), c.registered), c.exempt)
            << c.line << (c.registered ? " (registered)" : "");
    }
}

TEST_F(ClientTest, LinesBeyondTheBurstWaitButPongAndQuitDoNot)
{
    g_send_pace = {5, 60000};   // nothing held gets its turn during the test
    connect_registered();
    for (int i = 1; i <= 8; ++i) {
        EXPECT_EQ(irc_send_message(client(), "#c", ("line " + std::to_string(i)).c_str()), 0);
    }
    EXPECT_EQ(irc_client_waiting_lines(client()), 3);
    // The PING is answered at once, past the three waiting lines.
    EXPECT_EQ(sync(), "PRIVMSG #c :line 1\nPRIVMSG #c :line 2\nPRIVMSG #c :line 3\nPRIVMSG #c :line 4\n"
                      "PRIVMSG #c :line 5\n");
    irc_client_disconnect(client());
    EXPECT_EQ(server_.next_line(), "QUIT :Disconnecting");
    EXPECT_EQ(server_.next_line(), std::nullopt);
    EXPECT_EQ(irc_client_waiting_lines(client()), 0);
}

TEST_F(ClientTest, HeldLinesGoOutInOrderAtThePace)
{
    g_send_pace = {2, 50};
    connect_registered();
    std::vector<std::string> sent;
    for (int i = 0; i < 30; ++i) {
        sent.push_back("PRIVMSG #c :paste " + std::to_string(i));
        EXPECT_EQ(irc_send_command(client(), sent.back().c_str()), 0);
    }
    for (const std::string &want : sent) {
        EXPECT_EQ(server_.next_line(), want);
    }
    EXPECT_EQ(irc_client_waiting_lines(client()), 0);
}

TEST_F(ClientTest, RegistrationThatNeverFinishesIsALostConnection)
{
    g_irc_client_limits.register_ms = 300;
    connect_registered();
    // The server accepts and says nothing at all.
    ASSERT_TRUE(events_.wait_status("Registration timed out", 10000));
    EXPECT_EQ(server_.next_line(), std::nullopt);
    EXPECT_EQ(irc_client_is_connected(client()), 0);
    EXPECT_EQ(irc_client_seconds_until_reconnect(client()), 5);
}

TEST_F(ClientTest, AQuietServerIsPingedAndLostWhenItDoesNotAnswer)
{
    g_irc_client_limits.silence_ms = 200;
    g_irc_client_limits.ping_answer_ms = 300;
    g_fake_now = 1700000042;
    connect_registered();
    server_.send_line(":srv 001 n :Welcome");
    EXPECT_EQ(server_.next_line(), "CAP END");

    // Quiet: a PING of ours; any answer keeps the connection.
    EXPECT_EQ(server_.next_line(), "PING :1700000042");
    server_.send_line(":srv PONG srv :1700000042");
    EXPECT_EQ(server_.next_line(), "PING :1700000042");
    EXPECT_EQ(irc_client_is_connected(client()), 1);

    // No answer: lost, and the reconnect policy takes over.
    ASSERT_TRUE(events_.wait_status("Ping timeout: the server stopped answering", 10000));
    EXPECT_EQ(server_.next_line(), std::nullopt);
    EXPECT_EQ(irc_client_seconds_until_reconnect(client()), 5);
}

TEST_F(ClientTest, AServerThatRefusesEveryNickGetsTenTries)
{
    connect_registered();
    int nicks = 0;
    for (;;) {
        server_.send_line(":srv 433 * " + nick() + " :Nickname is already in use");
        const auto line = server_.next_line();
        ASSERT_TRUE(line.has_value());
        if (line->rfind("NICK ", 0) != 0) {
            EXPECT_EQ(*line, "QUIT :No free nick");
            break;
        }
        ASSERT_LE(++nicks, 10);
    }
    EXPECT_EQ(nicks, 10);
    EXPECT_TRUE(events_.wait_status("Nick in use: no free nick found, giving up"));
    EXPECT_EQ(irc_client_is_connected(client()), 0);
}

// A server that accepts and closes at once: each TCP connect works, none
// registers, so the attempts run out with growing pauses between them.
TEST_F(ClientTest, OnlyARegistrationResetsTheReconnectAttempts)
{
    connect_registered();
    server_.close_client();
    ASSERT_TRUE(events_.wait_status("Disconnected from server"));
    int expected_pause = 5;
    for (int attempt = 1; attempt <= 3; ++attempt) {
        EXPECT_EQ(irc_client_seconds_until_reconnect(client()), expected_pause) << attempt;
        g_fake_now += expected_pause;
        ASSERT_EQ(irc_client_should_attempt_reconnect(client()), 1);
        ASSERT_EQ(irc_client_reconnect(client()), 0);
        ASSERT_TRUE(server_.accept_client());
        EXPECT_TRUE(events_.wait_status("Reconnect attempt " + std::to_string(attempt) + "/10..."));
        server_.close_client();
        for (int i = 0; i < 500 && irc_client_is_connected(client()) != 0; ++i) {
            poll(nullptr, 0, 10);
        }
        expected_pause *= 2;
    }
    // A connection that registers is the success that starts afresh.
    g_fake_now += expected_pause;
    ASSERT_EQ(irc_client_reconnect(client()), 0);
    ASSERT_TRUE(server_.accept_client());
    server_.send_line(":srv 001 n :Welcome");
    sync();
    server_.close_client();
    for (int i = 0; i < 500 && irc_client_is_connected(client()) != 0; ++i) {
        poll(nullptr, 0, 10);
    }
    EXPECT_EQ(irc_client_seconds_until_reconnect(client()), 5);
    EXPECT_THAT(events_.status(), Contains("Reconnect attempt 4/10..."));
}

// The status callback ends the connection it is being told about: the
// connect fails cleanly, and no thread goes on with what was freed (the
// sanitizer would catch a use after free over TLS).
class DisconnectOnConnected : public ClientTest, public ::testing::WithParamInterface<bool> {};

TEST_P(DisconnectOnConnected, TheConnectFailsAndNothingIsUsedAfterItsRelease)
{
    const bool tls = GetParam();
    script_server tls_server{true};
    script_server &server = tls ? tls_server : server_;
    irc_client_set_tls_verify(client(), 0);
    irc_set_status_callback(client(), [](irc_client *c, const char *text) {
        if (std::string(text).rfind("Connected to ", 0) == 0) {
            irc_client_disconnect(c);
        }
    });
    EXPECT_EQ(irc_client_connect(client(), "127.0.0.1", server.port(), "n", "#c", tls ? 1 : 0), -1);
    ASSERT_TRUE(server.accept_client());
    EXPECT_EQ(irc_client_is_connected(client()), 0);
    EXPECT_FALSE(client()->thread.joinable());
    EXPECT_EQ(irc_send_command(client(), "PRIVMSG #c :after"), -1);
    // The server sees the goodbye and the close, nothing more.
    EXPECT_EQ(server.next_line(), "QUIT :Disconnecting");
    EXPECT_EQ(server.next_line(), std::nullopt);

    // The client is fit for another connect.
    events_.attach(client());
    script_server again;
    ASSERT_EQ(irc_client_connect(client(), "127.0.0.1", again.port(), "n", "#c", 0), 0);
    ASSERT_TRUE(again.accept_client());
    EXPECT_EQ(again.next_line(), "CAP LS 302");
}

INSTANTIATE_TEST_SUITE_P(Transports, DisconnectOnConnected, ::testing::Values(false, true),
                         [](const auto &test) { return std::string(test.param ? "Tls" : "Plain"); });

} // namespace
