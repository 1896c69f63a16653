// The scrollback ring, sending limits, connecting and disconnecting.
#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/chat/session/session_fixture.h"

namespace {

using clock_type = std::chrono::steady_clock;

// A TCP socket bound to a free loopback port; its address in *addr.
int bound_loopback_socket(sockaddr_in *addr)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    *addr = sockaddr_in{};
    addr->sin_family = AF_INET;
    addr->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof *addr;
    if (bind(fd, reinterpret_cast<sockaddr *>(addr), sizeof *addr) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr *>(addr), &len) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

TEST_F(SessionTest, ScrollbackKeepsTheNewest1200InOrder)
{
    for (int i = 1; i <= 1201; ++i) {
        irc_add_line(s(), "bob", std::to_string(i).c_str(), LINE_USER);
    }
    const auto rows = scrollback();
    ASSERT_EQ(rows.size(), 1200u);
    EXPECT_EQ(rows.front(), "bob|2");
    EXPECT_EQ(rows.back(), "bob|1201");
    const auto guard = irc_lock(s());
    EXPECT_EQ(irc_line_at(s(), 1200), nullptr);
    EXPECT_EQ(irc_line_at(s(), -1), nullptr);
    EXPECT_EQ(s()->lines_dirty, 1);
}

TEST_F(SessionTest, AddLineCutsAndTimestamps)
{
    const std::string long_sender(100, 's');
    const std::string long_text(1000, 't');
    const auto before = std::time(nullptr);
    irc_add_line(s(), long_sender.c_str(), long_text.c_str(), LINE_SYSTEM);
    irc_add_line(s(), nullptr, nullptr, LINE_USER);
    const auto guard = irc_lock(s());
    const chat_line *first = irc_line_at(s(), 0);
    EXPECT_EQ(std::string(first->sender), long_sender.substr(0, 63));
    EXPECT_EQ(std::string(first->text), long_text.substr(0, 767));
    EXPECT_GE(first->time, before);
    EXPECT_EQ(first->kind, LINE_SYSTEM);
    EXPECT_STREQ(irc_line_at(s(), 1)->text, "");
}

TEST_F(SessionTest, LongSendIsCutTo1022Bytes)
{
    connect_registered();
    const std::string text(2000, 'x');
    EXPECT_EQ(irc_send_raw(s(), text.c_str()), 0);
    EXPECT_EQ(server_.next_line(), std::string(1022, 'x'));
}

TEST_F(SessionTest, DisconnectWhenNeverConnectedDoesNothing)
{
    irc_disconnect(s(), "Bye");
    EXPECT_EQ(s()->socket, -1);
    EXPECT_TRUE(scrollback().empty());
    EXPECT_EQ(irc_send_raw(s(), "PING x"), -1);
}

TEST_F(SessionTest, DisconnectSendsQuitAndStopsTheThread)
{
    connect_registered();
    irc_disconnect(s(), "Bye");
    EXPECT_EQ(server_.next_line(), "QUIT :Bye");
    EXPECT_FALSE(server_.next_line(500).has_value());   // then the connection closes
    EXPECT_EQ(s()->socket, -1);
    EXPECT_EQ(s()->connected, 0);
    EXPECT_FALSE(s()->thread.joinable());
    EXPECT_EQ(last_row(), "*|Disconnected from server");
}

TEST_F(SessionTest, SecondConnectLeavesTheFirstWithLeaving)
{
    connect_registered("n", "#c");
    const int first = server_.client_fd();
    ASSERT_EQ(irc_connect_server(s(), "127.0.0.1", server_.port(), "m", "", 0, nullptr), 0);
    char buf[64] = {};
    ASSERT_GT(recv(first, buf, sizeof buf - 1, 0), 0);
    EXPECT_STREQ(buf, "QUIT :Leaving\r\n");
    ASSERT_TRUE(server_.accept_client());
    expect_sent({"CAP LS 302", "NICK m", "USER m 0 * :Vexon IRC Client"});
}

TEST_F(SessionTest, ConnectToAClosedPortFails)
{
    // A bound socket that does not listen keeps the port refused.
    sockaddr_in a{};
    const int holder = bound_loopback_socket(&a);
    ASSERT_GE(holder, 0);
    const int closed = ntohs(a.sin_port);

    const auto start = clock_type::now();
    EXPECT_EQ(irc_connect_server(s(), "127.0.0.1", closed, "n", "#c", 0, ""), -1);
    EXPECT_LT(clock_type::now() - start, std::chrono::seconds(5));   // refused at once; the margin is for load
    const auto rows = scrollback();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], "*|Connection failed");
    EXPECT_EQ(rows[1], "*|Cannot connect to 127.0.0.1:" + std::to_string(closed));
    EXPECT_EQ(s()->socket, -1);
    EXPECT_EQ(s()->connected, 0);
    close(holder);
}

TEST_F(SessionTest, ConnectToAPeerThatNeverAnswersIsBounded)
{
    // A listener with a full accept queue drops further connection requests,
    // so this connect would wait for the kernel's retries to give up.
    sockaddr_in a{};
    const int listener = bound_loopback_socket(&a);
    ASSERT_GE(listener, 0);
    ASSERT_EQ(listen(listener, 0), 0);
    int fillers[4];
    for (int &f : fillers) {
        f = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ::connect(f, reinterpret_cast<sockaddr *>(&a), sizeof a);
    }
    poll(nullptr, 0, 50);

    const int saved = g_irc_connect_timeout_ms;
    g_irc_connect_timeout_ms = 300;
    const auto start = clock_type::now();
    const int rc = irc_connect_server(s(), "127.0.0.1", ntohs(a.sin_port), "n", "#c", 0, "");
    const auto took = clock_type::now() - start;
    g_irc_connect_timeout_ms = saved;

    EXPECT_EQ(rc, -1);
    EXPECT_GE(took, std::chrono::milliseconds(250));
    EXPECT_LT(took, std::chrono::seconds(5));   // far below the kernel's own retries
    EXPECT_EQ(last_row(), "*|Connecting to 127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + " timed out");
    for (int f : fillers) {
        close(f);
    }
    close(listener);
}

TEST_F(SessionTest, ACancelledConnectStopsWaiting)
{
    // The scripted server accepts but speaks no TLS: without the cancel the
    // handshake would wait out the whole time limit.
    const int saved = g_irc_connect_timeout_ms;
    g_irc_connect_timeout_ms = 60000;
    g_irc_connect_cancel = [] { return true; };
    const int rc = irc_connect_server(s(), "127.0.0.1", server_.port(), "n", "#c", 1, "");
    g_irc_connect_cancel = nullptr;
    g_irc_connect_timeout_ms = saved;
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(last_row(), "*|Connecting to 127.0.0.1:" + std::to_string(server_.port()) + " was cancelled");
}

} // namespace
