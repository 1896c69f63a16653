// Layer chat/session, above chat/config: the IRC session, its transport and network thread.
// One IRC connection shared by the interface thread and a network thread.
//
// Locking: every field below "shared part" (scrollback, nick list, dirty
// flags, connection flags, the send queue, the socket and its TLS state) is
// read and written only while holding the session lock: take it with
// irc_lock(s). The session's own functions (irc_add_line, irc_send_raw,
// irc_handle_command, connect and disconnect) take it themselves, so never
// call them while holding it.
//
// Lines leave at a pace servers accept (send_pacer.h: a burst, then one every
// two seconds); lines over the pace wait in the pacer, in order, and the
// network thread moves them on when due. PONG and QUIT never wait.
//
// No thread waits for the socket while holding the lock: outgoing lines go
// into a bounded queue, written at once as far as the socket takes them and
// drained by the network thread when it becomes writable. A server that lets
// the queue fill, or leaves lines in it for g_irc_send_stall_ms, is
// disconnected, so a peer that stops reading never freezes the interface.
//
// The scrollback is a ring: adding a line never moves the others. Read it
// through irc_line_count / irc_line_at (0 = oldest), under the lock.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

#include "chat/session/irc_transport.h"
#include "chat/session/send_pacer.h"

inline constexpr int SCROLLBACK_LINES = 1200;
inline constexpr int MAX_USERS = 256;
inline constexpr int MAX_CHANNELS = 16;       // channels we are in, as far as we keep track
inline constexpr int CTCP_ANSWERS_PER_MINUTE = 3;
inline constexpr std::size_t LINE_BUFFER_SIZE = 8192;
inline constexpr std::size_t SEND_LINE_MAX = 1022;
inline constexpr std::size_t SEND_QUEUE_SIZE = 65536;

// Time limits of a connection; tests shorten them.
inline int g_irc_connect_timeout_ms = 15000;   // name resolution + connect + TLS handshake
inline int g_irc_cap_timeout_ms = 15000;       // wait for a CAP or SASL reply before registering
inline int g_irc_send_stall_ms = 30000;        // longest time lines may wait in the send queue
inline int g_irc_ping_after_ms = 120000;       // silence after which we ask the server with a PING
inline int g_irc_ping_timeout_ms = 60000;      // then this long without a word: the connection is lost
inline int g_irc_register_timeout_ms = 60000;  // from connect to the welcome reply


enum line_kind : std::int32_t {
    LINE_USER = 0,          // a message (or action) to a channel; sender is its author
    LINE_SYSTEM = 1,        // the program's and the server's own text
    LINE_PRIVATE = 2,       // a private message to us; sender is its author
    LINE_PRIVATE_SENT = 3,  // our own private message; sender is its recipient
    LINE_NOTICE = 4,        // a notice from a user; sender is its author
};

enum sasl_step : std::int32_t {
    SASL_NONE = 0,
    SASL_WAIT_LS = 1,
    SASL_WAIT_ACK = 2,
    SASL_WAIT_PLUS = 3,
    SASL_WAIT_RESULT = 4,
    SASL_DONE = 5,
};

struct chat_line {
    char sender[64];       // author's nick, "*" for system lines (see line_kind)
    char where[64];        // the channel a message belongs to, "" for none
    char text[768];
    std::int64_t time;     // seconds since the epoch
    std::int32_t kind;     // a line_kind
};

struct irc_transport;      // TLS state of a connection (irc_transport.h)

struct irc_session {
    std::mutex lock;
    std::atomic<std::int32_t> lock_waiters{0};  // threads blocked in irc_lock

    // --- shared part: under lock ---
    char server[128] = {};
    std::int32_t port = 0;
    char nick[64] = {};
    char channel[64] = {};      // the current target
    char autojoin[64] = {};     // the channel the connection was made for, joined once we are in
    std::int32_t sending_typed = 0;   // a typed command is sending: before the welcome its lines wait
    std::int32_t tls = 0;
    std::int32_t connected = 0;
    std::int32_t quit_requested = 0;
    std::int32_t socket = -1;
    std::int32_t running = 0;
    char password[128] = {};
    std::int32_t sasl_state = SASL_NONE;

    chat_line lines[SCROLLBACK_LINES] = {};   // ring; see irc_line_at
    std::int32_t line_first = 0;              // slot of the oldest line
    std::int32_t line_count = 0;              // 0..1200
    // The nick list of the current channel, ops first, then half-ops, voiced
    // users and the rest, each group by name; a nick carries the symbol of
    // its highest channel mode ("@bob"). user_modes holds every mode a nick
    // has, as bits of prefix_modes.
    char users[MAX_USERS][64] = {};
    std::uint8_t user_modes[MAX_USERS] = {};
    std::int32_t user_count = 0;              // 0..256
    char prefix_modes[8] = "ohv";             // the server's PREFIX, modes and their symbols
    char prefix_symbols[8] = "@%+";
    char joined[MAX_CHANNELS][64] = {};       // channels we are in, oldest join first
    std::int32_t joined_count = 0;
    std::int32_t public_only = 0;             // a door caller's own server: no local or private address
    std::int32_t lost = 0;                    // the connection ended without being asked to
    std::int32_t retrying = 0;                // this connection is a reconnect
    char first_nick[64] = {};                 // the nick asked for, before any "_" was added
    char rejoin[MAX_CHANNELS][64] = {};       // after a reconnect: the channels to join again
    std::int32_t rejoin_count = 0;
    // Why the last connection failed, or ended before the server let us in
    // (a refused registration); "" when it did not. The interface shows it.
    char connect_error[256] = {};
    std::int32_t lines_dirty = 0;
    std::int32_t users_dirty = 0;
    std::int32_t status_dirty = 0;

