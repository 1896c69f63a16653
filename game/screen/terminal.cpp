#include "game/screen/terminal.h"

#include "common/cp437.h"
#include "common/door_socket.h"
#include "common/telnet.h"
#include "game/rules/clock.h"
#include "game/rules/profile.h"

#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

unsigned char g_outbuf[OUTBUF_SIZE];
std::uint64_t g_outpos = 0;
int g_raw_active = 0;
termios g_saved_termios{};
glyph_mode g_glyph_mode = glyph_mode::cp437;
unsigned g_key_timeout_ms = 600000;

namespace {

// A stalled send waits this long for the peer to take bytes before the rest
// of the frame is dropped.
constexpr int SEND_STALL_MS = 10000;
constexpr unsigned ESCAPE_FOLLOW_MS = 30;

// Signal handlers only write a byte here; the key wait sees it.
int g_signal_pipe[2] = {-1, -1};
// A byte read ahead after a carriage return that turned out to be a key of
// its own; the next read returns it first.
int g_pushback = -1;
bool g_exit_registered = false;
// The door socket is the caller's raw telnet connection (connection type 2):
// its commands are taken out of the keys here.
telnet_state g_telnet;

void leave_on_hangup()
{
    restore_terminal();
    std::exit(0);
}

bool socket_channel()
{
    return g_d.use_socket != 0 && g_d.socket != -1;
}

int input_fd()
{
    return socket_channel() ? g_d.socket : STDIN_FILENO;
}

void on_quit_signal(int)
{
    int saved = errno;
    char b = 1;
    if (g_signal_pipe[1] >= 0)
        (void)!write(g_signal_pipe[1], &b, 1);
    errno = saved;
}

void install_signal_handling()
{
    signal(SIGPIPE, SIG_IGN);
    if (g_signal_pipe[0] < 0 && pipe2(g_signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction sa{};
    sa.sa_handler = on_quit_signal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGTERM, SIGHUP, SIGINT})
        sigaction(sig, &sa, nullptr);
}

[[noreturn]] void hang_up()
{
    if (g_hangup_hook)
        g_hangup_hook();
    std::exit(0);
}

void restore_at_exit()
{
    restore_terminal();
}

// Writes or sends some bytes; the count, or -1 with errno. A send never
// blocks: a door socket handed over in blocking mode would otherwise hold a
// stalled caller's node past every bound and past SIGHUP.
ssize_t send_some(const unsigned char* data, std::size_t len)
{
    if (socket_channel())
        return send(g_d.socket, data, len, MSG_NOSIGNAL | MSG_DONTWAIT);
    return write(STDOUT_FILENO, data, len);
}

// True once SIGTERM, SIGHUP or SIGINT came: their byte stays in the pipe.
bool quit_signalled()
{
    pollfd p{g_signal_pipe[0], POLLIN, 0};
    return g_signal_pipe[0] >= 0 && poll(&p, 1, 0) > 0;
}

// Waits for the channel to take bytes again; false after the stall bound or
// when a quit signal came (the next key wait then ends the game).
bool wait_writable()
{
    pollfd fds[2] = {{socket_channel() ? g_d.socket : STDOUT_FILENO, POLLOUT, 0}, {g_signal_pipe[0], POLLIN, 0}};
    const nfds_t nfds = g_signal_pipe[0] >= 0 ? 2 : 1;
    return poll(fds, nfds, SEND_STALL_MS) > 0 && (nfds == 1 || fds[1].revents == 0);
}

}  // namespace

void (*g_hangup_hook)() = leave_on_hangup;

namespace {

void append_out(const unsigned char* src, std::size_t len)
{
    while (len > 0) {
        if (g_outpos >= OUTBUF_SIZE)
            flush_out();
        std::size_t room = OUTBUF_SIZE - static_cast<std::size_t>(g_outpos);
        std::size_t n = len < room ? len : room;
        std::memcpy(g_outbuf + g_outpos, src, n);
        g_outpos += n;
        src += n;
        len -= n;
    }
}

}  // namespace

