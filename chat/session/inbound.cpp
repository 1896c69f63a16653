// The network thread: receives, cuts lines and handles each one in order.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <ctime>
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
constexpr int MAX_PARAMS = 15;
constexpr std::int64_t CTCP_WINDOW_MS = 60000;
constexpr const char *CTCP_VERSION_TEXT = "Vexon IRC Client 6.0";
constexpr const char *CTCP_CLIENTINFO_TEXT = "ACTION CLIENTINFO PING TIME VERSION";

// One received line, split once: ":prefix COMMAND params... :trailing".
struct inbound_line {
    const char *line;
    const char *rest;    // after the prefix's space; null when a prefix has no space after it
    char prefix[128];
    char nick[64];       // prefix up to its "!"
    bool from_user;      // the prefix names a user (nick!user@host), not a server
    char command[32];
    const char *params[MAX_PARAMS];
    int param_count;
    char storage[LINE_BUFFER_SIZE];   // the parameters' bytes
};

// Splits the parameters of text into l's storage: words separated by
// spaces, the one after " :" (or the fifteenth) running to the end.
void split_params(const char *text, inbound_line *out)
{
    safe_strcpy(out->storage, text);
    char *p = out->storage;
    while (out->param_count < MAX_PARAMS) {
        while (*p == ' ') {
            ++p;
        }
        if (*p == '\0') {
            return;
        }
        if (*p == ':' || out->param_count == MAX_PARAMS - 1) {
            out->params[out->param_count++] = *p == ':' ? p + 1 : p;
            return;
        }
        out->params[out->param_count++] = p;
        p += std::strcspn(p, " ");
        if (*p == ' ') {
            *p++ = '\0';
        }
    }
}

void parse_line(const char *line, inbound_line *out)
{
    out->line = line;
    out->rest = line;
    out->prefix[0] = '\0';
    out->nick[0] = '\0';
    out->from_user = false;
    out->command[0] = '\0';
    out->param_count = 0;
    if (line[0] == ':') {
        const char *space = std::strchr(line, ' ');
        const std::size_t plen = space != nullptr ? static_cast<std::size_t>(space - line - 1) : std::strlen(line + 1);
        safe_strcpy(out->prefix, line + 1, plen + 1 < sizeof out->prefix ? plen + 1 : sizeof out->prefix);
        const std::size_t nlen = std::strcspn(out->prefix, "!@");
        safe_strcpy(out->nick, out->prefix, nlen + 1 < sizeof out->nick ? nlen + 1 : sizeof out->nick);
        out->from_user = out->prefix[nlen] != '\0';
        out->rest = space != nullptr ? space + 1 : nullptr;
    }
    if (out->rest == nullptr) {
        return;
    }
    const char *after = out->rest + std::strspn(out->rest, " ");
    const std::size_t clen = std::strcspn(after, " ");
    safe_strcpy(out->command, after, clen + 1 < sizeof out->command ? clen + 1 : sizeof out->command);
    split_params(after + clen, out);
}

// Parameter i, or "" when the line has fewer.
const char *param(const inbound_line &l, int i)
{
    return i >= 0 && i < l.param_count ? l.params[i] : "";
}

// Who a line is from, as shown: the nick, or the server's name.
const char *source_name(const inbound_line &l)
{
    return l.nick[0] != '\0' ? l.nick : "server";
}

bool is_us(const irc_session *s, const char *nick)
{
    return equals_ignore_case(nick, s->nick) != 0;
}

bool is_current_channel(const irc_session *s, const char *channel)
{
    return s->channel[0] != '\0' && equals_ignore_case(channel, s->channel) != 0;
}

// A message target without the status prefix of "@#chan"-style messages.
const char *bare_target(const irc_session *s, const char *target)
{
    while (target[0] != '\0' && std::strchr(s->prefix_symbols, target[0]) != nullptr &&
           is_channel_name(target + 1)) {
        ++target;
    }
    return target;
}

void show(irc_session *s, const char *text)
{
    add_line_locked(s, "*", text, LINE_SYSTEM);
}

// Formats a line of server text and shows it.
template <typename... Args>
void show_format(irc_session *s, const char *format, Args... args)
{
    char text[768];
    std::snprintf(text, sizeof text, format, args...);
    show(s, text);
}

