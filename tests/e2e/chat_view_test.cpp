// The chat view of the real ircdoor against a scripted IRC peer: layout and
// word wrap on 80x24, scrolling, the nick list toggle, actions, the input
// line, the connecting state, and the quit line at every way out.
#include "tests/e2e/chat_e2e.h"
#include "tests/e2e/chat_line_server.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <string>

namespace {

using namespace chat_e2e;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr int COLS = 80;
constexpr int ROWS = 24;
constexpr int FIRST_CHAT_ROW = 2;   // 0-based screen rows 2..19 hold the chat
constexpr int VISIBLE_ROWS = 18;
constexpr int TEXT_WIDTH = 53;
constexpr int NICK_COLUMN = 59;     // 0-based; column 60 on the screen
constexpr int STATUS_ROW = ROWS - 3;
constexpr int INPUT_ROW = ROWS - 2;

// A saved-servers file whose first entry is the scripted peer.
void write_entry(const testsupport::temp_dir& d, int port, const std::string& channel = "#c", int tls = 0)
{
    testsupport::write_file(config_path(d), "Local|127.0.0.1|" + std::to_string(port) + "|alice|" + channel + "|" +
                                                std::to_string(tls) + "|\n");
}

std::string two_digits(int i)
{
    return (i < 10 ? "0" : "") + std::to_string(i);
}

class ChatView : public ::testing::Test {
protected:
    line_server server;
    std::unique_ptr<ircdoor_run> run;

    void SetUp() override
    {
        ASSERT_GT(server.port(), 0);
        run = ircdoor_run::after([&](const testsupport::temp_dir& d) { write_entry(d, server.port()); }, COLS, ROWS);
        ASSERT_TRUE(run->wait_for("ADDRESS BOOK")) << run->screen().dump();
        run->send("c");
        ASSERT_TRUE(server.accept_client());
        server.welcome("alice", "#c", "@alice bob carol");
        ASSERT_TRUE(run->wait_for("Chat View")) << run->screen().dump();
        ASSERT_TRUE(run->wait_until([&] { return nick_at(2) == "carol"; })) << run->screen().dump();
    }

