// Helpers shared by the session's files; callers hold the session lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "chat/session/irc_session.h"

// irc_add_line and irc_send_raw for a caller that holds the lock.
void add_line_locked(irc_session *s, const char *sender, const char *text, int kind);
// A line that belongs to a channel (where), so the view can name it.
void add_channel_line_locked(irc_session *s, const char *where, const char *sender, const char *text, int kind);
int send_line_locked(irc_session *s, const char *text);

// Writes what the socket takes of the send queue without waiting. False on a
// write error, which drops the queue: the receive side then sees the
// connection end.
bool flush_send_queue_locked(irc_session *s);

// Moves the lines the pace now allows from the pacer to the send queue.
void release_paced_lines_locked(irc_session *s);

// Wakes the network thread from its wait (new lines queued, or stop).
void wake_network_thread(const irc_session *s);

// Formats a protocol line into a buffer of Size bytes and sends it.
template <std::size_t Size, typename... Args>
int send_format_locked(irc_session *s, const char *format, Args... args)
{
    char line[Size];
    std::snprintf(line, sizeof line, format, args...);
    return send_line_locked(s, line);
}

// The SASL PLAIN credentials line for the session's nick and password.
void send_sasl_credentials(irc_session *s);

// Base64 of size bytes (RFC 4648, "=" padding) into out; false when it does not fit.
bool base64_encode(const unsigned char *data, std::size_t size, char *out, std::size_t out_size);

// Capability negotiation and SASL (sasl.cpp), for the network thread.
inline constexpr const char *SASL_MSG_NO_SUPPORT = "Server doesn't support SASL \xe2\x80\x94 connecting without auth";
inline constexpr const char *SASL_MSG_REJECTED = "SASL rejected by server \xe2\x80\x94 connecting without auth";
inline constexpr const char *SASL_MSG_OK = "SASL authentication successful";
inline constexpr const char *SEND_MSG_STALLED = "Server stopped reading what we send \xe2\x80\x94 disconnected";
inline constexpr const char *SESSION_MSG_PING_TIMEOUT = "Server stopped answering (ping timeout) \xe2\x80\x94 connection lost";
inline constexpr const char *SESSION_MSG_REGISTRATION_TIMEOUT =
    "Server did not finish registration in time \xe2\x80\x94 connection lost";
inline constexpr const char *SASL_MSG_FAILED = "SASL authentication failed \xe2\x80\x94 check password";

// Handles "CAP <target> <subcommand...>": rest is the text after the prefix.
void sasl_on_cap(irc_session *s, const char *rest);
// The server asked for the credentials ("AUTHENTICATE +").
void sasl_on_authenticate_plus(irc_session *s);
// Ends an open exchange: shows message, sends CAP END and the registration.
void sasl_end(irc_session *s, const char *message);
// Ends the exchange when the server has not answered in time.
void sasl_check_deadline(irc_session *s);
// Milliseconds until the exchange's deadline (-1 when none is running).
int sasl_wait_ms(const irc_session *s);

// --- the nick list and the channels we are in (nick_list.cpp) ---

// True when name is a channel's name rather than a nick.
bool is_channel_name(const char *name);

// Empties the nick list.
void nick_list_clear(irc_session *s);
// Adds a nick as a names reply gives it, with its mode symbols in front
// ("@+bob"); a nick already listed takes the new modes. False when the list is full.
bool nick_list_add(irc_session *s, const char *entry);
// Removes a nick; false when it was not listed.
bool nick_list_remove(irc_session *s, const char *nick);
// Renames a nick, keeping its modes; false when it was not listed.
bool nick_list_rename(irc_session *s, const char *from, const char *to);
// Gives or takes a channel mode (one of prefix_modes) of a listed nick.
void nick_list_set_mode(irc_session *s, const char *nick, char mode, bool on);
// True when mode is one that the nick list shows (a PREFIX mode).
bool is_prefix_mode(const irc_session *s, char mode);
// Takes the server's "PREFIX=(ohv)@%+" token; a malformed one is ignored.
void take_prefix_token(irc_session *s, const char *value);

// Notes that we joined / left a channel.
void joined_add(irc_session *s, const char *channel);
void joined_remove(irc_session *s, const char *channel);
bool joined_has(const irc_session *s, const char *channel);
