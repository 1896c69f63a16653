// ircdoor as a door on the caller's telnet socket, against a real IRC server:
// the caller dials the door launcher with the telnet program, chats with a
// second user in code page 437, and hangs up.
#include "tests/e2e/chat_line_server.h"
#include "tests/support/door_call.h"
#include "tests/support/ircd_server.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

namespace {

using namespace std::chrono_literals;
using chat_e2e::irc_client;

TEST(chat_ircd_telnet, CallerChatsInCodePage437AndHangsUp)
{
    ngircd_server server;
    ASSERT_TRUE(server.ready());
    testsupport::temp_dir home;
    testsupport::write_file(home.file(".vexon_irc_bookmarks"),
                            "Local|127.0.0.1|" + std::to_string(server.port()) + "|Ada|#test|0|\n");
    testsupport::door_launcher board({DOOR_LAUNCHER_PATH, "--door", IRCDOOR_PATH, "--dir", home.path(), "--port", "0",
                                      "--user", "Ada"},
                                     {{"HOME", home.path()}});
    auto caller = testsupport::telnet_caller(board.port(), 80, 24);
    const auto shows = [&](std::string_view text) { return caller->wait_for_text(text); };

    ASSERT_TRUE(shows("1. Local")) << caller->screen().dump();
    caller->send("pl");  // the first saved server into the form
    ASSERT_TRUE(shows("127.0.0.1")) << caller->screen().dump();
    caller->send("c");
    ASSERT_TRUE(shows("Ada has joined #test")) << caller->screen().dump();
    // The welcome is above the server's greeting: scrolled up to, and back.
    caller->send("\x1b[5~\x1b[5~\x1b[5~\x1b[5~\x1b[5~\x1b[5~");
    ASSERT_TRUE(shows("Connected to 127.0.0.1:" + std::to_string(server.port()) + " as Ada"))
        << caller->screen().dump();
    caller->send("\x1b[6~\x1b[6~\x1b[6~\x1b[6~\x1b[6~\x1b[6~");
    ASSERT_TRUE(shows("Ada has joined #test")) << caller->screen().dump();
    EXPECT_EQ(caller->screen().cell(0, 1).ch, U'\u2554') << caller->screen().dump();

    irc_client bob(server.port(), "bob", "#test");
    ASSERT_TRUE(bob.ready());
    bob.send("PRIVMSG #test :gr\u00fc\u00df dich, caf\u00e9 \u20ac" "5");
    EXPECT_TRUE(shows("<bob> gr\u00fc\u00df dich, caf\u00e9 ?5")) << caller->screen().dump();

    caller->send("hi bob\r");
    EXPECT_TRUE(bob.wait_line("PRIVMSG #test :hi bob", 5000ms, false));
    EXPECT_TRUE(shows("<Ada> hi bob")) << caller->screen().dump();

    // The caller drops the line: telnet closes the socket, the door says
    // goodbye to the server once and ends.
    const auto hung_up = std::chrono::steady_clock::now();
    caller->hang_up();
    const auto ended = board.wait_line("ended", 5s);
    ASSERT_TRUE(ended);
    EXPECT_LT(std::chrono::steady_clock::now() - hung_up, 2s) << "a second for the door, a little for telnet";
    EXPECT_NE(ended->find("with status 0"), std::string::npos) << *ended;
    ASSERT_TRUE(bob.wait_line(" QUIT :", 5000ms, false));
    const auto& lines = bob.lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find(" QUIT :") != std::string::npos; }),
              1);
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
        return l.rfind(":Ada!", 0) == 0 && l.find(" QUIT :") != std::string::npos && l.find("Bye") != std::string::npos;
    }));
}

}  // namespace
