// ircdoor against a real ngIRCd with a second user, read through the test
// terminal: whispers and channel lines told apart, two channels told apart,
// events as readable lines with the nick list right after each, replies
// shown, CTCP answered a few times at most, and Tab completion.
#include "tests/e2e/chat_e2e.h"
#include "tests/e2e/chat_line_server.h"
#include "tests/support/ircd_server.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using namespace chat_e2e;
using ::testing::HasSubstr;

// Wide enough that no line here wraps.
constexpr int COLS = 132;
constexpr int ROWS = 40;
constexpr int NICK_COLUMN = COLS - 21;
constexpr int STATUS_ROW = ROWS - 3;
constexpr int INPUT_ROW = ROWS - 2;

class ChatEvents : public ::testing::Test {
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
        }, COLS, ROWS);
        ASSERT_TRUE(run->wait_for("ADDRESS BOOK")) << run->screen().dump();
        run->send("c");
        ASSERT_TRUE(run->wait_for("alice has joined #test")) << run->screen().dump();
        bob = std::make_unique<irc_client>(server.port(), "bob", "#test");
        ASSERT_TRUE(bob->ready());
        ASSERT_TRUE(nick_list_is({"@alice", "bob"})) << screen().dump();
    }

    vt::vt_screen& screen() { return run->screen(); }

    // The nick list as shown, top to bottom.
    std::vector<std::string> nick_list()
    {
        std::vector<std::string> list;
        for (int i = 0; i < ROWS - 6; ++i) {
            std::string s = screen().text_at(NICK_COLUMN, 2 + i, 17);
            s.erase(s.find_last_not_of(' ') + 1);
            if (s.empty() || s == "USERS") {
                break;
            }
            list.push_back(s);
        }
        return list;
    }
    bool nick_list_is(const std::vector<std::string>& want)
    {
        return run->wait_until([&] { return nick_list() == want; });
    }
    // Waits for a chat row holding text; its screen row, or -1.
    int row_of(std::string_view text)
    {
        int row = -1;
        run->wait_until([&] {
            row = screen().find_row(text);
            return row >= 0;
        });
        return row;
    }
    bool bob_sees(std::string_view text) { return bob->wait_line(text, 5000ms, false); }
};

TEST_F(ChatEvents, WhispersAndChannelsAreToldApart)
{
    bob->send("PRIVMSG alice :just between us");
    bob->send("PRIVMSG #test :for everyone");
    const int whisper = row_of("*bob* just between us");
    const int open = row_of("<bob> for everyone");
    ASSERT_GE(whisper, 0) << screen().dump();
    ASSERT_GE(open, 0) << screen().dump();
    const int x = static_cast<int>(screen().row_text(whisper).find("*bob*")) - 2;   // two box bytes before, one column
    EXPECT_NE(screen().cell(x, whisper).fg, screen().cell(x, open).fg) << "a whisper has a colour of its own";

    run->send("/msg bob back at you\r");
    EXPECT_TRUE(bob_sees("PRIVMSG bob :back at you"));
    EXPECT_GE(row_of("-> *bob* back at you"), 0) << screen().dump();

    run->send("/join #second\r");
    ASSERT_GE(row_of("alice has joined #second"), 0) << screen().dump();
    EXPECT_TRUE(run->row_shows(STATUS_ROW, "\u2551 #second \u2551")) << "the status bar shows the current target";
    EXPECT_TRUE(nick_list_is({"@alice"})) << screen().dump();
    bob->send("JOIN #second");
    EXPECT_TRUE(nick_list_is({"@alice", "bob"})) << screen().dump();
    bob->send("PRIVMSG #test :said in test");
    bob->send("PRIVMSG #second :said in second");
    EXPECT_GE(row_of("#test <bob> said in test"), 0) << screen().dump();
    const int here = row_of("<bob> said in second");
    ASSERT_GE(here, 0);
    EXPECT_THAT(screen().row_text(here), ::testing::Not(HasSubstr("#second <bob>")));

    run->send("hello second\r");
    EXPECT_TRUE(bob_sees("PRIVMSG #second :hello second"));
    run->send("/part #second\r");
    EXPECT_GE(row_of("alice has left #second"), 0) << screen().dump();
    EXPECT_TRUE(run->row_shows(STATUS_ROW, "\u2551 #test \u2551")) << screen().dump();
    EXPECT_TRUE(nick_list_is({"@alice", "bob"})) << "back in #test with its list";
}

