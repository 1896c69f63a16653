// ircdoor started with files a careless sysop or a hostile caller may leave:
// FIFOs and devices as dropfile or saved servers, paths longer than any fixed
// buffer, and saved passwords in a door that every caller shares.
#include "tests/e2e/chat_e2e.h"

#include <gmock/gmock.h>

#include <climits>
#include <filesystem>
#include <string>
#include <sys/stat.h>

namespace {

using namespace chat_e2e;
using ::testing::HasSubstr;

constexpr const char* NORMAL_MODE = "Normal terminal mode.";
constexpr const char* BBS_MODE = "BBS terminal mode enabled.";
constexpr int PASSWORD_ROW = 16;   // form field 7

// An 11-line DOOR32.SYS naming the caller on line 6, with no handle.
std::string door32(const std::string& caller)
{
    std::string text;
    for (int i = 1; i <= 11; ++i) {
        text += (i == 6 ? caller : i == 7 ? "" : std::to_string(i)) + "\r\n";
    }
    return text;
}

// Creates dir/relative's directories; returns the full path.
std::string make_dirs(const testsupport::temp_dir& dir, const std::string& relative)
{
    const std::string path = dir.file(relative);
    std::filesystem::create_directories(path);
    return path;
}

// Directories deeper than a 260-byte buffer holds.
const std::string DEEP = std::string(100, 'a') + "/" + std::string(100, 'b') + "/" + std::string(100, 'c');

constexpr const char* DEFAULTS = "Bottomless MRC";

struct unreadable_case {
    const char* name;
    const char* fifo;                // made in the run's directory ("" for none)
    std::vector<std::string> args;
    const char* mode_line;
    const char* book;                // what the address book shows
};

void PrintTo(const unreadable_case& c, std::ostream* os)
{
    *os << c.name;
}

class NoRegularFile : public ::testing::TestWithParam<unreadable_case> {};

// Each of these used to block the start for good (or spin on /dev/zero).
TEST_P(NoRegularFile, StartsWithoutIt)
{
    const unreadable_case& c = GetParam();
    auto run = ircdoor_run::after(
        [&](const testsupport::temp_dir& d) {
            if (*c.fifo != '\0') {
                ASSERT_EQ(mkfifo(d.file(c.fifo).c_str(), 0600), 0);
            }
        },
        80, 24, c.args);
    ASSERT_TRUE(run->wait_for("ADDRESS BOOK", 10000ms)) << run->screen().dump();
    EXPECT_TRUE(run->wait_for(c.mode_line)) << run->screen().dump();
    EXPECT_TRUE(run->wait_for(c.book)) << run->screen().dump();
    run->send("q");
    EXPECT_EQ(run->process->wait_exit(5000ms), 0);
    if (*c.fifo != '\0') {
        struct stat st {};
        ASSERT_EQ(lstat(run->dir.file(c.fifo).c_str(), &st), 0);
        EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "left as it was";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, NoRegularFile,
    ::testing::Values(unreadable_case{"FifoAsDoor32Sys", "DOOR32.SYS", {}, NORMAL_MODE, DEFAULTS},
                      unreadable_case{"FifoAsSavedServers", ".vexon_irc_bookmarks", {}, NORMAL_MODE, DEFAULTS},
                      // A door without a caller's name has no saved servers of its own.
                      unreadable_case{"FifoAsSavedServersInADoor", ".vexon_irc_bookmarks", {"--bbs"}, BBS_MODE,
                                      "Saved servers are off"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// A dropfile the board names but that is no file is refused at once, never
// waited on, and never replaced by local mode with the account's own files.
TEST(NoRegularFile, NamedDropfileIsRefused)
{
    const std::pair<const char*, std::string> cases[] = {
        {"", "--dropfile=/dev/zero"},
        {"DOOR.SYS", "--dropfile=DOOR.SYS"},
    };
    for (const auto& [fifo, arg] : cases) {
        SCOPED_TRACE(arg);
        auto run = ircdoor_run::after(
            [&](const testsupport::temp_dir& d) {
                if (*fifo != '\0') {
                    ASSERT_EQ(mkfifo(d.file(fifo).c_str(), 0600), 0);
                }
            },
            80, 24, {arg});
        EXPECT_EQ(run->process->wait_exit(5000ms), 1);
        EXPECT_THAT(run->process->output(), HasSubstr("ircdoor: the dropfile"));
        EXPECT_FALSE(run->screen().contains("ADDRESS BOOK"));
    }
}

TEST(LongPaths, ADeepDropfileIsReadWhole)
{
    testsupport::temp_dir elsewhere;
    const std::string path = make_dirs(elsewhere, DEEP) + "/DOOR32.SYS";
    ASSERT_GT(path.size(), 300u);
    testsupport::write_file(path, door32("Ann Lee"));
    ircdoor_run run(80, 24, {"--dropfile=" + path});
    ASSERT_TRUE(run.wait_for(BBS_MODE)) << run.screen().dump();
    EXPECT_TRUE(run.wait_for("@Ann_Lee")) << run.screen().dump();
}

TEST(LongPaths, ADeepHomeHoldsTheSavedServers)
{
    testsupport::temp_dir home_root;
    const std::string home = make_dirs(home_root, DEEP);
    testsupport::write_file(home + "/.vexon_irc_bookmarks", "Deep Server|h|6667|n|#c|0|\n");
    ircdoor_run run(80, 24, {}, {{"HOME", home}});
    ASSERT_TRUE(run.wait_for("ADDRESS BOOK")) << run.screen().dump();
    EXPECT_TRUE(run.wait_for("1. Deep Server")) << run.screen().dump();
    run.send("q");
    EXPECT_EQ(run.process->wait_exit(5000ms), 0);
    EXPECT_EQ(testsupport::read_file(home + "/.vexon_irc_bookmarks"), "Deep Server|h|6667|n|#c|0|\n");
}

struct too_long_case {
    const char* name;
    std::vector<std::string> args;
    env_list env;
    const char* message;
};

void PrintTo(const too_long_case& c, std::ostream* os)
{
    *os << c.name;
}

class PathTooLong : public ::testing::TestWithParam<too_long_case> {};

TEST_P(PathTooLong, IsReportedAndNothingStarts)
{
    const too_long_case& c = GetParam();
    ircdoor_run run(80, 24, c.args, c.env);
    EXPECT_EQ(run.process->wait_exit(5000ms), 1);
    EXPECT_THAT(run.process->output(), HasSubstr(c.message));
    EXPECT_THAT(run.process->output(), ::testing::Not(HasSubstr("ADDRESS BOOK")));
}

const std::string TOO_LONG = "/" + std::string(PATH_MAX, 'x');

INSTANTIATE_TEST_SUITE_P(
    Table, PathTooLong,
    ::testing::Values(too_long_case{"Dropfile", {"--dropfile=" + TOO_LONG + "/DOOR32.SYS"}, {}, "Dropfile path too long"},
                      too_long_case{"Home", {}, {{"HOME", TOO_LONG}}, "path is too long for the saved servers file"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// A saved server with a password, as the board's own account left it.
void write_secret_entry(const testsupport::temp_dir& d)
{
    testsupport::write_file(config_path(d), "Local|127.0.0.1|6667|sysop|#c|0|secret\n");
}

struct password_case {
    const char* name;
    std::vector<std::string> args;
    const char* book;              // what the address book shows
    const char* shown_after_load;
};

void PrintTo(const password_case& c, std::ostream* os)
{
    *os << c.name;
}

class SavedPassword : public ::testing::TestWithParam<password_case> {};

TEST_P(SavedPassword, LoadsOnlyOutsideADoor)
{
    const password_case& c = GetParam();
    auto run = ircdoor_run::after(write_secret_entry, 80, 24, c.args);
    ASSERT_TRUE(run->wait_for(c.book)) << run->screen().dump();
    ASSERT_TRUE(run->row_shows(PASSWORD_ROW, c.shown_after_load)) << "at start\n" << run->screen().dump();
    run->send("l");
    run->send("t");   // a visible change, so the load has been drawn
    ASSERT_TRUE(run->wait_until([&] { return run->screen().cell(79, 0).bg != 25; })) << run->screen().dump();
    EXPECT_TRUE(run->row_shows(PASSWORD_ROW, c.shown_after_load)) << run->screen().dump();
}

INSTANTIATE_TEST_SUITE_P(
    Modes, SavedPassword,
    // A door caller never sees the board account's saved servers at all.
    ::testing::Values(password_case{"Door", {"--bbs"}, "Saved servers are off", "(none \u2014 SASL disabled)"},
                      password_case{"Terminal", {}, "1. Local", "Password******"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(DoorPassword, TypedForTheSessionButNeverSaved)
{
    auto run = ircdoor_run::after(write_secret_entry, 80, 24, {"--bbs"});
    ASSERT_TRUE(run->wait_for("Saved servers are off")) << run->screen().dump();
    run->send("jjjjjj\r");
    ASSERT_TRUE(run->wait_for("Password: ")) << run->screen().dump();
    run->send("typed\r");
    ASSERT_TRUE(run->row_shows(PASSWORD_ROW, "*****")) << run->screen().dump();
    run->send("a");
    run->send("q");
    ASSERT_EQ(run->process->wait_exit(5000ms), 0);
    const auto lines = file_lines(config_path(run->dir));
    EXPECT_THAT(lines, ::testing::Contains("Local|127.0.0.1|6667|sysop|#c|0|secret"));
    EXPECT_THAT(run->config(), ::testing::Not(HasSubstr("typed")));
}

}  // namespace
