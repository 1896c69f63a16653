// A server that stops reading and floods its client with PINGs: a thread
// writes "PING :<500 bytes>" lines to a socket as fast as it takes them and
// never reads the PONGs. It never blocks for long, so the test can always end
// it, and it stops on its own when the peer goes away.
#pragma once

#include <atomic>
#include <cstddef>
#include <thread>

namespace testsupport {

class ping_flood {
public:
    explicit ping_flood(int fd);
    // Stops the flood and waits for its thread.
    ~ping_flood();
    ping_flood(const ping_flood&) = delete;
    ping_flood& operator=(const ping_flood&) = delete;

    // Bytes the socket has taken so far.
    std::size_t bytes_sent() const { return sent_.load(); }

private:
    std::atomic<bool> stop_{false};
    std::atomic<std::size_t> sent_{0};
    std::thread thread_;
};

}  // namespace testsupport
