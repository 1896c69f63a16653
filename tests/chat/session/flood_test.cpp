// Both threads at full speed: the network thread takes a flood of messages
// while the interface thread sends commands and reads the scrollback, over
// plain TCP and over TLS (where one SSL object serves both directions). Run
// under ThreadSanitizer this shows every shared access is locked.
#include <cstdlib>
#include <optional>
#include <sys/ioctl.h>
#include <string>
#include <thread>

#include "tests/chat/session/session_fixture.h"

namespace {

constexpr int FLOOD_LINES = 20000;
constexpr int COMMANDS = 300;

std::string flood_block(int from, int to)
{
    std::string block;
    for (int i = from; i < to; ++i) {
        block += ":bob!b@h PRIVMSG #c :flood line " + std::to_string(i) + "\r\n";
        if (i % 20 == 0) {
            block += ":srv 353 n = #c :@bob +carol dave\r\n:srv 366 n #c :End\r\n";
        }
    }
    return block;
}

class Flood : public SessionTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        g_send_pace.interval_ms = 0;   // both threads at full speed, the typed lines too
    }
    void TearDown() override
    {
        SessionTest::TearDown();
        unsetenv("IRCDOOR_CA_FILE");
        g_send_pace = saved_pace_;
    }
    const send_pace saved_pace_ = g_send_pace;

    // The peer for this run: the fixture's plain server, or a TLS one.
    script_server &peer()
    {
        if (!GetParam()) {
            return server_;
        }
        if (!tls_server_) {
            tls_server_.emplace(true);
        }
        return *tls_server_;
    }

    std::optional<script_server> tls_server_;
};

TEST_P(Flood, WhileTheInterfaceSendsAndReads)
{
    script_server &server = peer();
    setenv("IRCDOOR_CA_FILE", server.cert_file().c_str(), 1);
    ASSERT_EQ(irc_connect_server(s(), "127.0.0.1", server.port(), "n", "#c", GetParam() ? 1 : 0, ""), 0);
    ASSERT_TRUE(server.accept_client());
    mark_registered();
    std::thread flood([&server] {
        for (int i = 0; i < FLOOD_LINES; i += 200) {
            server.send_raw(flood_block(i, i + 200));
        }
    });

    int sent = 0;
    std::size_t longest = 0;
    for (int i = 0; i < COMMANDS; ++i) {
        sent += irc_handle_command(s(), ("typed " + std::to_string(i)).c_str()) == 0 ? 1 : 0;
        const auto guard = irc_lock(s());
        const int count = irc_line_count(s());
        for (int at = 0; at < count; at += 97) {
            longest = std::max(longest, std::strlen(irc_line_at(s(), at)->text));
        }
        s()->lines_dirty = 0;
        s()->users_dirty = 0;
    }
    flood.join();

    // Every typed line reached the wire whole and in order, after registration.
    const auto before = server.lines_before_pong("done", 10000);
    ASSERT_TRUE(before.has_value());
    std::string expected = "CAP LS 302\nNICK n\nUSER n 0 * :Vexon IRC Client\n";
    for (int i = 0; i < COMMANDS; ++i) {
        expected += "PRIVMSG #c :typed " + std::to_string(i) + "\n";
    }
    EXPECT_EQ(sent, COMMANDS);
    EXPECT_EQ(*before, expected);
    EXPECT_LE(longest, 767u);

    const auto rows = scrollback();
    ASSERT_EQ(rows.size(), 1200u);
    // The typed lines may interleave with the flood's tail.
    const std::string last = "bob|flood line " + std::to_string(FLOOD_LINES - 1);
    EXPECT_NE(std::find(rows.end() - COMMANDS - 1, rows.end(), last), rows.end());
    EXPECT_EQ(users().size(), 3u);
}

// A thread that asks for the lock while a flood waits to be read gets it
// after at most one round of the network thread, not when the flood is over:
// the request is made while the test holds the lock with the flood queued in
// the socket, so the verdict does not depend on how the threads are scheduled.
TEST_F(SessionTest, ALockRequestDuringAFloodIsGrantedWithinOneRound)
{
    constexpr int LINES = 50000;   // about 1.7 MB, far more than one round reads
    connect_registered("n", "#c");
    const std::string last = "bob|flood line " + std::to_string(LINES - 1);
    auto held = irc_lock(s());
    std::thread flood([this] { server_.send_raw(flood_block(0, LINES)); });

    // Wait (bounded) until more than one round of the flood is waiting.
    int waiting = 0;
    for (int i = 0; i < 10000 && waiting <= 32768; ++i) {
        ioctl(s()->socket, FIONREAD, &waiting);
        poll(nullptr, 0, 1);
    }
    EXPECT_GT(waiting, 32768);

    std::string newest_when_granted;
    std::thread interface([&] {
        const auto guard = irc_lock(s());
        const int count = irc_line_count(s());
        const chat_line *l = irc_line_at(s(), count - 1);
        newest_when_granted = l != nullptr ? std::string(l->sender) + "|" + l->text : "";
    });
    for (int i = 0; i < 10000 && s()->lock_waiters.load() == 0; ++i) {
        poll(nullptr, 0, 1);
    }
    ASSERT_EQ(s()->lock_waiters.load(), 1);
    held.unlock();
    interface.join();
    EXPECT_NE(newest_when_granted, last);

    // The flood then goes on to its end.
    EXPECT_TRUE(wait_until(
        [&](irc_session *x) {
            const chat_line *l = irc_line_at(x, irc_line_count(x) - 1);
            return l != nullptr && std::string(l->sender) + "|" + l->text == last;
        },
        30000));
    flood.join();
}

INSTANTIATE_TEST_SUITE_P(Transport, Flood, ::testing::Bool(),
                         [](const auto &param_info) { return param_info.param ? "Tls" : "Plain"; });

} // namespace
