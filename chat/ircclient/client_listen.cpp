// The listening thread: reads the server, cuts lines, and handles each one
// by its command.
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

#include "chat/config/text_util.h"
#include "chat/ircclient/client_internal.h"
#include "chat/ircclient/irc_message.h"

namespace {

constexpr std::size_t READ_SIZE = 2047;
constexpr std::size_t LINE_SIZE = 1024;
constexpr int IDLE_WAIT_MS = 1000;   // how soon a cleared running flag is seen at the latest
constexpr std::size_t NICK_KEEP = 50;
constexpr const char *NICK_GIVE_UP_TEXT = "Nick in use: no free nick found, giving up";
constexpr const char *REGISTER_TIMEOUT_TEXT = "Registration timed out";
constexpr const char *PING_TIMEOUT_TEXT = "Ping timeout: the server stopped answering";
constexpr const char *AUTH_REQUIRED_TEXT =
    "Authentication required. Use /msg NickServ IDENTIFY <password> then /join #room";

bool same_nick(const char *a, const char *b)
{
    return a[0] != '\0' && equals_ignore_case(a, b) != 0;
}

bool is_own(irc_client *client, const char *nick)
{
    const std::lock_guard<std::mutex> guard(client->lock);
    return same_nick(nick, client->nick);
}

// What a handler leaves to do with the line afterwards.
enum class line_done { no, yes };

line_done on_ping(irc_client *client, const irc_message &m)
{
    char line[512];
    std::snprintf(line, sizeof line, m.param_count > 0 ? "PONG :%s" : "PONG", irc_trailing(m));
    client_send_raw(client, line, send_mode::paced);
    return line_done::yes;
}

// A nick taken while registering: keep the start of ours and add a number.
// A server that refuses every nick gets a few tries, not an endless stream.
line_done on_nick_in_use(irc_client *client, const irc_message &)
{
    char nick[sizeof client->nick];
    bool give_up = false;
    {
        const std::lock_guard<std::mutex> guard(client->lock);
        if (client->connected == 0 || client->welcome_seen != 0) {
            return line_done::no;
        }
        give_up = client->nick_retries >= g_irc_client_limits.nick_retries;
        ++client->nick_retries;
        std::snprintf(nick, sizeof nick, "%.*s_%d", static_cast<int>(NICK_KEEP), client->nick,
                      static_cast<int>(client_now() % 1000));
        if (!give_up) {
            safe_strcpy(client->nick, nick);
        }
    }
    if (give_up) {
        client_send_raw(client, "QUIT :No free nick", send_mode::paced);
        client_report_loss(client, NICK_GIVE_UP_TEXT);
        return line_done::yes;
    }
    char line[96];
    std::snprintf(line, sizeof line, "NICK %s", nick);
    client_send_raw(client, line, send_mode::paced);
    irc_logger_write(&client->log, "433 Nick in use, trying %s\n", nick);
    return line_done::no;
}

line_done on_welcome(irc_client *client, const irc_message &m)
{
    bool end_caps = false;
    {
        const std::lock_guard<std::mutex> guard(client->lock);
        if (client->welcome_seen != 0) {
            return line_done::no;
        }
        client->welcome_seen = 1;
        client->registered = 1;
        client->reconnect_attempts = 0;
        // The server's name for us is the one that counts from now on.
        const char *nick = irc_param(m, 0);
        if (nick[0] != '\0' && std::strcmp(nick, "*") != 0) {
            safe_strcpy(client->nick, nick);
        }
        end_caps = client->cap_open != 0;
        client->cap_open = 0;
    }
    if (end_caps) {
        client_send_raw(client, "CAP END", send_mode::paced);
    }
    return line_done::no;
}

line_done on_motd_end(irc_client *client, const irc_message &)
{
    {
        const std::lock_guard<std::mutex> guard(client->lock);
        client->motd_done = 1;
    }
    irc_client_try_autojoin(client);
    return line_done::no;
}

line_done on_auth_required(irc_client *client, const irc_message &)
{
    {
        const std::lock_guard<std::mutex> guard(client->lock);
        client->autojoin_pending = 1;
        client->auth_required = 1;
    }
    client_status(client, AUTH_REQUIRED_TEXT);
    return line_done::no;
}

bool says_identified(const char *text)
{
    return std::strstr(text, "You are now identified") != nullptr ||
           std::strstr(text, " now identified as ") != nullptr;
}

void on_identified(irc_client *client)
{
    bool motd_done = false;
    {
        const std::lock_guard<std::mutex> guard(client->lock);
        client->auth_required = 0;
        motd_done = client->motd_done != 0;
    }
    if (motd_done) {
        irc_client_try_autojoin(client);
    }
}

// Services confirm an identification in a NOTICE to us, from NickServ or
// the server itself; anyone else's word for it counts for nothing.
line_done on_notice(irc_client *client, const irc_message &m)
{
    const bool from_services = m.nick[0] == '\0' || equals_ignore_case(m.nick, "NickServ") != 0;
    if (from_services && m.param_count >= 2 && is_own(client, irc_param(m, 0)) && says_identified(irc_trailing(m))) {
        on_identified(client);
    }
    return line_done::no;
}

line_done on_join(irc_client *client, const irc_message &m)
{
    const std::lock_guard<std::mutex> guard(client->lock);
    if (same_nick(m.nick, client->nick) && m.param_count > 0) {
        safe_strcpy(client->channel, irc_param(m, 0));
        client->autojoin_pending = 0;
    }
    return line_done::no;
}

line_done on_nick(irc_client *client, const irc_message &m)
{
    const std::lock_guard<std::mutex> guard(client->lock);
    if (same_nick(m.nick, client->nick) && irc_trailing(m)[0] != '\0') {
        safe_strcpy(client->nick, irc_trailing(m));
    }
    return line_done::no;
}

// Reads one names word: its mode prefixes come off, the first one is kept.
bool read_name(const char *word, irc_name_entry *out)
{
    const std::size_t modes = std::strspn(word, "@+%~&");
    if (word[modes] == '\0') {
        return false;
    }
    safe_strcpy(out->nick, word + modes);
    out->mode = modes > 0 ? word[0] : ' ';
    return true;
}

// A long names reply comes as several 353 lines ended by a 366; each line is
// handed over as it comes, and completion looks at all of them.
line_done on_names(irc_client *client, const irc_message &m)
{
    irc_name_entry entries[IRC_MAX_NAMES];
    int count = 0;
    char words[LINE_SIZE];
    safe_strcpy(words, irc_trailing(m));
    char *save = nullptr;
    for (char *w = strtok_r(words, " ", &save); w != nullptr && count < IRC_MAX_NAMES; w = strtok_r(nullptr, " ", &save)) {
        if (read_name(w, &entries[count])) {
            ++count;
        }
    }
    {
        const std::lock_guard<std::mutex> guard(client->lock);
        if (client->names_open == 0) {
            client->name_count = 0;
            client->names_open = 1;
        }
        for (int i = 0; i < count && client->name_count < IRC_MAX_NAMES; ++i) {
            client->names[client->name_count++] = entries[i];
        }
    }
    if (client->names_callback != nullptr) {
        char channel[64];
        safe_strcpy(channel, irc_param(m, m.param_count >= 4 ? 2 : 1));
        client->names_callback(client, channel, entries, count);
    }
    return line_done::yes;
}

line_done on_names_end(irc_client *client, const irc_message &)
{
    const std::lock_guard<std::mutex> guard(client->lock);
    client->names_open = 0;
    return line_done::no;
}

// "\x01REQUEST text\x01" to the CTCP callback as the command "CTCP" and the
// request, so a host reads the request word and its text from one place.
void deliver_ctcp(irc_client *client, const char *sender, const char *body)
{
    char request[512];
    safe_strcpy(request, body + 1);
    request[std::strcspn(request, "\x01")] = '\0';
    if (client->ctcp_callback != nullptr) {
        client->ctcp_callback(client, sender, "CTCP", request);
    }
}

line_done on_privmsg(irc_client *client, const irc_message &m)
{
    if (m.nick[0] == '\0' || m.param_count < 2) {
        return line_done::yes;
    }
    char target[64];
    safe_strcpy(target, irc_param(m, 0));
    const char *text = irc_trailing(m);
    if (text[0] == '\x01') {
        deliver_ctcp(client, m.nick, text);
        return line_done::yes;
    }
    if (client->message_callback != nullptr) {
        client->message_callback(client, target, m.nick, text);
    }
    irc_logger_write(&client->log, "<%s> %s\n", m.nick, text);
    return line_done::yes;
}

// The capability list ends the negotiation: this client asks for nothing.
// A list in several lines marks all but the last with "*".
line_done on_cap(irc_client *client, const irc_message &m)
{
    if (std::strcmp(irc_param(m, 1), "LS") != 0 || (m.param_count > 3 && std::strcmp(irc_param(m, 2), "*") == 0)) {
        return line_done::no;
    }
    bool end_caps = false;
    {
        const std::lock_guard<std::mutex> guard(client->lock);
        end_caps = client->cap_open != 0;
        client->cap_open = 0;
    }
    if (end_caps) {
        client_send_raw(client, "CAP END", send_mode::paced);
    }
    return line_done::no;
}

struct line_rule {
    const char *command;
    line_done (*handle)(irc_client *, const irc_message &);
};

// The handled commands; a line that is not done goes on to the status callback.
constexpr line_rule LINE_RULES[] = {
    {"PING", on_ping},       {"433", on_nick_in_use}, {"001", on_welcome},  {"376", on_motd_end},
    {"422", on_motd_end},    {"477", on_auth_required}, {"NOTICE", on_notice}, {"JOIN", on_join},
    {"NICK", on_nick},       {"353", on_names},       {"366", on_names_end}, {"PRIVMSG", on_privmsg},
    {"CAP", on_cap},
};

void handle_line(irc_client *client, const char *line)
{
    irc_message m;
    if (!irc_parse_message(line, &m)) {
        return;
    }
    line_done done = line_done::no;
    bool matched = false;
    for (const line_rule &rule : LINE_RULES) {
        if (std::strcmp(m.command, rule.command) == 0) {
            done = rule.handle(client, m);
            matched = true;
            break;
        }
    }
    if (!matched && irc_is_numeric(m) && is_own(client, irc_param(m, 0)) && says_identified(irc_trailing(m))) {
        on_identified(client);
    }
    if (done == line_done::no) {
        client_status(client, line);
    }
}

// Cuts received bytes into lines at LF; a line keeps its first 1023 bytes.
struct line_cutter {
    char line[LINE_SIZE] = {};
    std::size_t length = 0;

