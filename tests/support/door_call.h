// The game as a caller meets it over a BBS: the door launcher runs as a
// child process, and a caller connects over TCP with a code page 437
// terminal, types keys and reads the screens through a terminal emulator.
#pragma once

#include "tests/support/vt_screen.h"

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// The launcher with its standard output on a pipe; stopped (SIGTERM, then
// SIGKILL) when the object goes, also when the test fails.
class door_launcher {
public:
    explicit door_launcher(const std::vector<std::string>& args);
    ~door_launcher();
    door_launcher(const door_launcher&) = delete;
    door_launcher& operator=(const door_launcher&) = delete;

    // Reads output until a line holding the text arrives; that line, or
    // nothing on timeout.
    std::optional<std::string> wait_line(const std::string& text,
                                         std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // The port announced in the "listening on" line, or -1.
    int port();

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string buf_;
};

// A caller on a loopback TCP connection.
class door_caller {
public:
    explicit door_caller(int port);
    ~door_caller();
    door_caller(const door_caller&) = delete;
    door_caller& operator=(const door_caller&) = delete;

    void send(const std::string& keys);
    // Drops the line, as a caller's modem losing carrier.
    void hang_up();
    // Reads until pred() holds on what arrived; false on timeout.
    bool wait_until(const std::function<bool()>& pred,
                    std::chrono::milliseconds timeout = std::chrono::seconds(5));
    bool wait_for_text(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Reads until the bytes received so far hold the text (for what comes
    // before the game's screen, such as the launcher's name prompt).
    bool wait_for_raw(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    vt::vt_screen& screen() { return screen_; }
    // True when the bytes so far end where a frame ends (its attribute
    // reset), so the screen shows no half-drawn frame.
    bool frame_complete() const;

private:
    int fd_ = -1;
    std::string raw_;
    vt::vt_screen screen_{80, 25};
};

}  // namespace testsupport
