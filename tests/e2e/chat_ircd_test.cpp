// ircdoor against a real IRC server (ngIRCd on loopback) with a second user:
// connecting from the form, the welcome, the nick list, messages both ways,
// slash commands, scrolling, the nick list toggle, leaving and quitting, and
// a hostile message that must show as text.
#include "tests/e2e/chat_e2e.h"
#include "tests/e2e/chat_line_server.h"
#include "tests/support/ircd_server.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <string>

namespace {

using namespace chat_e2e;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr int NICK_COLUMN = 59;
constexpr int STATUS_ROW = 21;

class RealServer : public ::testing::Test {
protected:
    ngircd_server server;
    std::unique_ptr<ircdoor_run> run;
    std::unique_ptr<irc_client> bob;

    void SetUp() override
    {
        ASSERT_TRUE(server.ready());
        run = ircdoor_run::after([&](const testsupport::temp_dir& d) {
            testsupport::write_file(config_path(d),
                                    "Local|127.0.0.1|" + std::to_string(server.port()) + "|alice|#test|0|\n");
        });
        ASSERT_TRUE(run->wait_for("ADDRESS BOOK")) << run->screen().dump();
        run->send("c");
        ASSERT_TRUE(run->wait_for("alice has joined #test")) << "own join shown" << run->screen().dump();
        // The welcome is above the server's greeting: scrolled up to, and back.
        run->send("\x1b[5~\x1b[5~\x1b[5~\x1b[5~\x1b[5~\x1b[5~");
        ASSERT_TRUE(run->wait_for("Connected to 127.0.0.1:" + std::to_string(server.port()) + " as alice"))
            << run->screen().dump();
        run->send("\x1b[6~\x1b[6~\x1b[6~\x1b[6~\x1b[6~\x1b[6~");
        ASSERT_TRUE(run->wait_for("alice has joined #test")) << run->screen().dump();
        bob = std::make_unique<irc_client>(server.port(), "bob", "#test");
        ASSERT_TRUE(bob->ready());
        ASSERT_TRUE(run->wait_until([&] { return listed("alice") && listed("bob"); })) << run->screen().dump();
    }

    vt::vt_screen& screen() { return run->screen(); }
    std::string nick_at(int index)
    {
        std::string s = screen().text_at(NICK_COLUMN, 2 + index, 17);
        s.erase(s.find_last_not_of(' ') + 1);
        return s;
    }
    // The nick list shows nick, with or without a channel-mode symbol.
    bool listed(const std::string& nick)
    {
        for (int i = 0; i < 18; ++i) {
            const std::string shown = nick_at(i);
            if (shown == nick || (!shown.empty() && std::string_view("@%+").find(shown[0]) != std::string::npos &&
                                  shown.substr(1) == nick)) {
                return true;
            }
        }
        return false;
    }
    bool bob_sees(std::string_view text) { return bob->wait_line(text, 5000ms, false); }
};

TEST_F(RealServer, MessagesBothWaysAndSlashCommands)
{
    EXPECT_THAT(run->row(0), StartsWith(" Vexon IRC Client 6.0 \u2551 Chat View"));
    bob->send("PRIVMSG #test :hello from bob");
    EXPECT_TRUE(run->wait_for("<bob> hello from bob")) << screen().dump();

    run->send("hi bob\r");
    EXPECT_TRUE(bob_sees("PRIVMSG #test :hi bob"));
    EXPECT_TRUE(run->wait_for("<alice> hi bob"));

    run->send("/msg bob psst\r");
    EXPECT_TRUE(bob_sees("PRIVMSG bob :psst"));

    run->send("/nick alice2\r");
    EXPECT_TRUE(bob_sees("NICK :alice2"));
    EXPECT_TRUE(run->wait_until([&] { return run->row(STATUS_ROW).find("@alice2 ") != std::string::npos; }));

    run->send("/join #other\r");
    EXPECT_TRUE(run->wait_for("alice2 has joined #other")) << screen().dump();
    EXPECT_TRUE(run->wait_until([&] { return run->row(STATUS_ROW).find("\u2551 #other \u2551") != std::string::npos; }));

    run->send("/quit\r");
    EXPECT_EQ(run->process->wait_exit(10000ms), 0);
    ASSERT_TRUE(bob_sees(" QUIT :"));
    const auto& lines = bob->lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find(" QUIT :") != std::string::npos; }),
              1);
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find("alice2!") == 1 && l.find("Bye") != std::string::npos; }));
}

