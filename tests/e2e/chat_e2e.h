// Shared by the end-to-end tests of ircdoor: a run of the real program in a
// pseudo-terminal, with its own home and working directory.
#pragma once

#include "tests/support/pty_process.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <filesystem>
#include <system_error>
#include <vector>

namespace chat_e2e {

using namespace std::chrono_literals;

// The configuration file inside a home directory.
inline std::string config_path(const testsupport::temp_dir& home)
{
    return home.file(".vexon_irc_bookmarks");
}

// The files of door callers' own saved servers inside a home directory.
inline std::vector<std::string> caller_server_files(const testsupport::temp_dir& home)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(home.file(".vexon_irc_callers"), ec)) {
        names.push_back(e.path().filename().string());
    }
    return names;
}

// Lines of a text file, without their line ends.
inline std::vector<std::string> file_lines(const std::string& path)
{
    std::vector<std::string> lines;
    const std::string text = testsupport::read_file(path);
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

using env_list = std::vector<std::pair<std::string, std::string>>;

// ircdoor in a terminal of the given size; HOME (unless env names one) and
// the working directory are the run's own temporary directory.
class ircdoor_run {
public:
    explicit ircdoor_run(int cols = 80, int rows = 24, std::vector<std::string> args = {}, env_list env = {})
    {
        start(cols, rows, std::move(args), std::move(env));
    }

    // Starts the program after prepare(dir) has put files in place.
    template <typename Prepare>
    static std::unique_ptr<ircdoor_run> after(Prepare prepare, int cols = 80, int rows = 24,
                                              std::vector<std::string> args = {}, env_list env = {})
    {
        auto run = std::unique_ptr<ircdoor_run>(new ircdoor_run(deferred{}));
        prepare(run->dir);
        run->start(cols, rows, std::move(args), std::move(env));
        return run;
    }

    vt::vt_screen& screen() { return process->screen(); }
    void send(std::string_view keys) { process->send(keys); }
    bool wait_for(std::string_view text, std::chrono::milliseconds timeout = 10000ms)
    {
        return process->wait_for_text(text, timeout);
    }
    bool wait_until(const std::function<bool()>& pred, std::chrono::milliseconds timeout = 10000ms)
    {
        return process->wait_until(pred, timeout);
    }
    // Waits until row y holds text.
    bool row_shows(int y, std::string_view text, std::chrono::milliseconds timeout = 10000ms)
    {
        return wait_until([&] { return row(y).find(text) != std::string::npos; }, timeout);
    }
    // Row y's text, padding removed.
    std::string row(int y) { return screen().row_text(y); }
    std::string config() const { return testsupport::read_file(config_path(dir)); }

    testsupport::temp_dir dir;
    std::unique_ptr<testsupport::pty_process> process;

private:
    struct deferred {};
    explicit ircdoor_run(deferred) {}

    void start(int cols, int rows, std::vector<std::string> args, env_list env)
    {
        std::vector<std::string> argv{IRCDOOR_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        testsupport::pty_options options;
        options.cols = cols;
        options.rows = rows;
        options.cwd = dir.path();
        options.env = std::move(env);
        if (std::none_of(options.env.begin(), options.env.end(), [](const auto& e) { return e.first == "HOME"; })) {
            options.env.emplace_back("HOME", dir.path());
        }
        process = std::make_unique<testsupport::pty_process>(argv, options);
    }
};

}  // namespace chat_e2e
