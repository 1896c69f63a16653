// Splitting server lines into prefix, command and parameters.
#include "chat/ircclient/irc_message.h"

#include <cstring>

#include "chat/config/text_util.h"

namespace {

// Cuts the word at *p off with a NUL and moves *p past the spaces after it.
char *next_word(char **p)
{
    char *word = *p;
    char *end = std::strchr(word, ' ');
    if (end == nullptr) {
        *p = word + std::strlen(word);
        return word;
    }
    *end++ = '\0';
    while (*end == ' ') {
        ++end;
    }
    *p = end;
    return word;
}

} // namespace

bool irc_parse_message(const char *line, irc_message *out)
{
    safe_strcpy(out->buffer, line);
    out->prefix = "";
    out->nick[0] = '\0';
    out->command = "";
    out->param_count = 0;
    char *p = out->buffer;
    while (*p == ' ') {
        ++p;
    }
    if (*p == '@') {
        next_word(&p);
    }
    if (*p == ':') {
        ++p;
        out->prefix = next_word(&p);
        const char *bang = std::strchr(out->prefix, '!');
        if (bang != nullptr) {
            const auto len = static_cast<std::size_t>(bang - out->prefix);
            safe_strcpy(out->nick, out->prefix, len + 1 < sizeof out->nick ? len + 1 : sizeof out->nick);
        }
    }
    out->command = next_word(&p);
    while (*p != '\0' && out->param_count < IRC_MAX_PARAMS) {
        if (*p == ':' || out->param_count == IRC_MAX_PARAMS - 1) {
            out->params[out->param_count++] = *p == ':' ? p + 1 : p;
            break;
        }
        out->params[out->param_count++] = next_word(&p);
    }
    return out->command[0] != '\0';
}

const char *irc_param(const irc_message &m, int index)
{
    return index >= 0 && index < m.param_count ? m.params[index] : "";
}

const char *irc_trailing(const irc_message &m)
{
    return m.param_count > 0 ? m.params[m.param_count - 1] : "";
}

bool irc_is_numeric(const irc_message &m)
{
    const char *c = m.command;
    return std::strlen(c) == 3 && c[0] >= '0' && c[0] <= '9' && c[1] >= '0' && c[1] <= '9' && c[2] >= '0' &&
           c[2] <= '9';
}
