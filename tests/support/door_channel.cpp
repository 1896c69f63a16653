#include "tests/support/door_channel.h"

#include "game/rules/profile.h"
#include "game/screen/cells.h"
#include "game/screen/terminal.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace testsupport {

namespace {

// In a test a hang-up must never end the test process quietly.
void hangup_in_test()
{
    std::fputs("door_channel: the game saw the caller hang up during a test\n", stderr);
    std::abort();
}

}  // namespace

door_channel::door_channel(unsigned key_timeout_ms)
{
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, sv) != 0 || pipe(stop_pipe_) != 0)
        throw std::runtime_error("socketpair failed");
    game_ = sv[0];
    peer_ = sv[1];
    g_d.use_socket = 1;
    g_d.socket = game_;
    g_d.comm_type = 2;
    saved_timeout_ = g_key_timeout_ms;
    saved_hook_ = g_hangup_hook;
    g_key_timeout_ms = key_timeout_ms;
    g_hangup_hook = hangup_in_test;
    saved_frame_hook_ = g_frame_hook;
    current_ = this;
    g_frame_hook = on_frame_sent;
    g_outpos = 0;
    reset_key_reader();
    reset_output_line();  // nothing left over from an earlier test's caller
    reader_ = std::thread([this] { drain(); });
}

door_channel::~door_channel()
{
    for (auto& t : senders_)
        t.join();
    char b = 1;
    (void)!write(stop_pipe_[1], &b, 1);
    reader_.join();
    g_d.use_socket = 0;
    g_d.socket = -1;
    g_d.comm_type = 0;
    g_key_timeout_ms = saved_timeout_;
    g_hangup_hook = saved_hook_;
    g_frame_hook = saved_frame_hook_;
    current_ = nullptr;
    close(game_);
    close(peer_);
    close(stop_pipe_[0]);
    close(stop_pipe_[1]);
}

void door_channel::drain()
{
    char buf[65536];
    for (;;) {
        pollfd fds[2] = {{peer_, POLLIN, 0}, {stop_pipe_[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0)
            continue;
        if (fds[0].revents & POLLIN) {
            // Receive under the lock, so output() never sees bytes that have
            // left the socket but are not yet in out_.
            std::lock_guard<std::mutex> lock(mu_);
            ssize_t n = recv(peer_, buf, sizeof buf, MSG_DONTWAIT);
            if (n > 0) {
                all_.append(buf, static_cast<size_t>(n));
                continue;
            }
        }
        if (fds[1].revents & POLLIN)
            return;
    }
}

void door_channel::send_keys(std::string_view keys)
{
    while (!keys.empty()) {
        ssize_t n = send(peer_, keys.data(), keys.size(), MSG_NOSIGNAL);
        if (n <= 0)
            throw std::runtime_error("send_keys failed");
        keys.remove_prefix(static_cast<size_t>(n));
    }
}

void door_channel::send_keys_after(std::chrono::milliseconds delay, std::string keys)
{
    senders_.emplace_back([this, delay, k = std::move(keys)] {
        std::this_thread::sleep_for(delay);
        send_keys(k);
    });
}

std::string door_channel::output()
{
    // The game has returned, so whatever it sent is in the socket or read:
    // wait until the reader has taken everything.
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mu_);
            int pending = 0;
            ioctl(peer_, FIONREAD, &pending);
            if (pending == 0)
                return all_.substr(cleared_at_);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void door_channel::clear_output()
{
    output();
    std::lock_guard<std::mutex> lock(mu_);
    cleared_at_ = all_.size();
}

std::string door_channel::history()
{
    output();
    std::lock_guard<std::mutex> lock(mu_);
    return all_;
}

namespace {

std::unique_ptr<vt::vt_screen> caller_screen(std::string_view bytes)
{
    auto s = std::make_unique<vt::vt_screen>(80, 25);
    s->take_c0_as_controls(true);
    s->feed_cp437(bytes);
    return s;
}

}  // namespace

std::unique_ptr<vt::vt_screen> door_channel::screen()
{
    return caller_screen(history());
}

std::vector<std::unique_ptr<vt::vt_screen>> door_channel::frames()
{
    const std::string all = history();
    std::vector<std::unique_ptr<vt::vt_screen>> shots;
    for (std::size_t end : frame_ends_) {
        if (end > cleared_at_)
            shots.push_back(caller_screen(std::string_view(all).substr(0, end)));
    }
    return shots;
}

void door_channel::frame_sent()
{
    output();
    std::lock_guard<std::mutex> lock(mu_);
    frame_ends_.push_back(all_.size());
}

void door_channel::on_frame_sent()
{
    if (current_)
        current_->frame_sent();
}

}  // namespace testsupport
