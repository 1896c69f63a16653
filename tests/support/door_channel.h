// Connects the game's input and output to one end of a socket pair, as a BBS
// door socket would be, so a test types keys and reads back frames. A thread
// drains the game's output so long screens never block on a full socket.
#pragma once

#include "tests/support/vt_screen.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace testsupport {

class door_channel {
public:
    // key_timeout_ms: how long the game waits for a key before it sees
    // "no key"; short, so a test that runs out of keys fails fast.
    explicit door_channel(unsigned key_timeout_ms = 3000);
    ~door_channel();
    door_channel(const door_channel&) = delete;
    door_channel& operator=(const door_channel&) = delete;

    // Queues keys for the game to read.
    void send_keys(std::string_view keys);
    // Sends keys from another thread after a pause (for a lone ESC, or keys
    // that must arrive while the game is already waiting).
    void send_keys_after(std::chrono::milliseconds delay, std::string keys);

    // What the game has sent since the channel opened or the last
    // clear_output (for tests of the bytes themselves).
    std::string output();
    // Starts output() afresh; the caller's terminal keeps what it shows.
    void clear_output();
    // Everything the game has sent since the channel opened.
    std::string history();
    // A fresh 80x25 terminal fed with everything the game has sent: the
    // caller's screen as it is now.
    std::unique_ptr<vt::vt_screen> screen();
    // The caller's screen after each frame presented since the last
    // clear_output, in order.
    std::vector<std::unique_ptr<vt::vt_screen>> frames();

    int peer_fd() const { return peer_; }

private:
    void drain();
    void frame_sent();
    static void on_frame_sent();

    int game_ = -1;
    int peer_ = -1;
    int stop_pipe_[2] = {-1, -1};
    std::mutex mu_;
    std::string all_;
    std::size_t cleared_at_ = 0;          // size of all_ at the last clear_output
    std::vector<std::size_t> frame_ends_;  // size of all_ after each frame
    std::thread reader_;
    std::vector<std::thread> senders_;
    unsigned saved_timeout_;
    void (*saved_hook_)();
    void (*saved_frame_hook_)();
    static inline door_channel* current_ = nullptr;
};

// Common key strings.
inline constexpr std::string_view KEY_UP = "\x1b[A";
inline constexpr std::string_view KEY_DOWN = "\x1b[B";
inline constexpr std::string_view KEY_RIGHT = "\x1b[C";
inline constexpr std::string_view KEY_LEFT = "\x1b[D";
inline constexpr std::string_view KEY_ENTER = "\r";

}  // namespace testsupport
