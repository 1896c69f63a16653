// The session record: scrollback ring, sending, connect and disconnect.
#include "chat/session/irc_session.h"

#include <csignal>
#include <cstring>
#include <ctime>
#include <memory>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "chat/config/text_util.h"
#include "chat/session/irc_transport.h"
#include "chat/session/session_internal.h"

namespace {

// How long the last queued lines (the QUIT above all) may take to go out
// when the connection closes.
constexpr int CLOSE_FLUSH_MS = 250;

// Stores the connection's parameters; the lock is held.
void store_target(irc_session *s, const char *server, int port, const char *nick, const char *channel, int tls,
                  const char *password)
{
    safe_strcpy(s->server, server);
    s->port = port;
    safe_strcpy(s->nick, nick);
    safe_strcpy(s->channel, channel);
    safe_strcpy(s->autojoin, channel);
    s->tls = tls;
    safe_strcpy(s->password, password);
}

// The connection is up: start registration and the network thread.
void start_session(irc_session *s, int fd, irc_transport *t)
{
    s->socket = fd;
    s->transport = t;
    s->wake_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    s->send_head = 0;
    s->send_length = 0;
    s->send_overflow = 0;
    pacer_reset(&s->pacer);
    s->connected = 1;
    s->running = 1;
    s->line_length = 0;
    s->names_open = 0;
    s->nick_retries = 0;
    s->registered = 0;
    s->refusal[0] = '\0';
    s->joined_count = 0;
    safe_strcpy(s->prefix_modes, "ohv");
    safe_strcpy(s->prefix_symbols, "@%+");
    nick_list_clear(s);
    s->lost = 0;
    s->opened_ms = session_now_ms();
    s->heard_ms = s->opened_ms;
    s->ping_sent_ms = 0;
    send_line_locked(s, "CAP LS 302");
    if (s->password[0] == '\0') {
        s->sasl_state = SASL_NONE;
        s->cap_deadline_ms = 0;
        sasl_send_registration(s);
    } else {
        // Registration waits for the server's CAP reply, but not forever.
        s->sasl_state = SASL_WAIT_LS;
        s->cap_deadline_ms = session_now_ms() + g_irc_cap_timeout_ms;
    }
    s->thread = std::thread(irc_thread_main, s);
    s->status_dirty = 1;
}

} // namespace

void irc_init(irc_session *s)
{
    if (s->thread.joinable() || s->socket >= 0) {
        irc_disconnect(s, nullptr);
    }
    std::destroy_at(s);
    std::construct_at(s);
    s->socket = -1;
}

void add_line_locked(irc_session *s, const char *sender, const char *text, int kind)
{
    add_channel_line_locked(s, "", sender, text, kind);
}

void add_channel_line_locked(irc_session *s, const char *where, const char *sender, const char *text, int kind)
{
    // A full ring overwrites its oldest slot instead of moving 1199 lines.
    int slot = 0;
    if (s->line_count < SCROLLBACK_LINES) {
        slot = (s->line_first + s->line_count) % SCROLLBACK_LINES;
        ++s->line_count;
    } else {
        slot = s->line_first;
        s->line_first = (s->line_first + 1) % SCROLLBACK_LINES;
    }
    chat_line &line = s->lines[slot];
    safe_strcpy(line.sender, sender);
    safe_strcpy(line.where, where);
    safe_strcpy(line.text, text);
    line.time = static_cast<std::int64_t>(std::time(nullptr));
    line.kind = kind;
    s->lines_dirty = 1;
}

void irc_add_line(irc_session *s, const char *sender, const char *text, int kind)
{
    const auto guard = irc_lock(s);
    add_line_locked(s, sender, text, kind);
}

int irc_line_count(const irc_session *s)
{
    return s->line_count;
}

const chat_line *irc_line_at(const irc_session *s, int index)
{
    if (index < 0 || index >= s->line_count) {
        return nullptr;
    }
    return &s->lines[(s->line_first + index) % SCROLLBACK_LINES];
}