void buf_write(const void* data, std::size_t len)
{
    const auto* src = static_cast<const unsigned char*>(data);
    if (!socket_channel()) {
        append_out(src, len);
        return;
    }
    // On telnet a data byte 255 goes out doubled.
    while (len > 0) {
        const auto* iac = static_cast<const unsigned char*>(std::memchr(src, TELNET_IAC, len));
        const std::size_t run = iac ? static_cast<std::size_t>(iac - src) + 1 : len;
        append_out(src, run);
        if (iac)
            append_out(&TELNET_IAC, 1);
        src += run;
        len -= run;
    }
}

void buf_printf(const char* fmt, ...)
{
    char tmp[512];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(tmp, sizeof tmp, fmt, ap);
    va_end(ap);
    if (n <= 0)
        return;
    buf_write(tmp, n > 511 ? 511 : static_cast<std::size_t>(n));
}

int flush_out()
{
    std::size_t total = static_cast<std::size_t>(g_outpos);
    std::size_t done = 0;
    while (done < total) {
        ssize_t n = send_some(g_outbuf + done, total - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            if (quit_signalled())
                break;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!wait_writable())
                break;
        } else {
            break;  // the caller is gone or the line broke: drop the rest
        }
    }
    g_outpos = 0;
    return done == total ? 0 : -1;
}

int try_read_byte(unsigned timeout_ms, unsigned char* out)
{
    if (g_pushback >= 0) {
        *out = static_cast<unsigned char>(g_pushback);
        g_pushback = -1;
        return 1;
    }
    const std::int64_t deadline = monotonic_ms() + timeout_ms;
    pollfd fds[2] = {{input_fd(), POLLIN, 0}, {g_signal_pipe[0], POLLIN, 0}};
    const nfds_t nfds = g_signal_pipe[0] >= 0 ? 2 : 1;
    for (;;) {
        std::int64_t left = deadline - monotonic_ms();
        if (left < 0)
            left = 0;
        int r = poll(fds, nfds, static_cast<int>(left));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return 0;
        }
        if (r == 0)
            return 0;
        if ((nfds == 2 && fds[1].revents != 0) || (fds[0].revents & POLLNVAL))
            hang_up();
        ssize_t n = socket_channel() ? recv(g_d.socket, out, 1, 0) : read(STDIN_FILENO, out, 1);
        if (n == 1 && socket_channel()) {
            unsigned char raw = *out;
            if (telnet_receive(g_telnet, {&raw, 1}, {out, 1}) == 1)
                return 1;
            continue;  // part of a telnet command: wait on for a key
        }
        if (n == 1)
            return 1;
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        // Readable but nothing to read, or a hard error: the caller hung up.
        hang_up();
    }
}

void wait_unless_gone(int ms)
{
    const std::int64_t deadline = monotonic_ms() + ms;
    // POLLRDHUP without POLLIN: the caller's keys do not wake the wait, the
    // end of the line does (POLLHUP, POLLERR and POLLNVAL always do).
    pollfd fds[2] = {{input_fd(), POLLRDHUP, 0}, {g_signal_pipe[0], POLLIN, 0}};
    const nfds_t nfds = g_signal_pipe[0] >= 0 ? 2 : 1;
    for (;;) {
        const std::int64_t left = deadline - monotonic_ms();
        if (left <= 0)
            return;
        int r = poll(fds, nfds, static_cast<int>(left));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return;
        hang_up();
    }
}

void reset_key_reader()
{
    g_pushback = -1;
    g_telnet = telnet_state{};
}

