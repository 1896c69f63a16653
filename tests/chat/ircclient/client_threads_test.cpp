// Host threads sending while the listening thread reads a flood over TLS:
// every call on the TLS session is serialised, so nothing is lost or torn
// (and ThreadSanitizer sees no race).
#include <set>
#include <thread>

#include "tests/chat/ircclient/client_fixture.h"

namespace {

constexpr int FLOOD_LINES = 3000;
constexpr int SENDS_PER_THREAD = 300;

TEST_F(ClientTest, TwoSendersAndAFloodOverTls)
{
    // At full speed: the pace would only make the test slow.
    g_send_pace.interval_ms = 0;
    script_server tls{true};
    irc_client_set_tls_verify(client(), 0);
    ASSERT_EQ(irc_client_connect(client(), "127.0.0.1", tls.port(), "n", "#c", 1), 0);
    ASSERT_TRUE(tls.accept_client());

    std::string flood;
    for (int i = 0; i < FLOOD_LINES; ++i) {
        flood += ":bob!b@h PRIVMSG #c :flood line " + std::to_string(i) + " " + std::string(60, 'x') + "\r\n";
    }
    auto sender = [&](const char *who) {
        for (int i = 0; i < SENDS_PER_THREAD; ++i) {
            irc_send_message(client(), "#c", (std::string(who) + " " + std::to_string(i)).c_str());
        }
    };
    std::thread first(sender, "first");
    std::thread second(sender, "second");
    tls.send_raw(flood);

    // Every line the two threads sent arrives whole and once.
    std::set<std::string> got;
    while (got.size() < 2 * SENDS_PER_THREAD) {
        const auto line = tls.next_line(10000);
        ASSERT_TRUE(line.has_value()) << got.size() << " lines arrived";
        if (line->rfind("PRIVMSG #c :", 0) == 0) {
            EXPECT_TRUE(got.insert(line->substr(12)).second) << *line;
        }
    }
    first.join();
    second.join();
    for (int i = 0; i < SENDS_PER_THREAD; ++i) {
        EXPECT_EQ(got.count("first " + std::to_string(i)), 1u);
        EXPECT_EQ(got.count("second " + std::to_string(i)), 1u);
    }
    // And the whole flood was read, in order.
    tls.send_line(":bob!b@h PRIVMSG #c :end");
    ASSERT_TRUE(events_.wait_message("#c|bob|end", 20000));
    const auto messages = events_.messages();
    ASSERT_EQ(messages.size(), static_cast<std::size_t>(FLOOD_LINES + 1));
    EXPECT_EQ(messages[1234], "#c|bob|flood line 1234 " + std::string(60, 'x'));
}

} // namespace
