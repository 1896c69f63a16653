// One line from an IRC server, split once into its prefix, command and
// parameters, so that handling depends on what the line is and never on
// text a user put into it.
#pragma once

#include <cstddef>

inline constexpr int IRC_MAX_PARAMS = 15;

struct irc_message {
    char buffer[1024];                   // the line, cut into the pieces below
    const char *prefix;                  // "" when the line has none
    char nick[64];                       // the prefix up to its "!"; "" without a "!"
    const char *command;                 // as sent ("PRIVMSG", "001")
    const char *params[IRC_MAX_PARAMS];  // the last one may contain spaces
    int param_count;
};

// Splits line (message tags are skipped); false when it has no command.
bool irc_parse_message(const char *line, irc_message *out);

// The parameter at index, or "" when the line has fewer.
const char *irc_param(const irc_message &m, int index);

// The last parameter (the trailing text), or "" when there is none.
const char *irc_trailing(const irc_message &m);

// True for a three-digit numeric reply.
bool irc_is_numeric(const irc_message &m);