    void feed(irc_client *client, const char *data, std::size_t size)
    {
        for (std::size_t i = 0; i < size; ++i) {
            if (data[i] != '\n') {
                if (length < LINE_SIZE - 1) {
                    line[length++] = data[i];
                }
                continue;
            }
            if (length > 0 && line[length - 1] == '\r') {
                --length;
            }
            line[length] = '\0';
            length = 0;
            if (line[0] != '\0') {
                handle_line(client, line);
            }
        }
    }
};

bool still_running(irc_client *client)
{
    const std::lock_guard<std::mutex> guard(client->lock);
    return client->running != 0;
}

enum class read_result { idle, heard, ended };

// Reads and handles what has arrived, one block per turn of the lock, so
// that senders on other threads get their turn during a flood.
read_result read_available(irc_client *client, int fd, irc_transport *tls, line_cutter &cutter)
{
    char data[READ_SIZE + 1];
    read_result result = read_result::idle;
    for (;;) {
        ssize_t n = 0;
        {
            const std::lock_guard<std::mutex> io(client->io_lock);
            n = transport_recv(fd, tls, data, READ_SIZE);
        }
        if (n == TRANSPORT_WOULD_BLOCK) {
            return result;
        }
        if (n <= 0) {
            client_report_loss(client, n < 0 && tls != nullptr ? "SSL/TLS read failure" : "Disconnected from server");
            return read_result::ended;
        }
        irc_logger_write(&client->log, "[RECV %d bytes] %.*s\n", static_cast<int>(n), static_cast<int>(n), data);
        result = read_result::heard;
        cutter.feed(client, data, static_cast<std::size_t>(n));
        if (!still_running(client)) {
            return read_result::ended;
        }
    }
}

bool is_registered(irc_client *client)
{
    const std::lock_guard<std::mutex> guard(client->lock);
    return client->registered != 0;
}

// The time limits of one connection: registration, and a server gone quiet.
struct liveness {
    std::int64_t started_ms = pacer_now_ms();
    std::int64_t heard_ms = started_ms;
    std::int64_t ping_sent_ms = 0;   // 0: no PING of ours is waiting for an answer