bool flush_send_queue_locked(irc_session *s)
{
    while (s->send_length > 0) {
        const ssize_t n = transport_send_some(s->socket, s->transport, s->send_queue + s->send_head, s->send_length);
        if (n == TRANSPORT_WOULD_BLOCK) {
            return true;
        }
        if (n < 0) {
            s->send_head = 0;
            s->send_length = 0;
            return false;
        }
        s->send_head += static_cast<std::uint32_t>(n);
        s->send_length -= static_cast<std::uint32_t>(n);
    }
    s->send_head = 0;
    return true;
}

void wake_network_thread(const irc_session *s)
{
    if (s->wake_fd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = write(s->wake_fd, &one, sizeof one);
    }
}

namespace {

// Appends one line (with its CR LF) to the send queue and writes what the
// socket takes. False when the queue is full or the write failed.
bool queue_wire_locked(irc_session *s, const char *wire, std::size_t size)
{
    if (s->send_length + size > SEND_QUEUE_SIZE) {
        // The server has left this much unread: the network thread ends the connection.
        s->send_overflow = 1;
        wake_network_thread(s);
        return false;
    }
    if (s->send_head + s->send_length + size > SEND_QUEUE_SIZE) {
        std::memmove(s->send_queue, s->send_queue + s->send_head, s->send_length);
        s->send_head = 0;
    }
    if (s->send_length == 0) {
        s->send_waiting_since_ms = session_now_ms();
    }
    std::memcpy(s->send_queue + s->send_head + s->send_length, wire, size);
    s->send_length += static_cast<std::uint32_t>(size);
    if (!flush_send_queue_locked(s)) {
        return false;
    }
    if (s->send_length > 0) {
        wake_network_thread(s);   // it waits for room from now on
    }
    return true;
}

} // namespace

void release_paced_lines_locked(irc_session *s)
{
    char wire[PACER_BYTES];
    bool moved = false;
    while (s->send_overflow == 0 && s->socket >= 0 && s->registered != 0) {
        const std::size_t size = pacer_next(&s->pacer, pacer_now_ms(), wire, sizeof wire);
        if (size == 0 || !queue_wire_locked(s, wire, size)) {
            break;
        }
        moved = true;
    }
    if (moved) {
        s->status_dirty = 1;   // the count of waiting lines changed
    }
}

int send_line_locked(irc_session *s, const char *text)
{
    if (s->connected == 0 || s->socket < 0 || s->send_overflow != 0) {
        return -1;
    }
    // One protocol line: cut at 1022 bytes and at any line break inside, so
    // a text can never smuggle a second command onto the wire.
    const char *src = text != nullptr ? text : "";
    std::size_t n = std::strcspn(src, "\r\n");
    n = n < SEND_LINE_MAX ? n : SEND_LINE_MAX;
    char wire[SEND_LINE_MAX + 2];
    std::memcpy(wire, src, n);
    wire[n] = '\r';
    wire[n + 1] = '\n';
    if (!pacer_exempt(wire, n, s->registered != 0)) {
        const std::int64_t now = pacer_now_ms();
        // A command typed before the server lets us in would be refused (a
        // join typed while connecting): it waits for the welcome, then its turn.
        const bool early = s->registered == 0 && s->sending_typed != 0;
        if (early || pacer_waiting(&s->pacer) > 0 || !pacer_may_send(&s->pacer, now)) {
            // Over the pace: it waits its turn behind the lines before it.
            if (!pacer_hold(&s->pacer, wire, n + 2)) {
                return -1;
            }
            s->status_dirty = 1;
            wake_network_thread(s);
            return 0;
        }
        pacer_take(&s->pacer, now);
    }
    return queue_wire_locked(s, wire, n + 2) ? 0 : -1;
}

int irc_send_raw(irc_session *s, const char *text)
{
    const auto guard = irc_lock(s);
    return send_line_locked(s, text);
}

void sasl_send_registration(irc_session *s)
{
    send_format_locked<256>(s, "NICK %s", s->nick);
    send_format_locked<256>(s, "USER %s 0 * :Vexon IRC Client", s->nick);
}

