// What the client's files share: sending, loss reports, the clock, masking.
#pragma once

#include <cstddef>
#include <cstdint>

#include "chat/ircclient/irc_client.h"

inline constexpr int IRC_SEND_TIMEOUT_MS = 15000;
inline constexpr int IRC_CONNECT_TIMEOUT_MS = 15000;

// How a line goes out: paced (the host's lines and our replies), urgent (not
// held back by the pace: our own keep-alive PING), or forced (even while not
// connected, never reporting a loss: the QUIT of a disconnect).
enum class send_mode { paced, urgent, forced };

// Sends one line (see irc_send_command).
int client_send_raw(irc_client *client, const char *line, send_mode mode);

// Sends the held lines that are due, for the listening thread of the
// connection on fd: milliseconds until the next is due, -1 when none is held
// or the connection is gone (or was lost sending).
int client_send_due(irc_client *client, int fd);

// The pause before the next reconnect attempt, in seconds; under the lock.
std::int64_t client_reconnect_pause(const irc_client *client);

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
