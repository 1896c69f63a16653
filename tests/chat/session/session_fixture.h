// A session connected to a scripted server, with helpers to look at what
// the network thread did.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <poll.h>
#include <string>
#include <vector>

#include "chat/session/irc_session.h"
#include "tests/chat/session/script_checks.h"
#include "tests/chat/session/script_server.h"
#include "tests/chat/session/session_view.h"

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override { irc_init(s()); }
    void TearDown() override { irc_disconnect(s(), nullptr); }

    irc_session *s() { return session_.get(); }

    // Connects and accepts; the registration lines stay unread.
    void connect(const char *nick = "n", const char *channel = "#c", const char *password = "")
    {
        ASSERT_EQ(irc_connect_server(s(), "127.0.0.1", server_.port(), nick, channel, 0, password), 0);
        ASSERT_TRUE(server_.accept_client());
    }

    // Connects without a password and reads the three registration lines.
    void connect_registered(const char *nick = "n", const char *channel = "#c")
    {
        connect(nick, channel);
        expect_sent({"CAP LS 302", std::string("NICK ") + nick, std::string("USER ") + nick + " 0 * :Vexon IRC Client"});
    }

    // As if the server's welcome had come, without its replies: typed lines
    // go out at once instead of waiting for it.
    void mark_registered()
    {
        const auto guard = irc_lock(s());
        s()->registered = 1;
    }

    void expect_sent(std::initializer_list<std::string> lines) { ::expect_sent(server_, lines); }

    // Lines the client sent before answering a PING: everything it did in
    // reply to what came before.
    std::string sync() { return sync_lines(server_); }

    // The scrollback as "sender|text" rows, oldest first.
    std::vector<std::string> scrollback() { return session_rows(s()); }

    std::string last_row()
    {
        const auto rows = scrollback();
        return rows.empty() ? "" : rows.back();
    }

    // Waits (bounded) until pred holds with the lock taken.
    bool wait_until(const std::function<bool(irc_session *)> &pred, int timeout_ms = 10000)
    {
        for (int waited = 0; waited <= timeout_ms; waited += 5) {
            {
                const auto guard = irc_lock(s());
                if (pred(s())) {
                    return true;
                }
            }
            poll(nullptr, 0, 5);
        }
        return false;
    }

    std::vector<std::string> users() { return session_users(s()); }

    std::unique_ptr<irc_session> session_ = std::make_unique<irc_session>();
    script_server server_;
};
