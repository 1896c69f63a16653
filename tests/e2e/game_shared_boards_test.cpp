// The real sysopsim on a data/ directory that several callers, the sysop and
// hostile files share: callers whose names make one file slug keep boards of
// their own, links planted in data/ lead no write outside it, a hack on a
// board taken down meanwhile pays nothing, every board is within reach of
// the sysop's list and has its chance in the rival list, and a board the
// sysop deleted or changed meanwhile is neither brought back nor undone by
// the player's next save.
#include "game/rules/profile.h"
#include "tests/e2e/game_reels.h"
#include "tests/support/door_call.h"
#include "tests/support/pty_process.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

using namespace std::chrono_literals;
using testsupport::door_caller;
using testsupport::door_launcher;
using testsupport::pty_options;
using testsupport::pty_process;

namespace {

constexpr const char* KEY_DOWN = "\x1b[B";
constexpr const char* CONSOLE = "VEXON SIMS - BBS CONSOLE";
constexpr const char* TITLE = "[1] New BBS";

std::string board_bytes(const std::string& sysop, std::int64_t cash, int fame = 0)
{
    profile p{};
    p.magic = PROFILE_MAGIC;
    p.version = PROFILE_VERSION;
    std::snprintf(p.sysop_name, sizeof p.sysop_name, "%s", sysop.c_str());
    std::snprintf(p.bbs_name, sizeof p.bbs_name, "%s's Haven", sysop.c_str());
    p.day = 1;
    p.cash = cash;
    p.fame = fame;
    p.rep = 5;
    p.nodes = 1;
    p.hack_skill = 10;
    p.hw_health = 100;
    p.turns_per_day = 30;
    p.difficulty = 1;
    return std::string(reinterpret_cast<const char*>(&p), sizeof p);
}

profile read_board(const std::string& path)
{
    profile p{};
    const std::string bytes = testsupport::read_file(path);
    EXPECT_EQ(bytes.size(), sizeof p) << path;
    std::memcpy(&p, bytes.data(), std::min(bytes.size(), sizeof p));
    return p;
}

bool exists(const std::string& path)
{
    struct stat st{};
    return lstat(path.c_str(), &st) == 0;
}

// The board files in data/ other than those listed.
std::set<std::string> board_files(const std::string& data)
{
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(data)) {
        const std::string n = e.path().filename().string();
        if (n.rfind("sysop_", 0) == 0 && n.size() > 4 && n.substr(n.size() - 4) == ".dat")
            names.insert(n);
    }
    return names;
}

// A game in a terminal for a caller named by a dropfile (or the sysop's
// configuration menu, named by USER).
std::unique_ptr<pty_process> start_game(const testsupport::temp_dir& dir, const std::string& user,
                                        bool config = false)
{
    pty_options o;
    o.cwd = dir.path();
    o.env = {{"LANG", "C.UTF-8"}, {"LC_ALL", "C.UTF-8"}, {"USER", user}};
    if (config)
        return std::make_unique<pty_process>(std::vector<std::string>{SYSOPSIM_PATH, "--config"}, o);
    const std::string drop = "drop_" + std::to_string(std::hash<std::string>{}(user)) + ".sys";
    testsupport::write_file(dir.file(drop), "1\n0\n38400\nBBS\n1\n" + user + "\n");
    return std::make_unique<pty_process>(std::vector<std::string>{SYSOPSIM_PATH, "--dropfile=" + drop}, o);
}

template <typename Caller>
::testing::AssertionResult step(Caller& c, const std::string& keys, const std::string& text)
{
    c.send(keys);
    if (c.wait_for_text(text, 20s))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no \"" << text << "\" after \"" << keys << "\":\n"
                                         << c.screen().dump();
}

void leave(pty_process& game)
{
    game.send("4");
    auto status = game.wait_exit(5s);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 0);
}

}  // namespace

