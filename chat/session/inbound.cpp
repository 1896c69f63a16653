// The network thread: receives, cuts lines and handles each one in order.
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "chat/config/text_util.h"
#include "chat/session/irc_transport.h"
#include "chat/session/session_internal.h"

namespace {

constexpr std::size_t RECV_SIZE = 2048;
constexpr int IDLE_WAIT_MS = 1000;
constexpr int CHUNKS_PER_LOCK = 16;   // a round of a flood; waiting threads get the lock between rounds
constexpr int NICK_RETRIES = 3;

// One received line, split once: ":prefix rest".
struct inbound_line {
    const char *line;
    const char *rest;    // after the first space; null when there is none
    char prefix[128];
    char nick[64];       // prefix up to its "!"
};

void parse_line(const char *line, inbound_line *out)
{
    out->line = line;
    out->rest = nullptr;
    out->prefix[0] = '\0';
    out->nick[0] = '\0';
    if (line[0] != ':') {
        return;
    }
    const char *space = std::strchr(line, ' ');
    const std::size_t plen = space != nullptr ? static_cast<std::size_t>(space - line - 1) : std::strlen(line + 1);
    safe_strcpy(out->prefix, line + 1, plen + 1 < sizeof out->prefix ? plen + 1 : sizeof out->prefix);
    const std::size_t nlen = std::strcspn(out->prefix, "!");
    safe_strcpy(out->nick, out->prefix, nlen + 1 < sizeof out->nick ? nlen + 1 : sizeof out->nick);
    out->rest = space != nullptr ? space + 1 : nullptr;
}

// "[:prefix ]COMMAND" followed by its parameters, or null when the line is
// not that command.
const char *command_params(const char *line, const char *command)
{
    if (line[0] == ':') {
        line = std::strchr(line, ' ');
        if (line == nullptr) {
            return nullptr;
        }
        ++line;
    }
    const std::size_t n = std::strlen(command);
    if (std::strncmp(line, command, n) != 0 || line[n] != ' ') {
        return nullptr;
    }
    return line + n + 1;
}

// The text after the first " :" of text, or text itself when there is none.
const char *trailing_or_all(const char *text)
{
    const char *colon = std::strstr(text, " :");
    return colon != nullptr ? colon + 2 : text;
}

void show(irc_session *s, const char *text)
{
    add_line_locked(s, "*", text, LINE_SYSTEM);
}

void refresh_names(irc_session *s)
{
    if (s->channel[0] != '\0') {
        send_format_locked<128>(s, "NAMES %s", s->channel);
    } else {
        send_line_locked(s, "NAMES");
    }
}

// --- numeric replies ---

void on_sasl_success(irc_session *s, const inbound_line &)
{
    if (s->sasl_state != SASL_NONE && s->sasl_state != SASL_DONE) {
        sasl_end(s, SASL_MSG_OK);
    }
}

void on_sasl_failure(irc_session *s, const inbound_line &)
{
    if (s->sasl_state != SASL_NONE && s->sasl_state != SASL_DONE) {
        sasl_end(s, SASL_MSG_FAILED);
    }
}

void on_welcome(irc_session *s, const inbound_line &)
{
    s->registered = 1;
    char text[320];
    std::snprintf(text, sizeof text, "Connected to %s:%d as %s", s->server, s->port, s->nick);
    show(s, text);
    if (s->channel[0] != '\0') {
        send_format_locked<128>(s, "JOIN %s", s->channel);
    }
}

// A names reply may take several 353 lines; the list is collected until the
// 366 that ends it, so the next 353 after a 366 starts a fresh list.
void on_names(irc_session *s, const inbound_line &l)
{
    const char *colon = std::strrchr(l.line, ':');
    if (colon == l.line || colon == nullptr || colon[1] == '\0') {
        return;
    }
    if (s->names_open == 0) {
        s->user_count = 0;
        s->names_open = 1;
    }
    char names[1024];
    safe_strcpy(names, colon + 1);
    char *save = nullptr;
    for (char *word = strtok_r(names, " ", &save); word != nullptr && s->user_count < MAX_USERS;
         word = strtok_r(nullptr, " ", &save)) {
        word += std::strspn(word, "@+%");
        safe_strcpy(s->users[s->user_count++], word);
    }
    s->users_dirty = 1;
}

void on_names_end(irc_session *s, const inbound_line &)
{
    s->names_open = 0;
    s->users_dirty = 1;
}

void show_trailing(irc_session *s, const inbound_line &l)
{
    show(s, trailing_or_all(l.line));
}

// An error reply: what it is about and why, e.g. "#c: Cannot join channel (+i)".
void show_error(irc_session *s, const inbound_line &l)
{
    const char *after_numeric = std::strchr(l.rest, ' ');
    const char *params = after_numeric != nullptr ? std::strchr(after_numeric + 1, ' ') : nullptr;
    if (params == nullptr) {
        show(s, l.rest);
        return;
    }
    ++params;
    const char *colon = params[0] == ':' ? params : std::strstr(params, " :");
    char text[768];
    if (colon == params) {
        safe_strcpy(text, params + 1);
    } else if (colon == nullptr) {
        safe_strcpy(text, params);
    } else {
        std::snprintf(text, sizeof text, "%.*s: %s", static_cast<int>(colon - params), params, colon + 2);
    }
    show(s, text);
}

// A server without capability negotiation rejects CAP: register without SASL.
void on_unknown_command(irc_session *s, const inbound_line &l)
{
    show_error(s, l);
    const char *target = std::strchr(l.rest, ' ');
    const char *command = target != nullptr ? std::strchr(target + 1, ' ') : nullptr;
    if (command != nullptr && starts_with(command + 1, "CAP ") != 0 && s->sasl_state != SASL_NONE &&
        s->sasl_state != SASL_DONE) {
        sasl_end(s, SASL_MSG_NO_SUPPORT);
    }
}

// Nick taken while registering: try again with "_" appended, a few times.
void on_nick_in_use(irc_session *s, const inbound_line &l)
{
    show_error(s, l);
    if (s->registered != 0 || s->nick_retries >= NICK_RETRIES) {
        return;
    }
    ++s->nick_retries;
    const std::size_t len = std::strlen(s->nick);
    if (len + 1 < sizeof s->nick) {
        s->nick[len] = '_';
        s->nick[len + 1] = '\0';
    } else {
        s->nick[len - 1] = '_';
    }
    s->status_dirty = 1;
    send_format_locked<128>(s, "NICK %s", s->nick);
}

void ignore_line(irc_session *, const inbound_line &) {}

struct numeric_rule {
    int low, high;
    void (*handle)(irc_session *, const inbound_line &);
};

// In order; the first range that holds the number decides.
constexpr numeric_rule NUMERIC_RULES[] = {
    {903, 903, on_sasl_success},
    {904, 906, on_sasl_failure},
    {1, 1, on_welcome},
    {353, 353, on_names},
    {366, 366, on_names_end},
    {372, 372, show_trailing},
    {375, 376, show_trailing},
    {477, 477, show_trailing},
    {421, 421, on_unknown_command},
    {433, 433, on_nick_in_use},
    {400, 599, show_error},
    {0, 999, ignore_line},
};

// --- the line rules ---

bool is_ping(const inbound_line &l)
{
    return starts_with(l.line, "PING ") != 0;
}

bool is_authenticate_plus(const inbound_line &l)
{
    const char *params = command_params(l.line, "AUTHENTICATE");
    return params != nullptr && (std::strcmp(params, "+") == 0 || std::strcmp(params, ":+") == 0);
}

bool has_no_prefix(const inbound_line &l)
{
    return l.line[0] != ':';
}

bool has_no_space(const inbound_line &l)
{
    return l.rest == nullptr;
}

bool is_cap(const inbound_line &l)
{
    return starts_with(l.rest, "CAP ") != 0;
}

bool is_numeric(const inbound_line &l)
{
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    return digit(l.rest[0]) && digit(l.rest[1]) && digit(l.rest[2]);
}

bool is_privmsg(const inbound_line &l)
{
    return starts_with(l.rest, "PRIVMSG ") != 0;
}

bool is_join(const inbound_line &l)
{
    return starts_with(l.rest, "JOIN ") != 0;
}

bool is_part(const inbound_line &l)
{
    return starts_with(l.rest, "PART ") != 0;
}

bool any_line(const inbound_line &)
{
    return true;
}

void on_ping(irc_session *s, const inbound_line &l)
{
    const char *token = l.line + 5;
    send_format_locked<1024>(s, "PONG :%s", token[0] == ':' ? token + 1 : token);
}

void on_authenticate_plus(irc_session *s, const inbound_line &)
{
    sasl_on_authenticate_plus(s);
}

void show_whole_line(irc_session *s, const inbound_line &l)
{
    show(s, l.line);
}

void on_cap(irc_session *s, const inbound_line &l)
{
    sasl_on_cap(s, l.rest);
}

void on_numeric(irc_session *s, const inbound_line &l)
{
    const int number = static_cast<int>(std::strtol(l.rest, nullptr, 10));
    for (const numeric_rule &rule : NUMERIC_RULES) {
        if (number >= rule.low && number <= rule.high) {
            rule.handle(s, l);
            return;
        }
    }
}

void on_privmsg(irc_session *s, const inbound_line &l)
{
    const char *text = std::strstr(l.rest, " :");
    if (text != nullptr) {
        add_line_locked(s, l.nick, text + 2, LINE_USER);
    }
}

void on_join(irc_session *s, const inbound_line &l)
{
    char text[160];
    std::snprintf(text, sizeof text, "%s joined", l.prefix);
    show(s, text);
    refresh_names(s);
}

void on_part(irc_session *s, const inbound_line &l)
{
    char text[160];
    std::snprintf(text, sizeof text, "%s left", l.prefix);
    show(s, text);
    refresh_names(s);
}

struct line_rule {
    bool (*matches)(const inbound_line &);
    void (*handle)(irc_session *, const inbound_line &);
};

// Tested in this order; the first rule that matches decides.
constexpr line_rule LINE_RULES[] = {
    {is_ping, on_ping},
    {is_authenticate_plus, on_authenticate_plus},
    {has_no_prefix, show_whole_line},
    {has_no_space, ignore_line},
    {is_cap, on_cap},
    {is_numeric, on_numeric},
    {is_privmsg, on_privmsg},
    {is_join, on_join},
    {is_part, on_part},
    {any_line, show_whole_line},
};

void handle_line(irc_session *s, const char *line)
{
    inbound_line parsed{};
    parse_line(line, &parsed);
    for (const line_rule &rule : LINE_RULES) {
        if (rule.matches(parsed)) {
            rule.handle(s, parsed);
            return;
        }
    }
}

// Cuts received bytes into lines at LF; CR is dropped, and a line longer
// than 8191 bytes loses its excess but is still handled.
void feed_bytes(irc_session *s, const char *data, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (c == '\r') {
            continue;
        }
        if (c != '\n') {
            if (s->line_length < LINE_BUFFER_SIZE - 1) {
                s->line_buffer[s->line_length++] = c;
            }
            continue;
        }
        s->line_buffer[s->line_length] = '\0';
        s->line_length = 0;
        trim(s->line_buffer);
        if (s->line_buffer[0] != '\0') {
            handle_line(s, s->line_buffer);
        }
    }
}

