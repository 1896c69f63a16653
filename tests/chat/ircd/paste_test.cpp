// A caller's paste on a server with a network's flood limits (InspIRCd with
// fake lag off and a command rate as networks set it): paced, every line
// arrives in order and the caller stays; unpaced, the server closes the
// caller, which is what the pace is for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/chat/ircd/live_session.h"
#include "tests/support/ircd_server.h"

namespace {

constexpr int PASTE_LINES = 50;

std::string pasted(int i)
{
    const std::string head = "paste " + std::to_string(i) + " ";
    return head + std::string(300 - head.size(), 'p');
}

class Paste : public ::testing::TestWithParam<bool> {
protected:
    void TearDown() override { g_send_pace = saved_; }
    send_pace saved_ = g_send_pace;
};

TEST_P(Paste, OnAServerThatClosesFloodingClients)
{
    const bool paced = GetParam();
    // Ten commands a second allowed, the usual limits sped up tenfold
    // together with the pace (with room for a busy machine) so the test
    // takes seconds, not minutes.
    flood_ircd_server server(10000, 20, 8192);
    ASSERT_TRUE(server.ready()) << server.dir();
    g_send_pace = {5, paced ? 250 : 0};

    live_session reader;
    live_session caller;
    ASSERT_EQ(irc_connect_server(reader.get(), "127.0.0.1", server.port(), "reader", "#paste", 0, ""), 0);
    ASSERT_TRUE(reader.wait_user("reader", 15000));
    ASSERT_EQ(irc_connect_server(caller.get(), "127.0.0.1", server.port(), "caller", "#paste", 0, ""), 0);
    ASSERT_TRUE(caller.wait_user("caller", 15000));
    ASSERT_TRUE(reader.wait_user("caller", 15000));

    for (int i = 0; i < PASTE_LINES; ++i) {
        irc_handle_command(caller.get(), pasted(i).c_str());
    }
    const auto shown = [](live_session &x) {
        std::string rows;
        for (const std::string &row : x.rows()) {
            rows += row + "\n";
        }
        return rows;
    };

    if (!paced) {
        EXPECT_TRUE(caller.wait_row("*|Disconnected from server", 15000));
        const std::string rows = shown(caller);
        EXPECT_TRUE(rows.find("RecvQ exceeded") != std::string::npos || rows.find("Excess Flood") != std::string::npos)
            << rows;
        return;
    }
    ASSERT_TRUE(reader.wait_row("caller|" + pasted(PASTE_LINES - 1), 60000)) << shown(caller);
    std::vector<std::string> got;
    for (const std::string &row : reader.rows()) {
        if (row.rfind("caller|paste ", 0) == 0) {
            got.push_back(row.substr(7));
        }
    }
    ASSERT_EQ(got.size(), static_cast<std::size_t>(PASTE_LINES));
    for (int i = 0; i < PASTE_LINES; ++i) {
        EXPECT_EQ(got[static_cast<std::size_t>(i)], pasted(i));
    }
    const auto guard = irc_lock(caller.get());
    EXPECT_EQ(caller.get()->connected, 1);
    EXPECT_EQ(pacer_waiting(&caller.get()->pacer), 0);
}

INSTANTIATE_TEST_SUITE_P(Pace, Paste, ::testing::Values(true, false),
                         [](const auto &test) { return std::string(test.param ? "Paced" : "Unpaced"); });

} // namespace
