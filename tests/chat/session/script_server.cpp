// The scripted loopback IRC server of the session tests.
#include "tests/chat/session/script_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace {

long long now_ms()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int left_ms(long long deadline)
{
    const long long left = deadline - now_ms();
    return left < 0 ? 0 : static_cast<int>(left);
}

} // namespace

script_server::script_server()
{
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(listener_, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 && listen(listener_, 4) == 0 &&
        getsockname(listener_, reinterpret_cast<sockaddr *>(&a), &len) == 0) {
        port_ = ntohs(a.sin_port);
    }
}

script_server::~script_server()
{
    close_client();
    if (listener_ >= 0) {
        close(listener_);
    }
}

bool script_server::accept_client(int timeout_ms)
{
    pollfd p{listener_, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) {
        return false;
    }
    close_client();
    client_ = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    pending_.clear();
    return client_ >= 0;
}

std::optional<std::string> script_server::next_line(int timeout_ms)
{
    const long long deadline = now_ms() + timeout_ms;
    for (;;) {
        const std::size_t lf = pending_.find('\n');
        if (lf != std::string::npos) {
            std::string line = pending_.substr(0, lf);
            pending_.erase(0, lf + 1);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            return line;
        }
        pollfd p{client_, POLLIN, 0};
        if (client_ < 0 || poll(&p, 1, left_ms(deadline)) <= 0) {
            return std::nullopt;
        }
        char buf[4096];
        const ssize_t n = recv(client_, buf, sizeof buf, 0);
        if (n <= 0) {
            return std::nullopt;
        }
        pending_.append(buf, static_cast<std::size_t>(n));
    }
}

void script_server::send_raw(std::string_view bytes)
{
    while (!bytes.empty() && client_ >= 0) {
        const ssize_t n = send(client_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) {
            return;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void script_server::send_line(std::string_view line)
{
    send_raw(std::string(line) + "\r\n");
}

std::optional<std::string> script_server::lines_before_pong(const std::string &token, int timeout_ms)
{
    send_line("PING :" + token);
    std::string before;
    for (;;) {
        auto line = next_line(timeout_ms);
        if (!line) {
            return std::nullopt;
        }
        if (*line == "PONG :" + token) {
            return before;
        }
        before += *line + "\n";
    }
}

void script_server::close_client()
{
    if (client_ >= 0) {
        close(client_);
        client_ = -1;
    }
}
