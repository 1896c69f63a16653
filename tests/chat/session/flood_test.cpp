// Both threads at full speed: the network thread takes a flood of messages
// while the interface thread sends commands and reads the scrollback. Run
// under ThreadSanitizer this shows every shared access is locked.
#include <string>
#include <thread>

#include "tests/chat/session/session_fixture.h"

namespace {

constexpr int FLOOD_LINES = 20000;
constexpr int COMMANDS = 300;

TEST_F(SessionTest, FloodWhileTheInterfaceSendsAndReads)
{
    connect_registered("n", "#c");
    std::thread flood([this] {
        std::string block;
        for (int i = 0; i < FLOOD_LINES; ++i) {
            block += ":bob!b@h PRIVMSG #c :flood line " + std::to_string(i) + "\r\n";
            if (i % 20 == 0) {
                block += ":srv 353 n = #c :@bob +carol dave\r\n:srv 366 n #c :End\r\n";
            }
            if (block.size() > 16384) {
                server_.send_raw(block);
                block.clear();
            }
        }
        server_.send_raw(block);
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

    // Every typed line reached the wire whole and in order.
    const auto before = server_.lines_before_pong("done", 10000);
    ASSERT_TRUE(before.has_value());
    std::string expected;
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

} // namespace
