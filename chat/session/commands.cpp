// Slash commands: one typed line becomes protocol lines.
#include <cstdio>
#include <cstring>

#include "chat/config/text_util.h"
#include "chat/session/session_internal.h"

namespace {

constexpr const char *HELP_TEXT = "Commands: /join /part /msg /nick /raw /who /names /list /quit";

struct typed_command {
    const char *input;   // the whole line, starting with "/"
    char word[64];       // the command word
    const char *args;    // after the first space, or ""
};

// Sends a message and, when it went out, shows it as our own line (the
// server does not echo it): in its channel, or as a private message to its
// recipient.
int send_message(irc_session *s, const char *target, const char *text)
{
    const int rc = send_format_locked<1024>(s, "PRIVMSG %s :%s", target, text);
    if (rc == 0) {
        if (is_channel_name(target)) {
            add_channel_line_locked(s, target, s->nick, text, LINE_USER);
        } else {
            add_line_locked(s, target, text, LINE_PRIVATE_SENT);
        }
    }
    return rc;
}

// The first word of text (up to a space or comma) into out.
void first_word(const char *text, char *out, std::size_t size)
{
    const std::size_t n = std::strcspn(text, " ,");
    safe_strcpy(out, text, n + 1 < size ? n + 1 : size);
}

// Where plain text and actions go: the channel, or our own nick without one.
const char *message_target(const irc_session *s)
{
    return s->channel[0] != '\0' ? s->channel : s->nick;
}

// The channel joined (the first of a list, without its key) becomes the target.
int cmd_join(irc_session *s, const typed_command &c)
{
    first_word(c.args, s->channel, sizeof s->channel);
    s->status_dirty = 1;
    return send_format_locked<600>(s, "JOIN %s", c.args);
}

// "/part [#channel] [reason]": the named channel, else the current one.
int cmd_part(irc_session *s, const typed_command &c)
{
    char channel[64];
    const char *reason = c.args;
    if (is_channel_name(c.args)) {
        first_word(c.args, channel, sizeof channel);
        reason = c.args + std::strcspn(c.args, " ");
        reason += std::strspn(reason, " ");
    } else {
        safe_strcpy(channel, s->channel);
    }
    if (reason[0] == '\0') {
        return send_format_locked<128>(s, "PART %s", channel);
    }
    return send_format_locked<600>(s, "PART %s :%s", channel, reason);
}

int cmd_nick(irc_session *s, const typed_command &c)
{
    safe_strcpy(s->nick, c.args);
    return send_format_locked<128>(s, "NICK %s", c.args);
}

// "/me text": a CTCP ACTION, shown as others see it. "/me" alone sends nothing.
int cmd_me(irc_session *s, const typed_command &c)
{
    if (c.args[0] == '\0') {
        return 0;
    }
    char action[800];
    std::snprintf(action, sizeof action, "\x01" "ACTION %s\x01", c.args);
    return send_message(s, message_target(s), action);
}

int cmd_msg(irc_session *s, const typed_command &c)
{
    const char *space = std::strchr(c.args, ' ');
    if (space == nullptr) {
        return -1;
    }
    char target[64];
    const auto len = static_cast<std::size_t>(space - c.args);
    safe_strcpy(target, c.args, len + 1 < sizeof target ? len + 1 : sizeof target);
    return send_message(s, target, space + 1);
}

int cmd_raw(irc_session *s, const typed_command &c)
{
    return send_line_locked(s, c.args);
}

// "/who" and "/names": alone the bare command, else the typed line as it is.
int cmd_bare_or_typed(irc_session *s, const typed_command &c)
{
    if (c.args[0] != '\0') {
        return send_line_locked(s, c.input + 1);
    }
    return send_line_locked(s, equals_ignore_case(c.word, "who") != 0 ? "WHO" : "NAMES");
}

int cmd_list(irc_session *s, const typed_command &)
{
    return send_line_locked(s, "LIST");
}

int cmd_quit(irc_session *s, const typed_command &)
{
    s->quit_requested = 1;
    return 0;
}

int cmd_help(irc_session *s, const typed_command &)
{
    add_line_locked(s, "*", HELP_TEXT, LINE_SYSTEM);
    return 0;
}

int cmd_other(irc_session *s, const typed_command &c)
{
    return send_line_locked(s, c.input + 1);
}

struct command_row {
    const char *word;
    int (*run)(irc_session *, const typed_command &);
};

constexpr command_row COMMANDS[] = {
    {"join", cmd_join},   {"part", cmd_part},  {"nick", cmd_nick},
    {"msg", cmd_msg},     {"me", cmd_me},      {"raw", cmd_raw},    {"quote", cmd_raw},
    {"who", cmd_bare_or_typed}, {"names", cmd_bare_or_typed},
    {"list", cmd_list},   {"quit", cmd_quit},  {"help", cmd_help},
};

typed_command split_command(const char *input)
{
    typed_command c{};
    c.input = input;
    const char *space = std::strchr(input, ' ');
    const std::size_t len = space != nullptr ? static_cast<std::size_t>(space - input - 1) : std::strlen(input + 1);
    safe_strcpy(c.word, input + 1, len + 1 < sizeof c.word ? len + 1 : sizeof c.word);
    c.args = space != nullptr ? space + 1 : "";
    return c;
}

} // namespace

int irc_handle_command(irc_session *s, const char *input)
{
    if (input == nullptr || input[0] == '\0') {
        return 0;
    }
    const auto guard = irc_lock(s);
    const typed_command c = input[0] == '/' ? split_command(input) : typed_command{};
    const command_row *row = nullptr;
    for (const command_row &r : COMMANDS) {
        if (input[0] == '/' && equals_ignore_case(c.word, r.word) != 0) {
            row = &r;
        }
    }
    const bool local = row != nullptr && (row->run == cmd_quit || row->run == cmd_help);
    if (!local && s->connected == 0) {
        // Whatever was typed must not vanish without a word.
        char text[700];
        std::snprintf(text, sizeof text, "Not sent (not connected): %s", input);
        add_line_locked(s, "*", text, LINE_SYSTEM);
        return -1;
    }
    s->sending_typed = 1;
    const int rc = input[0] != '/' ? send_message(s, message_target(s), input)
                                   : row != nullptr ? row->run(s, c) : cmd_other(s, c);
    s->sending_typed = 0;
    return rc;
}
