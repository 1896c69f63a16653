// The real sysopsim as a BBS door: the door launcher accepts a TCP caller,
// writes DOOR32.SYS naming the socket and starts the game on it. The test is
// the caller: it types keys and reads the screens through a terminal emulator.
#include "tests/support/door_call.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using clock_type = std::chrono::steady_clock;
using testsupport::door_caller;
using testsupport::door_launcher;

namespace {

// Drops carrier and expects the game to end cleanly within a second.
void hang_up_and_expect_clean_exit(door_launcher& board, door_caller& c)
{
    auto hung_up = clock_type::now();
    c.hang_up();
    auto ended = board.wait_line("ended", 3s);
    ASSERT_TRUE(ended);
    EXPECT_LT(clock_type::now() - hung_up, 1s);
    EXPECT_NE(ended->find("with status 0"), std::string::npos) << *ended;
}

// Types keys, then waits for a text on the caller's screen.
::testing::AssertionResult step(door_caller& c, const std::string& keys, const std::string& text)
{
    c.send(keys);
    if (c.wait_for_text(text))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no \"" << text << "\" after \"" << keys << "\":\n" << c.screen().dump();
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = text.find("\r\n", start)) != std::string::npos; start = nl + 2)
        lines.push_back(text.substr(start, nl - start));
    return lines;
}

}  // namespace

TEST(game_door, CallerPlaysABoardSavesQuitsAndHangsUp)
{
    testsupport::temp_dir dir;
    door_launcher board({DOOR_LAUNCHER_PATH, "--game", SYSOPSIM_PATH, "--dir", dir.path(), "--port", "0"});
    int port = board.port();
    ASSERT_GT(port, 0);

    door_caller c(port);
    ASSERT_TRUE(c.wait_for_raw("Your name: "));
    c.send("Ada Lovelace\r");
    auto started = board.wait_line("started pid");
    ASSERT_TRUE(started);

    // Title screen.
    ASSERT_TRUE(c.wait_for_text("[1] New BBS")) << c.screen().dump();
    EXPECT_TRUE(c.screen().contains("V E X O N   S I M S"));
    EXPECT_TRUE(c.screen().contains("█  > LOGON: SYSOP    █"));

    // A new board, then the console.
    c.send("1");
    ASSERT_TRUE(c.wait_for_text("Welcome!")) << c.screen().dump();
    c.send(" ");
    ASSERT_TRUE(c.wait_for_text("VEXON SIMS - BBS CONSOLE")) << c.screen().dump();
    EXPECT_TRUE(c.screen().contains("Your BBS:  Ada Lovelace's Haven"));
    EXPECT_TRUE(c.screen().contains("Sysop: Ada Lovelace"));
    EXPECT_TRUE(c.screen().contains("CASH $1500"));

    // Statistics.
    c.send("6");
    ASSERT_TRUE(c.wait_for_text("SYSOP DOSSIER")) << c.screen().dump();
    EXPECT_EQ(c.screen().text_at(3, 3, 27), "Sysop:         Ada Lovelace");
    c.send("x");
    ASSERT_TRUE(c.wait_for_text("VEXON SIMS - BBS CONSOLE"));

    // A second node for $600.
    c.send("8");
    ASSERT_TRUE(c.wait_for_text("A new node costs $600.")) << c.screen().dump();
    c.send("y");
    ASSERT_TRUE(c.wait_for_text("New node online!")) << c.screen().dump();
    c.send(" ");
    ASSERT_TRUE(c.wait_for_text("2 nodes")) << c.screen().dump();
    EXPECT_TRUE(c.screen().contains("CASH $900"));

    // Save and quit: back on the title, the board and the ranking on disk.
    c.send("q");
    ASSERT_TRUE(c.wait_for_text("[1] New BBS")) << c.screen().dump();
    std::string board_file = testsupport::read_file(dir.file("data/sysop_adalovelace.dat"));
    ASSERT_EQ(board_file.size(), 232u);
    std::int32_t nodes = 0;
    std::int64_t cash = 0;
    std::memcpy(&nodes, board_file.data() + 96, 4);
    std::memcpy(&cash, board_file.data() + 80, 8);
    EXPECT_EQ(nodes, 2);
    EXPECT_EQ(cash, 900);
    EXPECT_EQ(testsupport::read_file(dir.file("data/topsysops.dat")).size(), 88u);
    EXPECT_NE(testsupport::read_file(dir.file("data/scores.asc")).find("  1 Ada Lovelace     Ada Lovelace's Haven"),
              std::string::npos);
    auto drop = lines_of(testsupport::read_file(dir.file("node1/DOOR32.SYS")));
    ASSERT_GE(drop.size(), 7u);
    EXPECT_EQ(drop[0], "2");
    EXPECT_GT(std::atoi(drop[1].c_str()), 2);
    EXPECT_EQ(drop[6], "Ada Lovelace");

    // Top Sysops from the title.
    c.send("3");
    ASSERT_TRUE(c.wait_for_text("TOP SYSOPS - VEXON SIMS HALL OF FAME")) << c.screen().dump();
    EXPECT_EQ(c.screen().text_at(3, 6, 40), "1  Ada Lovelace     Ada Lovelace's Haven");
    c.send("x");
    ASSERT_TRUE(c.wait_for_text("[1] New BBS"));

    hang_up_and_expect_clean_exit(board, c);
}

