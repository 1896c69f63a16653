// Records what an irc_client's callbacks report, for tests: each callback
// appends a row, and tests wait (bounded) for the row they expect.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "chat/ircclient/irc_client.h"

class client_events {
public:
    // Sets every callback of client to record into this object.
    void attach(irc_client *client)
    {
        client->user_data = this;
        irc_set_message_callback(client, [](irc_client *c, const char *target, const char *sender, const char *text) {
            of(c).add(of(c).messages_, std::string(target) + "|" + sender + "|" + text);
        });
        irc_set_status_callback(client, [](irc_client *c, const char *text) { of(c).add(of(c).status_, text); });
        irc_set_ctcp_callback(client, [](irc_client *c, const char *nick, const char *command, const char *text) {
            of(c).add(of(c).ctcp_, std::string(nick) + "|" + command + "|" + text);
        });
        irc_set_names_callback(client, [](irc_client *c, const char *channel, const irc_name_entry *e, int count) {
            std::string row = std::string(channel) + "|" + std::to_string(count);
            for (int i = 0; i < count; ++i) {
                row += std::string("|") + e[i].mode + e[i].nick;
            }
            of(c).add(of(c).names_, row);
        });
    }

    std::vector<std::string> status() { return copy(status_); }
    std::vector<std::string> messages() { return copy(messages_); }
    std::vector<std::string> ctcp() { return copy(ctcp_); }
    std::vector<std::string> names() { return copy(names_); }

    bool wait_status(const std::string &text, int timeout_ms = 5000) { return wait_row(status_, text, timeout_ms); }
    bool wait_message(const std::string &row, int timeout_ms = 5000) { return wait_row(messages_, row, timeout_ms); }
    bool wait_ctcp(const std::string &row, int timeout_ms = 5000) { return wait_row(ctcp_, row, timeout_ms); }
    bool wait_names(int count, int timeout_ms = 5000)
    {
        std::unique_lock<std::mutex> g(lock_);
        return changed_.wait_for(g, std::chrono::milliseconds(timeout_ms),
                                 [&] { return static_cast<int>(names_.size()) >= count; });
    }

private:
    static client_events &of(irc_client *c) { return *static_cast<client_events *>(c->user_data); }

    void add(std::vector<std::string> &rows, const std::string &row)
    {
        {
            std::lock_guard<std::mutex> g(lock_);
            rows.push_back(row);
        }
        changed_.notify_all();
    }

    std::vector<std::string> copy(const std::vector<std::string> &rows)
    {
        std::lock_guard<std::mutex> g(lock_);
        return rows;
    }

    bool wait_row(const std::vector<std::string> &rows, const std::string &row, int timeout_ms)
    {
        std::unique_lock<std::mutex> g(lock_);
        return changed_.wait_for(g, std::chrono::milliseconds(timeout_ms),
                                 [&] { return std::find(rows.begin(), rows.end(), row) != rows.end(); });
    }

    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::string> status_;
    std::vector<std::string> messages_;
    std::vector<std::string> ctcp_;
    std::vector<std::string> names_;
};
