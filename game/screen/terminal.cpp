#include "game/screen/terminal.h"

#include "common/cp437.h"
#include "common/door_socket.h"
#include "common/telnet.h"
#include "game/rules/clock.h"
#include "game/rules/profile.h"
#include "game/screen/cells.h"

#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <linux/sockios.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
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
int g_frame_stall_ms = 2000;
int g_gone_stall_ms = 6000;

namespace {

constexpr unsigned ESCAPE_FOLLOW_MS = 30;
// A stalled send looks this often whether the caller took bytes meanwhile.
constexpr int STALL_LOOK_MS = 250;
constexpr int KEY_CTRL_L = 12;
constexpr int KEY_CTRL_R = 18;

// Since when the caller has taken no output (-1: output flows).
std::int64_t g_stalled_since = -1;
// Set once the caller is gone: output is then offered once, never waited for.
bool g_line_dead = false;
volatile sig_atomic_t g_resized = 0;

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

void on_resize(int)
{
    g_resized = 1;
}

void install_signal_handling()
{
    signal(SIGPIPE, SIG_IGN);
    struct sigaction winch{};
    winch.sa_handler = on_resize;
    winch.sa_flags = SA_RESTART;
    sigemptyset(&winch.sa_mask);
    sigaction(SIGWINCH, &winch, nullptr);
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

int output_fd()
{
    return socket_channel() ? g_d.socket : STDOUT_FILENO;
}

// Writes or sends some bytes; the count, or -1 with errno. Neither ever
// blocks (flush_out makes standard output non-blocking while it writes): a
// stalled caller must not hold the game past every bound and past SIGHUP.
ssize_t send_some(const unsigned char* data, std::size_t len)
{
    if (socket_channel())
        return send(g_d.socket, data, len, MSG_NOSIGNAL | MSG_DONTWAIT);
    return write(STDOUT_FILENO, data, len);
}

// Bytes the door socket still holds for the caller, or -1 where that is not
// known. A queue that shrinks is a caller who reads, however slowly.
int queued_for_caller()
{
    int queued = 0;
    if (!socket_channel() || ioctl(g_d.socket, SIOCOUTQ, &queued) != 0)
        return -1;
    return queued;
}

enum class wait_outcome { writable, timed_out, quit };

// Waits up to ms for the channel to take bytes; a quit signal ends the wait.
wait_outcome wait_writable(int ms)
{
    pollfd fds[2] = {{output_fd(), POLLOUT, 0}, {g_signal_pipe[0], POLLIN, 0}};
    const nfds_t nfds = g_signal_pipe[0] >= 0 ? 2 : 1;
    const int r = poll(fds, nfds, ms);
    if (r > 0 && nfds == 2 && fds[1].revents != 0)
        return wait_outcome::quit;
    return r > 0 ? wait_outcome::writable : wait_outcome::timed_out;
}

// Standard output made non-blocking for one flush, and put back after.
class nonblocking_stdout {
public:
    nonblocking_stdout()
    {
        if (socket_channel())
            return;
        const int flags = fcntl(STDOUT_FILENO, F_GETFL);
        if (flags >= 0 && (flags & O_NONBLOCK) == 0 && fcntl(STDOUT_FILENO, F_SETFL, flags | O_NONBLOCK) == 0)
            saved_ = flags;
    }
    ~nonblocking_stdout()
    {
        if (saved_ >= 0)
            fcntl(STDOUT_FILENO, F_SETFL, saved_);
    }
    nonblocking_stdout(const nonblocking_stdout&) = delete;
    nonblocking_stdout& operator=(const nonblocking_stdout&) = delete;

private:
    int saved_ = -1;
};

// Where output cut after `done` bytes may stop without tearing an escape
// sequence, a UTF-8 character or a doubled telnet IAC: the end of the unit
// the cut falls in (done itself when it falls between units).
std::size_t unit_end(const unsigned char* b, std::size_t done, std::size_t total)
{
    if (done == 0 || done >= total)
        return done;
    std::size_t end = done;
    const std::size_t from = done > 32 ? done - 32 : 0;
    for (std::size_t i = done; i-- > from;) {
        if (b[i] != 27)
            continue;
        std::size_t j = i + 1;
        if (j < total && b[j] == '[') {
            ++j;
            while (j < total && b[j] >= 0x20 && b[j] <= 0x3F)
                ++j;
        }
        end = std::max(end, std::min(j + 1, total));
        break;
    }
    if (end == done && g_glyph_mode == glyph_mode::utf8) {
        while (end < total && (b[end] & 0xC0) == 0x80)
            ++end;
    }
    if (end == done && socket_channel()) {
        std::size_t run = 0;
        while (run < done && b[done - 1 - run] == TELNET_IAC)
            ++run;
        if (run % 2 == 1 && b[done] == TELNET_IAC)
            ++end;
    }
    return end;
}

// The caller is gone: nothing more waits on the line, and the game ends.
[[noreturn]] void caller_gone()
{
    g_line_dead = true;
    g_outpos = 0;
    hang_up();
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
    const std::size_t total = static_cast<std::size_t>(g_outpos);
    if (total == 0)
        return 0;
    std::size_t done = 0;
    bool gone = false;
    {
        nonblocking_stdout guard;
        std::int64_t frame_stalled_since = -1;
        int last_queued = -1;
        while (done < total) {
            const ssize_t n = send_some(g_outbuf + done, total - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                g_stalled_since = -1;
                frame_stalled_since = -1;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK) || g_line_dead)
                break;  // the line broke: drop the rest
            const std::int64_t now = monotonic_ms();
            const int queued = queued_for_caller();
            if (g_stalled_since < 0 || (queued >= 0 && last_queued >= 0 && queued < last_queued))
                g_stalled_since = now;
            if (frame_stalled_since < 0 || g_stalled_since == now)
                frame_stalled_since = now;
            last_queued = queued;
            if (now - g_stalled_since >= g_gone_stall_ms) {
                gone = true;
                break;
            }
            if (now - frame_stalled_since >= g_frame_stall_ms)
                break;
            const std::int64_t left = frame_stalled_since + g_frame_stall_ms - now;
            if (wait_writable(static_cast<int>(std::min<std::int64_t>(left, STALL_LOOK_MS))) == wait_outcome::quit) {
                gone = true;
                break;
            }
        }
    }
    if (gone)
        caller_gone();
    if (done == total) {
        g_outpos = 0;
        return 0;
    }
    // The rest is dropped, but a sequence torn by the cut is finished first
    // with the next output, so the caller's terminal reads what follows.
    const std::size_t keep_end = unit_end(g_outbuf, done, total);
    std::memmove(g_outbuf, g_outbuf + done, keep_end - done);
    g_outpos = keep_end - done;
    force_full_repaint();
    return -1;
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

void reset_output_line()
{
    g_line_dead = false;
    g_stalled_since = -1;
}

int read_key_block()
{
    unsigned char b = 0;
    for (;;) {
        if (!try_read_byte(g_key_timeout_ms, &b))
            return GKEY_NONE;
        if (b != KEY_CTRL_L && b != KEY_CTRL_R)
            break;
        redraw_screen();
    }
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
    // Whatever the terminal shows now is not ours: the first frame paints all.
    force_full_repaint();
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
    // Cells already sent in the other form no longer match the front buffer.
    force_full_repaint();
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

namespace {

// What code page 437 callers see in place of the pictures of bytes below 32
// and of 127, which their terminals would take as controls.
constexpr unsigned char CP437_LOOKALIKE[32] = {
    ' ', '@', '@', 'v', '*', '*', '*', 0xF9, 0xDB, 'o', 0xDB, 'o', '+', 'd', 'd', '*',
    '>', '<', '|', '!', 'P', 'S', 0xDC, '|', '^', 'v', '>', '<', 0xC0, '-', '^', 'v',
};
constexpr unsigned char CP437_HOUSE_LOOKALIKE = '^';

}  // namespace

std::size_t encode_glyph(unsigned char ch, unsigned char* out)
{
    if (g_glyph_mode == glyph_mode::cp437) {
        if (ch < 32)
            ch = CP437_LOOKALIKE[ch];
        else if (ch == 127)
            ch = CP437_HOUSE_LOOKALIKE;
        out[0] = ch;
        return 1;
    }
    const std::uint32_t cp = CP437_UNICODE[ch];
    if (cp < 0x80) {
        out[0] = static_cast<unsigned char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
        out[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        return 2;
    }
    out[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
    out[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    return 3;
}

void buf_put_glyph(unsigned char ch)
{
    unsigned char bytes[3];
    buf_write(bytes, encode_glyph(ch, bytes));
}

bool take_resized()
{
    if (!g_resized)
        return false;
    g_resized = 0;
    return true;
}
