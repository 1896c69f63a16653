// Output buffering for the terminal.
#include "chat/ui/screen_out.h"

#include "chat/ui/utf8_text.h"
#include "common/telnet.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

out_buffer g_out;
out_target g_out_target;
int g_out_wake_fd = -1;

namespace {

// A terminal or pipe shared with other processes must not be switched to
// non-blocking for them all; a new open file description of the same file
// is ours alone. Kept per descriptor for the life of the program.
struct twin {
    int fd = -1;
    int own = -1;
};
std::array<twin, 4> g_twins;

int nonblocking_twin(int fd)
{
    for (const twin& t : g_twins) {
        if (t.fd == fd) {
            return t.own;
        }
    }
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    int own = ::open(path, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat a{};
    struct stat b{};
    if (own >= 0 && (::fstat(fd, &a) != 0 || ::fstat(own, &b) != 0 || a.st_dev != b.st_dev || a.st_ino != b.st_ino ||
                     S_ISREG(b.st_mode))) {
        // Not the same file after all, or a plain file (which never blocks
        // and must keep its own offset): write to fd itself.
        ::close(own);
        own = -1;
    }
    for (twin& t : g_twins) {
        if (t.fd < 0) {
            t = {fd, own};
            break;
        }
    }
    return own;
}

// Waits up to a second for room on fd; false on time out or when the
// program is ending.
bool wait_for_room(int fd)
{
    pollfd p[2] = {{fd, POLLOUT, 0}, {g_out_wake_fd, POLLIN, 0}};
    for (;;) {
        const int r = ::poll(p, g_out_wake_fd >= 0 ? 2 : 1, 1000);
        if (r < 0 && errno == EINTR) {
            // A signal: if it asks us to end, the wake descriptor says so.
            continue;
        }
        return r > 0 && (p[1].revents & POLLIN) == 0 && (p[0].revents & POLLOUT) != 0;
    }
}

cp437_encoder g_encoder;

// Doubles byte 255 for telnet, then writes; false when the rest was dropped.
bool write_escaped(std::string_view bytes)
{
    if (!g_out_target.telnet) {
        return write_all(g_out_target.fd, bytes, g_out_target.socket);
    }
    unsigned char escaped[4096];
    while (!bytes.empty()) {
        const std::size_t n = std::min(bytes.size(), sizeof escaped / 2);
        const std::span<const unsigned char> in{reinterpret_cast<const unsigned char*>(bytes.data()), n};
        const std::size_t length = telnet_escape(in, escaped);
        if (!write_all(g_out_target.fd, {reinterpret_cast<const char*>(escaped), length}, g_out_target.socket)) {
            return false;
        }
        bytes.remove_prefix(n);
    }
    return true;
}

}  // namespace

void write_to_stdout(std::string_view bytes)
{
    write_all(STDOUT_FILENO, bytes, false);
}

void write_to_target(std::string_view bytes)
{
    if (!g_out_target.cp437) {
        write_escaped(bytes);
        return;
    }
    // A caller who stopped reading loses the rest of this frame at once,
    // not a second for every piece of it.
    constexpr std::size_t PIECE = 4096;
    char encoded[cp437_encoder::room(PIECE)];
    while (!bytes.empty()) {
        const std::size_t n = std::min(bytes.size(), PIECE);
        if (!write_escaped({encoded, g_encoder.encode(bytes.substr(0, n), encoded)})) {
            return;
        }
        bytes.remove_prefix(n);
    }
}

// Writes all bytes, also after partial writes. A terminal that stays stuck for
// a second, or a closed one, loses this frame rather than stalling the loop.
bool write_all(int fd, std::string_view bytes, bool socket)
{
    const int out = socket ? fd : nonblocking_twin(fd);
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (out < 0 && !socket && !wait_for_room(fd)) {
            return false;   // no description of our own: write only what poll said fits
        }
        const std::size_t chunk = out < 0 && !socket ? std::min<std::size_t>(bytes.size() - done, 512)
                                                     : bytes.size() - done;
        const ssize_t n = socket ? ::send(fd, bytes.data() + done, chunk, MSG_NOSIGNAL | MSG_DONTWAIT)
                                 : ::write(out >= 0 ? out : fd, bytes.data() + done, chunk);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && wait_for_room(fd)) {
            continue;
        }
        return false;
    }
    return true;
}

void out_buffer::put(std::string_view text)
{
    while (!text.empty()) {
        if (length_ == capacity) {
            flush();
        }
        const std::size_t n = std::min(text.size(), capacity - length_);
        std::memcpy(bytes_ + length_, text.data(), n);
        length_ += n;
        text.remove_prefix(n);
    }
}

void out_buffer::putf(const char* format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n > 0) {
        put({text, std::min(static_cast<std::size_t>(n), sizeof text - 1)});
    }
}

void out_buffer::move(int row, int column)
{
    putf("\x1b[%d;%dH", row, column);
}

void out_buffer::spaces(int n)
{
    static constexpr char blanks[] = "                                                                ";
    constexpr int chunk = static_cast<int>(sizeof blanks - 1);
    for (; n > 0; n -= chunk) {
        put({blanks, static_cast<std::size_t>(n < chunk ? n : chunk)});
    }
}

void out_buffer::flush()
{
    if (length_ > 0 && sink != nullptr) {
        sink({bytes_, length_});
    }
    length_ = 0;
}
