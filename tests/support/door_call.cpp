#include "tests/support/door_call.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <stdexcept>

namespace testsupport {

namespace {

using steady = std::chrono::steady_clock;

// Milliseconds left until end, at least 0.
int ms_left(steady::time_point end)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - steady::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

door_launcher::door_launcher(const std::vector<std::string>& args,
                             const std::vector<std::pair<std::string, std::string>>& env)
{
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], STDOUT_FILENO);
        for (const auto& [name, value] : env)
            setenv(name.c_str(), value.c_str(), 1);
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

door_launcher::~door_launcher()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        pid_t reaped = 0;
        for (int i = 0; i < 50 && (reaped = waitpid(pid_, nullptr, WNOHANG)) == 0; ++i)
            poll(nullptr, 0, 100);
        // Once reaped, the number may already name someone else's process.
        if (reaped == 0 && kill(pid_, SIGKILL) == 0)
            waitpid(pid_, nullptr, 0);
    }
    close(out_);
}

std::optional<std::string> door_launcher::wait_line(const std::string& text, std::chrono::milliseconds timeout)
{
    const auto end = steady::now() + timeout;
    for (;;) {
        for (std::size_t nl; (nl = buf_.find('\n')) != std::string::npos;) {
            std::string line = buf_.substr(0, nl);
            buf_.erase(0, nl + 1);
            if (line.find(text) != std::string::npos)
                return line;
        }
        pollfd p{out_, POLLIN, 0};
        if (poll(&p, 1, ms_left(end)) <= 0)
            return std::nullopt;
        char tmp[512];
        ssize_t n = read(out_, tmp, sizeof tmp);
        if (n <= 0)
            return std::nullopt;
        buf_.append(tmp, static_cast<std::size_t>(n));
    }
}

int door_launcher::port()
{
    auto line = wait_line("listening on");
    if (!line)
        return -1;
    return std::atoi(line->substr(line->rfind(' ') + 1).c_str());
}

door_caller::door_caller(int port, int cols, int rows) : screen_(cols, rows)
{
    // No cell may reach a caller as a control byte, whatever their terminal.
    screen_.take_c0_as_controls(true);
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ < 0 || connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        hang_up();
        throw std::runtime_error("connect failed");
    }
}

door_caller::~door_caller()
{
    hang_up();
}

void door_caller::send(const std::string& keys)
{
    ::send(fd_, keys.data(), keys.size(), MSG_NOSIGNAL);
}

void door_caller::hang_up()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

bool door_caller::wait_until(const std::function<bool()>& pred, std::chrono::milliseconds timeout)
{
    const auto end = steady::now() + timeout;
    while (!pred()) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, ms_left(end)) <= 0)
            return false;
        char tmp[8192];
        ssize_t n = recv(fd_, tmp, sizeof tmp, 0);
        if (n <= 0)
            return pred();
        raw_.append(tmp, static_cast<std::size_t>(n));
        // A telnet terminal shows the data, not the board's negotiation.
        auto* bytes = reinterpret_cast<unsigned char*>(tmp);
        const std::size_t data = telnet_receive(telnet_, {bytes, static_cast<std::size_t>(n)},
                                                {bytes, static_cast<std::size_t>(n)});
        screen_.feed_cp437(std::string_view(tmp, data));
    }
    return true;
}

bool door_caller::frame_complete() const
{
    static constexpr std::string_view END = "\x1b[0m";
    return raw_.size() >= END.size() && raw_.compare(raw_.size() - END.size(), END.size(), END) == 0;
}

bool door_caller::wait_for_raw(const std::string& text, std::chrono::milliseconds timeout)
{
    return wait_until([&] { return raw_.find(text) != std::string::npos; }, timeout);
}

bool door_caller::wait_for_text(const std::string& text, std::chrono::milliseconds timeout)
{
    return wait_until([&] { return screen_.contains(text); }, timeout);
}

void hang_up_and_expect_clean_exit(door_launcher& board, door_caller& caller)
{
    const auto hung_up = std::chrono::steady_clock::now();
    caller.hang_up();
    const auto ended = board.wait_line("ended", std::chrono::seconds(10));
    ASSERT_TRUE(ended);
    EXPECT_LT(std::chrono::steady_clock::now() - hung_up, std::chrono::seconds(3));
    EXPECT_NE(ended->find("with status 0"), std::string::npos) << *ended;
}

std::unique_ptr<pty_process> telnet_caller(int port, int cols, int rows)
{
    pty_options options;
    options.cols = cols;
    options.rows = rows;
    options.cp437 = true;
    return std::make_unique<pty_process>(std::vector<std::string>{"/usr/bin/telnet", "127.0.0.1", std::to_string(port)},
                                         options);
}

}  // namespace testsupport
