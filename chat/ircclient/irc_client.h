// Layer chat/ircclient, above chat/session beside chat/ui (never including it): the library for other hosts.
// A self-contained IRC client for host programs that want callbacks rather
// than a shared record: one connection (plain or TLS), a listening thread
// that reads the server and calls the host back, nick-collision recovery,
// an automatic join after the message of the day, a reconnect policy the
// host drives by polling, CTCP replies and a session log.
//
// Lines to the server are paced (see send_pacer.h): a burst, then one line
// every two seconds; lines beyond that wait in order and the listening thread
// sends them when due. PONG and QUIT never wait. A server that says nothing
// for a while is asked with a PING; one that does not answer, or does not
// finish registration in time, counts as a lost connection.
//
// Threads: the listening thread calls the callbacks without holding any of
// the client's locks, so a callback may send, and may call
// irc_client_disconnect (which then does not wait for its own thread). Any
// host thread may send at any time; sends and reads are serialised on the
// connection. Connect, disconnect and destroy come from one host thread at a
// time; irc_client_connect and irc_client_destroy are not for callbacks.
//
// TLS verifies the server's certificate against the system's trust store and
// the host name unless the host says otherwise (irc_client_trust_ca_file,
// irc_client_pin_certificate, irc_client_set_tls_verify). A certificate that
// is not trusted makes the connect fail with a status text saying why.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <thread>

#include "chat/session/irc_transport.h"
#include "chat/session/send_pacer.h"

struct irc_client;
struct addressbook;
struct addressbook_entry;

inline constexpr int IRC_MAX_NAMES = 200;          // entries per names reply
inline constexpr int IRC_HISTORY_LINES = 50;       // sent lines kept for read-back
inline constexpr std::size_t IRC_LINE_MAX = 510;   // a line on the wire, without CR LF

// One nick of a names reply: the nick and its channel mode ("@", "+", "%",
// "~", "&", or a space for none).
struct irc_name_entry {
    char nick[64];
    char mode;
};

using irc_message_callback = void (*)(irc_client *client, const char *target, const char *sender, const char *text);
using irc_names_callback = void (*)(irc_client *client, const char *channel, const irc_name_entry *entries, int count);
using irc_status_callback = void (*)(irc_client *client, const char *text);
// A CTCP request (a PRIVMSG whose text starts with \x01): who asked, the
// command "CTCP", and the request after the \x01 without its closing \x01
// ("VERSION", "PING 1234", "ACTION waves").
using irc_ctcp_callback = void (*)(irc_client *client, const char *nick, const char *command, const char *text);

// The plain-text session log. Secrets never reach it: PASS, OPER and
// AUTHENTICATE parameters, and what follows the first word of a text to
// services (any target list naming a "...Serv", SQUERY, the NS/CS-style
// commands) or of a text that starts with IDENTIFY, REGISTER, GHOST and the
// like, are written as "****". A new log file is private to the user (mode 0600).
struct irc_logger {
    char path[256] = {};
    std::FILE *file = nullptr;
    std::int32_t enabled = 0;
    std::mutex lock;   // lines from the host's threads and the listening thread never mix
};

// 0 when the file opened for appending (and the start line was written),
// -1 otherwise (also for a missing log or path).
int irc_logger_init(irc_logger *log, const char *path);
// Writes "[HH:MM:SS] " and the formatted text when the log is enabled.
void irc_logger_write(irc_logger *log, const char *format, ...) __attribute__((format(printf, 2, 3)));
// Writes the end line and closes the file.
void irc_logger_cleanup(irc_logger *log);

struct irc_client {
    // The connection; guarded by io_lock (every call on the TLS session too).
    std::mutex io_lock;
    std::int32_t socket = -1;
    irc_transport *tls = nullptr;          // null for plain TCP
    std::int32_t tls_active = 0;
    send_pacer pacer;                      // lines held back by the pace

