// What a test sees of a session: its scrollback and nick list, read under the lock.
#pragma once

#include <string>
#include <vector>

#include "chat/session/irc_session.h"

// The scrollback as "sender|text" rows, oldest first.
inline std::vector<std::string> session_rows(irc_session *s)
{
    const auto guard = irc_lock(s);
    std::vector<std::string> rows;
    for (int i = 0; i < irc_line_count(s); ++i) {
        const chat_line *l = irc_line_at(s, i);
        rows.push_back(std::string(l->sender) + "|" + l->text);
    }
    return rows;
}

inline std::vector<std::string> session_users(irc_session *s)
{
    const auto guard = irc_lock(s);
    return {&s->users[0], &s->users[0] + s->user_count};
}
