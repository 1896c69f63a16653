// The door launcher's name prompt on a board of one node: whatever a caller
// does at the prompt, the node is free again within the prompt's bound
// (shortened here to two seconds), and the next caller is asked the name.
#include "tests/support/door_call.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

using namespace std::chrono_literals;
using testsupport::door_caller;
using testsupport::door_launcher;

namespace {

// A plain TCP connection to the launcher; receive buffer as small as the
// system allows when asked, so a caller who does not read fills it soon.
int dial(int port, bool small_receive_buffer)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (small_receive_buffer) {
        int size = 1024;
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Sends bytes until the line breaks or the caller is told to stop; never
// reads what comes back.
void keep_sending(int fd, const std::string& bytes, std::chrono::milliseconds pause, const std::atomic<bool>& stop)
{
    while (!stop) {
        const ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return;
        if (n < 0 || pause.count() > 0) {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, static_cast<int>(n < 0 ? 50 : pause.count()));
        }
    }
}

struct prompt_case {
    const char* what;
    bool small_receive_buffer;
    std::string bytes;
    std::chrono::milliseconds pause;
};

}  // namespace

TEST(game_launcher_prompt, NodeIsFreeAgainWhateverTheCallerDoesAtThePrompt)
{
    std::string typing;
    for (int i = 0; i < 2048; ++i)
        typing += "a\x7f";  // a letter and a backspace: echoed, never a name
    const prompt_case cases[] = {
        {"a telnet NOP every 300 ms", false, "\xff\xf1", 300ms},
        {"typing without reading the echo", true, typing, 0ms},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        door_launcher board({DOOR_LAUNCHER_PATH, "--game", SYSOPSIM_PATH, "--port", "0", "--nodes", "1"},
                            {{"DOOR_LAUNCHER_NAME_WAIT_MS", "2000"}});
        const int port = board.port();
        ASSERT_GT(port, 0);
        const int fd = dial(port, c.small_receive_buffer);
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(board.wait_line("node 1: started", 10s));
        std::atomic<bool> stop{false};
        std::thread caller([&] { keep_sending(fd, c.bytes, c.pause, stop); });
        // The bound is 2 s; the wait allows for a loaded machine.
        const bool freed = board.wait_line("ended", 20s).has_value();
        stop = true;
        caller.join();
        close(fd);
        EXPECT_TRUE(freed) << "the caller holds the node";
        if (!freed)
            continue;
        door_caller next(port);
        EXPECT_TRUE(next.wait_for_raw("Your name: ", 10s)) << "the node is not free for the next caller";
    }
}