    // Everything below is guarded by lock; never take io_lock while holding it.
    std::mutex lock;
    char server[256] = {};
    std::int32_t port = 0;
    char nick[64] = {};                    // follows nick collisions and own NICK changes
    char channel[64] = {};                 // to auto-join; then the channel of the own JOIN
    std::int32_t connected = 0;
    std::int32_t running = 0;              // the listening thread keeps reading while set
    std::int32_t registered = 0;
    std::int32_t cap_open = 0;
    std::int32_t disconnect_reported = 0;
    std::int32_t motd_done = 0;
    std::int32_t autojoin_pending = 0;
    std::int32_t auth_required = 0;
    std::int32_t welcome_seen = 0;
    std::int32_t nick_retries = 0;         // new nicks tried on 433 while registering

    char saved_server[256] = {};           // the last connect's arguments, for reconnecting
    std::int32_t saved_port = 0;
    char saved_nick[64] = {};
    char saved_channel[64] = {};
    std::int32_t saved_tls = 0;
    std::int32_t reconnect_enabled = 1;
    std::int32_t reconnect_attempts = 0;
    std::int32_t reconnect_max = 10;
    std::int32_t reconnect_delay = 5;      // seconds before the first attempt; doubles per failure
    std::int64_t next_reconnect = 0;       // epoch seconds; 0 = none scheduled

    std::int32_t tls_verify = 1;           // how TLS trusts the server
    char tls_ca_file[256] = {};
    unsigned char tls_pin[TRANSPORT_PIN_SIZE] = {};
    std::int32_t tls_pinned = 0;

    irc_name_entry names[IRC_MAX_NAMES] = {};   // the last names reply, for completion
    std::int32_t name_count = 0;
    std::int32_t names_open = 0;           // a reply of several 353 lines is being collected
    char history[IRC_HISTORY_LINES][IRC_LINE_MAX + 1] = {};   // ring of sent lines
    std::int32_t history_first = 0;
    std::int32_t history_count = 0;

    // Set by the host before connecting; read by the listening thread.
    irc_message_callback message_callback = nullptr;
    irc_names_callback names_callback = nullptr;
    irc_status_callback status_callback = nullptr;
    irc_ctcp_callback ctcp_callback = nullptr;
    void *user_data = nullptr;             // the host's own, untouched by the library

    std::thread thread;                    // the listening thread
    std::thread::id listener_id;           // under lock
    irc_logger log;                        // not enabled until the host calls irc_logger_init
};

// The clock of the reconnect policy and of new nicks, in epoch seconds;
// tests replace it.
extern std::int64_t (*g_irc_client_clock)();

// How long a connection may take to say what it must; tests shorten them.
struct irc_client_limits {
    std::int32_t register_ms = 60000;     // connect to welcome (001)
    std::int32_t silence_ms = 180000;     // quiet this long: we send a PING
    std::int32_t ping_answer_ms = 60000;  // ... and wait this long for anything back
    std::int32_t nick_retries = 10;       // new nicks tried on 433 before giving up
    std::int32_t max_pause_s = 300;       // the reconnect pause grows up to this
};
inline irc_client_limits g_irc_client_limits;

// Asked every tenth of a second while a connect waits (resolution, TCP
// connect, TLS handshake): true gives the connect up at once, so a host can
// honour a signal whatever the server does. Null (the default): never.
void irc_client_set_connect_cancel(bool (*cancel)());

// A new client (socket -1, reconnect on with 10 attempts 5 s apart), or null
// when memory is short. Release it with irc_client_destroy.
irc_client *irc_client_create();
// Disconnects, closes the log (writing its end line) and frees the client.
void irc_client_destroy(irc_client *client);

// How TLS trusts the server, for the next connect. A PEM file of trusted
// certificates (0, or -1 for a missing or too long path); the SHA-256
// fingerprint of the one certificate to accept, as 64 hex digits with or
// without ":" (0, or -1 when malformed; null or "" removes the pin); and
// verification off (on = 0) or on again.
int irc_client_trust_ca_file(irc_client *client, const char *path);
int irc_client_pin_certificate(irc_client *client, const char *sha256_hex);
void irc_client_set_tls_verify(irc_client *client, int on);

