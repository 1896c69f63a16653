// The real sysopsim as a BBS door: the door launcher accepts a TCP caller,
// writes DOOR32.SYS naming the socket and starts the game on it. The test is
// the caller: it types keys and reads the screens through a terminal emulator.
#include "game/rules/profile.h"
#include "tests/support/door_call.h"
#include "tests/support/temp_dir.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using clock_type = std::chrono::steady_clock;
using testsupport::door_caller;
using testsupport::door_launcher;
using testsupport::hang_up_and_expect_clean_exit;

namespace {

// Types keys, then waits for a text on the caller's screen.
::testing::AssertionResult step(door_caller& c, const std::string& keys, const std::string& text)
{
    c.send(keys);
    if (c.wait_for_text(text))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no \"" << text << "\" after \"" << keys << "\":\n" << c.screen().dump();
}

// The game started directly on a dropfile, as a board would; what it wrote
// on standard error and its exit status, or nothing when it did not end
// within the bound (it is then killed).
struct door_run {
    std::string err;
    std::optional<int> status;
};

door_run run_door(const std::string& dir, const std::string& dropfile)
{
    int err[2];
    EXPECT_EQ(pipe2(err, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    std::string path = SYSOPSIM_PATH;
    std::string arg = "--dropfile=" + dropfile;
    char* argv[] = {path.data(), arg.data(), nullptr};
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(err[1]);

    door_run run;
    const auto deadline = clock_type::now() + 5s;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock_type::now()).count();
        pollfd p{err[0], POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0)
            break;
        char buf[512];
        ssize_t n = read(err[0], buf, sizeof buf);
        if (n <= 0)
            break;  // the game has ended (or closed its standard error)
        run.err.append(buf, static_cast<std::size_t>(n));
    }
    close(err[0]);
    int status = 0;
    for (int tries = 0; tries < 100 && !run.status; ++tries) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        else
            poll(nullptr, 0, 10);
    }
    if (!run.status) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    return run;
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

TEST(game_door, DescriptorThatIsNoConnectedStreamSocketIsReportedAndEndsTheGame)
{
    testsupport::temp_dir dir;
    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    int listening = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listening, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(listening, 1), 0);
    int datagram = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(datagram, 0);

    const std::pair<const char*, int> cases[] = {
        {"a pipe", pipe_ends[0]}, {"a listening socket", listening}, {"an unconnected UDP socket", datagram},
        {"a closed descriptor", 900},
    };
    for (const auto& [what, fd] : cases) {
        SCOPED_TRACE(what);
        const std::string drop = dir.file("DOOR32.SYS");
        testsupport::write_file(drop, "2\r\n" + std::to_string(fd) + "\r\n38400\r\nBBS\r\n1\r\nAda\r\nAda\r\n");
        door_run run = run_door(dir.path(), drop);
        ASSERT_TRUE(run.status.has_value()) << "still running";
        EXPECT_NE(*run.status, 0);
        EXPECT_NE(run.err.find("door socket " + std::to_string(fd)), std::string::npos) << run.err;
    }
    // Nothing was saved for a caller who was never there.
    EXPECT_FALSE(std::filesystem::exists(dir.file("data/sysop_ada.dat")));
    close(pipe_ends[0]);
    close(pipe_ends[1]);
    close(listening);
    close(datagram);
}

TEST(game_door, FameStarsReachACodePage437CallerAsPrintableBytes)
{
    testsupport::temp_dir dir;
    const std::vector<std::string> args{DOOR_LAUNCHER_PATH, "--game", SYSOPSIM_PATH, "--dir", dir.path(),
                                        "--port", "0", "--user", "Starry"};
    {
        door_launcher board(args);
        door_caller c(board.port());
        ASSERT_TRUE(c.wait_for_text("[1] New BBS")) << c.screen().dump();
        c.send("1");
        ASSERT_TRUE(c.wait_for_text("Welcome!")) << c.screen().dump();
        c.send(" ");
        ASSERT_TRUE(c.wait_for_text("VEXON SIMS - BBS CONSOLE")) << c.screen().dump();
        c.send("q");
        ASSERT_TRUE(c.wait_for_text("[1] New BBS")) << c.screen().dump();
        c.send("4");
        ASSERT_TRUE(board.wait_line("ended", 10s));
    }
    // Three stars of fame on the saved board.
    const std::string path = dir.file("data/sysop_starry.dat");
    std::string bytes = testsupport::read_file(path);
    ASSERT_EQ(bytes.size(), sizeof(profile));
    const std::int32_t fame = 3;
    std::memcpy(bytes.data() + offsetof(profile, fame), &fame, sizeof fame);
    testsupport::write_file(path, bytes);

    door_launcher board(args);
    door_caller c(board.port());
    ASSERT_TRUE(c.wait_for_text("[2] Continue")) << c.screen().dump();
    c.send("2");
    ASSERT_TRUE(c.wait_for_text("VEXON SIMS - BBS CONSOLE")) << c.screen().dump();
    ASSERT_TRUE(c.wait_until([&] { return c.frame_complete(); }));
    // A terminal that takes byte 15 as a control would show no star and pull
    // the panel's right border two columns left.
    EXPECT_EQ(c.screen().text_at(43, 13, 15), "Fame    : ***··") << c.screen().dump();
    EXPECT_EQ(c.screen().text_at(77, 13, 1), "│") << c.screen().dump();
}
