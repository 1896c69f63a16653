// Terminal modes, input reading and signal flags.
#include "chat/ui/terminal.h"

#include "chat/ui/display_text.h"
#include "chat/ui/keys.h"
#include "chat/ui/screen_out.h"
#include "common/telnet.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>

namespace {

constexpr int KEY_WAIT_MS = 100;
// A sequence is ESC and at most three more bytes, each with its own wait.
constexpr int KEY_WAITS = 4;
// Sizes beyond these are a broken report, not a terminal.
constexpr int MAX_ROWS = 500;
constexpr int MAX_COLUMNS = 1000;
// How long a caller's terminal has to report its size at the start.
constexpr int SIZE_REPORT_WAIT_MS = 1000;
constexpr int CURSOR_REPORT_WAIT_MS = 1000;
constexpr screen_size DOOR_DEFAULT_SIZE{24, 80};

volatile std::sig_atomic_t g_stop_signal = 0;
bool g_input_failed = false;  // the input ended in an error, not at its end
volatile std::sig_atomic_t g_resized = 0;
bool g_input_ended = false;
key_decoder g_keys;

// The door socket, when keys come from a caller's telnet connection.
struct door_input {
    bool active = false;
    int fd = -1;
    telnet_state telnet;
    std::uint32_t reports_seen = 0;
    bool size_known = false;
    screen_size size = DOOR_DEFAULT_SIZE;
};
door_input g_door;

constexpr std::array<int, 4> HANDLED_SIGNALS{SIGTERM, SIGHUP, SIGINT, SIGWINCH};
std::array<struct sigaction, HANDLED_SIGNALS.size()> g_previous{};
struct sigaction g_previous_pipe{};

// Becomes readable at the first stop signal and stays so: a write stuck on
// a terminal nobody reads gives up at once (see g_out_wake_fd).
int g_stop_pipe[2] = {-1, -1};

extern "C" void on_signal(int number)
{
    if (number == SIGWINCH) {
        g_resized = 1;
    } else {
        g_stop_signal = 1;
        const int saved = errno;
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(g_stop_pipe[1], &byte, 1);
        errno = saved;
    }
}

screen_size clamp_size(int rows, int columns)
{
    return {std::clamp(rows, 24, MAX_ROWS), std::clamp(columns, 80, MAX_COLUMNS)};
}

int input_fd()
{
    return g_door.active ? g_door.fd : STDIN_FILENO;
}

// Takes telnet commands out of bytes from the door socket, in place; a new
// window size from the caller asks for a redraw. Returns the data bytes left.
std::size_t door_filter(char* bytes, std::size_t n)
{
    auto* raw = reinterpret_cast<unsigned char*>(bytes);
    const std::size_t kept = telnet_receive(g_door.telnet, {raw, n}, {raw, n});
    const telnet_state& t = g_door.telnet;
    if (t.size_reports != g_door.reports_seen) {
        g_door.reports_seen = t.size_reports;
        if (t.rows > 0 && t.columns > 0) {
            g_door.size = clamp_size(t.rows, t.columns);
            g_door.size_known = true;
            g_resized = 1;
        }
    }
    return kept;
}

// Waits up to ms for input and reads at most size bytes; kept is what is
// left as data (telnet commands taken out on the door socket). Returns 1 when
// bytes came, 0 when none did (time out, a signal), -1 at the end of input.
int read_input(char* bytes, std::size_t size, int ms, std::size_t& kept)
{
    kept = 0;
    pollfd p{input_fd(), POLLIN, 0};
    const int ready = ::poll(&p, 1, ms);
    if (ready <= 0) {
        return 0;
    }
    if (p.revents & POLLNVAL) {
        return -1;
    }
    const ssize_t n = ::read(input_fd(), bytes, size);
    if (n > 0) {
        kept = static_cast<std::size_t>(n);
        if (g_door.active) {
            kept = door_filter(bytes, kept);
        }
        return 1;
    }
    // Zero bytes from a ready descriptor, or a hard error such as EIO from a
    // hung-up terminal or ETIMEDOUT from keepalive on a dead line: the caller
    // is gone.
    if (n < 0 && errno != EINTR && errno != EAGAIN) {
        g_input_failed = true;
    }
    return n == 0 || (errno != EINTR && errno != EAGAIN) ? -1 : 0;
}

// Waits up to ms for input and feeds what came to the decoder. Returns false
// when nothing came (time out, a signal, or the end of input).
bool fill_input(int ms)
{
    if (g_keys.space() == 0) {
        return false;  // a full buffer of unfinished input: let the decoder settle it
    }
    char bytes[key_decoder::capacity];
    std::size_t kept = 0;
    const int got = read_input(bytes, g_keys.space(), ms, kept);
    if (got < 0) {
        g_input_ended = true;
        return false;
    }
    g_keys.feed({bytes, kept});
    return got > 0;
}

std::int64_t monotonic_ms()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Takes a cursor position report (ESC [ row ; column R) out of the bytes;
// true with the position when one was there.
bool take_cursor_report(char* bytes, std::size_t& length, int& rows, int& columns)
{
    const auto number = [&](std::size_t& at, int& value) {
        const std::size_t start = at;
        value = 0;
        while (at < length && at - start < 4 && bytes[at] >= '0' && bytes[at] <= '9') {
            value = value * 10 + (bytes[at++] - '0');
        }
        return at > start;
    };
    for (std::size_t i = 0; i + 1 < length; ++i) {
        if (bytes[i] != '\x1b' || bytes[i + 1] != '[') {
            continue;
        }
        std::size_t at = i + 2;
        int r = 0;
        int c = 0;
        if (number(at, r) && at < length && bytes[at++] == ';' && number(at, c) && at < length && bytes[at++] == 'R') {
            std::memmove(bytes + i, bytes + at, length - at);
            length -= at - i;
            rows = r;
            columns = c;
            return true;
        }
    }
    return false;
}

// Reads the door socket into typed until done() holds or ms have passed.
template <typename Done>
void read_door_until(char* typed, std::size_t size, std::size_t& length, int ms, Done done)
{
    const std::int64_t end = monotonic_ms() + ms;
    while (!done() && length < size && !g_input_ended && g_stop_signal == 0) {
        const std::int64_t left = end - monotonic_ms();
        if (left <= 0) {
            return;
        }
        std::size_t kept = 0;
        if (read_input(typed + length, size - length, static_cast<int>(left), kept) < 0) {
            g_input_ended = true;
        }
        length += kept;
    }
}

// Learns the caller's window: a telnet window-size report when the client
// sends one, else where the cursor stops when sent to the far corner, else
// 24 x 80. Keys typed meanwhile are kept for the decoder.
void probe_door_size()
{
    static constexpr char ASK_SIZE[] = {static_cast<char>(TELNET_IAC), static_cast<char>(TELNET_DO),
                                        static_cast<char>(TELNET_NAWS)};
    write_all(g_door.fd, {ASK_SIZE, sizeof ASK_SIZE}, true);
    char typed[key_decoder::capacity];
    std::size_t length = 0;
    read_door_until(typed, sizeof typed, length, SIZE_REPORT_WAIT_MS,
                    [] { return g_door.size_known || g_door.telnet.size_refused; });
    if (!g_door.size_known) {
        write_all(g_door.fd, "\x1b[999;999H\x1b[6n", true);
        int rows = 0;
        int columns = 0;
        read_door_until(typed, sizeof typed, length, CURSOR_REPORT_WAIT_MS,
                        [&] { return g_door.size_known || take_cursor_report(typed, length, rows, columns); });
        if (!g_door.size_known && rows > 0 && columns > 0) {
            g_door.size = clamp_size(rows, columns);
        }
    }
    g_resized = 0;  // the first frame is drawn at this size anyway
    g_keys.feed({typed, length});
}

}  // namespace

void terminal_use_door_socket(int fd, bool cp437)
{
    g_door.active = true;
    g_door.fd = fd;
    g_out_target = {fd, true, true, cp437};
    g_out.sink = write_to_target;
    g_keys.set_cp437(cp437);
    g_text_cp437 = cp437;
    probe_door_size();
}

void terminal_use_cp437_stdout()
{
    g_out_target = {STDOUT_FILENO, false, false, true};
    g_out.sink = write_to_target;
    g_keys.set_cp437(true);
    g_text_cp437 = true;
}

screen_size get_screen_size()
{
    if (g_door.active) {
        return g_door.size;
    }
    winsize ws{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) != 0 || ws.ws_row == 0 || ws.ws_col == 0) {
        return {25, 80};
    }
    return clamp_size(ws.ws_row, ws.ws_col);
}

