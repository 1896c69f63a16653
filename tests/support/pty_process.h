// Starts a real program in a pseudo-terminal of a chosen size, the way a
// person's terminal would, and shows its output through a vt_screen.
#pragma once

#include "tests/support/vt_screen.h"

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

struct pty_options {
    int cols = 80;
    int rows = 25;
    std::string cwd;                                         // empty: inherit
    std::vector<std::pair<std::string, std::string>> env;    // set in the child
    bool cp437 = false;  // feed output as code page 437 rather than UTF-8
    // Runs the child as this user and group (for a test running as root that
    // needs file permissions to count); unset: as the test's own user.
    std::optional<std::pair<uid_t, gid_t>> run_as;
};

class pty_process {
public:
    pty_process(const std::vector<std::string>& argv, const pty_options& opts = {});
    // Kills the child (SIGKILL) when it is still running.
    ~pty_process();
    pty_process(const pty_process&) = delete;
    pty_process& operator=(const pty_process&) = delete;

    // Writes keys to the terminal as if typed.
    void send(std::string_view keys);
    // Reads output for up to the given time, feeding the screen.
    void pump(std::chrono::milliseconds for_how_long);
    // Reads output until the screen shows the text; false on timeout.
    bool wait_for_text(std::string_view text,
                       std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
    // Reads output until pred() holds; false on timeout.
    bool wait_until(const std::function<bool()>& pred,
                    std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
    // Waits for the child to end; its exit status (or 128 + signal), or
    // nothing on timeout. Output read meanwhile still feeds the screen.
    std::optional<int> wait_exit(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
    // Waits for the child to end without reading its output, as a terminal
    // nobody reads; its exit status, or nothing on timeout.
    std::optional<int> wait_exit_unread(std::chrono::milliseconds timeout);
    // Output the child wrote that nobody has read yet.
    std::size_t unread_bytes() const;
    // Changes the terminal size (the child gets SIGWINCH).
    void resize(int cols, int rows);
    // Tells the child of a new window size but keeps the screen as drawn,
    // for a program that never redraws for it.
    void report_size(int cols, int rows);
    // Closes the terminal's master side: the child sees a hang-up.
    void hang_up();

    vt::vt_screen& screen() { return *screen_; }
    const std::string& output() const { return output_; }
    pid_t pid() const { return pid_; }
    bool running() const { return !exit_status_.has_value(); }

private:
    bool read_some(int timeout_ms);
    void reap(bool block);

    pid_t pid_ = -1;
    int master_ = -1;
    bool cp437_ = false;
    std::unique_ptr<vt::vt_screen> screen_;
    std::string output_;
    std::optional<int> exit_status_;
};

}  // namespace testsupport