int read_key_block()
{
    unsigned char b = 0;
    if (!try_read_byte(g_key_timeout_ms, &b))
        return GKEY_NONE;
    if (b == 27) {
        unsigned char b2 = 0;
        unsigned char b3 = 0;
        if (!try_read_byte(ESCAPE_FOLLOW_MS, &b2) || (b2 != '[' && b2 != 'O'))
            return 27;
        if (!try_read_byte(ESCAPE_FOLLOW_MS, &b3))
            return 27;
        switch (b3) {
        case 'A': return GKEY_UP;
        case 'B': return GKEY_DOWN;
        case 'C': return GKEY_RIGHT;
        case 'D': return GKEY_LEFT;
        default: return 27;
        }
    }
    if (b == 13) {
        // Telnet clients send Enter as CR LF or CR NUL. Without merging the
        // pair, the LF would answer the next question (a purchase confirmed
        // by itself).
        unsigned char b2 = 0;
        if (try_read_byte(ESCAPE_FOLLOW_MS, &b2) && b2 != 10 && b2 != 0)
            g_pushback = b2;
        return 13;
    }
    if (b == 0 || b == 224) {
        unsigned char b2 = 0;
        if (!try_read_byte(ESCAPE_FOLLOW_MS, &b2))
            return b;
        switch (b2) {
        case 'H': return GKEY_UP;
        case 'K': return GKEY_LEFT;
        case 'M': return GKEY_RIGHT;
        case 'P': return GKEY_DOWN;
        default: return b2;
        }
    }
    return b;
}

const char* door_socket_problem()
{
    return socket_channel() ? stream_socket_problem(g_d.socket) : nullptr;
}

void take_terminal()
{
    install_signal_handling();
    if (!socket_channel() && tcgetattr(STDIN_FILENO, &g_saved_termios) == 0) {
        termios raw = g_saved_termios;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 0;
        tcsetattr(STDIN_FILENO, TCSANOW, &raw);
        g_raw_active = 1;
        if (!g_exit_registered) {
            std::atexit(restore_at_exit);
            g_exit_registered = true;
        }
    }
    // Auto-wrap off: writing the bottom-right cell must not scroll the screen.
    static const char enter[] = "\x1b[?1049h\x1b[?7l";
    buf_write(enter, sizeof enter - 1);
    flush_out();
}

void restore_terminal()
{
    if (g_raw_active == 1) {
        tcsetattr(STDIN_FILENO, TCSANOW, &g_saved_termios);
        g_raw_active = 0;
    }
    static const char leave[] = "\x1b[0m\x1b[?25h\x1b[?7h\x1b[?1049l";
    buf_write(leave, sizeof leave - 1);
    flush_out();
}

void choose_glyph_mode(int force_utf8)
{
    if (force_utf8 >= 0) {
        g_glyph_mode = force_utf8 ? glyph_mode::utf8 : glyph_mode::cp437;
        return;
    }
    if (socket_channel()) {
        g_glyph_mode = glyph_mode::cp437;
        return;
    }
    std::setlocale(LC_CTYPE, "");
    const char* codeset = nl_langinfo(CODESET);
    bool utf8 = codeset && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
    g_glyph_mode = utf8 ? glyph_mode::utf8 : glyph_mode::cp437;
}

void buf_put_glyph(unsigned char ch)
{
    if (g_glyph_mode == glyph_mode::cp437) {
        // Bytes that would move the cursor, switch character sets or start
        // an escape sequence never go out as cell characters, whatever text
        // a profile or a dropfile carried in.
        switch (ch) {
        case 0: ch = ' '; break;
        case 8: case 9: case 10: case 11: case 12: case 13: case 14: case 27: ch = '?'; break;
        default: break;
        }
        buf_write(&ch, 1);
        return;
    }
    std::uint32_t cp = CP437_UNICODE[ch];
    unsigned char u[3];
    std::size_t n;
    if (cp < 0x80) {
        u[0] = static_cast<unsigned char>(cp);
        n = 1;
    } else if (cp < 0x800) {
        u[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
        u[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        n = 2;
    } else {
        u[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
        u[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        u[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        n = 3;
    }
    buf_write(u, n);
}
