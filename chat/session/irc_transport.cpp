// TCP and TLS connections for the session, with bounded waits.
#include "chat/session/irc_transport.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>


struct irc_transport {
    SSL_CTX *ctx = nullptr;
    SSL *ssl = nullptr;
};

std::int64_t session_now_ms()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

namespace {

using addrinfo_ptr = std::unique_ptr<addrinfo, void (*)(addrinfo *)>;

// A wait is cut into slices this long, so a cancelled connect ends soon.
constexpr int CANCEL_CHECK_MS = 100;

bool cancelled()
{
    return g_irc_connect_cancel != nullptr && g_irc_connect_cancel();
}

int remaining_ms(std::int64_t deadline)
{
    const std::int64_t left = deadline - session_now_ms();
    return left <= 0 ? 0 : static_cast<int>(left);
}

// The next wait: up to the deadline, one slice at most; 0 once cancelled.
int slice_ms(std::int64_t deadline)
{
    return cancelled() ? 0 : std::min(remaining_ms(deadline), CANCEL_CHECK_MS);
}

// Waits for events on fd until the deadline; true when they came.
bool wait_for(int fd, short events, std::int64_t deadline)
{
    for (;;) {
        const int wait_ms = slice_ms(deadline);
        pollfd p{fd, events, 0};
        const int r = poll(&p, 1, wait_ms);
        if (r > 0) {
            return true;
        }
        if ((r < 0 && errno != EINTR) || wait_ms == 0) {
            return false;
        }
    }
}

// getaddrinfo has no time limit of its own: it runs on a helper thread that
// may outlive the wait, so the two share the result through this record.
struct lookup {
    std::mutex lock;
    std::condition_variable done_cv;
    bool done = false;
    int error = 0;
    addrinfo *result = nullptr;
    ~lookup()
    {
        if (result != nullptr) {
            freeaddrinfo(result);
        }
    }
};

addrinfo_ptr resolve(const char *host, int port, std::int64_t deadline, char *why, std::size_t why_size)
{
    auto job = std::make_shared<lookup>();
    char service[16];
    std::snprintf(service, sizeof service, "%d", port);
    std::thread([job, name = std::string(host), svc = std::string(service)] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo *res = nullptr;
        const int err = getaddrinfo(name.c_str(), svc.c_str(), &hints, &res);
        std::lock_guard<std::mutex> g(job->lock);
        job->error = err;
        job->result = res;
        job->done = true;
        job->done_cv.notify_all();
    }).detach();

    std::unique_lock<std::mutex> g(job->lock);
    for (int wait_ms = slice_ms(deadline); !job->done && wait_ms > 0; wait_ms = slice_ms(deadline)) {
        job->done_cv.wait_for(g, std::chrono::milliseconds(wait_ms), [&] { return job->done; });
    }
    if (!job->done) {
        std::snprintf(why, why_size, "Looking up %s timed out", host);
        return {nullptr, freeaddrinfo};
    }
    if (job->error != 0 || job->result == nullptr) {
        std::snprintf(why, why_size, "Cannot resolve %s: %s", host, gai_strerror(job->error));
        return {nullptr, freeaddrinfo};
    }
    addrinfo *res = job->result;
    job->result = nullptr;
    return {res, freeaddrinfo};
}

// Non-blocking connect to one address; the socket or -1.
int connect_one(const addrinfo *ai, std::int64_t deadline)
{
    const int fd = socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) {
        return -1;
    }
    int err = 0;
    socklen_t len = sizeof err;
    if (connect(fd, ai->ai_addr, ai->ai_addrlen) == 0 ||
        (errno == EINPROGRESS && wait_for(fd, POLLOUT, deadline) &&
         getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0)) {
        return fd;
    }
    close(fd);
    return -1;
}

int connect_any(const char *host, int port, std::int64_t deadline, char *why, std::size_t why_size)
{
    const addrinfo_ptr list = resolve(host, port, deadline, why, why_size);
    if (!list) {
        return -1;
    }
    for (const addrinfo *ai = list.get(); ai != nullptr && remaining_ms(deadline) > 0; ai = ai->ai_next) {
        const int fd = connect_one(ai, deadline);
        if (fd >= 0) {
            return fd;
        }
    }
    std::snprintf(why, why_size, remaining_ms(deadline) > 0 ? "Cannot connect to %s:%d" : "Connecting to %s:%d timed out",
                  host, port);
    return -1;
}

void tls_reason(SSL *ssl, const char *step, char *why, std::size_t why_size)
{
    const long verify = ssl != nullptr ? SSL_get_verify_result(ssl) : X509_V_OK;
    if (verify != X509_V_OK) {
        std::snprintf(why, why_size, "TLS certificate not trusted: %s", X509_verify_cert_error_string(verify));
        return;
    }
    char err[256] = "no details";
    const unsigned long code = ERR_get_error();
    if (code != 0) {
        ERR_error_string_n(code, err, sizeof err);
    }
    std::snprintf(why, why_size, "TLS %s failed: %s", step, err);
}