TEST(game_door, BlankNameAtTheLauncherPromptIsNoName)
{
    testsupport::temp_dir dir;
    door_launcher board({DOOR_LAUNCHER_PATH, "--game", SYSOPSIM_PATH, "--dir", dir.path(), "--port", "0"});
    door_caller c(board.port());
    ASSERT_TRUE(c.wait_for_raw("Your name: "));
    // Spaces alone would reach the game as no name, and with it the board
    // of the sysop's own default name.
    c.send("   \r  Eve\r");
    ASSERT_TRUE(board.wait_line("started pid"));
    ASSERT_TRUE(c.wait_for_text("[1] New BBS")) << c.screen().dump();
    auto drop = lines_of(testsupport::read_file(dir.file("node1/DOOR32.SYS")));
    ASSERT_GE(drop.size(), 7u);
    EXPECT_EQ(drop[5], "Eve");
    EXPECT_EQ(drop[6], "Eve");
    hang_up_and_expect_clean_exit(board, c);
}

TEST(game_door, HangUpInsideAQuestionKeepsTheLastSave)
{
    testsupport::temp_dir dir;
    door_launcher board({DOOR_LAUNCHER_PATH, "--game", SYSOPSIM_PATH, "--dir", dir.path(), "--port", "0", "--user",
                    "Bob"});
    int port = board.port();
    ASSERT_GT(port, 0);
    door_caller c(port);
    ASSERT_TRUE(c.wait_for_text("[1] New BBS")) << c.screen().dump();
    c.send("1 8");
    ASSERT_TRUE(c.wait_for_text("Add a node?")) << c.screen().dump();
    const std::string saved = testsupport::read_file(dir.file("data/sysop_bob.dat"));
    ASSERT_EQ(saved.size(), 232u);

    hang_up_and_expect_clean_exit(board, c);
    EXPECT_EQ(testsupport::read_file(dir.file("data/sysop_bob.dat")), saved);
}

TEST(game_door, HangUpOrQuitSignalDuringTheModemHandshakeEndsTheGameWithinASecond)
{
    // The handshake plays for four and a half seconds without reading a key.
    for (const bool by_signal : {false, true}) {
        SCOPED_TRACE(by_signal ? "SIGTERM" : "hang-up");
        testsupport::temp_dir dir;
        door_launcher board({DOOR_LAUNCHER_PATH, "--game", SYSOPSIM_PATH, "--dir", dir.path(), "--port", "0",
                             "--user", "Modem"});
        door_caller c(board.port());
        auto started = board.wait_line("started pid");
        ASSERT_TRUE(started);
        const pid_t game = std::atoi(started->substr(started->find("pid ") + 4).c_str());
        ASSERT_GT(game, 0);
        ASSERT_TRUE(c.wait_for_text("[1] New BBS")) << c.screen().dump();
        ASSERT_TRUE(step(c, "1", "Welcome!"));
        ASSERT_TRUE(step(c, " ", "VEXON SIMS - BBS CONSOLE"));
        ASSERT_TRUE(step(c, "2", "BYTE ME COMPUTING"));
        ASSERT_TRUE(step(c, "4", "Byte Me Computing - Modems"));
        ASSERT_TRUE(step(c, "\x1b[B\r", "Confirm purchase"));
        ASSERT_TRUE(step(c, "y", "MODEM HANDSHAKE"));

        if (by_signal) {
            auto signalled = clock_type::now();
            ASSERT_EQ(kill(game, SIGTERM), 0);
            auto ended = board.wait_line("ended", 5s);
            ASSERT_TRUE(ended);
            EXPECT_LT(clock_type::now() - signalled, 1s);
            EXPECT_NE(ended->find("with status 0"), std::string::npos) << *ended;
        } else {
            hang_up_and_expect_clean_exit(board, c);
        }
    }
}
