#include "tests/support/ping_flood.h"

#include <cerrno>
#include <poll.h>
#include <string>
#include <sys/socket.h>

namespace testsupport {

ping_flood::ping_flood(int fd)
{
    thread_ = std::thread([this, fd] {
        const std::string ping = "PING :" + std::string(500, 'p') + "\r\n";
        std::string pending;
        while (!stop_.load()) {
            if (pending.empty()) {
                for (int i = 0; i < 64; ++i) {
                    pending += ping;
                }
            }
            const ssize_t n = send(fd, pending.data(), pending.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n > 0) {
                pending.erase(0, static_cast<std::size_t>(n));
                sent_.fetch_add(static_cast<std::size_t>(n));
            } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                return;
            } else {
                pollfd p{fd, POLLOUT, 0};
                poll(&p, 1, 50);
            }
        }
    });
}

ping_flood::~ping_flood()
{
    stop_.store(true);
    thread_.join();
}

}  // namespace testsupport
