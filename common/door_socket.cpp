#include "common/door_socket.h"

#include "common/door_session.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>

const char* stream_socket_problem(int fd)
{
    int type = 0;
    socklen_t length = sizeof type;
    if (fd < 0)
        return "is not open";
    if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) != 0)
        return errno == EBADF ? "is not open" : "is not a socket";
    if (type != SOCK_STREAM)
        return "is not a stream socket";
    sockaddr_storage peer{};
    socklen_t peer_length = sizeof peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peer_length) != 0)
        return "is not connected";
    return nullptr;
}

bool enable_keepalive(int fd)
{
    const std::int64_t minute_ms = door_minute_ms();
    const int idle_s = static_cast<int>(minute_ms / 1000);
    const int interval_s = idle_s / 6 > 0 ? idle_s / 6 : 1;
    const int probes = 6;
    const unsigned user_timeout_ms = static_cast<unsigned>(2 * minute_ms);
    const int on = 1;
    return setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) == 0 &&
           setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle_s, sizeof idle_s) == 0 &&
           setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval_s, sizeof interval_s) == 0 &&
           setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes) == 0 &&
           setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &user_timeout_ms, sizeof user_timeout_ms) == 0;
}