// " (reason)", or "" when there is none; into out.
const char *in_parentheses(const char *reason, char *out, std::size_t size)
{
    if (reason[0] == '\0') {
        out[0] = '\0';
    } else {
        std::snprintf(out, size, " (%s)", reason);
    }
    return out;
}

// We are no longer in the current channel: the latest channel we are still
// in becomes the target, and its nick list is asked for once.
void leave_current_channel(irc_session *s)
{
    nick_list_clear(s);
    s->names_open = 0;
    if (s->joined_count > 0) {
        safe_strcpy(s->channel, s->joined[s->joined_count - 1]);
        send_format_locked<128>(s, "NAMES %s", s->channel);
    } else {
        s->channel[0] = '\0';
    }
    s->status_dirty = 1;
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
    s->retrying = 0;
    if (s->rejoin_count == 0) {
        // The connection's channel, even when a /join typed while connecting
        // made another the target (that join follows, held until now).
        const char *channel = s->autojoin[0] != '\0' ? s->autojoin : s->channel;
        if (channel[0] != '\0') {
            send_format_locked<128>(s, "JOIN %s", channel);
        }
        return;
    }
    // Back after a lost connection: every channel we were in, again.
    for (int i = 0; i < s->rejoin_count; ++i) {
        send_format_locked<128>(s, "JOIN %s", s->rejoin[i]);
    }
    s->rejoin_count = 0;
}

// The server's features: the nick list needs its channel-mode symbols.
void on_isupport(irc_session *s, const inbound_line &l)
{
    for (int i = 1; i < l.param_count; ++i) {
        if (starts_with(l.params[i], "PREFIX=") != 0) {
            take_prefix_token(s, l.params[i] + 7);
        }
    }
}

// A names reply may take several 353 lines; the list is collected until the
// 366 that ends it, so the next 353 after a 366 starts a fresh list. Names
// of a channel other than the current one are only shown.
void on_names(irc_session *s, const inbound_line &l)
{
    if (l.param_count < 3) {
        return;
    }
    const char *channel = l.params[l.param_count - 2];
    const char *names = l.params[l.param_count - 1];
    if (names[0] == '\0') {
        return;
    }
    if (!is_current_channel(s, channel)) {
        show_format(s, "Users on %s: %s", channel, names);
        return;
    }
    if (s->names_open == 0) {
        nick_list_clear(s);
        s->names_open = 1;
    }
    char list[1024];
    safe_strcpy(list, names);
    char *save = nullptr;
    for (char *word = strtok_r(list, " ", &save); word != nullptr && nick_list_add(s, word);
         word = strtok_r(nullptr, " ", &save)) {
    }
    s->users_dirty = 1;
}

void on_names_end(irc_session *s, const inbound_line &l)
{
    if (is_current_channel(s, param(l, 1))) {
        s->names_open = 0;
        s->users_dirty = 1;
    }
}

void on_topic_reply(irc_session *s, const inbound_line &l)
{
    show_format(s, "Topic for %s: %s", param(l, 1), param(l, 2));
}

// "333 me #c setter time": who set the topic and when.
void on_topic_setter(irc_session *s, const inbound_line &l)
{
    char setter[64];
    safe_strcpy(setter, param(l, 2));
    setter[std::strcspn(setter, "!")] = '\0';
    const std::time_t when = static_cast<std::time_t>(std::strtoll(param(l, 3), nullptr, 10));
    std::tm local{};
    char date[32] = "";
    if (when > 0 && localtime_r(&when, &local) != nullptr) {
        std::strftime(date, sizeof date, " on %Y-%m-%d %H:%M", &local);
    }
    show_format(s, "Topic of %s set by %s%s", param(l, 1), setter, date);
}

void show_trailing(irc_session *s, const inbound_line &l)
{
    show(s, param(l, l.param_count - 1));
}

