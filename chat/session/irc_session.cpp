// The session record: scrollback ring, sending, connect and disconnect.
#include "chat/session/irc_session.h"

#include <csignal>
#include <cstring>
#include <ctime>
#include <memory>
#include <sys/socket.h>

#include "chat/app/text_util.h"
#include "chat/session/irc_transport.h"
#include "chat/session/session_internal.h"

namespace {

// Stores the connection's parameters; the lock is held.
void store_target(irc_session *s, const char *server, int port, const char *nick, const char *channel, int tls,
                  const char *password)
{
    safe_strcpy(s->server, server);
    s->port = port;
    safe_strcpy(s->nick, nick);
    safe_strcpy(s->channel, channel);
    s->tls = tls;
    safe_strcpy(s->password, password);
}

// The connection is up: start registration and the network thread.
void start_session(irc_session *s, int fd, irc_transport *t)
{
    s->socket = fd;
    s->transport = t;
    s->connected = 1;
    s->running = 1;
    s->line_length = 0;
    s->names_open = 0;
    s->nick_retries = 0;
    s->registered = 0;
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

std::int64_t session_now_ms()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

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

int send_line_locked(irc_session *s, const char *text)
{
    if (s->connected == 0 || s->socket < 0) {
        return -1;
    }
    // One protocol line: cut at 1022 bytes and at any line break inside, so
    // a text can never smuggle a second command onto the wire.
    char wire[SEND_LINE_MAX + 2];
    const char *src = text != nullptr ? text : "";
    std::size_t n = std::strcspn(src, "\r\n");
    n = n < SEND_LINE_MAX ? n : SEND_LINE_MAX;
    std::memcpy(wire, src, n);
    wire[n] = '\r';
    wire[n + 1] = '\n';
    return transport_send(s->socket, s->transport, wire, n + 2, SEND_TIMEOUT_MS);
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

int irc_connect_server(irc_session *s, const char *server, int port, const char *nick, const char *channel, int tls,
                       const char *password)
{
    // A peer that closes while a line is going out must not end the program
    // (OpenSSL writes without MSG_NOSIGNAL).
    std::signal(SIGPIPE, SIG_IGN);
    irc_disconnect(s, nullptr);
    {
        const auto guard = irc_lock(s);
        store_target(s, server, port, nick, channel, tls, password);
    }
    // Resolving and connecting can take seconds: no lock is held meanwhile,
    // and no network thread exists yet.
    int fd = -1;
    irc_transport *t = nullptr;
    char why[384] = "";
    const int rc = transport_open(s->server, port, tls, g_irc_connect_timeout_ms, &fd, &t, why, sizeof why);

    const auto guard = irc_lock(s);
    if (rc != 0) {
        s->socket = -1;
        add_line_locked(s, "*", "Connection failed", LINE_SYSTEM);
        add_line_locked(s, "*", why, LINE_SYSTEM);
        return -1;
    }
    start_session(s, fd, t);
    return 0;
}

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
        if (s->socket >= 0) {
            // Wakes the network thread at once.
            shutdown(s->socket, SHUT_RDWR);
        }
        s->running = 0;
    }
    if (s->thread.joinable()) {
        s->thread.join();
    }
    // Closed only now, so the network thread never polls a reused descriptor.
    const auto guard = irc_lock(s);
    transport_close(s->socket, s->transport);
    s->socket = -1;
    s->transport = nullptr;
}