namespace {

// Opens the connection to the stored target and starts the session on it.
int open_target(irc_session *s)
{
    // A peer that closes while a line is going out must not end the program
    // (OpenSSL writes without MSG_NOSIGNAL).
    std::signal(SIGPIPE, SIG_IGN);
    char server[sizeof s->server];
    int port = 0;
    int tls = 0;
    address_scope scope = address_scope::any;
    {
        const auto guard = irc_lock(s);
        safe_strcpy(server, s->server);
        port = s->port;
        tls = s->tls;
        scope = s->public_only != 0 ? address_scope::public_only : address_scope::any;
        s->connect_error[0] = '\0';
    }
    // Resolving and connecting can take seconds: no lock is held meanwhile,
    // and no network thread exists yet.
    int fd = -1;
    irc_transport *t = nullptr;
    char why[384] = "";
    const int rc = transport_open(server, port, tls, g_irc_connect_timeout_ms, &fd, &t, why, sizeof why, scope);

    const auto guard = irc_lock(s);
    if (rc != 0) {
        s->socket = -1;
        add_line_locked(s, "*", "Connection failed", LINE_SYSTEM);
        add_line_locked(s, "*", why, LINE_SYSTEM);
        if (s->retrying == 0) {
            safe_strcpy(s->connect_error, why);
        }
        return -1;
    }
    start_session(s, fd, t);
    return 0;
}

} // namespace

int irc_connect_server(irc_session *s, const char *server, int port, const char *nick, const char *channel, int tls,
                       const char *password)
{
    irc_disconnect(s, nullptr);
    {
        const auto guard = irc_lock(s);
        store_target(s, server, port, nick, channel, tls, password);
        safe_strcpy(s->first_nick, nick);
        s->rejoin_count = 0;
        s->retrying = 0;
        s->lost = 0;
    }
    return open_target(s);
}

int irc_reconnect(irc_session *s)
{
    irc_disconnect(s, nullptr);
    {
        const auto guard = irc_lock(s);
        // The channels we were in; a failed attempt before keeps its list.
        if (s->retrying == 0 || s->joined_count > 0) {
            for (int i = 0; i < s->joined_count; ++i) {
                safe_strcpy(s->rejoin[i], s->joined[i]);
            }
            s->rejoin_count = s->joined_count;
        }
        safe_strcpy(s->nick, s->first_nick);
        s->retrying = 1;
        s->status_dirty = 1;
    }
    return open_target(s);
}

namespace {

// Gives queued lines a last short chance to go out; the network thread has ended.
void flush_before_close(irc_session *s)
{
    const std::int64_t deadline = session_now_ms() + CLOSE_FLUSH_MS;
    for (;;) {
        int fd = -1;
        {
            const auto guard = irc_lock(s);
            if (s->socket < 0 || !flush_send_queue_locked(s) || s->send_length == 0) {
                return;
            }
            fd = s->socket;
        }
        const std::int64_t left = deadline - session_now_ms();
        pollfd p{fd, POLLOUT, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) {
            return;
        }
    }
}

} // namespace

void irc_disconnect(irc_session *s, const char *reason)
{
    {
        const auto guard = irc_lock(s);
        if (s->connected == 0 && s->socket < 0 && !s->thread.joinable()) {
            return;
        }
        if (s->connected != 0) {
            send_format_locked<256>(s, "QUIT :%s", reason != nullptr ? reason : "Leaving");
            s->connected = 0;
        }
        s->running = 0;
        wake_network_thread(s);
        if (s->wake_fd < 0 && s->socket >= 0) {
            shutdown(s->socket, SHUT_RD);   // no wake-up descriptor: end its wait this way
        }
    }
    if (s->thread.joinable()) {
        s->thread.join();
    }
    flush_before_close(s);
    // Closed only now, so the network thread never polls a reused descriptor.
    const auto guard = irc_lock(s);
    if (s->socket >= 0) {
        shutdown(s->socket, SHUT_RDWR);
    }
    transport_close(s->socket, s->transport);
    if (s->wake_fd >= 0) {
        close(s->wake_fd);
    }
    s->socket = -1;
    s->transport = nullptr;
    s->wake_fd = -1;
    s->send_head = 0;
    s->send_length = 0;
    s->send_overflow = 0;
    pacer_reset(&s->pacer);
}