    // A text saying why the connection is dead, or null; sends the PING of a
    // quiet spell. Also lowers wait_ms to the next moment worth looking again.
    const char *check(irc_client *client, int &wait_ms)
    {
        const std::int64_t now = pacer_now_ms();
        const irc_client_limits &limits = g_irc_client_limits;
        if (!is_registered(client)) {
            const std::int64_t left = started_ms + limits.register_ms - now;
            if (left <= 0) {
                return REGISTER_TIMEOUT_TEXT;
            }
            lower(wait_ms, left);
        }
        if (ping_sent_ms != 0) {
            const std::int64_t left = ping_sent_ms + limits.ping_answer_ms - now;
            if (left <= 0) {
                return PING_TIMEOUT_TEXT;
            }
            lower(wait_ms, left);
            return nullptr;
        }
        const std::int64_t quiet_left = heard_ms + limits.silence_ms - now;
        if (quiet_left <= 0) {
            ping_sent_ms = now;
            char line[64];
            std::snprintf(line, sizeof line, "PING :%lld", static_cast<long long>(client_now()));
            client_send_raw(client, line, send_mode::urgent);
            lower(wait_ms, limits.ping_answer_ms);
            return nullptr;
        }
        lower(wait_ms, quiet_left);
        return nullptr;
    }

