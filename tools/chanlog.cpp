// chanlog: sits in one IRC channel and logs it, built on the IRC client
// library. It writes the conversation to standard output and the library's
// session log to a file, answers CTCP VERSION, TIME and PING (a few at a
// time: a crowd asking at once gets no flood back), and reconnects by the
// library's policy when the connection drops or the server falls silent.
// SIGINT or SIGTERM ends it, also during a connect or with a standard output
// nobody reads.
//
//   chanlog --server HOST --port N --nick NICK --channel #CHAN [--log FILE]
//           [--tls [--ca-file PEM | --pin SHA256 | --insecure]] [--reconnect-delay S]
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <string_view>
#include <unistd.h>

#include "chat/ircclient/irc_client.h"
#include "chat/ui/display_text.h"
#include "chat/ui/screen_out.h"

namespace {

constexpr int TICK_MS = 1000;   // how often the reconnect policy is asked

// CTCP answers: a burst of this many, then one per interval; requests
// beyond that are logged but not answered.
constexpr int CTCP_BURST = 3;
constexpr std::int64_t CTCP_INTERVAL_MS = 5000;

int g_wake_pipe[2] = {-1, -1};   // drained by the main loop
int g_stop_pipe[2] = {-1, -1};   // never drained: readable for good once stopping
volatile std::sig_atomic_t g_stop = 0;

void on_signal(int)
{
    g_stop = 1;
    const int saved = errno;
    const char byte = 1;
    // Nothing to do when a pipe is full: it is readable already.
    [[maybe_unused]] const ssize_t n = write(g_wake_pipe[1], &byte, 1);
    [[maybe_unused]] const ssize_t m = write(g_stop_pipe[1], &byte, 1);
    errno = saved;
}

bool stop_requested()
{
    return g_stop != 0;
}

struct options {
    std::string server;
    int port = 6667;
    std::string nick;
    std::string channel;
    std::string log = "chanlog.log";
    bool tls = false;
    std::string ca_file;
    std::string pin;
    bool insecure = false;
    int reconnect_delay = 5;
    // Not in the usage text: shorter limits for tests (milliseconds).
    std::string limits;   // REGISTER,SILENCE,PING_ANSWER
    std::string pace;     // BURST,INTERVAL
};

void usage()
{
    std::fputs("usage: chanlog --server HOST --port N --nick NICK --channel #CHAN [--log FILE]\n"
               "               [--tls [--ca-file PEM | --pin SHA256 | --insecure]] [--reconnect-delay S]\n",
               stderr);
}

bool parse_args(int argc, char **argv, options &o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool has_value = i + 1 < argc;
        if (a == "--tls") {
            o.tls = true;
        } else if (a == "--insecure") {
            o.insecure = true;
        } else if (!has_value) {
            return false;
        } else if (a == "--server") {
            o.server = argv[++i];
        } else if (a == "--port") {
            o.port = std::atoi(argv[++i]);
        } else if (a == "--nick") {
            o.nick = argv[++i];
        } else if (a == "--channel") {
            o.channel = argv[++i];
        } else if (a == "--log") {
            o.log = argv[++i];
        } else if (a == "--ca-file") {
            o.ca_file = argv[++i];
        } else if (a == "--pin") {
            o.pin = argv[++i];
        } else if (a == "--reconnect-delay") {
            o.reconnect_delay = std::atoi(argv[++i]);
        } else if (a == "--limits") {
            o.limits = argv[++i];
        } else if (a == "--pace") {
            o.pace = argv[++i];
        } else {
            return false;
        }
    }
    return !o.server.empty() && !o.nick.empty() && !o.channel.empty() && o.port > 0 && o.port < 65536 &&
           o.reconnect_delay > 0;
}

// One line of output, stamped, with IRC formatting dropped and control
// bytes shown as their pictures, so that nobody on the network can drive the
// terminal that watches the log: not through a message, and not through a
// nick, a target, a channel name or a names reply either. A standard output
// that takes nothing for a second loses the line rather than stopping the
// client, and a stop signal ends the wait at once.
void print_line(const char *prefix, const char *text)
{
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    char stamp[16] = "";
    if (localtime_r(&now, &parts) != nullptr) {
        std::strftime(stamp, sizeof stamp, "%H:%M:%S", &parts);
    }
    const std::string raw = std::string(prefix) + text;
    std::string shown = std::string("[") + stamp + "] ";
    text_attr attr;
    for (std::size_t pos = 0; pos < raw.size();) {
        const glyph g = next_glyph(raw, pos, attr);
        if (!g.format) {
            shown.append(g.out, g.length);
        }
        pos += g.used > 0 ? g.used : 1;
    }
    shown += '\n';
    write_all(STDOUT_FILENO, shown, false);
}

void on_message(irc_client *, const char *target, const char *sender, const char *text)
{
    const std::string prefix = std::string(target) + " <" + sender + "> ";
    print_line(prefix.c_str(), text);
}

void on_status(irc_client *, const char *text)
{
    print_line("* ", text);
}

void on_names(irc_client *, const char *channel, const irc_name_entry *entries, int count)
{
    std::string list;
    for (int i = 0; i < count; ++i) {
        list += (i > 0 ? " " : "");
        if (entries[i].mode != ' ') {
            list += entries[i].mode;
        }
        list += entries[i].nick;
    }
    const std::string prefix = std::string("* Names on ") + channel + ": ";
    print_line(prefix.c_str(), list.c_str());
}

// The allowance for CTCP answers: a burst, then one per interval.
std::int64_t g_ctcp_free_at_ms = 0;

