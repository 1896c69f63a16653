// Terminal modes, input reading and signal flags.
#include "chat/ui/terminal.h"

#include "chat/ui/keys.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>

namespace {

constexpr int KEY_WAIT_MS = 100;
// A sequence is ESC and at most three more bytes, each with its own wait.
constexpr int KEY_WAITS = 4;
// Sizes beyond these are a broken report, not a terminal.
constexpr int MAX_ROWS = 500;
constexpr int MAX_COLUMNS = 1000;

volatile std::sig_atomic_t g_stop_signal = 0;
volatile std::sig_atomic_t g_resized = 0;
bool g_input_ended = false;
key_decoder g_keys;

constexpr std::array<int, 4> HANDLED_SIGNALS{SIGTERM, SIGHUP, SIGINT, SIGWINCH};
std::array<struct sigaction, HANDLED_SIGNALS.size()> g_previous{};
struct sigaction g_previous_pipe{};

extern "C" void on_signal(int number)
{
    if (number == SIGWINCH) {
        g_resized = 1;
    } else {
        g_stop_signal = 1;
    }
}

// Waits up to ms for input and feeds what came to the decoder. Returns false
// when nothing came (time out, a signal, or the end of input).
bool fill_input(int ms)
{
    if (g_keys.space() == 0) {
        return false;  // a full buffer of unfinished input: let the decoder settle it
    }
    pollfd p{STDIN_FILENO, POLLIN, 0};
    const int ready = ::poll(&p, 1, ms);
    if (ready <= 0) {
        return false;
    }
    if (p.revents & POLLNVAL) {
        g_input_ended = true;
        return false;
    }
    char bytes[key_decoder::capacity];
    const ssize_t n = ::read(STDIN_FILENO, bytes, g_keys.space());
    if (n > 0) {
        g_keys.feed({bytes, static_cast<std::size_t>(n)});
        return true;
    }
    // Zero bytes from a ready descriptor, or a hard error such as EIO from a
    // hung-up terminal: the caller is gone.
    if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        g_input_ended = true;
    }
    return false;
}

}  // namespace

screen_size get_screen_size()
{
    winsize ws{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) != 0 || ws.ws_row == 0 || ws.ws_col == 0) {
        return {25, 80};
    }
    return {std::clamp(static_cast<int>(ws.ws_row), 24, MAX_ROWS),
            std::clamp(static_cast<int>(ws.ws_col), 80, MAX_COLUMNS)};
}

bool terminal_enter_raw(termios& saved)
{
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

bool ui_take_resize()
{
    const bool resized = g_resized != 0;
    g_resized = 0;
    return resized;
}
