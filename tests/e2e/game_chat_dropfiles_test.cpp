// Both programs started by a board on each common dropfile: which name, node
// and time left they take from it, and the files they refuse. The real
// binaries run in a terminal that shows code page 437; the caller log says
// which name and node a session was for, and the warning at the start how
// many minutes were left.
#include "tests/support/pty_process.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using testsupport::pty_options;
using testsupport::pty_process;

namespace {

std::string join(const std::vector<std::string>& lines, const std::string& eol)
{
    std::string text;
    for (const auto& l : lines)
        text += l + eol;
    return text;
}

// Samples as boards write them, for the caller Carol Jones whose handle is
// NightOwl, with 2 minutes left.
const std::string DOOR32 = join({"0", "-1", "38400", "Mystic BBS 1.12", "14", "Carol Jones", "NightOwl", "30", "2",
                                 "1", "3"},
                                "\r\n");
const std::string DOOR32_NO_HANDLE =
    join({"0", "-1", "38400", "Mystic BBS 1.12", "14", "Carol Jones", "", "30", "2", "1", "5"}, "\n");

std::string door_sys(const std::string& alias)
{
    std::vector<std::string> l = {"COM0:", "38400", "8", "2", "38400", "Y", "Y", "Y", "Y", "Carol Jones",
                                  "Springfield, IL", "555-555-1212", "555-555-1212", "SECRET", "30", "112",
                                  "12/01/26", "120", "2", "GR", "24", "N", "1,2,3", "1", "12/31/99", "14", "Z",
                                  "0", "0", "0", "9999", "01/01/70", "C:\\BBS", "C:\\BBS\\GEN", "Sysop Sam", alias};
    l.resize(52, "0");
    return join(l, "\r\n");
}

const std::string DORINFO = join({"The Night Shift", "SAM", "SYSOP", "COM0", "38400 BAUD,N,8,1", "0", "CAROL",
                                  "JONES", "SPRINGFIELD, IL", "1", "30", "2", "-1"},
                                 "\r\n");
const std::string CHAIN = join({"14", "NightOwl", "Carol Jones", "", "33", "F", "0", "12/01/26", "80", "25", "30",
                                "0", "0", "1", "0", "95.000", "gfiles", "data", "050126.LOG", "0", "0",
                                "The Night Shift", "Sysop Sam", "0", "0", "0", "0", "0", "0", "8N1", "38400", "4"},
                               "\n");

struct sample {
    const char* what;
    const char* file;  // its name decides the format
    std::string text;
    const char* name;  // the name the session is for
    const char* nick;  // the chat program's nick from it
    int node;
};

void PrintTo(const sample& s, std::ostream* os)
{
    *os << s.what;
}

const sample SAMPLES[] = {
    {"DOOR32.SYS: handle over real name", "DOOR32.SYS", DOOR32, "NightOwl", "NightOwl", 3},
    {"DOOR32.SYS without a handle, LF ends", "door32.sys", DOOR32_NO_HANDLE, "Carol Jones", "Carol_Jones", 5},
    {"DOOR.SYS: the alias on line 36", "DOOR.SYS", door_sys("NightOwl"), "NightOwl", "NightOwl", 2},
    {"DOOR.SYS with a blank alias", "DOOR.SYS", door_sys(""), "Carol Jones", "Carol_Jones", 2},
    {"DORINFO1.DEF: first and last name", "DORINFO1.DEF", DORINFO, "CAROL JONES", "CAROL_JONES", 1},
    {"DORINFO7.DEF: node 7", "dorinfo7.def", DORINFO, "CAROL JONES", "CAROL_JONES", 7},
    {"CHAIN.TXT: alias, seconds left", "CHAIN.TXT", CHAIN, "NightOwl", "NightOwl", 4},
};

// The session's caller log lines without their time stamps.
std::vector<std::string> log_events(const std::string& path)
{
    std::vector<std::string> events;
    const std::string text = testsupport::read_file(path);
    std::size_t start = 0;
    for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        events.push_back(nl - start > 20 ? text.substr(start + 20, nl - start - 20) : text.substr(start, nl - start));
    return events;
}

struct door_program {
    const char* name;
    const char* path;
};

pty_options door_options(const testsupport::temp_dir& dir, const std::string& home)
{
    pty_options o;
    o.cols = 80;
    o.rows = 25;
    o.cwd = dir.path();
    o.cp437 = true;
    o.env = {{"HOME", home}, {"VEXON_DOOR_MINUTE_SECONDS", "2"}, {"LANG", "C.UTF-8"}, {"LC_ALL", "C.UTF-8"}};
    return o;
}

class dropfile_samples : public ::testing::TestWithParam<sample> {};

TEST_P(dropfile_samples, GameTakesNameNodeAndTimeLeft)
{
    const sample& s = GetParam();
    testsupport::temp_dir dir;
    std::filesystem::create_directory(dir.file("node"));
    testsupport::write_file(dir.file(std::string("node/") + s.file), s.text);
    pty_process game({SYSOPSIM_PATH, std::string("--dropfile=node/") + s.file, "--idle-minutes", "0"},
                     door_options(dir, dir.path()));
    ASSERT_TRUE(game.wait_for_text("2 minutes of your time left.")) << game.screen().dump();
    EXPECT_EQ(game.wait_exit(15000ms), 0) << game.screen().dump();
    const auto events = log_events(dir.file("data/sysopsim.log"));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], "node " + std::to_string(s.node) + " start " + s.name);
    EXPECT_EQ(events[1].rfind("node " + std::to_string(s.node) + " end (time up, ", 0), 0u) << events[1];
}

