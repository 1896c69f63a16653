// The scripted loopback IRC server of the session tests.
#include "tests/chat/session/script_server.h"

#include "chat/session/irc_transport.h"

#include <arpa/inet.h>
#include <cerrno>
#include <filesystem>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace {

long long now_ms()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int left_ms(long long deadline)
{
    const long long left = deadline - now_ms();
    return left < 0 ? 0 : static_cast<int>(left);
}

// A self-signed certificate for 127.0.0.1, set on ctx and written to pem_path.
bool make_certificate(SSL_CTX *ctx, const std::string &pem_path)
{
    EVP_PKEY *key = EVP_EC_gen("P-256");
    X509 *cert = X509_new();
    bool ok = key != nullptr && cert != nullptr;
    if (ok) {
        ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
        X509_gmtime_adj(X509_getm_notBefore(cert), -60);
        X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
        X509_set_pubkey(cert, key);
        X509_NAME *name = X509_get_subject_name(cert);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char *>("127.0.0.1"),
                                   -1, -1, 0);
        X509_set_issuer_name(cert, name);
        X509V3_CTX v3{};
        X509V3_set_ctx(&v3, cert, cert, nullptr, nullptr, 0);
        X509_EXTENSION *san = X509V3_EXT_conf_nid(nullptr, &v3, NID_subject_alt_name, "IP:127.0.0.1");
        ok = san != nullptr && X509_add_ext(cert, san, -1) == 1 && X509_sign(cert, key, EVP_sha256()) > 0 &&
             SSL_CTX_use_certificate(ctx, cert) == 1 && SSL_CTX_use_PrivateKey(ctx, key) == 1;
        X509_EXTENSION_free(san);
    }
    std::FILE *f = ok ? std::fopen(pem_path.c_str(), "w") : nullptr;
    ok = f != nullptr && PEM_write_X509(f, cert) == 1;
    if (f != nullptr) {
        std::fclose(f);
    }
    X509_free(cert);
    EVP_PKEY_free(key);
    return ok;
}

} // namespace

script_server::script_server(bool tls)
{
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(listener_, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 && listen(listener_, 4) == 0 &&
        getsockname(listener_, reinterpret_cast<sockaddr *>(&a), &len) == 0) {
        port_ = ntohs(a.sin_port);
    }
    if (!tls) {
        return;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "tls-peer-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        return;
    }
    dir_ = pattern;
    cert_file_ = dir_ + "/cert.pem";
    ctx_ = SSL_CTX_new(TLS_server_method());
    if (ctx_ != nullptr && make_certificate(ctx_, cert_file_)) {
        acceptor_ = std::thread([this] { accept_tls(10000); });
    }
}

void script_server::accept_tls(int timeout_ms)
{
    pollfd p{listener_, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) {
        return;
    }
    client_ = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    timeval limit{timeout_ms / 1000, 0};
    setsockopt(client_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(client_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    ssl_ = SSL_new(ctx_);
    // A client that refuses the certificate may be gone before the handshake
    // ends; that must fail the accept, not kill the test with SIGPIPE.
    transport_attach_socket(ssl_, client_);
    // A client that refuses the certificate ends the handshake: no client then.
    accepted_ = SSL_accept(ssl_) == 1;
}

long script_server::read_some(char *buf, std::size_t size, int timeout_ms)
{
    if (ssl_ == nullptr || SSL_pending(ssl_) == 0) {
        pollfd p{client_, POLLIN, 0};
        if (client_ < 0 || poll(&p, 1, timeout_ms) <= 0) {
            return -1;
        }
    }
    if (ssl_ != nullptr) {
        return SSL_read(ssl_, buf, static_cast<int>(size));
    }
    return recv(client_, buf, size, 0);
}

script_server::~script_server()
{
    if (acceptor_.joinable()) {
        acceptor_.join();
    }
    close_client();
    SSL_CTX_free(ctx_);
    if (!dir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    if (listener_ >= 0) {
        close(listener_);
    }
}

void script_server::shrink_receive_buffer()
{
    const int bytes = 4096;
    setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

bool script_server::accept_client(int timeout_ms)
{
    if (ctx_ != nullptr) {
        if (acceptor_.joinable()) {
            acceptor_.join();
        }
        return accepted_;
    }
    pollfd p{listener_, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) {
        return false;
    }
    close_client();
    client_ = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    pending_.clear();
    return client_ >= 0;
}

std::optional<std::string> script_server::next_line(int timeout_ms)
{
    const long long deadline = now_ms() + timeout_ms;
    for (;;) {
        const std::size_t lf = pending_.find('\n');
        if (lf != std::string::npos) {
            std::string line = pending_.substr(0, lf);
            pending_.erase(0, lf + 1);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            return line;
        }
        char buf[4096];
        const long n = read_some(buf, sizeof buf, left_ms(deadline));
        if (n <= 0) {
            return std::nullopt;
        }
        pending_.append(buf, static_cast<std::size_t>(n));
    }
}

void script_server::send_raw(std::string_view bytes)
{
    while (!bytes.empty() && client_ >= 0) {
        const long n = ssl_ != nullptr ? SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size()))
                                       : send(client_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) {
            return;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void script_server::send_line(std::string_view line)
{
    send_raw(std::string(line) + "\r\n");
}

std::optional<std::string> script_server::lines_before_pong(const std::string &token, int timeout_ms)
{
    send_line("PING :" + token);
    std::string before;
    for (;;) {
        auto line = next_line(timeout_ms);
        if (!line) {
            return std::nullopt;
        }
        if (*line == "PONG :" + token) {
            return before;
        }
        before += *line + "\n";
    }
}

void script_server::close_client()
{
    if (ssl_ != nullptr) {
        SSL_free(ssl_);
        ssl_ = nullptr;
    }
    if (client_ >= 0) {
        close(client_);
        client_ = -1;
    }
}
