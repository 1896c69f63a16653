// The game as a caller meets it over a BBS: the door launcher runs as a
// child process, and a caller connects over TCP with a code page 437
// terminal, types keys and reads the screens through a terminal emulator.
#pragma once

#include "common/telnet.h"
#include "tests/support/pty_process.h"
#include "tests/support/vt_screen.h"

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// The launcher with its standard output on a pipe; stopped (SIGTERM, then
// SIGKILL) when the object goes, also when the test fails.
class door_launcher {
public:
    // env: variables set for the launcher and the doors it starts.
    explicit door_launcher(const std::vector<std::string>& args,
                           const std::vector<std::pair<std::string, std::string>>& env = {});
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
    // The caller's terminal is cols x rows.
    explicit door_caller(int port, int cols = 80, int rows = 25);
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
    // Every byte received so far, telnet commands included.
    const std::string& raw() const { return raw_; }
    // True when the bytes so far end where a frame ends (its attribute
    // reset), so the screen shows no half-drawn frame.
    bool frame_complete() const;

private:
    int fd_ = -1;
    std::string raw_;
    telnet_state telnet_;
    vt::vt_screen screen_;
};

// Drops the caller's carrier and expects the game to end with status 0 at
// once. The game gives up its wait within a second (the unit tests time
// that); seen from here the span also holds the exit of a sanitizer build and
// the launcher's report, which a loaded machine can stretch past a second, so
// the bound is 3 s: still far below any wait a hang-up must cut short (10 s
// for a stalled send, 10 minutes for a key).
void hang_up_and_expect_clean_exit(door_launcher& board, door_caller& caller);

// A caller with the telnet program of the Debian package "telnet" in a
// terminal of cols x rows that shows code page 437, dialled to the port.
std::unique_ptr<pty_process> telnet_caller(int port, int cols, int rows);

}  // namespace testsupport