    // Bytes not yet taken by the socket, oldest first, at send_queue + send_head.
    char send_queue[SEND_QUEUE_SIZE] = {};
    std::uint32_t send_head = 0;
    std::uint32_t send_length = 0;
    std::int64_t send_waiting_since_ms = 0;   // monotonic ms the queue last went from empty to not empty
    std::int32_t send_overflow = 0;           // a line did not fit: the server stopped reading
    std::int32_t wake_fd = -1;                // eventfd that wakes the network thread
    send_pacer pacer;                         // lines over the pace, waiting their turn

    // --- network thread's own state ---
    char line_buffer[LINE_BUFFER_SIZE] = {};
    std::uint64_t line_length = 0;
    std::int32_t names_open = 0;              // a 353 run is being collected
    std::int32_t nick_retries = 0;            // 433 retries during registration
    std::int32_t registered = 0;              // 001 seen
    std::int64_t cap_deadline_ms = 0;         // monotonic ms; 0 = no CAP wait
    std::int64_t opened_ms = 0;               // monotonic ms the connection came up
    std::int64_t heard_ms = 0;                // monotonic ms the server last sent anything
    std::int64_t ping_sent_ms = 0;            // our PING waiting for an answer; 0 = none
    char refusal[256] = {};                   // the server's last word before registration (ERROR, 46x)
    std::int64_t ctcp_answer_ms[CTCP_ANSWERS_PER_MINUTE] = {};   // monotonic ms of the last answers
    irc_transport *transport = nullptr;       // non-null for a TLS connection

    std::thread thread;
};

// Locks the session's shared part for the caller's scope. Callers waiting
// for it are counted, so the network thread can let them in between rounds
// of a flood instead of taking the lock straight back.
[[nodiscard]] inline std::unique_lock<std::mutex> irc_lock(irc_session *s)
{
    s->lock_waiters.fetch_add(1);
    std::unique_lock<std::mutex> guard(s->lock);
    s->lock_waiters.fetch_sub(1);
    s->lock_waiters.notify_all();
    return guard;
}

// Clears the whole record (socket -1). Only on a session with no connection.
void irc_init(irc_session *s);

// Appends a line (sender cut to 63 bytes, text to 767), dropping the oldest
// when 1200 are held; sets lines_dirty. Takes the lock.
void irc_add_line(irc_session *s, const char *sender, const char *text, int kind);

// The nick of nick-list entry index, without its mode symbol; call with the lock held.
const char *irc_user_nick(const irc_session *s, int index);

// Scrollback in oldest-first order; call with the lock held.
int irc_line_count(const irc_session *s);
const chat_line *irc_line_at(const irc_session *s, int index);

// Sends the first 1022 bytes of text and CR LF: the line goes out at once
// as far as the pace and the socket take it, the rest later. 0 when sent or
// queued, -1 when not connected or the queue (or the pacer) is full. Never
// waits for the socket. Takes the lock.
int irc_send_raw(irc_session *s, const char *text);

// Sends NICK and USER for the session's nick. Call with the lock held.
void sasl_send_registration(irc_session *s);

// Connects (name resolution and connect bounded to about 15 s), over TLS when
// tls is 1, starts the network thread and begins registration. 0 or -1; a
// failure adds a system line saying why.
//
// TLS verifies the certificate against the system's trust store and the host
// name. To trust a server with a self-signed certificate, name a PEM file
// holding it (or its issuer) in the environment variable IRCDOOR_CA_FILE.
int irc_connect_server(irc_session *s, const char *server, int port, const char *nick,
                       const char *channel, int tls, const char *password);

// Connects again to the session's last server with the nick first asked
// for, after the connection was lost; on the welcome reply every channel the
// session was in is joined again. 0 or -1 as irc_connect_server, but a
// failure is no connect error for the interface: the caller tries again.
int irc_reconnect(irc_session *s);

// Sends "QUIT :reason" ("Leaving" for null) when connected, closes the
// connection and waits for the network thread. Lines still queued get at
// most a quarter of a second to go out, so a server that stopped reading
// cannot hold up the end of the program.
void irc_disconnect(irc_session *s, const char *reason);

// The network thread of one connection.
void irc_thread_main(irc_session *s);

// Turns one typed line into a message or a command. Returns the last send's
// result, 0 for /help, /quit, /me without text and empty input, -1 for /msg
// without text.
int irc_handle_command(irc_session *s, const char *input);
