// Real IRC servers for tests: each object starts its server on 127.0.0.1 with
// free ports in a temporary directory of its own, waits until it accepts
// clients, and stops it (and removes the directory) when destroyed.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

// ngIRCd: plain port, and a TLS port with a self-signed certificate when asked.
class ngircd_server {
public:
    explicit ngircd_server(bool with_tls = false);
    ~ngircd_server();
    ngircd_server(const ngircd_server &) = delete;
    ngircd_server &operator=(const ngircd_server &) = delete;

    bool ready() const { return ready_; }        // false when it did not come up
    int port() const { return port_; }
    int tls_port() const { return tls_port_; }   // 0 without TLS
    std::string cert_file() const;               // PEM of the self-signed certificate
    const std::string &dir() const { return dir_; }

    // Stops the server (its clients lose their connections), and starts it
    // again on the same ports; start_again is true once it accepts clients.
    void shut_down();
    bool start_again();

private:
    bool launch();

    std::string dir_;
    pid_t pid_ = -1;
    int port_ = 0;
    int tls_port_ = 0;
    bool ready_ = false;
};

// InspIRCd with Atheme services: SASL PLAIN for the account below.
class sasl_ircd_server {
public:
    static constexpr const char *ACCOUNT = "tester";
    static constexpr const char *PASSWORD = "secret123";

    sasl_ircd_server();
    ~sasl_ircd_server();
    sasl_ircd_server(const sasl_ircd_server &) = delete;
    sasl_ircd_server &operator=(const sasl_ircd_server &) = delete;

    bool ready() const { return ready_; }        // false when sasl was never offered
    int port() const { return port_; }
    const std::string &dir() const { return dir_; }

private:
    std::string dir_;
    pid_t ircd_pid_ = -1;
    pid_t services_pid_ = -1;
    int port_ = 0;
    bool ready_ = false;
};

// InspIRCd alone with a network's flood limits: a client that sends faster
// than the connect class allows is closed ("Excess Flood"), and one whose
// unread lines at the server pass recvq bytes too ("RecvQ exceeded"). The
// default class is the one Debian ships; a test may name a command rate
// (commands per 1000 s, as InspIRCd counts) to keep its runs short.
class flood_ircd_server {
public:
    explicit flood_ircd_server(int commandrate = 1000, int threshold = 10, int recvq = 8192);
    ~flood_ircd_server();
    flood_ircd_server(const flood_ircd_server &) = delete;
    flood_ircd_server &operator=(const flood_ircd_server &) = delete;

    bool ready() const { return ready_; }
    int port() const { return port_; }
    const std::string &dir() const { return dir_; }

private:
    std::string dir_;
    pid_t pid_ = -1;
    int port_ = 0;
    bool ready_ = false;
};

// A TCP port on 127.0.0.1 that nothing listened on a moment ago.
int free_loopback_port();
