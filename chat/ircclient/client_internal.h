// What the client's files share: sending, loss reports, the clock, masking.
#pragma once

#include <cstddef>
#include <cstdint>

#include "chat/ircclient/irc_client.h"

inline constexpr int IRC_SEND_TIMEOUT_MS = 15000;
inline constexpr int IRC_CONNECT_TIMEOUT_MS = 15000;

// Sends one line (see irc_send_command). A forced send goes out even while
// not connected (the QUIT of a disconnect) and never reports a loss.
int client_send_raw(irc_client *client, const char *line, bool force);

// Marks the connection lost and, the first time per connection, schedules a
// reconnect and tells the host; always logs text.
void client_report_loss(irc_client *client, const char *text);

// The two halves of client_report_loss, for a caller that must mark the
// loss before anything else can see it: mark returns whether it was the
// first; announce calls back (when first) and logs. No lock may be held for
// announce; mark takes only the state lock.
bool client_mark_lost(irc_client *client);
void client_announce_loss(irc_client *client, const char *text, bool first);

// Calls the status callback, when there is one, with no lock held.
void client_status(irc_client *client, const char *text);

std::int64_t client_now();

// The listening thread of one connection.
void client_listen_thread(irc_client *client, int fd, irc_transport *tls);

// The line as it may be logged: secrets replaced by "****".
void client_mask_secrets(const char *line, char *out, std::size_t size);

// The text of a message to target as it may be logged.
void client_mask_text(const char *target, const char *text, char *out, std::size_t size);
