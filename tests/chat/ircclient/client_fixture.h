// An irc_client connected to a scripted server, its callbacks recorded, and
// its clock under the test's control.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <initializer_list>
#include <memory>
#include <string>

#include "chat/ircclient/irc_client.h"
#include "tests/chat/ircclient/client_events.h"
#include "tests/chat/session/script_checks.h"
#include "tests/chat/session/script_server.h"

inline constexpr const char *USER_LINE_TAIL = " 0 * :Vexon IRC Client 3.1";

// The clock the client reads while a test holds it.
inline std::atomic<std::int64_t> g_fake_now{1700000000};

class ClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_irc_client_clock = [] { return g_fake_now.load(); };
        events_.attach(client());
    }
    void TearDown() override
    {
        client_.reset();
        g_irc_client_clock = saved_clock_;
        g_send_pace = saved_pace_;
        g_irc_client_limits = saved_limits_;
    }

    irc_client *client() { return client_.get(); }

    // Connects and accepts; the registration lines stay unread.
    void connect(const char *nick = "n", const char *channel = "#c")
    {
        ASSERT_EQ(irc_client_connect(client(), "127.0.0.1", server_.port(), nick, channel, 0), 0);
        ASSERT_TRUE(server_.accept_client());
    }

    // Connects and reads the three registration lines.
    void connect_registered(const char *nick = "n", const char *channel = "#c")
    {
        connect(nick, channel);
        expect_sent({"CAP LS 302", std::string("NICK ") + nick, std::string("USER ") + nick + USER_LINE_TAIL});
    }

    void expect_sent(std::initializer_list<std::string> lines) { ::expect_sent(server_, lines); }

    // The lines the client sent in reply to what came before a PING.
    std::string sync() { return sync_lines(server_); }

    std::string nick()
    {
        char out[64];
        irc_client_get_nick(client(), out, sizeof out);
        return out;
    }

    std::int64_t (*saved_clock_)() = g_irc_client_clock;
    send_pace saved_pace_ = g_send_pace;
    irc_client_limits saved_limits_ = g_irc_client_limits;
    script_server server_;
    client_events events_;
    std::unique_ptr<irc_client, void (*)(irc_client *)> client_{irc_client_create(), irc_client_destroy};
};