bool terminal_enter_raw(termios& saved)
{
    if (g_door.active) {
        return false;
    }
    if (::tcgetattr(STDIN_FILENO, &saved) != 0) {
        return false;
    }
    termios raw = saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 1;
    return ::tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
}

void terminal_restore(const termios& saved)
{
    ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}

int ui_read_key()
{
    for (int wait = 0; wait < KEY_WAITS; ++wait) {
        const int key = g_keys.next(true);
        if (key != KEY_NONE) {
            return key;
        }
        if (g_input_ended || !fill_input(KEY_WAIT_MS)) {
            break;
        }
    }
    return g_keys.next(false);
}

int ui_read_key_buffered()
{
    return g_keys.next(true);
}

void ui_install_signal_handlers()
{
    if (g_stop_pipe[0] < 0 && ::pipe2(g_stop_pipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        g_out_wake_fd = g_stop_pipe[0];
    }
    struct sigaction action{};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a signal cuts the key wait short
    for (std::size_t i = 0; i < HANDLED_SIGNALS.size(); ++i) {
        ::sigaction(HANDLED_SIGNALS[i], &action, &g_previous[i]);
    }
    struct sigaction ignore{};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, &g_previous_pipe);
}

void ui_restore_signal_handlers()
{
    for (std::size_t i = 0; i < HANDLED_SIGNALS.size(); ++i) {
        ::sigaction(HANDLED_SIGNALS[i], &g_previous[i], nullptr);
    }
    ::sigaction(SIGPIPE, &g_previous_pipe, nullptr);
}

bool ui_stop_requested()
{
    return g_stop_signal != 0 || g_input_ended;
}

bool ui_stopped_by_signal()
{
    return g_stop_signal != 0;
}

bool ui_input_failed()
{
    return g_input_failed;
}

bool ui_input_hung_up()
{
    pollfd p{input_fd(), POLLRDHUP, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLRDHUP)) != 0;
}

bool ui_take_resize()
{
    const bool resized = g_resized != 0;
    g_resized = 0;
    return resized;
}
