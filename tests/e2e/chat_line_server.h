// IRC peers for end-to-end tests of ircdoor, driven by the test (no
// threads): a scripted server that accepts one client on a loopback port,
// and a plain client for a second user on a real server. Both record every
// line they receive.
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

// One connection read and written in CR LF lines.
class line_socket {
public:
    line_socket() = default;
    ~line_socket() { close(); }
    line_socket(const line_socket&) = delete;
    line_socket& operator=(const line_socket&) = delete;

    void attach(int fd) { fd_ = fd; }
    bool attached() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    void close()
    {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

    // Sends one line (CR LF is added).
    void send(std::string_view line)
    {
        std::string bytes{line};
        bytes += "\r\n";
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0) {
                return;
            }
            done += static_cast<std::size_t>(n);
        }
    }

    // Reads until a line holding text arrives (at its start when
    // at_start); false on timeout or when the peer closed.
    bool wait_line(std::string_view text, std::chrono::milliseconds timeout = std::chrono::milliseconds(10000),
                   bool at_start = true)
    {
        return read_until(
            [&] {
                for (; checked_ < lines_.size(); ++checked_) {
                    const auto at = lines_[checked_].find(text);
                    if (at != std::string::npos && (!at_start || at == 0)) {
                        ++checked_;
                        return true;
                    }
                }
                return false;
            },
            timeout);
    }

    // Reads until the peer closes the connection; false on timeout.
    bool wait_closed(std::chrono::milliseconds timeout = std::chrono::milliseconds(10000))
    {
        return read_until([&] { return closed_; }, timeout);
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
        pollfd p{fd_, POLLIN, 0};
        if (fd_ < 0 || ::poll(&p, 1, timeout_ms) <= 0) {
            return false;
        }
        char bytes[4096];
        const ssize_t n = ::recv(fd_, bytes, sizeof bytes, 0);
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

    int fd_ = -1;
    bool closed_ = false;
    std::size_t checked_ = 0;
    std::string partial_;
    std::vector<std::string> lines_;
};

inline sockaddr_in loopback(int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    return a;
}

// A scripted IRC server for one client.
class line_server : public line_socket {
public:
    line_server()
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = loopback(0);
        socklen_t size = sizeof a;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(listener_, 4) == 0 &&
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &size) == 0) {
            port_ = ntohs(a.sin_port);
        }
    }
    ~line_server()
    {
        if (listener_ >= 0) {
            ::close(listener_);
        }
    }

    int port() const { return port_; }

    // Keeps the receive buffer of connections accepted from now on small (and
    // unable to grow), so a server that stops reading stalls its client soon.
    void shrink_receive_buffer()
    {
        const int bytes = 4096;
        ::setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    }

    // Waits for the client to connect.
    bool accept_connection(std::chrono::milliseconds timeout = std::chrono::milliseconds(10000))
    {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) {
            return false;
        }
        attach(::accept(listener_, nullptr, nullptr));
        return attached();
    }

    // Waits for the client to connect and send its USER line.
    bool accept_client(std::chrono::milliseconds timeout = std::chrono::milliseconds(10000))
    {
        return accept_connection(timeout) && wait_line("USER ", timeout);
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

    // Closes the client's connection from the server's side.
    void drop_client() { close(); }

private:
    int listener_ = -1;
    int port_ = 0;
};

// A second user on a real server: registers as nick and joins channel.
class irc_client : public line_socket {
public:
    irc_client(int port, const std::string& nick, const std::string& channel)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const sockaddr_in a = loopback(port);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
            ::close(fd);
            return;
        }
        attach(fd);
        send("NICK " + nick);
        send("USER " + nick + " 0 * :test user");
        if (wait_line(" 001 ", std::chrono::milliseconds(5000), false)) {
            send("JOIN " + channel);
            ready_ = wait_line(" 366 ", std::chrono::milliseconds(5000), false);
        }
    }
    bool ready() const { return ready_; }

private:
    bool ready_ = false;
};

}  // namespace chat_e2e
