// The client's connection: connect and disconnect, sending, the reconnect
// policy and the CTCP replies.
#include <cerrno>
#include <cstring>
#include <ctime>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <new>
#include <sys/socket.h>
#include <unistd.h>

#include "chat/config/text_util.h"
#include "chat/ircclient/client_internal.h"

namespace {

constexpr const char *CLIENT_VERSION = "Vexon IRC Client 3.1";
constexpr int QUIT_FLUSH_MS = 100;

std::int64_t system_clock_seconds()
{
    return static_cast<std::int64_t>(std::time(nullptr));
}

// Cuts text at its first CR or LF: a line is one protocol line, so text from
// a user can never smuggle in a command of its own.
std::size_t single_line_length(const char *text)
{
    return std::strcspn(text, "\r\n");
}

int send_format(irc_client *client, const char *format, const char *a, const char *b = "")
{
    char line[512];
    std::snprintf(line, sizeof line, format, a, b);
    return client_send_raw(client, line, send_mode::paced);
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Closes what is left of the last connection; the listening thread has ended.
void release_connection(irc_client *client)
{
    const std::lock_guard<std::mutex> io(client->io_lock);
    transport_close(client->socket, client->tls);
    client->socket = -1;
    client->tls = nullptr;
    client->tls_active = 0;
    pacer_reset(&client->pacer);
}

void set_socket_options(int fd)
{
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

bool is_listener(irc_client *client)
{
    const std::lock_guard<std::mutex> guard(client->lock);
    return client->listener_id == std::this_thread::get_id();
}

} // namespace

std::int64_t (*g_irc_client_clock)() = system_clock_seconds;

std::int64_t client_now()
{
    return g_irc_client_clock();
}

void client_status(irc_client *client, const char *text)
{
    if (client->status_callback != nullptr) {
        client->status_callback(client, text);
    }
}

irc_client *irc_client_create()
{
    return new (std::nothrow) irc_client();
}

void irc_client_destroy(irc_client *client)
{
    if (client == nullptr) {
        return;
    }
    irc_client_disconnect(client);
    irc_logger_cleanup(&client->log);
    delete client;
}

int irc_client_trust_ca_file(irc_client *client, const char *path)
{
    if (client == nullptr || path == nullptr || std::strlen(path) >= sizeof client->tls_ca_file) {
        return -1;
    }
    const std::lock_guard<std::mutex> guard(client->lock);
    safe_strcpy(client->tls_ca_file, path);
    return 0;
}

int irc_client_pin_certificate(irc_client *client, const char *sha256_hex)
{
    if (client == nullptr) {
        return -1;
    }
    unsigned char pin[TRANSPORT_PIN_SIZE] = {};
    std::size_t bytes = 0;
    int high = -1;
    for (const char *p = sha256_hex != nullptr ? sha256_hex : ""; *p != '\0'; ++p) {
        if (*p == ':' && high < 0) {
            continue;
        }
        const int digit = hex_digit(*p);
        if (digit < 0 || bytes == sizeof pin) {
            return -1;
        }
        if (high < 0) {
            high = digit;
        } else {
            pin[bytes++] = static_cast<unsigned char>(high * 16 + digit);
            high = -1;
        }
    }
    if (high >= 0 || (bytes != 0 && bytes != sizeof pin)) {
        return -1;
    }
    const std::lock_guard<std::mutex> guard(client->lock);
    std::memcpy(client->tls_pin, pin, sizeof pin);
    client->tls_pinned = bytes != 0 ? 1 : 0;
    return 0;
}

void irc_client_set_tls_verify(irc_client *client, int on)
{
    if (client != nullptr) {
        const std::lock_guard<std::mutex> guard(client->lock);
        client->tls_verify = on != 0 ? 1 : 0;
    }
}

namespace {

// Logs a line that went out, secrets masked; wire holds it without CR LF.
void log_sent(irc_client *client, const char *wire)
{
    char masked[IRC_LINE_MAX + 3];
    client_mask_secrets(wire, masked, sizeof masked);
    irc_logger_write(&client->log, "[SEND] %s\r\n", masked);
}

} // namespace

int client_send_raw(irc_client *client, const char *line, send_mode mode)
{
    const bool force = mode == send_mode::forced;
    if (client == nullptr || line == nullptr) {
        return -1;
    }
    char wire[IRC_LINE_MAX + 3];
    std::size_t n = single_line_length(line);
    n = n > IRC_LINE_MAX ? IRC_LINE_MAX : n;
    std::memcpy(wire, line, n);
    wire[n] = '\r';
    wire[n + 1] = '\n';
    wire[n + 2] = '\0';

    int rc = -1;
    int error = 0;
    bool first_loss = false;
    {
        const std::lock_guard<std::mutex> io(client->io_lock);
        if (client->socket < 0) {
            return -1;
        }
        bool registered = false;
        if (!force) {
            const std::lock_guard<std::mutex> guard(client->lock);
            if (client->connected == 0) {
                return -1;
            }
            registered = client->registered != 0;
        }
        if (mode == send_mode::paced && !pacer_exempt(wire, n, registered)) {
            // Behind lines already held, or over the pace: held, in order,
            // for the listening thread to send when due.
            const std::int64_t now = pacer_now_ms();
            if (pacer_waiting(&client->pacer) > 0 || !pacer_may_send(&client->pacer, now)) {
                if (!pacer_hold(&client->pacer, wire, n + 2)) {
                    irc_logger_write(&client->log, "[SEND DROPPED] too many lines waiting\n");
                    return -1;
                }
                return 0;
            }
            pacer_take(&client->pacer, now);
        }
        rc = transport_send(client->socket, client->tls, wire, n + 2, IRC_SEND_TIMEOUT_MS);
        error = errno;
        if (rc != 0 && !force) {
            // Marked lost first, then the listening thread is woken: its own
            // failure to read then counts as the same loss.
            first_loss = client_mark_lost(client);
            shutdown(client->socket, SHUT_RDWR);
        }
    }
    if (rc == 0) {
        wire[n] = '\0';
        log_sent(client, wire);
        return 0;
    }
    irc_logger_write(&client->log, "[SEND FAIL] errno=%d\n", error);
    if (!force) {
        client_announce_loss(client, "Connection lost while sending", first_loss);
    }
    return -1;
}

int client_send_due(irc_client *client, int fd)
{
    char wire[PACER_BYTES];
    for (;;) {
        int rc = 0;
        int error = 0;
        bool first_loss = false;
        std::size_t size = 0;
        {
            const std::lock_guard<std::mutex> io(client->io_lock);
            if (client->socket != fd) {
                return -1;
            }
            size = pacer_next(&client->pacer, pacer_now_ms(), wire, sizeof wire);
            if (size == 0) {
                return pacer_due_ms(&client->pacer, pacer_now_ms());
            }
            rc = transport_send(client->socket, client->tls, wire, size, IRC_SEND_TIMEOUT_MS);
            error = errno;
            if (rc != 0) {
                first_loss = client_mark_lost(client);
                shutdown(client->socket, SHUT_RDWR);
            }
        }
        if (rc != 0) {
            irc_logger_write(&client->log, "[SEND FAIL] errno=%d\n", error);
            client_announce_loss(client, "Connection lost while sending", first_loss);
            return -1;
        }
        wire[size - 2] = '\0';
        log_sent(client, wire);
    }
}

std::int64_t client_reconnect_pause(const irc_client *client)
{
    const std::int64_t most = g_irc_client_limits.max_pause_s > 0 ? g_irc_client_limits.max_pause_s : 1;
    std::int64_t pause = client->reconnect_delay > 0 ? client->reconnect_delay : 1;
    for (int i = 0; i < client->reconnect_attempts && pause < most; ++i) {
        pause *= 2;
    }
    return pause < most ? pause : most;
}

bool client_mark_lost(irc_client *client)
{
    const std::lock_guard<std::mutex> guard(client->lock);
    client->connected = 0;
    client->running = 0;
    const bool first = client->disconnect_reported == 0;
    client->disconnect_reported = 1;
    if (first && client->reconnect_enabled != 0 && client->reconnect_attempts < client->reconnect_max) {
        client->next_reconnect = client_now() + client_reconnect_pause(client);
    }
    return first;
}

void client_announce_loss(irc_client *client, const char *text, bool first)
{
    if (first) {
        client_status(client, text);
    }
    irc_logger_write(&client->log, "%s\n", text);
}

void client_report_loss(irc_client *client, const char *text)
{
    client_announce_loss(client, text, client_mark_lost(client));
}

int irc_client_connect(irc_client *client, const char *server, int port, const char *nick, const char *channel,
                       int use_tls)
{
    if (client == nullptr || server == nullptr || nick == nullptr || channel == nullptr || is_listener(client)) {
        return -1;
    }
    // Copied first: the arguments may be the client's own saved values.
    char host[sizeof client->saved_server];
    char own_nick[sizeof client->saved_nick];
    char own_channel[sizeof client->saved_channel];
    safe_strcpy(host, server);
    safe_strcpy(own_nick, nick);
    safe_strcpy(own_channel, channel);
    irc_client_disconnect(client);

    transport_trust trust;
    char ca_file[sizeof client->tls_ca_file];
    unsigned char pin[TRANSPORT_PIN_SIZE];
    {
        const std::lock_guard<std::mutex> guard(client->lock);
        client->registered = 0;
        client->cap_open = 0;
        client->disconnect_reported = 0;
        client->motd_done = 0;
        client->auth_required = 0;
        client->welcome_seen = 0;
        client->nick_retries = 0;
        client->autojoin_pending = 1;
        client->name_count = 0;
        safe_strcpy(client->saved_server, host);
        safe_strcpy(client->saved_nick, own_nick);
        safe_strcpy(client->saved_channel, own_channel);
        client->saved_port = port;
        client->saved_tls = use_tls != 0 ? 1 : 0;
        safe_strcpy(ca_file, client->tls_ca_file);
        std::memcpy(pin, client->tls_pin, sizeof pin);
        trust.verify = client->tls_verify;
        trust.ca_file = ca_file[0] != '\0' ? ca_file : nullptr;
        trust.pin = client->tls_pinned != 0 ? pin : nullptr;
    }

    char why[256] = "";
    const int fd = transport_connect(host, port, IRC_CONNECT_TIMEOUT_MS, why, sizeof why);
    if (fd < 0) {
        irc_logger_write(&client->log, "Connect failed: %s\n", why);
        client_status(client, "Failed to connect to server");
        return -1;
    }
    set_socket_options(fd);
    irc_transport *tls = nullptr;
    if (use_tls != 0) {
        tls = transport_tls_start(fd, host, trust, IRC_CONNECT_TIMEOUT_MS, why, sizeof why);
        if (tls == nullptr) {
            close(fd);
            char text[320];
            std::snprintf(text, sizeof text, "SSL/TLS handshake failed: %s", why);
            irc_logger_write(&client->log, "%s\n", text);
            client_status(client, text);
            return -1;
        }
    }
    {
        const std::lock_guard<std::mutex> io(client->io_lock);
        const std::lock_guard<std::mutex> guard(client->lock);
        client->socket = fd;
        client->tls = tls;
        client->tls_active = tls != nullptr ? 1 : 0;
        pacer_reset(&client->pacer);
        safe_strcpy(client->server, host);
        client->port = port;
        safe_strcpy(client->nick, own_nick);
        safe_strcpy(client->channel, own_channel);
        client->connected = 1;
        client->running = 1;
        client->next_reconnect = 0;
    }
    char text[400];
    std::snprintf(text, sizeof text, "Connected to %s:%d as %s", host, port, own_nick);
    client_status(client, text);
    irc_logger_write(&client->log, "Connected to %s:%d\n", host, port);
    {
        // The callback may have ended the connection it was told about; the
        // descriptor and TLS state are gone then, and no thread may use them.
        const std::lock_guard<std::mutex> io(client->io_lock);
        if (client->socket != fd) {
            return -1;
        }
    }

    try {
        client->thread = std::thread(client_listen_thread, client, fd, tls);
    } catch (...) {
        client_report_loss(client, "Failed to start listen thread");
        release_connection(client);
        return -1;
    }
    {
        const std::lock_guard<std::mutex> guard(client->lock);
        client->listener_id = client->thread.get_id();
        client->cap_open = 1;
    }
    if (client_send_raw(client, "CAP LS 302", send_mode::paced) != 0 || send_format(client, "NICK %s", own_nick) != 0) {
        return -1;
    }
    return send_format(client, "USER %s 0 * :%s", own_nick, CLIENT_VERSION);
}

int irc_client_disconnect(irc_client *client)
{
    if (client == nullptr) {
        return 0;
    }
    bool had_socket = false;
    bool was_connected = false;
    {
        const std::lock_guard<std::mutex> io(client->io_lock);
        had_socket = client->socket >= 0;
    }
    {
        const std::lock_guard<std::mutex> guard(client->lock);
        was_connected = client->connected != 0;
        client->connected = 0;
        client->running = 0;
        client->autojoin_pending = 0;
        // The host ended it: nothing to report, nothing to reconnect.
        client->disconnect_reported = 1;
        client->next_reconnect = 0;
    }
    if (had_socket) {
        // A connection already lost has nobody left to say goodbye to.
        if (was_connected) {
            client_send_raw(client, "QUIT :Disconnecting", send_mode::forced);
            msleep(QUIT_FLUSH_MS);
        }
        const std::lock_guard<std::mutex> io(client->io_lock);
        if (client->socket >= 0) {
            shutdown(client->socket, SHUT_RDWR);
        }
    }
    if (is_listener(client)) {
        // Called back from the listening thread: it ends when the callback
        // returns, and the connection is released by whoever joins it.
        return 0;
    }
    if (client->thread.joinable()) {
        client->thread.join();
        const std::lock_guard<std::mutex> guard(client->lock);
        client->listener_id = std::thread::id();
    }
    if (had_socket) {
        release_connection(client);
        irc_logger_write(&client->log, "Disconnected\n");
    }
    return 0;
}

void irc_client_set_connect_cancel(bool (*cancel)())
{
    g_irc_connect_cancel = cancel;
}

int irc_client_waiting_lines(irc_client *client)
{
    if (client == nullptr) {
        return 0;
    }
    const std::lock_guard<std::mutex> io(client->io_lock);
    return pacer_waiting(&client->pacer);
}

int irc_client_is_connected(irc_client *client)
{
    if (client == nullptr) {
        return 0;
    }
    const std::lock_guard<std::mutex> guard(client->lock);
    return client->connected;
}

void irc_client_get_nick(irc_client *client, char *out, std::size_t size)
{
    if (client != nullptr) {
        const std::lock_guard<std::mutex> guard(client->lock);
        safe_strcpy(out, client->nick, size);
    }
}

void irc_client_get_channel(irc_client *client, char *out, std::size_t size)
{
    if (client != nullptr) {
        const std::lock_guard<std::mutex> guard(client->lock);
        safe_strcpy(out, client->channel, size);
    }
}

int irc_send_command(irc_client *client, const char *line)
{
    return client_send_raw(client, line, send_mode::paced);
}

int irc_send_message(irc_client *client, const char *target, const char *text)
{
    if (client == nullptr || target == nullptr || text == nullptr || irc_client_is_connected(client) == 0) {
        return -1;
    }
    if (send_format(client, "PRIVMSG %s :%s", target, text) != 0) {
        return -1;
    }
    char nick[sizeof client->nick];
    irc_client_get_nick(client, nick, sizeof nick);
    char shown[512];
    client_mask_text(target, text, shown, sizeof shown);
    irc_logger_write(&client->log, "<%s> %.*s\n", nick, static_cast<int>(single_line_length(shown)), shown);
    return 0;
}

int irc_join_channel(irc_client *client, const char *channel)
{
    return channel == nullptr ? -1 : send_format(client, "JOIN %s", channel);
}

int irc_leave_channel(irc_client *client, const char *channel)
{
    return channel == nullptr ? -1 : send_format(client, "PART %s", channel);
}

int irc_request_names(irc_client *client, const char *channel)
{
    return channel == nullptr ? -1 : send_format(client, "NAMES %s", channel);
}

int irc_client_try_autojoin(irc_client *client)
{
    if (client == nullptr) {
        return -1;
    }
    char channel[sizeof client->channel];
    {
        const std::lock_guard<std::mutex> guard(client->lock);
        if (client->connected == 0 || client->registered == 0 || client->motd_done == 0 ||
            client->autojoin_pending == 0 || client->auth_required != 0 || client->channel[0] == '\0') {
            return -1;
        }
        client->autojoin_pending = 0;
        safe_strcpy(channel, client->channel);
    }
    irc_logger_write(&client->log, "Auto-joining %s\n", channel);
    return irc_join_channel(client, channel);
}

void irc_set_message_callback(irc_client *client, irc_message_callback callback)
{
    if (client != nullptr) {
        client->message_callback = callback;
    }
}

void irc_set_names_callback(irc_client *client, irc_names_callback callback)
{
    if (client != nullptr) {
        client->names_callback = callback;
    }
}

void irc_set_status_callback(irc_client *client, irc_status_callback callback)
{
    if (client != nullptr) {
        client->status_callback = callback;
    }
}

void irc_set_ctcp_callback(irc_client *client, irc_ctcp_callback callback)
{
    if (client != nullptr) {
        client->ctcp_callback = callback;
    }
}

int irc_send_ctcp_version(irc_client *client, const char *target)
{
    if (target == nullptr || irc_client_is_connected(client) == 0) {
        return -1;
    }
    return send_format(client, "NOTICE %s :\x01VERSION %s\x01", target, CLIENT_VERSION);
}

int irc_send_ctcp_time(irc_client *client, const char *target)
{
    if (target == nullptr || irc_client_is_connected(client) == 0) {
        return -1;
    }
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    char when[64] = "";
    if (localtime_r(&now, &parts) != nullptr) {
        std::strftime(when, sizeof when, "%a %b %d %H:%M:%S %Y", &parts);
    }
    return send_format(client, "NOTICE %s :\x01TIME %s\x01", target, when);
}

int irc_send_ctcp_ping(irc_client *client, const char *target, const char *token)
{
    if (target == nullptr || irc_client_is_connected(client) == 0) {
        return -1;
    }
    if (token == nullptr || token[0] == '\0') {
        return send_format(client, "NOTICE %s :\x01PING\x01", target);
    }
    return send_format(client, "NOTICE %s :\x01PING %s\x01", target, token);
}

void irc_client_enable_reconnect(irc_client *client, int on)
{
    if (client != nullptr) {
        const std::lock_guard<std::mutex> guard(client->lock);
        client->reconnect_enabled = on != 0 ? 1 : 0;
    }
}

int irc_client_seconds_until_reconnect(irc_client *client)
{
    if (client == nullptr) {
        return 0;
    }
    const std::lock_guard<std::mutex> guard(client->lock);
    if (client->reconnect_enabled == 0 || client->connected != 0 || client->next_reconnect == 0) {
        return 0;
    }
    const std::int64_t left = client->next_reconnect - client_now();
    return left > 0 ? static_cast<int>(left) : 0;
}

int irc_client_should_attempt_reconnect(irc_client *client)
{
    if (client == nullptr) {
        return 0;
    }
    const std::lock_guard<std::mutex> guard(client->lock);
    return client->reconnect_enabled != 0 && client->connected == 0 && client->saved_server[0] != '\0' &&
                   client->saved_nick[0] != '\0' && client->saved_channel[0] != '\0' && client->saved_port >= 1 &&
                   client->reconnect_attempts < client->reconnect_max && client->next_reconnect != 0 &&
                   client_now() >= client->next_reconnect
               ? 1
               : 0;
}

int irc_client_reconnect(irc_client *client)
{
    if (client == nullptr) {
        return -1;
    }
    char server[sizeof client->saved_server];
    char nick[sizeof client->saved_nick];
    char channel[sizeof client->saved_channel];
    int port = 0;
    int tls = 0;
    char text[64];
    {
        const std::lock_guard<std::mutex> guard(client->lock);
        ++client->reconnect_attempts;
        std::snprintf(text, sizeof text, "Reconnect attempt %d/%d...", client->reconnect_attempts,
                      client->reconnect_max);
        safe_strcpy(server, client->saved_server);
        safe_strcpy(nick, client->saved_nick);
        safe_strcpy(channel, client->saved_channel);
        port = client->saved_port;
        tls = client->saved_tls;
    }
    client_status(client, text);
    const int rc = irc_client_connect(client, server, port, nick, channel, tls);
    // A connection that opens is no success yet: the attempts count on until
    // the server lets us in (001), so a server that accepts and closes at
    // once meets ever longer pauses and finally none.
    if (rc != 0) {
        const std::lock_guard<std::mutex> guard(client->lock);
        if (client->reconnect_attempts < client->reconnect_max) {
            client->next_reconnect = client_now() + client_reconnect_pause(client);
        } else {
            client->next_reconnect = 0;
        }
    }
    return rc;
}
