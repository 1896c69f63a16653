// A session for tests against real servers, with bounded waits on what the
// network thread shows.
#pragma once

#include <algorithm>
#include <memory>
#include <poll.h>
#include <string>
#include <vector>

#include "chat/session/irc_session.h"
#include "tests/chat/session/session_view.h"

class live_session {
public:
    live_session() { irc_init(s_.get()); }
    ~live_session() { irc_disconnect(s_.get(), nullptr); }
    live_session(const live_session &) = delete;
    live_session &operator=(const live_session &) = delete;

    irc_session *get() { return s_.get(); }

    // The scrollback as "sender|text" rows, oldest first.
    std::vector<std::string> rows() { return session_rows(get()); }

    // Waits until a row starts with prefix; true when one came in time.
    bool wait_row(const std::string &prefix, int timeout_ms = 10000)
    {
        return wait([&] {
            for (const std::string &r : rows()) {
                if (r.rfind(prefix, 0) == 0) {
                    return true;
                }
            }
            return false;
        }, timeout_ms);
    }

    // Waits until the nick list holds nick, with or without a channel-mode symbol.
    bool wait_user(const std::string &nick, int timeout_ms = 10000)
    {
        return wait([&] {
            const auto guard = irc_lock(get());
            for (int i = 0; i < get()->user_count; ++i) {
                if (nick == irc_user_nick(get(), i)) {
                    return true;
                }
            }
            return false;
        }, timeout_ms);
    }

    template <typename Pred>
    static bool wait(Pred pred, int timeout_ms)
    {
        for (int waited = 0; waited <= timeout_ms; waited += 10) {
            if (pred()) {
                return true;
            }
            poll(nullptr, 0, 10);
        }
        return false;
    }

private:
    std::unique_ptr<irc_session> s_ = std::make_unique<irc_session>();
};
