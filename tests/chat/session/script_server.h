// An IRC server the test scripts line by line: it listens on a free loopback
// port, accepts the session's connection, and lets the test read the lines
// the client sent and write whatever bytes it wants back. All waits are
// bounded, so a missing line fails the test instead of hanging it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <thread>

struct ssl_st;
struct ssl_ctx_st;

class script_server {
public:
    // With tls, the server speaks TLS with a fresh self-signed certificate
    // for 127.0.0.1 (see cert_file) and accepts its one client at once, since
    // the client's connect waits for the handshake.
    explicit script_server(bool tls = false);
    ~script_server();
    script_server(const script_server &) = delete;
    script_server &operator=(const script_server &) = delete;

    int port() const { return port_; }
    const std::string &cert_file() const { return cert_file_; }

    // Keeps the receive buffer of connections accepted from now on small (and
    // unable to grow), so a server that stops reading stalls the client soon.
    void shrink_receive_buffer();

    // Accepts the next client; false when none came in time.
    bool accept_client(int timeout_ms = 10000);

    // The next line the client sent, without CR LF; nullopt when none came in time.
    std::optional<std::string> next_line(int timeout_ms = 10000);

    // Writes raw bytes / one line with CR LF to the client.
    void send_raw(std::string_view bytes);
    void send_line(std::string_view line);

    // Sends a PING with token and returns the lines the client sent before
    // its PONG: proves what was (and was not) sent in between.
    std::optional<std::string> lines_before_pong(const std::string &token, int timeout_ms = 10000);

    void close_client();
    int client_fd() const { return client_; }

private:
    void accept_tls(int timeout_ms);
    long read_some(char *buf, std::size_t size, int timeout_ms);

    int listener_ = -1;
    int client_ = -1;
    int port_ = 0;
    std::string pending_;
    std::string dir_;
    std::string cert_file_;
    ssl_ctx_st *ctx_ = nullptr;
    ssl_st *ssl_ = nullptr;
    std::thread acceptor_;
    bool accepted_ = false;
};
