// The real sysopsim among hostile files: a board or a hall of fame left by
// another account is never replaced (under root, where permission bits do not
// stop reads, the game runs as an unprivileged user), and a dropfile that
// never ends or never opens does not hold up the start.
#include "game/rules/hall_of_fame.h"
#include "game/rules/profile.h"
#include "tests/support/pty_process.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>

using namespace std::chrono_literals;
using testsupport::pty_options;
using testsupport::pty_process;

namespace {

constexpr uid_t UNPRIVILEGED = 65534;  // nobody

// A working directory the game can use whichever user it runs as, and the
// binary to start (a copy inside it under root, so the build directory's
// permissions do not matter).
class shared_board {
public:
    shared_board()
    {
        mkdir(dir_.file("data").c_str(), 0777);
        chmod(dir_.file("data").c_str(), 0777);
        if (geteuid() == 0) {
            chmod(dir_.path().c_str(), 0755);
            std::filesystem::copy_file(SYSOPSIM_PATH, dir_.file("sysopsim"));
            chmod(dir_.file("sysopsim").c_str(), 0755);
            binary_ = dir_.file("sysopsim");
        }
    }

    std::string file(const std::string& name) const { return dir_.file(name); }

    void put(const std::string& name, const std::string& bytes, mode_t mode)
    {
        testsupport::write_file(file(name), bytes);
        chmod(file(name).c_str(), mode);
    }

    // What the file holds now, whatever its permissions.
    std::string contents(const std::string& name) const
    {
        chmod(file(name).c_str(), 0600);
        return testsupport::read_file(file(name));
    }

    std::unique_ptr<pty_process> start(const std::vector<std::string>& args) const
    {
        pty_options o;
        o.cwd = dir_.path();
        o.env = {{"LANG", "C.UTF-8"}, {"LC_ALL", "C.UTF-8"}};
        if (geteuid() == 0)
            o.run_as = std::make_pair(UNPRIVILEGED, static_cast<gid_t>(UNPRIVILEGED));
        std::vector<std::string> argv{binary_};
        argv.insert(argv.end(), args.begin(), args.end());
        return std::make_unique<pty_process>(argv, o);
    }

private:
    testsupport::temp_dir dir_;
    std::string binary_ = SYSOPSIM_PATH;
};

std::string board_bytes(const char* sysop, std::uint32_t day)
{
    profile p{};
    p.magic = PROFILE_MAGIC;
    p.version = PROFILE_VERSION;
    std::snprintf(p.sysop_name, sizeof p.sysop_name, "%s", sysop);
    std::snprintf(p.bbs_name, sizeof p.bbs_name, "%s's Haven", sysop);
    p.day = day;
    p.cash = 1500;
    p.nodes = 1;
    p.turns_per_day = 30;
    p.difficulty = 1;
    return std::string(reinterpret_cast<const char*>(&p), sizeof p);
}

std::string table_bytes(std::initializer_list<const char*> sysops)
{
    std::string bytes;
    std::int64_t cash = 900000;
    for (const char* s : sysops) {
        hs_entry e{};
        std::snprintf(e.sysop_name, sizeof e.sysop_name, "%s", s);
        std::snprintf(e.bbs_name, sizeof e.bbs_name, "%s BBS", s);
        e.cash = cash;
        cash -= 100000;
        e.day = 400;
        bytes.append(reinterpret_cast<const char*>(&e), sizeof e);
    }
    return bytes;
}

::testing::AssertionResult step(pty_process& game, const std::string& keys, const std::string& text)
{
    game.send(keys);
    if (game.wait_for_text(text))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no \"" << text << "\" after \"" << keys << "\":\n"
                                         << game.screen().dump();
}

// Dismisses a box and waits until it is gone from the screen.
::testing::AssertionResult dismiss(pty_process& game, const std::string& text)
{
    game.send(" ");
    if (game.wait_until([&] { return !game.screen().contains(text); }))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\"" << text << "\" stays:\n" << game.screen().dump();
}

void leave(pty_process& game)
{
    game.send("4");
    auto status = game.wait_exit(3s);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 0);
}

}  // namespace

TEST(game_files, BoardOfAnotherAccountIsNeitherStartedOverNorContinued)
{
    shared_board b;
    const std::string day400 = board_bytes("Sysop", 400);
    b.put("data/sysop_sysop.dat", day400, 0);

    auto game = b.start({});
    ASSERT_TRUE(game->wait_for_text("[1] New BBS")) << game->screen().dump();
    ASSERT_TRUE(step(*game, "1", "Save can't be opened"));
    EXPECT_FALSE(game->screen().contains("Overwrite save?"));
    ASSERT_TRUE(dismiss(*game, "Save can't be opened"));
    ASSERT_TRUE(step(*game, "2", "Save can't be opened"));
    EXPECT_FALSE(game->screen().contains("No saved BBS"));
    ASSERT_TRUE(dismiss(*game, "Save can't be opened"));
    leave(*game);

    EXPECT_EQ(b.contents("data/sysop_sysop.dat"), day400);
}

TEST(game_files, HallOfFameOfAnotherAccountKeepsEveryRecord)
{
    shared_board b;
    const std::string four = table_bytes({"Ann", "Bob", "Cat", "Dan"});
    b.put("data/topsysops.dat", four, 0);
    b.put("data/sysop_ada.dat", board_bytes("Ada", 12), 0644);
    b.put("DOOR32.SYS", "1\n0\n38400\nBBS\n1\nAda\n", 0644);

    auto game = b.start({"--dropfile=DOOR32.SYS"});
    ASSERT_TRUE(game->wait_for_text("[1] New BBS")) << game->screen().dump();
    ASSERT_TRUE(step(*game, "2", "VEXON SIMS - BBS CONSOLE"));
    ASSERT_TRUE(step(*game, "q", "[1] New BBS"));
    leave(*game);

    EXPECT_EQ(b.contents("data/topsysops.dat"), four);
    EXPECT_FALSE(std::filesystem::exists(b.file("data/scores.asc")));
}

TEST(game_files, DropfileThatNeverEndsOrNeverOpensDoesNotHoldUpTheStart)
{
    testsupport::temp_dir dir;
    ASSERT_EQ(mkfifo(dir.file("fifo.sys").c_str(), 0644), 0);
    testsupport::write_file(dir.file("huge.sys"), "2\n");
    ASSERT_EQ(truncate(dir.file("huge.sys").c_str(), 2L << 30), 0);  // sparse: 2 GiB of NUL bytes after line 1
    const std::string dropfiles[] = {"/dev/zero", dir.file("fifo.sys"), dir.file("huge.sys")};
    for (const auto& path : dropfiles) {
        SCOPED_TRACE(path);
        pty_options o;
        o.cwd = dir.path();
        o.env = {{"LANG", "C.UTF-8"}, {"LC_ALL", "C.UTF-8"}};
        pty_process game({SYSOPSIM_PATH, "--dropfile=" + path}, o);
        ASSERT_TRUE(game.wait_for_text("[1] New BBS")) << game.screen().dump();
        // The local terminal, as for no dropfile.
        leave(game);
    }
}
