// Floods a session from a loopback server with PRIVMSG lines, then a PING,
// and reports how fast the session took them in: lines per second and CPU
// seconds until the PONG came back, with the scrollback full throughout.
//
//   irc_flood_bench [lines]     (default 200000)
#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

#include "chat/session/irc_session.h"

namespace {

double seconds(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

int listen_loopback(int *port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || listen(fd, 1) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) != 0) {
        return -1;
    }
    *port = ntohs(a.sin_port);
    return fd;
}

// Reads from the client until text has been seen (or ten minutes pass).
bool read_until(int fd, const std::string &text, std::string *seen)
{
    char buf[4096];
    while (seen->find(text) == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 600000) <= 0) {
            return false;
        }
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) {
            return false;
        }
        seen->append(buf, static_cast<std::size_t>(n));
    }
    return true;
}

bool send_all(int fd, const std::string &data)
{
    for (std::size_t off = 0; off < data.size();) {
        const ssize_t n = send(fd, data.data() + off, data.size() - off, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        off += static_cast<std::size_t>(n);
    }
    return true;
}

std::string make_flood(long lines)
{
    std::string flood;
    flood.reserve(static_cast<std::size_t>(lines) * 80);
    for (long i = 0; i < lines; ++i) {
        flood += ":sender" + std::to_string(i % 50) + "!user@host.example PRIVMSG #bench :message number " +
                 std::to_string(i) + " with some ordinary chat text\r\n";
    }
    return flood + "PING :bench-end\r\n";
}

} // namespace

int main(int argc, char **argv)
{
    const long lines = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 200000;
    int port = 0;
    const int listener = listen_loopback(&port);
    if (listener < 0 || lines <= 0) {
        std::fprintf(stderr, "cannot listen on loopback\n");
        return 1;
    }
    const std::string flood = make_flood(lines);

    auto session = std::make_unique<irc_session>();
    irc_session *s = session.get();
    irc_init(s);
    for (int i = 0; i < SCROLLBACK_LINES; ++i) {
        irc_add_line(s, "*", "filler so the scrollback is full from the first line", LINE_SYSTEM);
    }
    if (irc_connect_server(s, "127.0.0.1", port, "bench", "", 0, "") != 0) {
        std::fprintf(stderr, "connect failed\n");
        return 1;
    }
    const int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    std::string seen;
    if (client < 0 || !read_until(client, "USER bench", &seen)) {
        std::fprintf(stderr, "no registration\n");
        return 1;
    }
    clockid_t net_clock{};
    pthread_getcpuclockid(s->thread.native_handle(), &net_clock);

    const double wall0 = seconds(CLOCK_MONOTONIC);
    const double net0 = seconds(net_clock);
    const double proc0 = seconds(CLOCK_PROCESS_CPUTIME_ID);
    seen.clear();
    if (!send_all(client, flood) || !read_until(client, "PONG :bench-end", &seen)) {
        std::fprintf(stderr, "flood failed\n");
        return 1;
    }
    const double wall = seconds(CLOCK_MONOTONIC) - wall0;
    const double net = seconds(net_clock) - net0;
    const double proc = seconds(CLOCK_PROCESS_CPUTIME_ID) - proc0;

    int held = 0;
    {
        const auto guard = irc_lock(s);
        held = irc_line_count(s);
    }
    std::printf("lines             %ld (%.1f MB)\n", lines, static_cast<double>(flood.size()) / 1e6);
    std::printf("wall seconds      %.3f\n", wall);
    std::printf("lines per second  %.0f\n", static_cast<double>(lines) / wall);
    std::printf("CPU seconds       %.3f network thread, %.3f whole process (server side included)\n", net, proc);
    std::printf("scrollback        %d lines\n", held);
    irc_disconnect(s, "bench done");
    close(client);
    close(listener);
    return 0;
}