// Three callers whose names all make the slug "bobsmith", and "???" beside
// the user "U": nobody continues a board that is not theirs, each new board
// is found again on the next call, and the owners' boards stay as they were.
TEST(game_shared_boards, CallersOfOneSlugKeepBoardsOfTheirOwn)
{
    testsupport::temp_dir dir;
    mkdir(dir.file("data").c_str(), 0755);
    const std::string bob = board_bytes("Bob Smith", 987654);
    const std::string u = board_bytes("U", 5555);
    testsupport::write_file(dir.file("data/sysop_bobsmith.dat"), bob);
    testsupport::write_file(dir.file("data/sysop_u.dat"), u);
    door_launcher board({DOOR_LAUNCHER_PATH, "--game", SYSOPSIM_PATH, "--dir", dir.path(), "--port", "0"});
    const int port = board.port();
    ASSERT_GT(port, 0);

    for (const char* name : {"B.O.B. SMITH", "bob-smith", "???"}) {
        SCOPED_TRACE(name);
        for (int call = 0; call < 2; ++call) {
            door_caller c(port);
            ASSERT_TRUE(c.wait_for_raw("Your name: ", 20s));
            c.send(std::string(name) + "\r");
            ASSERT_TRUE(c.wait_for_text(TITLE, 20s)) << c.screen().dump();
            if (call == 0) {
                ASSERT_TRUE(step(c, "2", "No saved BBS")) << "continued another caller's board";
                ASSERT_TRUE(step(c, " ", TITLE));
                ASSERT_TRUE(step(c, "1", "Welcome!"));
                EXPECT_FALSE(c.screen().contains("Overwrite save?"));
                ASSERT_TRUE(step(c, " ", CONSOLE));
            } else {
                ASSERT_TRUE(step(c, "2", CONSOLE));
            }
            EXPECT_TRUE(c.wait_for_text("CASH $1500", 20s)) << c.screen().dump();
            ASSERT_TRUE(step(c, "q", TITLE));
            c.hang_up();
            ASSERT_TRUE(board.wait_line("ended", 10s));
        }
    }
    EXPECT_EQ(testsupport::read_file(dir.file("data/sysop_bobsmith.dat")).substr(0, 200), bob.substr(0, 200));
    EXPECT_EQ(read_board(dir.file("data/sysop_bobsmith.dat")).cash, 987654);
    EXPECT_EQ(read_board(dir.file("data/sysop_u.dat")).cash, 5555);
    EXPECT_EQ(board_files(dir.file("data")).size(), 5u);

    // The owner still continues his own board.
    door_caller c(port);
    ASSERT_TRUE(c.wait_for_raw("Your name: ", 20s));
    c.send("Bob Smith\r");
    ASSERT_TRUE(c.wait_for_text(TITLE, 20s));
    ASSERT_TRUE(step(c, "2", CONSOLE));
    EXPECT_TRUE(c.wait_for_text("CASH $987654", 20s)) << c.screen().dump();
}