// Builds the context: TLS 1.2 or newer, the system's trust store plus the
// trust's own PEM file, for self-signed servers.
SSL_CTX *make_context(const transport_trust &trust, char *why, std::size_t why_size)
{
    SSL_CTX *ctx = SSL_CTX_new(TLS_client_method());
    if (ctx == nullptr) {
        tls_reason(nullptr, "set-up", why, why_size);
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_default_verify_paths(ctx);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    // The send queue hands SSL_write its head, which moves as the queue is
    // compacted, and takes back what part of it went out.
    SSL_CTX_set_mode(ctx, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER | SSL_MODE_ENABLE_PARTIAL_WRITE);
    const char *extra = trust.ca_file;
    if (extra != nullptr && extra[0] != '\0' && SSL_CTX_load_verify_locations(ctx, extra, nullptr) != 1) {
        if (trust.ca_origin != nullptr) {
            std::snprintf(why, why_size, "Cannot read the certificates in %s (%s)", trust.ca_origin, extra);
        } else {
            std::snprintf(why, why_size, "Cannot read the certificates in %s", extra);
        }
        SSL_CTX_free(ctx);
        return nullptr;
    }
    return ctx;
}

// True when the server's certificate has exactly the pinned SHA-256 digest.
bool matches_pin(SSL *ssl, const unsigned char *pin)
{
    X509 *cert = SSL_get1_peer_certificate(ssl);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    const bool ok = cert != nullptr && X509_digest(cert, EVP_sha256(), digest, &size) == 1 &&
                    size == TRANSPORT_PIN_SIZE && CRYPTO_memcmp(digest, pin, TRANSPORT_PIN_SIZE) == 0;
    X509_free(cert);
    return ok;
}

// Names the expected peer: an address literal is checked as an IP, a host
// name is sent as SNI and checked against the certificate's names.
bool set_peer_name(SSL *ssl, const char *host)
{
    unsigned char addr[sizeof(in6_addr)];
    if (inet_pton(AF_INET, host, addr) == 1 || inet_pton(AF_INET6, host, addr) == 1) {
        return X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host) == 1;
    }
    return SSL_set_tlsext_host_name(ssl, host) == 1 && SSL_set1_host(ssl, host) == 1;
}

// Socket writes for OpenSSL with MSG_NOSIGNAL: a peer that has gone must
// not end the process with SIGPIPE, whatever the program does with it.
int write_without_sigpipe(BIO *bio, const char *data, int size)
{
    int fd = -1;
    BIO_get_fd(bio, &fd);
    const ssize_t n = send(fd, data, static_cast<std::size_t>(size), MSG_NOSIGNAL);
    BIO_clear_retry_flags(bio);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        BIO_set_retry_write(bio);
    }
    return static_cast<int>(n);
}

// OpenSSL's socket BIO with the write above.
BIO *socket_bio(int fd)
{
    static BIO_METHOD *const method = [] {
        const BIO_METHOD *socket = BIO_s_socket();
        BIO_METHOD *m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR,
                                     "socket without SIGPIPE");
        if (m != nullptr) {
            BIO_meth_set_write(m, write_without_sigpipe);
            BIO_meth_set_read(m, BIO_meth_get_read(socket));
            BIO_meth_set_ctrl(m, BIO_meth_get_ctrl(socket));
            BIO_meth_set_create(m, BIO_meth_get_create(socket));
            BIO_meth_set_destroy(m, BIO_meth_get_destroy(socket));
        }
        return m;
    }();
    BIO *bio = method != nullptr ? BIO_new(method) : nullptr;
    if (bio != nullptr) {
        BIO_set_fd(bio, fd, BIO_NOCLOSE);
    }
    return bio;
}

// Binds ssl to the socket; false when it could not.
bool attach_socket(SSL *ssl, int fd)
{
    BIO *bio = socket_bio(fd);
    if (bio == nullptr) {
        return false;
    }
    SSL_set_bio(ssl, bio, bio);
    return true;
}

// Repeats op while OpenSSL wants the socket readable or writable, up to the deadline.
template <typename Op>
int tls_retry(SSL *ssl, int fd, std::int64_t deadline, Op op)
{
    for (;;) {
        ERR_clear_error();
        const int r = op();
        if (r > 0) {
            return r;
        }
        const int err = SSL_get_error(ssl, r);
        const short events = err == SSL_ERROR_WANT_READ ? POLLIN : err == SSL_ERROR_WANT_WRITE ? POLLOUT : 0;
        if (events == 0 || !wait_for(fd, events, deadline)) {
            return r;
        }
    }
}

} // namespace

bool transport_attach_socket(ssl_st *ssl, int fd)
{
    return attach_socket(ssl, fd);
}