// Connects, starts the listening thread and sends "CAP LS 302", NICK and
// USER. 0, or -1 with a status text saying why. A status callback that
// disconnects on "Connected to ..." makes it return -1 with nothing started.
int irc_client_connect(irc_client *client, const char *server, int port, const char *nick, const char *channel,
                       int use_tls);
// Sends "QUIT :Disconnecting", closes the connection and waits for the
// listening thread (unless called from it). A host's disconnect schedules
// no reconnect. Returns 0.
int irc_client_disconnect(irc_client *client);

// Connection state, read under the lock.
int irc_client_is_connected(irc_client *client);
void irc_client_get_nick(irc_client *client, char *out, std::size_t size);
void irc_client_get_channel(irc_client *client, char *out, std::size_t size);

// Sends one line: cut at its first CR or LF, to 510 bytes, with CR LF
// added. 0 when sent or held by the pace, -1 when not connected, the send
// failed or too much is held already.
int irc_send_command(irc_client *client, const char *line);
// "PRIVMSG target :text", logged as "<nick> text". 0 or -1.
int irc_send_message(irc_client *client, const char *target, const char *text);
int irc_join_channel(irc_client *client, const char *channel);
int irc_leave_channel(irc_client *client, const char *channel);
int irc_request_names(irc_client *client, const char *channel);
// Joins the channel once registration and the message of the day are done,
// unless the server asked for identification first. The JOIN's result, else -1.
int irc_client_try_autojoin(irc_client *client);

void irc_set_message_callback(irc_client *client, irc_message_callback callback);
void irc_set_names_callback(irc_client *client, irc_names_callback callback);
void irc_set_status_callback(irc_client *client, irc_status_callback callback);
void irc_set_ctcp_callback(irc_client *client, irc_ctcp_callback callback);

// CTCP replies to target, sent as NOTICE so that they never count as
// requests (two clients answering each other would never stop): our
// version, our local time, and the token of a PING echoed back. 0 or -1;
// nothing is sent while not connected.
int irc_send_ctcp_version(irc_client *client, const char *target);
int irc_send_ctcp_time(irc_client *client, const char *target);
int irc_send_ctcp_ping(irc_client *client, const char *target, const char *token);

// Lines held back by the pace, waiting to go.
int irc_client_waiting_lines(irc_client *client);

// The reconnect policy. The host polls irc_client_should_attempt_reconnect
// and then calls irc_client_reconnect, which uses the last connect's
// arguments. A lost connection schedules the next attempt reconnect_delay
// seconds ahead, doubled for each attempt made since the last registration
// (at most g_irc_client_limits.max_pause_s). Only a registration counts as
// success: a server that accepts and closes uses the attempts up, and after
// reconnect_max of them none is made.
void irc_client_enable_reconnect(irc_client *client, int on);
int irc_client_seconds_until_reconnect(irc_client *client);
int irc_client_should_attempt_reconnect(irc_client *client);
int irc_client_reconnect(irc_client *client);

// Bookmarks: the client's last connect kept in an address book under name.
// Add returns the entry's index (-1 when the book is full, the name is taken
// or nothing was connected yet); remove and get find the name exactly, as
// the book keeps names apart: remove (0 or -1), get copies it into out (0 or -1).
int irc_bookmark_add(irc_client *client, addressbook *book, const char *name);
int irc_bookmark_remove(addressbook *book, const char *name);
int irc_bookmark_get(addressbook *book, const char *name, addressbook_entry *out);

// The index-th nick (0 = first) of the last names reply that starts with
// prefix, regardless of case, as a new text the caller frees with free();
// null when there is no such nick. Stepping index cycles through matches.
char *irc_tab_complete(irc_client *client, const char *prefix, int index);

// The lines the host sent, the last IRC_HISTORY_LINES of them: add one
// (empty lines are not kept), count them, and copy one into out (0 = the
// newest; 0, or -1 for an index out of range).
void irc_add_to_history(irc_client *client, const char *line);
int irc_history_count(irc_client *client);
int irc_history_get(irc_client *client, int index, char *out, std::size_t size);
