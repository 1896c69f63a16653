// A scripted IRC peer for end-to-end tests of ircdoor: it accepts one client
// on a loopback port, records every line the client sends and sends the
// lines the test gives it. The test drives it; it has no thread.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace chat_e2e {

class line_server {
public:
    line_server()
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listener_, 4) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &size) != 0) {
            return;
        }
        port_ = ntohs(a.sin_port);
    }
    ~line_server()
    {
        for (const int fd : {client_, listener_}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    line_server(const line_server&) = delete;
    line_server& operator=(const line_server&) = delete;

    int port() const { return port_; }

    // Waits for the client to connect.
    bool accept_connection(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000))
    {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) {
            return false;
        }
        client_ = ::accept(listener_, nullptr, nullptr);
        return client_ >= 0;
    }

    // Waits for the client to connect and send its USER line.
    bool accept_client(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000))
    {
        return accept_connection(timeout) && wait_line("USER ", timeout);
    }

    // Sends one line (CR LF is added).
    void send(std::string_view line)
    {
        std::string bytes{line};
        bytes += "\r\n";
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::send(client_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0) {
                return;
            }
            done += static_cast<std::size_t>(n);
        }
    }

    // Welcomes the client as nick and puts it in channel with the given
    // nick list.
    void welcome(const std::string& nick, const std::string& channel, const std::string& names)
    {
        send(":irc.test 001 " + nick + " :Welcome");
        wait_line("JOIN " + channel);
        send(":" + nick + "!u@h JOIN " + channel);
        send(":irc.test 353 " + nick + " = " + channel + " :" + names);
        send(":irc.test 366 " + nick + " " + channel + " :End of /NAMES list.");
    }

    // Reads until a line starting with prefix arrives; false on timeout or
    // when the client closed.
    bool wait_line(std::string_view prefix, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000))
    {
        return read_until(
            [&] {
                for (; checked_ < lines_.size(); ++checked_) {
                    if (lines_[checked_].rfind(prefix, 0) == 0) {
                        ++checked_;
                        return true;
                    }
                }
                return false;
            },
            timeout);
    }

    // Reads until the client closes the connection; false on timeout.
    bool wait_closed(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000))
    {
        return read_until([&] { return closed_; }, timeout);
    }

    // Closes the client's connection from the server's side.
    void drop_client()
    {
        if (client_ >= 0) {
            ::close(client_);
            client_ = -1;
        }
    }

    const std::vector<std::string>& lines() const { return lines_; }

private:
    template <typename Done>
    bool read_until(Done done, std::chrono::milliseconds timeout)
    {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !read_some(static_cast<int>(left.count()))) {
                return done();
            }
        }
        return true;
    }

    bool read_some(int timeout_ms)
    {
        pollfd p{client_, POLLIN, 0};
        if (client_ < 0 || ::poll(&p, 1, timeout_ms) <= 0) {
            return false;
        }
        char bytes[4096];
        const ssize_t n = ::recv(client_, bytes, sizeof bytes, 0);
        if (n <= 0) {
            closed_ = true;
            return false;
        }
        for (ssize_t i = 0; i < n; ++i) {
            if (bytes[i] == '\n') {
                lines_.push_back(partial_);
                partial_.clear();
            } else if (bytes[i] != '\r') {
                partial_ += bytes[i];
            }
        }
        return true;
    }

    int listener_ = -1;
    int client_ = -1;
    int port_ = 0;
    bool closed_ = false;
    std::size_t checked_ = 0;
    std::string partial_;
    std::vector<std::string> lines_;
};

}  // namespace chat_e2e