enum class receive_result { idle, more, ended };

// Reads and handles what has arrived, a bounded amount per call. The lock is held.
receive_result receive_available(irc_session *s, int fd, irc_transport *t)
{
    char buf[RECV_SIZE];
    for (int chunk = 0; chunk < CHUNKS_PER_LOCK; ++chunk) {
        if (s->running == 0 || s->connected == 0) {
            return receive_result::ended;
        }
        const ssize_t n = transport_recv(fd, t, buf, sizeof buf);
        if (n == TRANSPORT_WOULD_BLOCK) {
            return receive_result::idle;
        }
        if (n <= 0) {
            return receive_result::ended;
        }
        feed_bytes(s, buf, static_cast<std::size_t>(n));
    }
    return receive_result::more;
}

// Takes the lock for the network thread, first letting every thread that
// was already waiting for it have it, so a flood never keeps the interface out.
std::unique_lock<std::mutex> network_lock(irc_session *s)
{
    for (std::int32_t waiting = s->lock_waiters.load(); waiting > 0; waiting = s->lock_waiters.load()) {
        s->lock_waiters.wait(waiting);
    }
    return std::unique_lock<std::mutex>(s->lock);
}

// Why the connection must end for what the server did with our lines, or null.
const char *send_trouble(const irc_session *s)
{
    if (s->send_overflow != 0) {
        return SEND_MSG_STALLED;
    }
    if (s->send_length > 0 && session_now_ms() - s->send_waiting_since_ms >= g_irc_send_stall_ms) {
        return SEND_MSG_STALLED;
    }
    return nullptr;
}