    void heard()
    {
        heard_ms = pacer_now_ms();
        ping_sent_ms = 0;
    }

    static void lower(int &wait_ms, std::int64_t ms)
    {
        if (ms < wait_ms) {
            wait_ms = ms < 0 ? 0 : static_cast<int>(ms);
        }
    }
};

} // namespace

void client_listen_thread(irc_client *client, int fd, irc_transport *tls)
{
    {
        const std::lock_guard<std::mutex> guard(client->lock);
        client->listener_id = std::this_thread::get_id();
    }
    // Whatever ends the connection wakes the poll, and the read then tells
    // how it ended; the flag is looked at only after that. The wait also
    // ends when a held line is due or a time limit comes.
    line_cutter cutter;
    liveness alive;
    int wait_ms = 0;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        poll(&p, 1, wait_ms);
        const read_result got = read_available(client, fd, tls, cutter);
        if (got == read_result::ended || !still_running(client)) {
            break;
        }
        if (got == read_result::heard) {
            alive.heard();
        }
        wait_ms = IDLE_WAIT_MS;
        const int due = client_send_due(client, fd);
        if (due >= 0 && due < wait_ms) {
            wait_ms = due;
        }
        if (const char *dead = alive.check(client, wait_ms); dead != nullptr) {
            client_report_loss(client, dead);
            const std::lock_guard<std::mutex> io(client->io_lock);
            if (client->socket == fd) {
                shutdown(fd, SHUT_RDWR);
            }
            break;
        }
        if (!still_running(client)) {
            break;
        }
    }
    const std::lock_guard<std::mutex> guard(client->lock);
    client->running = 0;
}
