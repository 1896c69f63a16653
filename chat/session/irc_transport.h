// The byte stream under a session: a TCP socket, optionally wrapped in TLS.
// Every call on one connection must be serialised by the caller (the session
// lock does that), since an SSL object is not safe for a read and a write at
// the same time. The socket is non-blocking; waits happen in poll() with a bound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

struct irc_transport;
struct ssl_st;

inline constexpr ssize_t TRANSPORT_WOULD_BLOCK = -2;
inline constexpr std::size_t TRANSPORT_PIN_SIZE = 32;   // SHA-256

// Asked every tenth of a second while a connect waits (name resolution, TCP
// connect, TLS handshake): true ends the wait and fails the connect, so the
// program can end at once whatever the server does. Null: never cancelled.
inline bool (*g_irc_connect_cancel)() = nullptr;

// Monotonic milliseconds, for connection and registration time limits.
std::int64_t session_now_ms();

// How a TLS connection decides to trust the server. By default: the system's
// trust store and the host name.
struct transport_trust {
    int verify = 1;                        // 0 accepts any certificate (encryption only)
    const char *ca_file = nullptr;         // a PEM file of further trusted certificates
    const char *ca_origin = nullptr;       // where ca_file was named, for the failure text
    const unsigned char *pin = nullptr;    // SHA-256 of the one certificate to accept, whoever signed it
};

// Resolves host and connects within timeout_ms, then (tls != 0) performs the
// TLS handshake and verifies the server. On success returns 0 with the socket
// in *fd and the TLS state (null for plain TCP) in *tls_out; on failure -1
// with a reason in why.
int transport_open(const char *host, int port, int tls, int timeout_ms, int *fd, irc_transport **tls_out, char *why,
                   std::size_t why_size);

// The two steps of transport_open, for callers that report them apart.
// transport_connect returns the non-blocking socket or -1; transport_tls_start
// the TLS state or null (the socket stays open). Both say why in why.
int transport_connect(const char *host, int port, int timeout_ms, char *why, std::size_t why_size);
irc_transport *transport_tls_start(int fd, const char *host, const transport_trust &trust, int timeout_ms, char *why,
                                   std::size_t why_size);

// Reads what is there without waiting: bytes read, 0 when the peer closed,
// -1 on error, TRANSPORT_WOULD_BLOCK when nothing is available yet.
ssize_t transport_recv(int fd, irc_transport *t, char *buf, std::size_t size);

// Writes all of data, waiting at most timeout_ms for room. 0 or -1.
int transport_send(int fd, irc_transport *t, const char *data, std::size_t size, int timeout_ms);

// Writes what the socket takes of data without waiting: bytes written (at
// least 1), TRANSPORT_WOULD_BLOCK when it takes nothing now, -1 on error. After
// TRANSPORT_WOULD_BLOCK the next call must offer the same bytes again (TLS
// needs them), at least as many.
ssize_t transport_send_some(int fd, irc_transport *t, const char *data, std::size_t size);

// Binds an SSL object to a socket whose writes never raise SIGPIPE, so a
// peer that has gone is an error to handle, not the end of the process.
bool transport_attach_socket(ssl_st *ssl, int fd);

// Frees the TLS state and closes the socket.
void transport_close(int fd, irc_transport *t);
