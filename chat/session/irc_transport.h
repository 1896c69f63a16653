// The byte stream under a session: a TCP socket, optionally wrapped in TLS.
// Every call on one connection must be serialised by the caller (the session
// lock does that), since an SSL object is not safe for a read and a write at
// the same time. The socket is non-blocking; waits happen in poll() with a bound.
#pragma once

#include <cstddef>
#include <sys/types.h>

struct irc_transport;

inline constexpr ssize_t TRANSPORT_WOULD_BLOCK = -2;

// Resolves host and connects within timeout_ms, then (tls != 0) performs the
// TLS handshake and verifies the server. On success returns 0 with the socket
// in *fd and the TLS state (null for plain TCP) in *tls_out; on failure -1
// with a reason in why.
int transport_open(const char *host, int port, int tls, int timeout_ms, int *fd, irc_transport **tls_out, char *why,
                   std::size_t why_size);

// Reads what is there without waiting: bytes read, 0 when the peer closed,
// -1 on error, TRANSPORT_WOULD_BLOCK when nothing is available yet.
ssize_t transport_recv(int fd, irc_transport *t, char *buf, std::size_t size);

// Writes what the socket takes of data without waiting: bytes written (at
// least 1), TRANSPORT_WOULD_BLOCK when it takes nothing now, -1 on error. After
// TRANSPORT_WOULD_BLOCK the next call must offer the same bytes again (TLS
// needs them), at least as many.
ssize_t transport_send_some(int fd, irc_transport *t, const char *data, std::size_t size);

// Frees the TLS state and closes the socket.
void transport_close(int fd, irc_transport *t);
