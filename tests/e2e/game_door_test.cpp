// The real sysopsim as a BBS door: the door launcher accepts a TCP caller,
// writes DOOR32.SYS naming the socket and starts the game on it. The test is
// the caller: it types keys and reads the screens through a terminal emulator.
#include "tests/support/temp_dir.h"
#include "tests/support/vt_screen.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using clock_type = std::chrono::steady_clock;

namespace {

// The launcher as a child process with its standard output on a pipe.
// Stopped (SIGTERM, then SIGKILL) when the test ends, also on failure.
class launcher {
public:
    explicit launcher(const std::vector<std::string>& args)
    {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            std::vector<char*> argv;
            for (const auto& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        out_ = out[0];
    }
    ~launcher()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            for (int i = 0; i < 50 && waitpid(pid_, nullptr, WNOHANG) == 0; ++i)
                poll(nullptr, 0, 100);
            if (kill(pid_, SIGKILL) == 0)
                waitpid(pid_, nullptr, 0);
        }
        close(out_);
    }
    launcher(const launcher&) = delete;
    launcher& operator=(const launcher&) = delete;

    // Reads output until a line holding the text arrives; that line, or
    // nothing on timeout.
    std::optional<std::string> wait_line(const std::string& text, std::chrono::milliseconds timeout = 5s)
    {
        auto end = clock_type::now() + timeout;
        for (;;) {
            std::size_t nl;
            while ((nl = buf_.find('\n')) != std::string::npos) {
                std::string line = buf_.substr(0, nl);
                buf_.erase(0, nl + 1);
                if (line.find(text) != std::string::npos)
                    return line;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - clock_type::now()).count();
            pollfd p{out_, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0)
                return std::nullopt;
            char tmp[512];
            ssize_t n = read(out_, tmp, sizeof tmp);
            if (n <= 0)
                return std::nullopt;
            buf_.append(tmp, static_cast<std::size_t>(n));
        }
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string buf_;
};

// A caller on a TCP connection with a code page 437 terminal.
class caller {
public:
    explicit caller(int port)
    {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<std::uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
            throw std::runtime_error("connect failed");
    }
    ~caller() { hang_up(); }

    void send(const std::string& keys) { ::send(fd_, keys.data(), keys.size(), MSG_NOSIGNAL); }
    void hang_up()
    {
        if (fd_ >= 0)
            close(fd_);
        fd_ = -1;
    }
    // Reads until pred() holds on what arrived; false on timeout.
    bool wait_until(const std::function<bool()>& pred, std::chrono::milliseconds timeout = 5s)
    {
        auto end = clock_type::now() + timeout;
        while (!pred()) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - clock_type::now()).count();
            pollfd p{fd_, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0)
                return false;
            char tmp[8192];
            ssize_t n = recv(fd_, tmp, sizeof tmp, 0);
            if (n <= 0)
                return pred();
            raw_.append(tmp, static_cast<std::size_t>(n));
            screen_.feed_cp437(std::string_view(tmp, static_cast<std::size_t>(n)));
        }
        return true;
    }
    bool wait_for_text(const std::string& text) { return wait_until([&] { return screen_.contains(text); }); }
    bool wait_for_raw(const std::string& text)
    {
        return wait_until([&] { return raw_.find(text) != std::string::npos; });
    }
    vt::vt_screen& screen() { return screen_; }

private:
    int fd_ = -1;
    std::string raw_;
    vt::vt_screen screen_{80, 25};
};

int listening_port(launcher& l)
{
    auto line = l.wait_line("listening on");
    if (!line)
        return -1;
    return std::atoi(line->substr(line->rfind(' ') + 1).c_str());
}

// Drops carrier and expects the game to end cleanly within a second.
void hang_up_and_expect_clean_exit(launcher& board, caller& c)
{
    auto hung_up = clock_type::now();
    c.hang_up();
    auto ended = board.wait_line("ended", 3s);
    ASSERT_TRUE(ended);
    EXPECT_LT(clock_type::now() - hung_up, 1s);
    EXPECT_NE(ended->find("with status 0"), std::string::npos) << *ended;
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
    launcher board({DOOR_LAUNCHER_PATH, "--game", SYSOPSIM_PATH, "--dir", dir.path(), "--port", "0"});
    int port = listening_port(board);
    ASSERT_GT(port, 0);

    caller c(port);
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

TEST(game_door, HangUpInsideAQuestionKeepsTheLastSave)
{
    testsupport::temp_dir dir;
    launcher board({DOOR_LAUNCHER_PATH, "--game", SYSOPSIM_PATH, "--dir", dir.path(), "--port", "0", "--user",
                    "Bob"});
    int port = listening_port(board);
    ASSERT_GT(port, 0);
    caller c(port);
    ASSERT_TRUE(c.wait_for_text("[1] New BBS")) << c.screen().dump();
    c.send("1 8");
    ASSERT_TRUE(c.wait_for_text("Add a node?")) << c.screen().dump();
    const std::string saved = testsupport::read_file(dir.file("data/sysop_bob.dat"));
    ASSERT_EQ(saved.size(), 232u);

    hang_up_and_expect_clean_exit(board, c);
    EXPECT_EQ(testsupport::read_file(dir.file("data/sysop_bob.dat")), saved);
}