// Links planted in data/ by whoever can write there: a save never writes
// through one, and a board whose file or lock is such a link is reported and
// left alone.
TEST(game_shared_boards, LinksPlantedInDataLeadNoWriteOutside)
{
    testsupport::temp_dir dir;
    mkdir(dir.file("data").c_str(), 0755);
    const std::string outside = dir.file("outside.txt");

    // The temporary names of the next save, guessed from the game's process.
    {
        testsupport::write_file(outside, "precious");
        auto game = start_game(dir, "Ada");
        ASSERT_TRUE(game->wait_for_text(TITLE, 10s)) << game->screen().dump();
        for (pid_t pid : {game->pid(), game->pid() + 1}) {
            ASSERT_EQ(symlink(outside.c_str(), dir.file("data/.sysop_ada.dat.tmp" + std::to_string(pid)).c_str()), 0);
        }
        ASSERT_TRUE(step(*game, "1", "Welcome!"));
        ASSERT_TRUE(step(*game, " ", CONSOLE));
        ASSERT_TRUE(step(*game, "q", TITLE));
        leave(*game);
        EXPECT_EQ(testsupport::read_file(outside), "precious");
        EXPECT_EQ(read_board(dir.file("data/sysop_ada.dat")).cash, 1500);
    }

    // The board, or its lock, is a link the game did not make.
    struct link_case {
        const char* what;
        const char* link;
        bool target_exists;
    };
    const link_case cases[] = {
        {"the board, to a file", "data/sysop_bea.dat", true},
        {"the lock, to a file", "data/sysop_bea.lock", true},
        {"the lock, to nothing yet", "data/sysop_bea.lock", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::remove(outside.c_str());
        if (c.target_exists)
            testsupport::write_file(outside, "precious");
        ASSERT_EQ(symlink(outside.c_str(), dir.file(c.link).c_str()), 0);
        auto game = start_game(dir, "Bea");
        ASSERT_TRUE(game->wait_for_text(TITLE, 10s)) << game->screen().dump();
        ASSERT_TRUE(step(*game, "1", "Save can't be opened"));
        ASSERT_TRUE(step(*game, " ", TITLE));
        leave(*game);
        if (c.target_exists)
            EXPECT_EQ(testsupport::read_file(outside), "precious");
        else
            EXPECT_FALSE(exists(outside)) << "a file was made outside data/";
        struct stat st{};
        ASSERT_EQ(lstat(dir.file(c.link).c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode));
        std::remove(dir.file(c.link).c_str());
    }
}

// The victim's board goes (deleted, or a directory in its place) while the
// thief plays the minigame: a won game pays nothing.
TEST(game_shared_boards, HackOnABoardTakenDownMeanwhilePaysNothing)
{
    testsupport::temp_dir dir;
    door_launcher board({DOOR_LAUNCHER_PATH, "--game", SYSOPSIM_PATH, "--dir", dir.path(), "--port", "0"});
    const int port = board.port();
    ASSERT_GT(port, 0);
    door_caller c(port);
    ASSERT_TRUE(c.wait_for_raw("Your name: ", 20s));
    c.send("Hacker\r");
    ASSERT_TRUE(c.wait_for_text(TITLE, 20s));
    ASSERT_TRUE(step(c, "1", "Welcome!"));
    ASSERT_TRUE(step(c, " ", CONSOLE));
    ASSERT_TRUE(step(c, "5", "THE PIRATE COVE"));
    const std::string victim = dir.file("data/sysop_victor.dat");
    const std::string thief = dir.file("data/sysop_hacker.dat");

    const std::pair<const char*, bool> takedowns[] = {{"deleted", false}, {"a directory in its place", true}};
    for (auto [what, directory] : takedowns) {
        SCOPED_TRACE(what);
        std::string box;
        // A press that comes late loses the game; then the board is put
        // back and the hack tried again.
        for (int tries = 0; tries < 5 && box != "Target gone"; ++tries) {
            testsupport::write_file(victim, board_bytes("Victor", 60000));
            ASSERT_TRUE(step(c, "p", "Victor's Haven"));
            ASSERT_TRUE(step(c, "\r", "Attempt hack?"));
            const std::int64_t cash_before = read_board(thief).cash;
            c.send("y");
            ASSERT_TRUE(c.wait_until([&] { return reels::read(c.screen()).playing; }, 30s)) << c.screen().dump();
            std::remove(victim.c_str());
            if (directory) {
                ASSERT_EQ(mkdir(victim.c_str(), 0755), 0);
            }
            box = reels::play(c, true);
            ASSERT_TRUE(box == "Target gone" || box == "TRACED") << box << "\n" << c.screen().dump();
            EXPECT_FALSE(c.screen().contains("RIVAL OWNED"));
            ASSERT_TRUE(step(c, " ", "RIVAL SYSOP UNDERGROUND"));
            ASSERT_TRUE(step(c, "q", "THE PIRATE COVE"));
            if (box == "Target gone") {
                EXPECT_EQ(read_board(thief).cash, cash_before) << "paid for a hack on nothing";
            }
            if (directory)
                rmdir(victim.c_str());
        }
        EXPECT_EQ(box, "Target gone");
    }
}

// 120 boards: the sysop's list shows and reaches every one of them, the
// last too; the rival list holds 16, and those nearest the player's fame.
TEST(game_shared_boards, EveryBoardIsWithinReach)
{
    testsupport::temp_dir dir;
    mkdir(dir.file("data").c_str(), 0755);
    constexpr int BOARDS = 120;
    std::set<std::string> fame_zero;
    for (int i = 0; i < BOARDS; ++i) {
        char sysop[16];
        std::snprintf(sysop, sizeof sysop, "S%03d", i);
        // Every twelfth board is as famous as the player (0); the rest are far above.
        const int fame = i % 12 == 5 ? 0 : 4;
        if (fame == 0)
            fame_zero.insert(sysop);
        testsupport::write_file(dir.file(std::string("data/sysop_s") + (sysop + 1) + ".dat"),
                                board_bytes(sysop, 1000 + i, fame));
    }
    testsupport::write_file(dir.file("data/sysop_sysop.dat"), board_bytes("sysop", 1500));

    {
        auto rivals = start_game(dir, "sysop");
        ASSERT_TRUE(rivals->wait_for_text(TITLE, 10s));
        ASSERT_TRUE(step(*rivals, "2", CONSOLE));
        ASSERT_TRUE(step(*rivals, "5", "THE PIRATE COVE"));
        ASSERT_TRUE(step(*rivals, "p", "RIVAL SYSOP UNDERGROUND"));
        // Sixteen rows, twelve at a time: the first view, and the view with
        // the sixteenth selected on the last row.
        std::set<std::string> listed;
        auto read_view = [&] {
            for (int y = 8; y < 20; ++y) {
                const std::string row = rivals->screen().row_text(y);
                const std::size_t at = row.find(" S");
                if (at != std::string::npos && at + 5 <= row.size())
                    listed.insert(row.substr(at + 1, 4));
            }
        };
        ASSERT_TRUE(rivals->wait_until([&] { return rivals->screen().row_text(19).find(" S") != std::string::npos; },
                                       20s))
            << rivals->screen().dump();
        read_view();
        std::string keys;
        for (int k = 0; k < 15; ++k)
            keys += KEY_DOWN;
        rivals->send(keys);
        ASSERT_TRUE(rivals->wait_until(
            [&] {
                return rivals->screen().row_text(19).find(" 16 S") != std::string::npos &&
                       rivals->screen().cell(10, 19).bg == 3;
            },
            20s))
            << rivals->screen().dump();
        read_view();
        EXPECT_EQ(listed.size(), 16u);
        for (const auto& s : fame_zero)
            EXPECT_TRUE(listed.count(s)) << s << " is as famous as the player and not listed";
        ASSERT_TRUE(step(*rivals, "q", "THE PIRATE COVE"));
        ASSERT_TRUE(step(*rivals, "q", CONSOLE));
        ASSERT_TRUE(step(*rivals, "q", TITLE));
        leave(*rivals);
    }

    auto config = start_game(dir, "sysop", true);
    ASSERT_TRUE(config->wait_for_text("CONFIG.EXE - VEXON SIMS", 10s)) << config->screen().dump();
    ASSERT_TRUE(step(*config, "5", "ALL SAVED SYSOPS"));
    EXPECT_TRUE(config->wait_until([&] { return config->screen().row_text(20).find("S015") != std::string::npos; }, 20s))
        << config->screen().dump();
    EXPECT_TRUE(config->screen().row_text(5).find("S000") != std::string::npos) << config->screen().dump();
    std::string downs;
    for (int i = 0; i < BOARDS - 1; ++i)
        downs += KEY_DOWN;
    ASSERT_TRUE(step(*config, downs, "S119"));
    EXPECT_TRUE(config->wait_until([&] { return config->screen().row_text(20).find("120 S119") != std::string::npos; },
                                   20s))
        << config->screen().dump();
    ASSERT_TRUE(step(*config, "d", "Delete profile?"));
    config->send("y");
    EXPECT_TRUE(config->wait_until([&] { return !exists(dir.file("data/sysop_s119.dat")); }, 10s));
    EXPECT_TRUE(exists(dir.file("data/sysop_s118.dat")));
    config->send("qq");
    auto status = config->wait_exit(5s);
    ASSERT_TRUE(status.has_value());
}

// The sysop works in the configuration menu while a player is on another
// node: a board deleted there stays deleted when the player saves (the
// player's session ends with a box), and a setting changed there survives
// the player's next save beside the player's own progress.
TEST(game_shared_boards, TheSysopsChangesSurviveThePlayersSave)
{
    testsupport::temp_dir dir;
    mkdir(dir.file("data").c_str(), 0755);
    testsupport::write_file(dir.file("data/sysop_sysop.dat"), board_bytes("sysop", 5000));
    testsupport::write_file(dir.file("data/sysop_ada.dat"), board_bytes("Ada", 7000));

    // Ada plays; the sysop deletes her board meanwhile.
    {
        auto ada = start_game(dir, "Ada");
        ASSERT_TRUE(ada->wait_for_text(TITLE, 10s));
        ASSERT_TRUE(step(*ada, "2", CONSOLE));
        auto config = start_game(dir, "sysop", true);
        ASSERT_TRUE(config->wait_for_text("CONFIG.EXE - VEXON SIMS", 10s)) << config->screen().dump();
        ASSERT_TRUE(step(*config, "5", "Ada's Haven"));
        ASSERT_TRUE(step(*config, "d", "Delete profile?"));
        config->send("y");
        ASSERT_TRUE(config->wait_until([&] { return !exists(dir.file("data/sysop_ada.dat")); }, 10s));
        config->send("qq");
        ASSERT_TRUE(config->wait_exit(5s).has_value());

        ASSERT_TRUE(step(*ada, "9", "Board removed")) << "the save wrote the deleted board back";
        EXPECT_TRUE(ada->wait_for_text("The sysop removed this board.", 20s));
        ada->send(" ");
        auto status = ada->wait_exit(5s);
        ASSERT_TRUE(status.has_value());
        EXPECT_EQ(*status, 0);
        EXPECT_FALSE(exists(dir.file("data/sysop_ada.dat")));
    }

    // The sysop plays on one node and sets 75 turns a day on another.
    auto player = start_game(dir, "sysop");
    ASSERT_TRUE(player->wait_for_text(TITLE, 10s));
    ASSERT_TRUE(step(*player, "2", CONSOLE));
    auto config = start_game(dir, "sysop", true);
    ASSERT_TRUE(config->wait_for_text("CONFIG.EXE - VEXON SIMS", 10s));
    ASSERT_TRUE(step(*config, "3", "TURNS PER DAY"));
    ASSERT_TRUE(step(*config, "5", "Turns per day updated."));
    config->send(" q");
    ASSERT_TRUE(config->wait_exit(5s).has_value());
    ASSERT_EQ(read_board(dir.file("data/sysop_sysop.dat")).turns_per_day, 75);

    ASSERT_TRUE(step(*player, "8", "Add a node?"));
    ASSERT_TRUE(step(*player, "y", "New node online!"));
    ASSERT_TRUE(step(*player, " ", CONSOLE));
    ASSERT_TRUE(step(*player, "q", TITLE));
    leave(*player);
    const profile saved = read_board(dir.file("data/sysop_sysop.dat"));
    EXPECT_EQ(saved.turns_per_day, 75) << "the player's save undid the sysop's setting";
    EXPECT_EQ(saved.nodes, 2);
    EXPECT_EQ(saved.cash, 5000 - 600);
}

// The title bar of a shop with a long name keeps the figures readable.
TEST(game_shared_boards, ALongShopTitleLeavesTheFiguresReadable)
{
    testsupport::temp_dir dir;
    mkdir(dir.file("data").c_str(), 0755);
    testsupport::write_file(dir.file("data/sysop_ada.dat"), board_bytes("Ada", 7000));
    auto game = start_game(dir, "Ada");
    ASSERT_TRUE(game->wait_for_text(TITLE, 10s));
    ASSERT_TRUE(step(*game, "2", CONSOLE));
    ASSERT_TRUE(step(*game, "2", "BYTE ME COMPUTING"));
    ASSERT_TRUE(step(*game, "6", "One-shot upgrades."));
    EXPECT_EQ(game->screen().row_text(0),
              "VEXON SIMS    Day 1     Cash $7000      Rep   5    Heat   0 [Byte Me Computing]");
    game->hang_up();
    EXPECT_TRUE(game->wait_exit(5s).has_value());
}
