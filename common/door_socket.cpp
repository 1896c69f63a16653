#include "common/door_socket.h"

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