TEST_F(ChatEvents, EventsAreReadableAndTheNickListFollows)
{
    bob->send("NICK bobby");
    EXPECT_GE(row_of("bob is now known as bobby"), 0) << screen().dump();
    EXPECT_TRUE(nick_list_is({"@alice", "bobby"})) << screen().dump();

    run->send("/topic #test :all about tests\r");
    EXPECT_GE(row_of("alice changed the topic of #test to: all about tests"), 0) << screen().dump();

    run->send("/mode #test +v bobby\r");
    EXPECT_GE(row_of("alice sets mode +v bobby on #test"), 0) << screen().dump();
    EXPECT_TRUE(nick_list_is({"@alice", "+bobby"})) << screen().dump();

    run->send("/kick #test bobby :be nice\r");
    EXPECT_GE(row_of("bobby was kicked from #test by alice (be nice)"), 0) << screen().dump();
    EXPECT_TRUE(nick_list_is({"@alice"})) << screen().dump();

    bob->send("JOIN #test");
    EXPECT_GE(row_of("bobby has joined #test"), 0) << screen().dump();
    EXPECT_TRUE(nick_list_is({"@alice", "bobby"})) << screen().dump();
    bob->send("NOTICE alice :a notice");
    EXPECT_GE(row_of("-bobby- a notice"), 0) << screen().dump();
    bob->send("QUIT :gone fishing");
    EXPECT_GE(row_of("bobby has left #test (quit: \"gone fishing\")"), 0) << screen().dump();
    EXPECT_TRUE(nick_list_is({"@alice"})) << screen().dump();
    EXPECT_FALSE(screen().contains("!~")) << "no user@host noise";
}

TEST_F(ChatEvents, RepliesAreShown)
{
    run->send("/whois bob\r");
    EXPECT_GE(row_of("bob ~bob 127.0.0.1 * test user"), 0) << screen().dump();
    run->send("/list\r");
    EXPECT_GE(row_of("#test 2"), 0) << screen().dump();
    run->send("/msg nobody hello\r");
    EXPECT_GE(row_of("nobody: No such nick"), 0) << screen().dump();
}

TEST_F(ChatEvents, CtcpIsAnsweredAFewTimesAtMost)
{
    bob->send("PRIVMSG alice :\x01VERSION\x01");
    EXPECT_TRUE(bob_sees("NOTICE bob :\x01VERSION Vexon IRC Client 6.0\x01"));
    EXPECT_GE(row_of("bob asked for our VERSION"), 0) << screen().dump();

    for (int i = 0; i < 20; ++i) {
        bob->send("PRIVMSG alice :\x01PING " + std::to_string(i) + "\x01");
    }
    ASSERT_GE(row_of("bob asked for our PING (not answered: too many requests)"), 0) << screen().dump();
    // Our lines reach bob in order: every answer comes before this marker.
    run->send("/msg bob marker\r");
    ASSERT_TRUE(bob_sees("PRIVMSG bob :marker"));
    const auto& lines = bob->lines();
    const auto answers = std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
        return l.find(" NOTICE bob :\x01") != std::string::npos;
    });
    EXPECT_GE(answers, 2) << "the first PING of the burst is answered too";
    EXPECT_LE(answers, 3) << "a burst of 20 is answered a few times at most";
}

TEST_F(ChatEvents, TabCompletesANickAndToggles)
{
    run->send("bo\t");
    EXPECT_TRUE(run->row_shows(INPUT_ROW, ">bob:")) << screen().dump();
    EXPECT_TRUE(screen().cursor_visible());
    EXPECT_EQ(screen().cursor_y(), INPUT_ROW);
    EXPECT_EQ(screen().cursor_x(), 6);
    run->send("hi\r");
    EXPECT_TRUE(bob_sees("PRIVMSG #test :bob: hi"));
    run->send("\t");
    EXPECT_TRUE(run->wait_until([&] { return screen().text_at(NICK_COLUMN - 2, 1, 1) != "\u2566"; }))
        << "nothing to complete: the list is toggled" << screen().dump();
    run->send("\x1b[A");
    EXPECT_TRUE(run->row_shows(INPUT_ROW, ">bob: hi")) << "Up recalls the line sent";
}

}  // namespace
