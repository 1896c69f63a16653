// ircdoor's door session as a board runs it: the door launcher hands over
// the caller's socket with a dropfile giving the time left, the test is the
// caller, and a scripted IRC server sees what the program sends. Limits run
// on a door minute of a few seconds (VEXON_DOOR_MINUTE_SECONDS).
#include "tests/e2e/chat_e2e.h"
#include "tests/e2e/chat_line_server.h"
#include "tests/support/door_call.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace chat_e2e;
using testsupport::door_caller;
using testsupport::door_launcher;

// A board running ircdoor for the caller Ada, whose sysop offers the
// scripted server as the door's network.
struct chat_board {
    chat_board(int minute_seconds, std::vector<std::string> launcher_args, std::vector<std::string> door_args = {})
    {
        std::vector<std::string> args{DOOR_LAUNCHER_PATH, "--door", IRCDOOR_PATH, "--dir", dir.path(),
                                      "--port",           "0",      "--user",     "Ada"};
        args.insert(args.end(), launcher_args.begin(), launcher_args.end());
        args.insert(args.end(), {"--", "--server", "127.0.0.1", "--port", std::to_string(server.port()), "--channel",
                                 "#c"});
        args.insert(args.end(), door_args.begin(), door_args.end());
        board.emplace(args, env_list{{"HOME", dir.path()},
                                     {"VEXON_DOOR_MINUTE_SECONDS", std::to_string(minute_seconds)}});
    }

    // The caller answers the size question, then connects to the door's server.
    ::testing::AssertionResult connect(door_caller& c)
    {
        if (!c.wait_for_raw("\x1b[6n"))
            return ::testing::AssertionFailure() << "no size question";
        c.send("\x1b[24;80R");
        if (!c.wait_for_text("BBS terminal mode enabled."))
            return ::testing::AssertionFailure() << c.screen().dump();
        c.send("c");
        if (!server.accept_client())
            return ::testing::AssertionFailure() << "no connection\n" << c.screen().dump();
        server.welcome("Ada", "#c", "@Ada bob");
        if (!c.wait_for_text("Connected to"))
            return ::testing::AssertionFailure() << c.screen().dump();
        return ::testing::AssertionSuccess();
    }

    // The QUIT lines the server received, once the program closed the line.
    std::vector<std::string> quits()
    {
        server.wait_closed();
        std::vector<std::string> out;
        std::copy_if(server.lines().begin(), server.lines().end(), std::back_inserter(out),
                     [](const std::string& l) { return l.rfind("QUIT", 0) == 0; });
        return out;
    }

    std::vector<std::string> log_events()
    {
        std::vector<std::string> events;
        for (const auto& l : file_lines(dir.file("node1/ircdoor.log")))
            events.push_back(l.size() > 20 ? l.substr(20) : l);
        return events;
    }

    line_server server;
    testsupport::temp_dir dir;
    std::optional<door_launcher> board;
};

TEST(chat_session, TimeLeftIsShownThenTheSessionEndsWithOneQuit)
{
    chat_board b(10, {"--minutes", "1"});
    door_caller c(b.board->port());
    ASSERT_TRUE(b.connect(c));
    EXPECT_TRUE(c.wait_for_text("1 minute left on this board")) << c.screen().dump();
    EXPECT_TRUE(c.wait_for_text(" 1 MIN LEFT ")) << "in the status bar\n" << c.screen().dump();

    ASSERT_TRUE(b.server.wait_line("QUIT", 15000ms));
    const auto ended = b.board->wait_line("ended", 10s);
    ASSERT_TRUE(ended);
    EXPECT_NE(ended->find("with status 0"), std::string::npos) << *ended;
    EXPECT_EQ(b.quits(), std::vector<std::string>{"QUIT :Time on the BBS is up"});
    const auto events = b.log_events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], "node 1 start Ada");
    EXPECT_EQ(events[1].rfind("node 1 end (time up, ", 0), 0u) << events[1];
}

// Chat text from others is no sign of the caller; a key is.
TEST(chat_session, IdleCallerIsWarnedThenDroppedAndAKeyKeepsThem)
{
    chat_board b(6, {}, {"--idle-minutes", "1"});
    door_caller c(b.board->port());
    ASSERT_TRUE(b.connect(c));
    b.server.send(":bob!b@h PRIVMSG #c :anyone here?");
    ASSERT_TRUE(c.wait_for_text("IDLE: KEY TO STAY", 10s)) << c.screen().dump();
    EXPECT_TRUE(c.wait_for_text("No key for a while")) << c.screen().dump();
    EXPECT_TRUE(c.wait_for_raw("\a"));

    c.send("x");
    ASSERT_TRUE(c.wait_until([&] { return !c.screen().contains("IDLE: KEY TO STAY"); })) << c.screen().dump();
    // Kept: warned again only after a new half minute without keys, and
    // still connected to be warned.
    ASSERT_TRUE(c.wait_for_text("IDLE: KEY TO STAY", 10s)) << c.screen().dump();
    EXPECT_FALSE(b.board->wait_line("ended", 0ms));

    ASSERT_TRUE(b.server.wait_line("QUIT", 10000ms));
    const auto ended = b.board->wait_line("ended", 10s);
    ASSERT_TRUE(ended);
    EXPECT_NE(ended->find("with status 0"), std::string::npos) << *ended;
    EXPECT_EQ(b.quits(), std::vector<std::string>{"QUIT :Idle too long on the BBS"});
    const auto events = b.log_events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].rfind("node 1 end (idle, ", 0), 0u) << events[1];
}

TEST(chat_session, HangUpIsLoggedAsSuch)
{
    chat_board b(60, {});
    door_caller c(b.board->port());
    ASSERT_TRUE(b.connect(c));
    testsupport::hang_up_and_expect_clean_exit(*b.board, c);
    EXPECT_EQ(b.quits().size(), 1u);
    const auto events = b.log_events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].rfind("node 1 end (hang-up, ", 0), 0u) << events[1];
}

}  // namespace
