// ircdoor as a BBS door: dropfiles and --bbs set the nick and the mode line,
// and a caller who hangs up ends the program cleanly, whether the input is a
// terminal or a socket the board bridges to the door's standard input.
#include "tests/e2e/chat_e2e.h"

#include <gmock/gmock.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <string>

namespace {

using namespace chat_e2e;
using ::testing::EndsWith;
using ::testing::HasSubstr;

constexpr const char* BBS_MODE = "BBS terminal mode enabled.";

// A file of numbered lines: lines[i] is line i + 1.
std::string numbered_lines(int count, std::vector<std::pair<int, std::string>> values)
{
    std::string text;
    for (int i = 1; i <= count; ++i) {
        std::string line = std::to_string(i);
        for (const auto& [number, value] : values) {
            if (number == i) {
                line = value;
            }
        }
        text += line + "\r\n";
    }
    return text;
}

struct door_case {
    const char* name;
    const char* file;        // written in the working directory ("" for none)
    std::string content;
    std::vector<std::string> args;
    const char* nick;        // shown in the form's Nick field
    const char* label;
};

void PrintTo(const door_case& c, std::ostream* os)
{
    *os << c.name;
}

const std::string DOOR32 = numbered_lines(11, {{1, "2"}, {2, "5"}, {6, "John Smith"}, {7, "jsmith"}});
const std::string DOOR_SYS = numbered_lines(52, {{1, "COM0:"}, {10, "Ann Other"}, {36, "Zed"}});

class DoorMode : public ::testing::TestWithParam<door_case> {};

TEST_P(DoorMode, SetsNickAndModeLine)
{
    const door_case& c = GetParam();
    auto run = ircdoor_run::after(
        [&](const testsupport::temp_dir& d) {
            if (*c.file != '\0') {
                testsupport::write_file(d.file(c.file), c.content);
            }
        },
        80, 24, c.args);
    ASSERT_TRUE(run->wait_for(BBS_MODE)) << run->screen().dump();
    ASSERT_TRUE(run->wait_for("OFFLINE"));
    EXPECT_EQ(run->screen().text_at(10, 10, 26).substr(0, std::string_view(c.nick).size() + 1), std::string(c.nick) + " ");
    EXPECT_THAT(run->row(4), HasSubstr(c.label));
    EXPECT_THAT(run->row(21), HasSubstr(std::string("@") + c.nick));
}

INSTANTIATE_TEST_SUITE_P(
    Table, DoorMode,
    ::testing::Values(door_case{"DOOR32.SYS gives the caller's handle as nick", "DOOR32.SYS", DOOR32, {}, "jsmith",
                                "BBS Door Session"},
                      door_case{"DOOR.SYS gives the handle", "DOOR.SYS", DOOR_SYS, {}, "Zed", "BBS Door Session"},
                      door_case{"--bbs reads no dropfile", "DOOR32.SYS", DOOR32, {"--bbs"}, "BBSUser",
                                "BBS Door Session"},
                      door_case{"--bbs alone", "", "", {"--bbs"}, "BBSUser", "BBS Door Session"}),
    [](const auto& p) { return "case" + std::to_string(p.index); });

TEST(DoorFiles, ExplicitDropfileElsewhere)
{
    testsupport::temp_dir other;
    testsupport::write_file(other.file("door32.sys"), DOOR32);
    ircdoor_run run(80, 24, {"--dropfile=" + other.file("door32.sys")});
    ASSERT_TRUE(run.wait_for(BBS_MODE)) << run.screen().dump();
    EXPECT_TRUE(run.wait_for("@jsmith"));
}

TEST(DoorFiles, EmptyDropfileArgumentWithoutFilesIsNormalMode)
{
    ircdoor_run run(80, 24, {"--dropfile="});
    EXPECT_TRUE(run.wait_for("Normal terminal mode."));
}

TEST(HangUp, ClosedTerminalEndsTheProgram)
{
    ircdoor_run run(80, 24);
    ASSERT_TRUE(run.wait_for("OFFLINE"));
    run.process->hang_up();
    EXPECT_EQ(run.process->wait_exit(10000ms), 0);
    EXPECT_EQ(file_lines(config_path(run.dir)).size(), 2u);
}

// ircdoor with a socket as standard input and a pipe as standard output, the
// way a board that cannot hand over its socket bridges a caller.
class socket_door {
public:
    explicit socket_door(const testsupport::temp_dir& dir)
    {
        int pair[2];
        int out[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0 || ::pipe(out) != 0) {
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(pair[0], STDIN_FILENO);
            ::dup2(out[1], STDOUT_FILENO);
            ::dup2(out[1], STDERR_FILENO);
            ::close(pair[1]);
            ::close(out[0]);
            if (::chdir(dir.path().c_str()) != 0) {
                ::_exit(126);
            }
            ::setenv("HOME", dir.path().c_str(), 1);
            ::execl(IRCDOOR_PATH, IRCDOOR_PATH, "--bbs", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(pair[0]);
        ::close(out[1]);
        caller_ = pair[1];
        output_fd_ = out[0];
    }
    ~socket_door()
    {
        if (pid_ > 0 && !status_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        for (const int fd : {caller_, output_fd_}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }

    // Reads output until it holds text; false after the timeout or at its end.
    bool read_until(std::string_view text, std::chrono::milliseconds timeout)
    {
        return read_while([&] { return output_.find(text) == std::string::npos; }, timeout);
    }
    // Reads to the end of the output (the program has ended); false on timeout.
    bool read_to_end(std::chrono::milliseconds timeout)
    {
        read_while([] { return true; }, timeout);
        return output_ended_;
    }
    int wait_status()
    {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        status_ = status;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    void send(std::string_view keys) { ASSERT_EQ(::write(caller_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size())); }
    void hang_up()
    {
        ::close(caller_);
        caller_ = -1;
    }
    const std::string& output() const { return output_; }

private:
    // Reads while more() holds; false when the time ran out or the output ended first.
    template <typename More>
    bool read_while(More more, std::chrono::milliseconds timeout)
    {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (more()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !read_some(static_cast<int>(left.count()))) {
                return false;
            }
        }
        return true;
    }

    bool read_some(int timeout_ms)
    {
        pollfd p{output_fd_, POLLIN, 0};
        if (::poll(&p, 1, timeout_ms) <= 0) {
            return false;
        }
        char bytes[65536];
        const ssize_t n = ::read(output_fd_, bytes, sizeof bytes);
        if (n <= 0) {
            output_ended_ = true;
            return false;
        }
        output_.append(bytes, static_cast<std::size_t>(n));
        return true;
    }

    pid_t pid_ = -1;
    int caller_ = -1;
    int output_fd_ = -1;
    bool output_ended_ = false;
    std::optional<int> status_;
    std::string output_;
};

TEST(HangUp, ClosedSocketInputEndsTheProgramWithinASecond)
{
    testsupport::temp_dir dir;
    socket_door door(dir);
    ASSERT_TRUE(door.read_until("Startup Manager", 5000ms)) << door.output();
    door.send("t");  // keys come through the socket: the theme changes from the door's to the first
    ASSERT_TRUE(door.read_until("\x1b[48;5;25m", 3000ms)) << door.output();
    const auto closed = std::chrono::steady_clock::now();
    door.hang_up();
    // A second for the program, with room for the exit of a sanitizer build
    // on a loaded machine; still far below the waits a hang-up must cut short.
    ASSERT_TRUE(door.read_to_end(3000ms)) << "still running three seconds after the hang-up";
    EXPECT_LT(std::chrono::steady_clock::now() - closed, 3000ms);
    EXPECT_EQ(door.wait_status(), 0) << door.output();
    EXPECT_THAT(door.output(), EndsWith("\x1b[0m\x1b[?25h\x1b[?1049l"));
    // A door without a caller's name keeps no saved servers, and never the
    // board account's own.
    EXPECT_FALSE(std::filesystem::exists(config_path(dir)));
    EXPECT_TRUE(caller_server_files(dir).empty());
}

}  // namespace
