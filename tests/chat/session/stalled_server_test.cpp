// A server that stops reading what the session sends: the session never
// waits for it while holding the lock, and drops it with a line that says so.
#include <string>

#include "tests/chat/session/session_fixture.h"
#include "tests/support/ping_flood.h"

namespace {

constexpr const char *STALLED_ROW = "*|Server stopped reading what we send \xe2\x80\x94 disconnected";

class StalledServer : public SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        server_.shrink_receive_buffer();
        // Lines reach the socket at once: what is under test is the queue
        // behind it, not the pace before it.
        g_send_pace.interval_ms = 0;
    }
    void TearDown() override
    {
        SessionTest::TearDown();
        g_irc_send_stall_ms = saved_stall_ms_;
        g_send_pace = saved_pace_;
    }

    bool shows_stalled()
    {
        return wait_until(
            [](irc_session *x) {
                for (int i = 0; i < irc_line_count(x); ++i) {
                    const chat_line *l = irc_line_at(x, i);
                    if (std::string(l->sender) + "|" + l->text == STALLED_ROW) {
                        return x->connected == 0;
                    }
                }
                return false;
            },
            20000);
    }

    const int saved_stall_ms_ = g_irc_send_stall_ms;
    const send_pace saved_pace_ = g_send_pace;
};

TEST_F(StalledServer, FloodingPingsWithoutReadingThePongsGetsItDropped)
{
    connect_registered();
    {
        testsupport::ping_flood flood(server_.client_fd());
        ASSERT_TRUE(shows_stalled()) << last_row();
    }
    EXPECT_EQ(last_row(), "*|Disconnected from server");
    EXPECT_EQ(irc_handle_command(s(), "still there?"), -1);
    // The server sees the connection end once it reads again.
    while (server_.next_line(5000).has_value()) {
    }
    irc_disconnect(s(), "Bye");
    EXPECT_EQ(s()->socket, -1);
}

TEST_F(StalledServer, LinesLeftWaitingInTheQueueTooLongGetItDropped)
{
    g_irc_send_stall_ms = 300;
    connect_registered();
    // Keeps a quarter of the queue waiting (never near full), topping it up
    // while the kernel still takes bytes; the server sends nothing, so only
    // the time limit can end the connection.
    const std::string text = "PRIVMSG #c :" + std::string(1000, 'x');
    bool ended = false;
    for (int round = 0; round < 4000 && !ended; ++round) {
        for (;;) {
            {
                const auto guard = irc_lock(s());
                ended = s()->connected == 0;
                if (ended || s()->send_length >= SEND_QUEUE_SIZE / 4) {
                    break;
                }
            }
            irc_send_raw(s(), text.c_str());
        }
        poll(nullptr, 0, 5);
    }
    EXPECT_TRUE(shows_stalled()) << last_row();
}

TEST_F(StalledServer, QueuedLinesGoOutWhenTheServerReadsAgain)
{
    connect_registered();
    const std::string text = "PRIVMSG #c :" + std::string(1000, 'x');
    int sent = 0;
    for (bool queued = false; sent < 100000 && !queued; ++sent) {
        ASSERT_EQ(irc_send_raw(s(), (std::to_string(sent) + text).c_str()), 0);
        const auto guard = irc_lock(s());
        queued = s()->send_length > 0;
    }
    ASSERT_EQ(irc_send_raw(s(), "last"), 0);
    for (int i = 0; i < sent; ++i) {
        const auto line = server_.next_line(10000);
        ASSERT_TRUE(line.has_value()) << "line " << i;
        ASSERT_EQ(*line, std::to_string(i) + text);
    }
    EXPECT_EQ(server_.next_line(10000), "last");
}

} // namespace