TEST_F(RealServer, ScrollToggleNickListAndLeaveConnected)
{
    for (int i = 1; i <= 30; ++i) {
        bob->send("PRIVMSG #test :number " + std::to_string(100 + i));
    }
    ASSERT_TRUE(run->wait_for("number 130")) << screen().dump();
    EXPECT_FALSE(screen().contains("number 101"));
    run->send("\x1b[5~\x1b[5~\x1b[5~");
    ASSERT_TRUE(run->wait_for("number 101")) << screen().dump();
    EXPECT_FALSE(screen().contains("number 130"));
    run->send("\x1b[6~\x1b[6~\x1b[6~");
    ASSERT_TRUE(run->wait_for("number 130"));

    run->send("\t");
    ASSERT_TRUE(run->wait_until([&] { return !listed("bob"); })) << screen().dump();
    run->send("\t");
    ASSERT_TRUE(run->wait_until([&] { return listed("bob"); })) << screen().dump();

    run->send("\x1b");
    ASSERT_TRUE(run->wait_for("Startup Manager"));
    EXPECT_TRUE(run->row_shows(STATUS_ROW, "CONNECTED")) << screen().dump();
    bob->send("PRIVMSG alice :are you there");
    bob->send("WHOIS alice");
    EXPECT_TRUE(bob->wait_line(" 311 bob alice ", 5000ms, false)) << "alice is still on the server";
}

TEST_F(RealServer, HostileMessageShowsAsTextAndLeavesTheScreenAlone)
{
    const std::string before_title = run->row(0);
    const std::string before_status = run->row(STATUS_ROW);
    bob->send("PRIVMSG #test :X\x1b[2J\x1b[H\x1b[?25h\x1b[?1049l\x1b]0;owned\x07\x1b[31mY\x08\x08\x7f\xc2\x9b" "1mZ");
    bob->send("PRIVMSG #test :after");
    ASSERT_TRUE(run->wait_for("<bob> after")) << screen().dump();
    EXPECT_TRUE(screen().contains("X\u241b[2J\u241b[H\u241b[?25h\u241b[?10")) << screen().dump();
    EXPECT_TRUE(screen().contains("mY\u2408\u2408\u2421\ufffd1mZ")) << screen().dump();
    EXPECT_EQ(run->row(0), before_title);
    EXPECT_EQ(run->row(STATUS_ROW), before_status);
    EXPECT_TRUE(listed("bob"));
    EXPECT_TRUE(screen().alt_screen());
    EXPECT_EQ(screen().cursor_y(), 22) << "the cursor stays on the input line";
    const int row = screen().find_row("<bob> X");
    ASSERT_GE(row, 0);
    EXPECT_EQ(screen().cell(20, row).fg, -1) << "no colour leaked from the message";
}

TEST_F(RealServer, IrcFormattingIsRendered)
{
    bob->send("PRIVMSG #test :\x02loud\x02 \x03" "04red\x03 plain");
    ASSERT_TRUE(run->wait_for("<bob> loud red plain")) << screen().dump();
    const int row = screen().find_row("<bob> loud");
    const int x = static_cast<int>(screen().row_text(row).find("loud")) - 2;  // two box bytes before, one column
    EXPECT_TRUE(screen().cell(x, row).bold) << x;
    EXPECT_EQ(screen().cell(x + 5, row).fg, 9);
    EXPECT_FALSE(screen().cell(x + 9, row).bold);
    EXPECT_EQ(screen().cell(x + 9, row).fg, -1);
}

}  // namespace