// A reply the program has no use for, shown as server text: the parameters
// after our nick, in order (the trailing text is the last of them).
void show_reply(irc_session *s, const inbound_line &l)
{
    if (l.param_count < 2) {
        show(s, l.rest);
        return;
    }
    char text[768] = "";
    std::size_t used = 0;
    for (int i = 1; i < l.param_count && used + 1 < sizeof text; ++i) {
        const int n = std::snprintf(text + used, sizeof text - used, "%s%s", i > 1 ? " " : "", l.params[i]);
        used += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    show(s, text);
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

// A channel we asked to join refused us: the target goes back to where we are.
void on_join_refused(irc_session *s, const inbound_line &l)
{
    show_error(s, l);
    const char *channel = param(l, 1);
    if (is_current_channel(s, channel) && !joined_has(s, channel) && s->joined_count > 0) {
        safe_strcpy(s->channel, s->joined[s->joined_count - 1]);
        s->status_dirty = 1;
    }
}

// A refused registration (bad password, banned): remembered, so the
// interface can say why the connection ended.
void on_refused(irc_session *s, const inbound_line &l)
{
    show_error(s, l);
    if (s->registered == 0) {
        safe_strcpy(s->refusal, param(l, l.param_count - 1));
    }
}

// A server without capability negotiation rejects CAP: register without SASL.
void on_unknown_command(irc_session *s, const inbound_line &l)
{
    show_error(s, l);
    if (equals_ignore_case(param(l, 1), "CAP") != 0 && s->sasl_state != SASL_NONE && s->sasl_state != SASL_DONE) {
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
    {5, 5, on_isupport},
    {332, 332, on_topic_reply},
    {333, 333, on_topic_setter},
    {353, 353, on_names},
    {366, 366, on_names_end},
    {372, 372, show_trailing},
    {375, 376, show_trailing},
    {477, 477, show_trailing},
    {403, 403, on_join_refused},
    {405, 405, on_join_refused},
    {471, 475, on_join_refused},
    {421, 421, on_unknown_command},
    {433, 433, on_nick_in_use},
    {464, 465, on_refused},
    {400, 599, show_error},
    {0, 999, show_reply},
};

// --- CTCP ---

// True when one more CTCP answer fits: at most a few a minute, so a flood
// of requests can never make us flood the server.
bool ctcp_answer_allowed(irc_session *s)
{
    std::int64_t *oldest = &s->ctcp_answer_ms[0];
    for (std::int64_t &at : s->ctcp_answer_ms) {
        if (at < *oldest) {
            oldest = &at;
        }
    }
    const std::int64_t now = session_now_ms();
    if (*oldest != 0 && now - *oldest < CTCP_WINDOW_MS) {
        return false;
    }
    *oldest = now;
    return true;
}

// The answer's text for a CTCP request word, or false for a request we do not answer.
bool ctcp_answer(const char *word, const char *argument, char *out, std::size_t size)
{
    if (std::strcmp(word, "VERSION") == 0) {
        std::snprintf(out, size, "%s", CTCP_VERSION_TEXT);
    } else if (std::strcmp(word, "PING") == 0) {
        std::snprintf(out, size, "%s", argument);
    } else if (std::strcmp(word, "CLIENTINFO") == 0) {
        std::snprintf(out, size, "%s", CTCP_CLIENTINFO_TEXT);
    } else if (std::strcmp(word, "TIME") == 0) {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        if (localtime_r(&now, &local) == nullptr || std::strftime(out, size, "%a %b %d %H:%M:%S %Y", &local) == 0) {
            safe_strcpy(out, "unknown", size);
        }
    } else {
        return false;
    }
    return true;
}

// Splits "\x01WORD argument\x01" into its word (upper case, cut to fit) and argument.
void split_ctcp(const char *text, char *word, std::size_t word_size, char *argument, std::size_t argument_size)
{
    const char *body = text + 1;
    const std::size_t end = std::strcspn(body, "\x01");
    const std::size_t wlen = std::strcspn(body, " \x01");
    safe_strcpy(word, body, wlen + 1 < word_size ? wlen + 1 : word_size);
    for (char *c = word; *c != '\0'; ++c) {
        *c = static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
    }
    const std::size_t astart = wlen < end ? wlen + 1 : end;
    const std::size_t alen = end - astart;
    safe_strcpy(argument, body + astart, alen + 1 < argument_size ? alen + 1 : argument_size);
}

void on_ctcp_request(irc_session *s, const inbound_line &l, const char *text)
{
    char word[32];
    char argument[400];
    split_ctcp(text, word, sizeof word, argument, sizeof argument);
    char answer[512];
    if (!ctcp_answer(word, argument, answer, sizeof answer)) {
        show_format(s, "%s sent an unknown CTCP %s", l.nick, word);
        return;
    }
    if (!ctcp_answer_allowed(s)) {
        show_format(s, "%s asked for our %s (not answered: too many requests)", l.nick, word);
        return;
    }
    send_format_locked<1024>(s, "NOTICE %s :\x01%s%s%s\x01", l.nick, word, answer[0] != '\0' ? " " : "", answer);
    show_format(s, "%s asked for our %s", l.nick, word);
}

bool is_ctcp(const char *text)
{
    return text[0] == '\x01';
}

bool is_action(const char *text)
{
    return starts_with(text, "\x01" "ACTION") != 0 && (text[7] == ' ' || text[7] == '\x01' || text[7] == '\0');
}

// --- commands ---

void on_ping(irc_session *s, const inbound_line &l)
{
    send_format_locked<1024>(s, "PONG :%s", param(l, 0));
}

void on_authenticate(irc_session *s, const inbound_line &l)
{
    if (std::strcmp(param(l, 0), "+") == 0) {
        sasl_on_authenticate_plus(s);
    }
}

void on_cap(irc_session *s, const inbound_line &l)
{
    sasl_on_cap(s, l.rest);
}

void on_numeric(irc_session *s, const inbound_line &l)
{
    const int number = static_cast<int>(std::strtol(l.command, nullptr, 10));
    for (const numeric_rule &rule : NUMERIC_RULES) {
        if (number >= rule.low && number <= rule.high) {
            rule.handle(s, l);
            return;
        }
    }
}

void on_privmsg(irc_session *s, const inbound_line &l)
{
    if (l.param_count < 2 || l.nick[0] == '\0') {
        return;
    }
    const char *target = bare_target(s, l.params[0]);
    const char *text = l.params[1];
    if (is_ctcp(text) && !is_action(text)) {
        on_ctcp_request(s, l, text);
    } else if (is_channel_name(target)) {
        add_channel_line_locked(s, target, l.nick, text, LINE_USER);
    } else {
        add_line_locked(s, l.nick, text, LINE_PRIVATE);
    }
}

void on_notice(irc_session *s, const inbound_line &l)
{
    const char *target = bare_target(s, param(l, 0));
    const char *text = param(l, l.param_count - 1);
    if (!l.from_user) {
        show(s, text);   // the server's own notices
        return;
    }
    if (is_ctcp(text)) {
        char word[32];
        char argument[400];
        split_ctcp(text, word, sizeof word, argument, sizeof argument);
        show_format(s, "CTCP %s reply from %s: %s", word, l.nick, argument);
        return;
    }
    add_channel_line_locked(s, is_channel_name(target) ? target : "", l.nick, text, LINE_NOTICE);
}

void on_join(irc_session *s, const inbound_line &l)
{
    const char *channel = param(l, 0);
    if (is_us(s, l.nick)) {
        joined_add(s, channel);
        if (s->channel[0] == '\0') {
            safe_strcpy(s->channel, channel);
            s->status_dirty = 1;
        }
        if (is_current_channel(s, channel)) {
            nick_list_clear(s);   // the server's names reply follows the join
            s->names_open = 0;
        }
    } else if (is_current_channel(s, channel)) {
        nick_list_add(s, l.nick);
    }
    show_format(s, "%s has joined %s", l.nick, channel);
}

// We left a channel (parted or kicked): it is no longer ours, nor joined
// again on the next connection.
void we_left(irc_session *s, const char *channel)
{
    joined_remove(s, channel);
    if (equals_ignore_case(s->autojoin, channel) != 0) {
        s->autojoin[0] = '\0';
    }
    if (is_current_channel(s, channel)) {
        leave_current_channel(s);
    }
}

void on_part(irc_session *s, const inbound_line &l)
{
    const char *channel = param(l, 0);
    char reason[400];
    show_format(s, "%s has left %s%s", l.nick, channel, in_parentheses(param(l, 1), reason, sizeof reason));
    if (is_us(s, l.nick)) {
        we_left(s, channel);
    } else if (is_current_channel(s, channel)) {
        nick_list_remove(s, l.nick);
    }
}

void on_quit(irc_session *s, const inbound_line &l)
{
    if (is_us(s, l.nick)) {
        return;   // the server's ERROR says the rest
    }
    const char *reason = param(l, 0);
    if (nick_list_remove(s, l.nick)) {
        show_format(s, "%s has left %s (quit%s%s)", l.nick, s->channel, reason[0] != '\0' ? ": " : "", reason);
    } else {
        char text[400];
        show_format(s, "%s has quit%s", l.nick, in_parentheses(reason, text, sizeof text));
    }
}

void on_kick(irc_session *s, const inbound_line &l)
{
    const char *channel = param(l, 0);
    const char *victim = param(l, 1);
    char reason[400];
    in_parentheses(param(l, 2), reason, sizeof reason);
    if (is_us(s, victim)) {
        show_format(s, "You were kicked from %s by %s%s", channel, source_name(l), reason);
        we_left(s, channel);
        return;
    }
    show_format(s, "%s was kicked from %s by %s%s", victim, channel, source_name(l), reason);
    if (is_current_channel(s, channel)) {
        nick_list_remove(s, victim);
    }
}

void on_nick(irc_session *s, const inbound_line &l)
{
    const char *to = param(l, 0);
    if (to[0] == '\0') {
        return;
    }
    // Our own change may already be stored (the /nick command stores it).
    if (is_us(s, l.nick) || is_us(s, to)) {
        safe_strcpy(s->nick, to);
        s->status_dirty = 1;
        show_format(s, "You are now known as %s", to);
    } else {
        show_format(s, "%s is now known as %s", l.nick, to);
    }
    nick_list_rename(s, l.nick, to);
}

void on_topic(irc_session *s, const inbound_line &l)
{
    const char *topic = param(l, 1);
    if (topic[0] == '\0') {
        show_format(s, "%s cleared the topic of %s", source_name(l), param(l, 0));
    } else {
        show_format(s, "%s changed the topic of %s to: %s", source_name(l), param(l, 0), topic);
    }
}

// Whether a channel mode letter takes a parameter (the usual CHANMODES:
// lists and keys always, the limit only when set).
bool mode_takes_parameter(const irc_session *s, char mode, bool adding)
{
    if (is_prefix_mode(s, mode) || std::strchr("beIkqa", mode) != nullptr) {
        return true;
    }
    return adding && std::strchr("lfjJ", mode) != nullptr;
}

// Follows the channel-mode changes that the nick list shows (op, voice...).
void apply_channel_modes(irc_session *s, const inbound_line &l)
{
    bool adding = true;
    int next = 2;
    for (const char *m = param(l, 1); *m != '\0'; ++m) {
        if (*m == '+' || *m == '-') {
            adding = *m == '+';
            continue;
        }
        if (!mode_takes_parameter(s, *m, adding)) {
            continue;
        }
        const char *argument = param(l, next++);
        if (is_prefix_mode(s, *m)) {
            nick_list_set_mode(s, argument, *m, adding);
        }
    }
}

void on_mode(irc_session *s, const inbound_line &l)
{
    char change[512] = "";
    std::size_t used = 0;
    for (int i = 1; i < l.param_count && used + 1 < sizeof change; ++i) {
        const int n = std::snprintf(change + used, sizeof change - used, "%s%s", i > 1 ? " " : "", l.params[i]);
        used += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    show_format(s, "%s sets mode %s on %s", source_name(l), change, param(l, 0));
    if (is_current_channel(s, param(l, 0))) {
        apply_channel_modes(s, l);
    }
}

void on_error(irc_session *s, const inbound_line &l)
{
    show_format(s, "Server error: %s", param(l, 0));
    if (s->registered == 0) {
        safe_strcpy(s->refusal, param(l, 0));
    }
}

void on_invite(irc_session *s, const inbound_line &l)
{
    show_format(s, "%s invites you to %s", source_name(l), param(l, 1));
}

void show_whole_line(irc_session *s, const inbound_line &l)
{
    show(s, l.line);
}

bool is_numeric(const char *command)
{
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    return digit(command[0]) && digit(command[1]) && digit(command[2]) && command[3] == '\0';
}

struct command_rule {
    const char *command;
    bool needs_prefix;   // ignored when the line has no sender
    void (*handle)(irc_session *, const inbound_line &);
};

// Commands by name; a numeric reply goes through NUMERIC_RULES, anything
// else is shown as it came.
constexpr command_rule COMMAND_RULES[] = {
    {"PING", false, on_ping},          {"AUTHENTICATE", false, on_authenticate},
    {"CAP", false, on_cap},            {"ERROR", false, on_error},
    {"NOTICE", false, on_notice},      {"PONG", false, ignore_line},
    {"PRIVMSG", true, on_privmsg},     {"JOIN", true, on_join},
    {"PART", true, on_part},           {"QUIT", true, on_quit},
    {"KICK", true, on_kick},           {"NICK", true, on_nick},
    {"TOPIC", true, on_topic},         {"MODE", true, on_mode},
    {"INVITE", true, on_invite},
};

void handle_line(irc_session *s, const char *line)
{
    inbound_line parsed;
    parse_line(line, &parsed);
    if (parsed.rest == nullptr || parsed.command[0] == '\0') {
        return;
    }
    if (is_numeric(parsed.command) && parsed.line[0] == ':') {
        on_numeric(s, parsed);
        return;
    }
    for (const command_rule &rule : COMMAND_RULES) {
        if (equals_ignore_case(parsed.command, rule.command) != 0) {
            if (!rule.needs_prefix || parsed.nick[0] != '\0') {
                rule.handle(s, parsed);
            } else {
                show_whole_line(s, parsed);
            }
            return;
        }
    }
    show_whole_line(s, parsed);
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
        s->heard_ms = session_now_ms();
        s->ping_sent_ms = 0;
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

// A dead connection often looks just like a quiet one: after a silence we
// ask the server, and a server that neither answers nor finishes
// registration in time is given up, so the connection can be made again.
const char *silence_trouble(irc_session *s)
{
    const std::int64_t now = session_now_ms();
    if (s->registered == 0 && now - s->opened_ms >= g_irc_register_timeout_ms) {
        return SESSION_MSG_REGISTRATION_TIMEOUT;
    }
    if (s->ping_sent_ms != 0 && now - s->ping_sent_ms >= g_irc_ping_timeout_ms) {
        return SESSION_MSG_PING_TIMEOUT;
    }
    if (s->ping_sent_ms == 0 && now - s->heard_ms >= g_irc_ping_after_ms) {
        send_format_locked<64>(s, "PING :%lld", static_cast<long long>(now));
        s->ping_sent_ms = now;
    }
    return nullptr;
}

// Milliseconds until the next silence limit, from now.
std::int64_t silence_wait_ms(const irc_session *s)
{
    const std::int64_t now = session_now_ms();
    std::int64_t due = s->ping_sent_ms != 0 ? s->ping_sent_ms + g_irc_ping_timeout_ms : s->heard_ms + g_irc_ping_after_ms;
    if (s->registered == 0) {
        due = std::min(due, s->opened_ms + g_irc_register_timeout_ms);
    }
    return due - now;
}

// How long the idle wait may last: until the next time limit, a second at most.
int idle_wait_ms(const irc_session *s)
{
    int wait_ms = IDLE_WAIT_MS;
    const std::int64_t silence_ms = silence_wait_ms(s);
    if (silence_ms < wait_ms) {
        wait_ms = silence_ms <= 0 ? 0 : static_cast<int>(silence_ms);
    }
    const int sasl_ms = sasl_wait_ms(s);
    if (sasl_ms >= 0 && sasl_ms < wait_ms) {
        wait_ms = sasl_ms;
    }
    if (s->send_length > 0) {
        const std::int64_t left = s->send_waiting_since_ms + g_irc_send_stall_ms - session_now_ms();
        wait_ms = left <= 0 ? 0 : left < wait_ms ? static_cast<int>(left) : wait_ms;
    }
    const int paced_ms = s->registered != 0 ? pacer_due_ms(&s->pacer, pacer_now_ms()) : -1;
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
        if (trouble == nullptr && state != receive_result::ended) {
            trouble = silence_trouble(s);
        }
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
    if (s->connected != 0 && s->registered == 0 && s->retrying == 0) {
        // The server let us connect but not in: the interface says why. (A
        // reconnect that fails so is tried again instead.)
        const char *why = trouble != nullptr ? trouble : "The server closed the connection";
        safe_strcpy(s->connect_error, s->refusal[0] != '\0' ? s->refusal : why);
    }
    // Still running: nobody asked for the end, so it may be made again.
    s->lost = s->running != 0 ? 1 : 0;
    s->connected = 0;
    s->running = 0;
    s->status_dirty = 1;
    add_line_locked(s, "*", "Disconnected from server", LINE_SYSTEM);
    if (const int held = pacer_waiting(&s->pacer); held > 0) {
        // Typed, still waiting their turn: they go nowhere, and the user is told.
        show_format(s, "Not sent (connection lost): %d line%s", held, held == 1 ? "" : "s");
    }
}