// How long the idle wait may last: until the next time limit, a second at most.
int idle_wait_ms(const irc_session *s)
{
    int wait_ms = IDLE_WAIT_MS;
    const int sasl_ms = sasl_wait_ms(s);
    if (sasl_ms >= 0 && sasl_ms < wait_ms) {
        wait_ms = sasl_ms;
    }
    if (s->send_length > 0) {
        const std::int64_t left = s->send_waiting_since_ms + g_irc_send_stall_ms - session_now_ms();
        wait_ms = left <= 0 ? 0 : left < wait_ms ? static_cast<int>(left) : wait_ms;
    }
    const int paced_ms = pacer_due_ms(&s->pacer, pacer_now_ms());
    if (paced_ms >= 0 && paced_ms < wait_ms) {
        wait_ms = paced_ms;
    }
    return wait_ms;
}

// Waits without the lock for bytes, for room when lines are queued, for a
// wake-up or for the next time limit.
void wait_idle(irc_session *s, int fd)
{
    pollfd p[2] = {{fd, POLLIN, 0}, {-1, POLLIN, 0}};
    int wait_ms = 0;
    {
        const auto guard = network_lock(s);
        wait_ms = idle_wait_ms(s);
        p[0].events = static_cast<short>(POLLIN | (s->send_length > 0 ? POLLOUT : 0));
        p[1].fd = s->wake_fd;
    }
    poll(p, 2, wait_ms);
    if ((p[1].revents & POLLIN) != 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = read(p[1].fd, &count, sizeof count);
    }
}

} // namespace

