#include "tests/support/pty_process.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace testsupport {

using clock_type = std::chrono::steady_clock;

pty_process::pty_process(const std::vector<std::string>& argv, const pty_options& opts)
    : cp437_(opts.cp437), screen_(std::make_unique<vt::vt_screen>(opts.cols, opts.rows))
{
    winsize ws{};
    ws.ws_col = static_cast<unsigned short>(opts.cols);
    ws.ws_row = static_cast<unsigned short>(opts.rows);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    pid_ = forkpty(&master_, nullptr, nullptr, &ws);
    if (pid_ < 0)
        throw std::runtime_error("forkpty failed");
    if (pid_ == 0) {
        if (!opts.cwd.empty() && chdir(opts.cwd.c_str()) != 0)
            _exit(126);
        if (opts.run_as && (setgroups(0, nullptr) != 0 || setgid(opts.run_as->second) != 0 ||
                            setuid(opts.run_as->first) != 0))
            _exit(126);
        setenv("TERM", "xterm-256color", 1);
        for (const auto& [k, v] : opts.env)
            setenv(k.c_str(), v.c_str(), 1);
        execv(args[0], args.data());
        _exit(127);
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

pty_process::~pty_process()
{
    if (pid_ > 0 && !exit_status_) {
        kill(pid_, SIGKILL);
        reap(true);
    }
    if (master_ >= 0)
        close(master_);
}

void pty_process::send(std::string_view keys)
{
    while (!keys.empty() && master_ >= 0) {
        ssize_t n = write(master_, keys.data(), keys.size());
        if (n > 0) {
            keys.remove_prefix(static_cast<size_t>(n));
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{master_, POLLOUT, 0};
            poll(&p, 1, 100);
            read_some(0);  // keep the child from blocking on its own output
        } else {
            return;
        }
    }
}

bool pty_process::read_some(int timeout_ms)
{
    if (master_ < 0)
        return false;
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0)
        return false;
    char buf[65536];
    bool got = false;
    for (;;) {
        ssize_t n = read(master_, buf, sizeof buf);
        if (n <= 0)
            break;
        std::string_view chunk(buf, static_cast<size_t>(n));
        output_.append(chunk);
        if (cp437_)
            screen_->feed_cp437(chunk);
        else
            screen_->feed(chunk);
        got = true;
    }
    return got;
}

void pty_process::pump(std::chrono::milliseconds for_how_long)
{
    auto end = clock_type::now() + for_how_long;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - clock_type::now());
        if (left.count() <= 0)
            break;
        if (!read_some(static_cast<int>(left.count())))
            reap(false);
    }
}

bool pty_process::wait_until(const std::function<bool()>& pred, std::chrono::milliseconds timeout)
{
    auto end = clock_type::now() + timeout;
    for (;;) {
        if (pred())
            return true;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - clock_type::now());
        if (left.count() <= 0)
            return pred();
        read_some(static_cast<int>(std::min<long>(left.count(), 50)));
    }
}

bool pty_process::wait_for_text(std::string_view text, std::chrono::milliseconds timeout)
{
    return wait_until([&] { return screen_->contains(text); }, timeout);
}

void pty_process::reap(bool block)
{
    if (pid_ <= 0 || exit_status_)
        return;
    int status = 0;
    pid_t r = waitpid(pid_, &status, block ? 0 : WNOHANG);
    if (r == pid_) {
        if (WIFEXITED(status))
            exit_status_ = WEXITSTATUS(status);
        else if (WIFSIGNALED(status))
            exit_status_ = 128 + WTERMSIG(status);
    }
}

std::optional<int> pty_process::wait_exit(std::chrono::milliseconds timeout)
{
    auto end = clock_type::now() + timeout;
    while (!exit_status_) {
        reap(false);
        if (exit_status_)
            break;
        if (clock_type::now() >= end)
            break;
        if (!read_some(10))
            usleep(5000);
    }
    if (exit_status_)
        read_some(0);
    return exit_status_;
}

std::optional<int> pty_process::wait_exit_unread(std::chrono::milliseconds timeout)
{
    const auto end = clock_type::now() + timeout;
    for (reap(false); !exit_status_ && clock_type::now() < end; reap(false))
        usleep(5000);
    return exit_status_;
}

std::size_t pty_process::unread_bytes() const
{
    int n = 0;
    return ioctl(master_, FIONREAD, &n) == 0 && n > 0 ? static_cast<std::size_t>(n) : 0;
}

void pty_process::report_size(int cols, int rows)
{
    winsize ws{};
    ws.ws_col = static_cast<unsigned short>(cols);
    ws.ws_row = static_cast<unsigned short>(rows);
    ioctl(master_, TIOCSWINSZ, &ws);
}

void pty_process::resize(int cols, int rows)
{
    report_size(cols, rows);
    auto old = std::move(screen_);
    screen_ = std::make_unique<vt::vt_screen>(cols, rows);
}

void pty_process::hang_up()
{
    if (master_ >= 0) {
        close(master_);
        master_ = -1;
    }
}

}  // namespace testsupport