irc_transport *transport_tls_start(int fd, const char *host, const transport_trust &trust, int timeout_ms, char *why,
                                   std::size_t why_size)
{
    const std::int64_t deadline = session_now_ms() + timeout_ms;
    auto t = std::make_unique<irc_transport>();
    t->ctx = make_context(trust, why, why_size);
    if (t->ctx == nullptr) {
        return nullptr;
    }
    t->ssl = SSL_new(t->ctx);
    if (t->ssl == nullptr || !attach_socket(t->ssl, fd) || !set_peer_name(t->ssl, host)) {
        tls_reason(t->ssl, "set-up", why, why_size);
        transport_close(-1, t.release());
        return nullptr;
    }
    // A pin is a trust decision of its own: the chain and the name do not
    // matter then, only that it is exactly that certificate.
    if (trust.verify == 0 || trust.pin != nullptr) {
        SSL_set_verify(t->ssl, SSL_VERIFY_NONE, nullptr);
    }
    if (tls_retry(t->ssl, fd, deadline, [&] { return SSL_connect(t->ssl); }) <= 0) {
        if (remaining_ms(deadline) == 0) {
            std::snprintf(why, why_size, "TLS handshake with %s timed out", host);
        } else {
            tls_reason(t->ssl, "handshake", why, why_size);
        }
        transport_close(-1, t.release());
        return nullptr;
    }
    if (trust.pin != nullptr && !matches_pin(t->ssl, trust.pin)) {
        std::snprintf(why, why_size, "TLS certificate does not match the pinned fingerprint");
        transport_close(-1, t.release());
        return nullptr;
    }
    return t.release();
}

int transport_connect(const char *host, int port, int timeout_ms, char *why, std::size_t why_size)
{
    return connect_any(host, port, session_now_ms() + timeout_ms, why, why_size);
}

int transport_open(const char *host, int port, int tls, int timeout_ms, int *fd, irc_transport **tls_out, char *why,
                   std::size_t why_size)
{
    const std::int64_t deadline = session_now_ms() + timeout_ms;
    *fd = connect_any(host, port, deadline, why, why_size);
    *tls_out = nullptr;
    if (*fd >= 0 && tls != 0) {
        transport_trust trust;
        trust.ca_file = std::getenv("IRCDOOR_CA_FILE");
        trust.ca_origin = "IRCDOOR_CA_FILE";
        *tls_out = transport_tls_start(*fd, host, trust, remaining_ms(deadline), why, why_size);
        if (*tls_out == nullptr) {
            close(*fd);
            *fd = -1;
        }
    }
    if (*fd < 0 && cancelled()) {
        std::snprintf(why, why_size, "Connecting to %s:%d was cancelled", host, port);
    }
    return *fd >= 0 ? 0 : -1;
}

ssize_t transport_recv(int fd, irc_transport *t, char *buf, std::size_t size)
{
    if (t == nullptr) {
        const ssize_t n = recv(fd, buf, size, 0);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            return TRANSPORT_WOULD_BLOCK;
        }
        return n;
    }
    ERR_clear_error();
    const int n = SSL_read(t->ssl, buf, static_cast<int>(size));
    if (n > 0) {
        return n;
    }
    switch (SSL_get_error(t->ssl, n)) {
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
        return TRANSPORT_WOULD_BLOCK;
    case SSL_ERROR_ZERO_RETURN:
        return 0;
    default:
        return -1;
    }
}

int transport_send(int fd, irc_transport *t, const char *data, std::size_t size, int timeout_ms)
{
    const std::int64_t deadline = session_now_ms() + timeout_ms;
    while (size > 0) {
        ssize_t n = 0;
        if (t != nullptr) {
            n = tls_retry(t->ssl, fd, deadline, [&] { return SSL_write(t->ssl, data, static_cast<int>(size)); });
            if (n <= 0) {
                return -1;
            }
        } else {
            n = send(fd, data, size, MSG_NOSIGNAL);
            if (n < 0) {
                if ((errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) || !wait_for(fd, POLLOUT, deadline)) {
                    return -1;
                }
                continue;
            }
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

ssize_t transport_send_some(int fd, irc_transport *t, const char *data, std::size_t size)
{
    if (t == nullptr) {
        const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            return TRANSPORT_WOULD_BLOCK;
        }
        return n > 0 ? n : -1;
    }
    ERR_clear_error();
    const int n = SSL_write(t->ssl, data, static_cast<int>(size));
    if (n > 0) {
        return n;
    }
    const int err = SSL_get_error(t->ssl, n);
    return err == SSL_ERROR_WANT_WRITE || err == SSL_ERROR_WANT_READ ? TRANSPORT_WOULD_BLOCK : -1;
}

void transport_close(int fd, irc_transport *t)
{
    if (t != nullptr) {
        if (t->ssl != nullptr) {
            SSL_free(t->ssl);
        }
        if (t->ctx != nullptr) {
            SSL_CTX_free(t->ctx);
        }
        delete t;
    }
    if (fd >= 0) {
        close(fd);
    }
}