bool may_answer_ctcp()
{
    const std::int64_t now = pacer_now_ms();
    if (g_ctcp_free_at_ms - now > (CTCP_BURST - 1) * CTCP_INTERVAL_MS) {
        return false;
    }
    g_ctcp_free_at_ms = (g_ctcp_free_at_ms > now ? g_ctcp_free_at_ms : now) + CTCP_INTERVAL_MS;
    return true;
}

// command is "CTCP"; text the request word and what follows it.
void on_ctcp(irc_client *client, const char *nick, const char *, const char *text)
{
    const std::string_view request(text);
    const std::size_t space = request.find(' ');
    const std::string word(request.substr(0, space));
    const char *rest = space == std::string_view::npos ? "" : text + space + 1;
    const bool known = word == "VERSION" || word == "TIME" || word == "PING";
    const bool answered = known && may_answer_ctcp();
    const std::string what = "* CTCP " + word + " from " + nick + (known && !answered ? " (not answered: too many)" : "");
    print_line(what.c_str(), "");
    if (!answered) {
        return;
    }
    if (word == "VERSION") {
        irc_send_ctcp_version(client, nick);
    } else if (word == "TIME") {
        irc_send_ctcp_time(client, nick);
    } else {
        irc_send_ctcp_ping(client, nick, rest);
    }
}

// "A,B,C" into up to three numbers; false when malformed.
bool read_numbers(const std::string &text, int *out, int count)
{
    const char *p = text.c_str();
    for (int i = 0; i < count; ++i) {
        char *end = nullptr;
        const long v = std::strtol(p, &end, 10);
        if (end == p || v < 0 || v > 100000000 || (*end != (i + 1 < count ? ',' : '\0'))) {
            return false;
        }
        out[i] = static_cast<int>(v);
        p = end + 1;
    }
    return true;
}

bool set_up_limits(const options &o)
{
    int v[3] = {};
    if (!o.limits.empty()) {
        if (!read_numbers(o.limits, v, 3)) {
            return false;
        }
        g_irc_client_limits.register_ms = v[0];
        g_irc_client_limits.silence_ms = v[1];
        g_irc_client_limits.ping_answer_ms = v[2];
    }
    if (!o.pace.empty()) {
        if (!read_numbers(o.pace, v, 2)) {
            return false;
        }
        g_send_pace.burst = v[0];
        g_send_pace.interval_ms = v[1];
    }
    return true;
}

bool set_up_tls(irc_client *client, const options &o)
{
    if (!o.ca_file.empty() && irc_client_trust_ca_file(client, o.ca_file.c_str()) != 0) {
        std::fputs("chanlog: --ca-file path too long\n", stderr);
        return false;
    }
    if (!o.pin.empty() && irc_client_pin_certificate(client, o.pin.c_str()) != 0) {
        std::fputs("chanlog: --pin wants the certificate's SHA-256 as 64 hex digits\n", stderr);
        return false;
    }
    irc_client_set_tls_verify(client, o.insecure ? 0 : 1);
    return true;
}

// Waits for a signal or the next tick; then asks the reconnect policy.
// Returns false when the connection is gone for good.
bool run_one_tick(irc_client *client)
{
    pollfd p{g_wake_pipe[0], POLLIN, 0};
    if (poll(&p, 1, TICK_MS) > 0) {
        char drain[16];
        [[maybe_unused]] const ssize_t n = read(g_wake_pipe[0], drain, sizeof drain);
    }
    if (irc_client_is_connected(client) != 0) {
        return true;
    }
    if (irc_client_should_attempt_reconnect(client) != 0) {
        irc_client_reconnect(client);
        return true;
    }
    // Lost with no attempt due any more: the policy has given up.
    const std::lock_guard<std::mutex> guard(client->lock);
    return client->next_reconnect != 0 && client->reconnect_attempts < client->reconnect_max;
}

} // namespace

int main(int argc, char **argv)
{
    options o;
    if (!parse_args(argc, argv, o)) {
        usage();
        return 2;
    }
    if (!set_up_limits(o)) {
        usage();
        return 2;
    }
    if (pipe2(g_wake_pipe, O_CLOEXEC | O_NONBLOCK) != 0 || pipe2(g_stop_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("chanlog: pipe");
        return 1;
    }
    g_out_wake_fd = g_stop_pipe[0];
    irc_client_set_connect_cancel(stop_requested);
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    irc_client *client = irc_client_create();
    if (client == nullptr || !set_up_tls(client, o)) {
        return 1;
    }
    if (irc_logger_init(&client->log, o.log.c_str()) != 0) {
        std::fprintf(stderr, "chanlog: cannot open the log %s: %s\n", o.log.c_str(), std::strerror(errno));
    }
    {
        const std::lock_guard<std::mutex> guard(client->lock);
        client->reconnect_delay = o.reconnect_delay;
    }
    irc_set_message_callback(client, on_message);
    irc_set_status_callback(client, on_status);
    irc_set_names_callback(client, on_names);
    irc_set_ctcp_callback(client, on_ctcp);

    int status = 0;
    if (irc_client_connect(client, o.server.c_str(), o.port, o.nick.c_str(), o.channel.c_str(), o.tls ? 1 : 0) != 0) {
        status = g_stop != 0 ? 0 : 1;   // a stop during the connect is no failure
    } else {
        while (g_stop == 0) {
            if (!run_one_tick(client)) {
                print_line("* ", "Giving up: no more reconnect attempts");
                status = 1;
                break;
            }
        }
    }
    irc_client_destroy(client);
    return status;
}