TEST_P(dropfile_samples, ChatTakesNameNodeAndTimeLeft)
{
    const sample& s = GetParam();
    testsupport::temp_dir dir;
    testsupport::temp_dir home;
    std::filesystem::create_directory(dir.file("node"));
    testsupport::write_file(dir.file(std::string("node/") + s.file), s.text);
    pty_process chat({IRCDOOR_PATH, std::string("--dropfile=node/") + s.file}, door_options(dir, home.path()));
    ASSERT_TRUE(chat.wait_for_text(" 2 MIN LEFT ")) << chat.screen().dump();
    EXPECT_TRUE(chat.screen().contains(std::string("@") + s.nick)) << chat.screen().dump();
    EXPECT_EQ(chat.wait_exit(15000ms), 0) << chat.screen().dump();
    const auto events = log_events(dir.file("node/ircdoor.log"));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], "node " + std::to_string(s.node) + " start " + s.name);
    EXPECT_EQ(events[1].rfind("node " + std::to_string(s.node) + " end (time up, ", 0), 0u) << events[1];
}

INSTANTIATE_TEST_SUITE_P(samples, dropfile_samples, ::testing::ValuesIn(SAMPLES),
                         [](const auto& p) { return "sample" + std::to_string(p.index); });

struct refusal {
    const char* what;
    const char* file;
    std::string text;
    const char* why;
};

void PrintTo(const refusal& r, std::ostream* os)
{
    *os << r.what;
}

const refusal REFUSALS[] = {
    {"an unknown name", "caller.txt", DOOR32, "is not a dropfile name"},
    {"a DOOR32.SYS of seven lines", "DOOR32.SYS", join({"0", "-1", "38400", "BBS", "1", "Carol", "Owl"}, "\r\n"),
     "has 7 lines"},
    {"a DOOR.SYS cut short", "DOOR.SYS", door_sys("x").substr(0, 120), "lines; DOOR.SYS has at least 31"},
    {"a DORINFO1.DEF with no name", "DORINFO1.DEF",
     join({"BBS", "SAM", "SYSOP", "COM0", "38400 BAUD,N,8,1", "0", "", "", "IL", "1", "30", "2"}, "\r\n"),
     "names no caller"},
    {"a missing file", "", "", "cannot be opened"},
};

class dropfile_refusals : public ::testing::TestWithParam<refusal> {};

// Refused on standard error with status 1, before anything is created: no
// guessed name, no local play with the board account's own files.
TEST_P(dropfile_refusals, BothProgramsRefuseAndCreateNothing)
{
    const refusal& r = GetParam();
    for (const door_program& p : {door_program{"sysopsim", SYSOPSIM_PATH}, door_program{"ircdoor", IRCDOOR_PATH}}) {
        SCOPED_TRACE(p.name);
        testsupport::temp_dir dir;
        testsupport::temp_dir home;
        const std::string file = *r.file ? std::string(r.file) : std::string("DOOR32.SYS");
        if (*r.file)
            testsupport::write_file(dir.file(file), r.text);
        pty_process door({p.path, "--dropfile=" + dir.file(file)}, door_options(dir, home.path()));
        EXPECT_EQ(door.wait_exit(), 1);
        EXPECT_NE(door.output().find(std::string(p.name) + ": the dropfile " + dir.file(file) + " "), std::string::npos)
            << door.output();
        EXPECT_NE(door.output().find(r.why), std::string::npos) << door.output();
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.path()), {}), 0);
        EXPECT_FALSE(std::filesystem::exists(dir.file("data")));
    }
}

INSTANTIATE_TEST_SUITE_P(refusals, dropfile_refusals, ::testing::ValuesIn(REFUSALS),
                         [](const auto& p) { return "refusal" + std::to_string(p.index); });

struct command_case {
    const char* args;
    int status;
    bool usage_on_stdout;  // else on standard error
};

// Usage and version come before anything else: no file in the working
// directory or the home directory, no screen.
TEST(command_line, HelpVersionAndUnknownOptionsTouchNothing)
{
    const door_program programs[] = {{"sysopsim", SYSOPSIM_PATH}, {"ircdoor", IRCDOOR_PATH},
                                      {"door_launcher", DOOR_LAUNCHER_PATH}};
    const command_case cases[] = {{"--help", 0, true}, {"-h", 0, true}, {"--version", 0, true},
                                  {"--no-such-option", 2, false}};
    for (const door_program& p : programs) {
        for (const command_case& c : cases) {
            SCOPED_TRACE(std::string(p.name) + " " + c.args);
            testsupport::temp_dir dir;
            testsupport::temp_dir home;
            testsupport::temp_dir streams;
            const std::string command = "cd '" + dir.path() + "' && HOME='" + home.path() + "' '" + p.path + "' " +
                                        c.args + " >'" + streams.file("out") + "' 2>'" + streams.file("err") +
                                        "' </dev/null";
            const int status = std::system(command.c_str());
            ASSERT_TRUE(WIFEXITED(status));
            EXPECT_EQ(WEXITSTATUS(status), c.status);
            const std::string out = testsupport::read_file(streams.file("out"));
            const std::string err = testsupport::read_file(streams.file("err"));
            const std::string& text = c.usage_on_stdout ? out : err;
            EXPECT_TRUE((c.usage_on_stdout ? err : out).empty()) << out << err;
            if (std::string(c.args) == "--version")
                EXPECT_EQ(text.rfind(p.name, 0), 0u) << text;
            else
                EXPECT_NE(text.find(std::string("usage: ") + p.name), std::string::npos) << text;
            EXPECT_EQ(text.find('\x1b'), std::string::npos) << "no screen";
            EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 0);
            EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.path()), {}), 0);
        }
    }
}

}  // namespace