    vt::vt_screen& screen() { return run->screen(); }
    std::string nick_at(int index) { return trimmed(screen().text_at(NICK_COLUMN, FIRST_CHAT_ROW + index, 17)); }
    std::string chat_row(int index) { return screen().text_at(2, FIRST_CHAT_ROW + index, TEXT_WIDTH); }
    static std::string trimmed(std::string s)
    {
        s.erase(s.find_last_not_of(' ') + 1);
        return s;
    }
    // Screen rows of the chat pane whose text holds needle.
    std::vector<int> rows_with(std::string_view needle)
    {
        std::vector<int> rows;
        for (int r = 0; r < VISIBLE_ROWS; ++r) {
            if (chat_row(r).find(needle) != std::string::npos) {
                rows.push_back(r);
            }
        }
        return rows;
    }
    void say_lines(int count)
    {
        for (int i = 1; i <= count; ++i) {
            server.send(":bob!u@h PRIVMSG #c :line " + two_digits(i));
        }
        ASSERT_TRUE(run->wait_until([&] { return !rows_with("line " + two_digits(count)).empty(); }));
    }
    int quit_lines() const
    {
        const auto& lines = server.lines();
        return static_cast<int>(std::count(lines.begin(), lines.end(), "QUIT :Bye"));
    }
};

TEST_F(ChatView, LayoutOnEightyByTwentyFour)
{
    EXPECT_THAT(run->row(0), StartsWith(" Vexon IRC Client 6.0 \u2551 Chat View"));
    EXPECT_EQ(screen().text_at(COLS - 22 - 1, 1, 1), "\u2566") << "divider at column 58";
    EXPECT_EQ(screen().text_at(COLS - 22 - 1, 10, 1), "\u2551");
    EXPECT_EQ(nick_at(0), "@alice") << "an op shows as one, first";
    EXPECT_EQ(nick_at(1), "bob");
    EXPECT_THAT(chat_row(0), HasSubstr("] * Connected to 127.0.0.1:" + std::to_string(server.port()) + " as alice"));
    EXPECT_TRUE(run->row_shows(STATUS_ROW, "#c \u2551 @alice \u2551 CONNECTED")) << screen().dump();
}

TEST_F(ChatView, ThirtyCharacterWordWithRoomTenGivesThreeRows)
{
    const std::string nick(29, 'n');  // "[hh:mm:ss] <" + 29 + "> " leaves 53 - 43 = 10 columns
    server.send(":" + nick + "!u@h PRIVMSG #c :" + std::string(10, 'a') + std::string(10, 'b') +
                std::string(10, 'c'));
    ASSERT_TRUE(run->wait_for(std::string(10, 'c'))) << screen().dump();
    const int first = rows_with("aaaa").at(0);
    EXPECT_EQ(chat_row(first).substr(10), " <" + nick + "> " + std::string(10, 'a'));
    EXPECT_EQ(chat_row(first + 1), std::string(43, ' ') + std::string(10, 'b'));
    EXPECT_EQ(chat_row(first + 2), std::string(43, ' ') + std::string(10, 'c'));
    EXPECT_EQ(screen().text_at(2 + TEXT_WIDTH, FIRST_CHAT_ROW + first, 2), "  ") << "nothing past W";
}

TEST_F(ChatView, EighteenRowsShowTheNewest)
{
    say_lines(30);
    EXPECT_THAT(chat_row(VISIBLE_ROWS - 1), HasSubstr("<bob> line 30"));
    EXPECT_THAT(chat_row(0), HasSubstr("<bob> line 13"));
    EXPECT_EQ(screen().text_at(0, FIRST_CHAT_ROW + VISIBLE_ROWS, 1), "\u2551") << "frame row below the pane";
    EXPECT_THAT(screen().text_at(2, FIRST_CHAT_ROW + VISIBLE_ROWS, 10), ::testing::Not(HasSubstr("line")));
}

TEST_F(ChatView, PageUpFarPastTheTopStopsAtTheOldestRow)
{
    say_lines(30);  // 32 rows: the welcome, the join, 30 lines
    std::string page_up;
    for (int i = 0; i < 100; ++i) {
        page_up += "\x1b[5~";
    }
    run->send(page_up);
    ASSERT_TRUE(run->wait_until([&] { return chat_row(0).find("Connected to") != std::string::npos; }))
        << screen().dump();
    EXPECT_THAT(chat_row(VISIBLE_ROWS - 1), HasSubstr("line 16"));
    run->send("\x1b[6~");  // the view answers the first PgDn at once
    ASSERT_TRUE(run->wait_until([&] { return chat_row(0).find("line 04") != std::string::npos; }))
        << screen().dump();
    run->send("\x1b[6~\x1b[6~\x1b[6~");
    EXPECT_TRUE(run->wait_until([&] { return chat_row(VISIBLE_ROWS - 1).find("line 30") != std::string::npos; }));
}

TEST_F(ChatView, TabHidesAndShowsTheNickList)
{
    run->send("\t");
    ASSERT_TRUE(run->wait_until([&] { return nick_at(0).empty(); })) << screen().dump();
    EXPECT_EQ(screen().text_at(COLS - 23, 1, 1), "\u2550") << "no divider without the list";
    server.send(":bob!u@h PRIVMSG #c :" + std::string(70, 'w'));
    ASSERT_TRUE(run->wait_for("> " + std::string(58, 'w'))) << "rows are 75 columns wide now";
    run->send("\x1bOQ");  // F2 toggles as well
    EXPECT_TRUE(run->wait_until([&] { return nick_at(1) == "bob"; })) << screen().dump();
}

TEST_F(ChatView, ActionsShowAsStarNickText)
{
    server.send(":bob!u@h PRIVMSG #c :\x01" "ACTION waves\x01");
    EXPECT_TRUE(run->wait_for("] * bob waves")) << screen().dump();
    run->send("/me dances\r");
    EXPECT_TRUE(server.wait_line("PRIVMSG #c :\x01" "ACTION dances\x01"));
    EXPECT_TRUE(run->wait_for("] * alice dances")) << screen().dump();
}

TEST_F(ChatView, InputLineKeepsItsEndInViewAndNeverScrolls)
{
    std::string typed;
    for (int i = 0; i < 120; ++i) {
        typed += static_cast<char>('a' + i % 26);
    }
    run->send(typed);
    // The end stays in view, with the column after it for the cursor.
    ASSERT_TRUE(run->wait_until([&] { return run->row(INPUT_ROW) == ">" + typed.substr(typed.size() - 77); }))
        << screen().dump();
    EXPECT_THAT(run->row(0), StartsWith(" Vexon IRC Client"));
    run->send(std::string(120, '\x7f'));
    EXPECT_TRUE(run->wait_until([&] { return run->row(INPUT_ROW) == ">"; }));
    run->send("\x7f\r");  // Backspace and Enter on an empty input do nothing
    run->send("hello all\r");
    EXPECT_TRUE(server.wait_line("PRIVMSG #c :hello all"));
}

TEST_F(ChatView, EscKeepsTheConnectionAndQuittingSendsByeOnce)
{
    run->send("\x1b");
    ASSERT_TRUE(run->wait_for("Startup Manager")) << screen().dump();
    EXPECT_TRUE(run->row_shows(STATUS_ROW, "CONNECTED")) << screen().dump();
    server.send(":bob!u@h PRIVMSG #c :still here");
    run->send("q");
    EXPECT_EQ(run->process->wait_exit(10000ms), 0);
    ASSERT_TRUE(server.wait_closed());
    EXPECT_EQ(quit_lines(), 1);
}

TEST_F(ChatView, SlashQuitSendsByeExactlyOnce)
{
    run->send("/quit\r");
    EXPECT_EQ(run->process->wait_exit(10000ms), 0);
    ASSERT_TRUE(server.wait_closed());
    EXPECT_EQ(quit_lines(), 1);
    EXPECT_FALSE(screen().alt_screen());
}

TEST_F(ChatView, DroppedConnectionShowsOfflineWithTheLastValues)
{
    run->send("/nick alice2\r");
    ASSERT_TRUE(server.wait_line("NICK alice2"));
    server.drop_client();
    ASSERT_TRUE(run->wait_for("OFFLINE")) << screen().dump();
    EXPECT_THAT(run->row(STATUS_ROW), HasSubstr(" 127.0.0.1:" + std::to_string(server.port()) +
                                                " \u2551 #c \u2551 @alice2 \u2551 OFFLINE"));
    EXPECT_FALSE(rows_with("Disconnected from server").empty());
}

TEST(ChatConnect, StatusBarSaysConnectingWhileTheConnectRuns)
{
    line_server server;  // accepts, but speaks no TLS: the handshake waits
    auto run = ircdoor_run::after([&](const testsupport::temp_dir& d) { write_entry(d, server.port(), "#c", 1); });
    ASSERT_TRUE(run->wait_for("ADDRESS BOOK"));
    run->send("c");
    EXPECT_TRUE(run->wait_for("CONNECTING")) << run->screen().dump();
    ASSERT_TRUE(server.accept_connection());
    server.drop_client();  // the handshake fails at once
    EXPECT_TRUE(run->wait_for("OFFLINE", 20000ms)) << run->screen().dump();
    EXPECT_THAT(run->row(0), HasSubstr("Startup Manager"));
}

TEST(ChatConnect, StatusBarFillsTheWidthWhateverTheTextHolds)
{
    line_server server;
    auto run = ircdoor_run::after([&](const testsupport::temp_dir& d) {
        write_entry(d, server.port(), "#caf\u00e9\u65e5\u672c");
    });
    ASSERT_TRUE(run->wait_for("OFFLINE"));
    EXPECT_THAT(run->row(STATUS_ROW), HasSubstr("#caf\u00e9\u65e5"));
    EXPECT_EQ(run->screen().cell(COLS - 1, STATUS_ROW).bg, 25);
    EXPECT_EQ(run->screen().cell(COLS - 1, STATUS_ROW).ch, static_cast<std::uint32_t>(' '));
}

}  // namespace