void irc_thread_main(irc_session *s)
{
    int fd = -1;
    irc_transport *t = nullptr;
    receive_result state = receive_result::idle;
    {
        const auto guard = network_lock(s);
        fd = s->socket;
        t = s->transport;
        if (s->running == 0) {
            state = receive_result::ended;
        }
    }
    const char *trouble = nullptr;
    while (state != receive_result::ended) {
        if (state == receive_result::idle) {
            wait_idle(s, fd);
        }
        const auto guard = network_lock(s);
        release_paced_lines_locked(s);
        flush_send_queue_locked(s);   // a failed write shows in the read as the connection's end
        state = receive_available(s, fd, t);
        sasl_check_deadline(s);
        trouble = state != receive_result::ended ? send_trouble(s) : nullptr;
        if (trouble != nullptr) {
            state = receive_result::ended;
        }
    }
    const auto guard = network_lock(s);
    if (trouble != nullptr) {
        // Tell the server at once; the descriptor stays open until irc_disconnect.
        shutdown(fd, SHUT_RDWR);
        s->send_head = 0;
        s->send_length = 0;
        add_line_locked(s, "*", trouble, LINE_SYSTEM);
    }
    s->connected = 0;
    s->running = 0;
    s->status_dirty = 1;
    add_line_locked(s, "*", "Disconnected from server", LINE_SYSTEM);
}
