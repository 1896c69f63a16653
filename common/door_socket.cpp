#include "common/door_socket.h"

#include <sys/socket.h>
#include <sys/stat.h>

bool is_connected_stream_socket(int fd)
{
    struct stat st{};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode))
        return false;
    int type = 0;
    socklen_t length = sizeof type;
    if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) != 0 || type != SOCK_STREAM)
        return false;
    sockaddr_storage peer{};
    socklen_t peer_length = sizeof peer;
    return ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peer_length) == 0;
}
