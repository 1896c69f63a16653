// Program entry: the command line, the title screen, starting and continuing
// a board, the console's commands, the statistics and buying nodes.
#include "game/app/console_loop.h"
#include "game/app/entry.h"
#include "game/rules/hall_of_fame.h"
#include "game/rules/storage.h"
#include "game/app/title.h"
#include "tests/game/game_fixture.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

launch_options parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "sysopsim");
    return parse_command_line(static_cast<int>(args.size()), const_cast<char**>(args.data()));
}

std::int64_t day_20000()
{
    return 20000LL * 86400 + 100;
}

profile saved_board(const char* path = "data/sysop_sysop.dat")
{
    profile p{};
    std::string bytes = testsupport::read_file(path);
    if (bytes.size() == sizeof p)
        std::memcpy(&p, bytes.data(), sizeof p);
    return p;
}

}  // namespace

TEST(command_line, ArgumentsAreScannedInOrder)
{
    struct case_t {
        std::vector<const char*> args;
        bool config;
        const char* dropfile;
        int utf8;
    };
    const case_t cases[] = {
        {{}, false, nullptr, -1},
        {{"--config"}, true, nullptr, -1},
        {{"--cfg", "x.sys"}, true, "x.sys", -1},
        {{"-c"}, true, nullptr, -1},
        {{"--dropfile=/bbs/node1/DOOR32.SYS"}, false, "/bbs/node1/DOOR32.SYS", -1},
        {{"--dropfile", "a.sys"}, false, "a.sys", -1},
        {{"-d", "-c"}, false, "-c", -1},  // the next argument is the path, whatever it is
        {{"a.sys", "--dropfile"}, false, "a.sys", -1},  // last and alone: ignored
        {{"a.sys", "b.sys"}, false, "b.sys", -1},
        {{"--unknown", "-x"}, false, nullptr, -1},
        {{"--utf8"}, false, nullptr, 1},
        {{"--utf8", "--cp437"}, false, nullptr, 0},
    };
    for (const auto& c : cases) {
        launch_options o = parse(c.args);
        std::string what = testing::PrintToString(std::vector<std::string>(c.args.begin(), c.args.end()));
        EXPECT_EQ(o.config_mode, c.config) << what;
        EXPECT_STREQ(o.dropfile, c.dropfile) << what;
        EXPECT_EQ(o.force_utf8, c.utf8) << what;
    }
}

using entry = game_test;

TEST_F(entry, UserVariableNamesThePlayerOnlyInConfigurationModeWithoutDropfile)
{
    setenv("USER", "envuser", 1);
    testsupport::write_file("door32.sys", "0\n0\n0\nBBS\n1\nDrop Name\n");
    struct case_t {
        std::vector<const char*> args;
        const char* want;
    };
    const case_t cases[] = {
        {{}, "Sysop"},
        {{"-c"}, "envuser"},
        {{"-c", "door32.sys"}, "Drop Name"},
        {{"door32.sys"}, "Drop Name"},
    };
    for (const auto& c : cases) {
        copy_text(g_d.user_name, "Sysop");
        identify_player(parse(c.args));
        EXPECT_STREQ(g_d.user_name, c.want);
    }
    g_d.use_socket = 1;  // the dropfile said "local"; the test's channel stays
}

TEST_F(entry, TitleScreenShowsTheLogoTheMenuAndTheMakersBoard)
{
    draw_title();
    auto s = screen();
    SCOPED_TRACE(s->dump());
    EXPECT_EQ(s->text_at(10, 2, 2), "╔═");
    EXPECT_EQ(s->cell(10, 2).fg, 3);
    EXPECT_EQ(s->text_at(30, 4, 19), "V E X O N   S I M S");
    EXPECT_EQ(s->cell(30, 4).fg, 3);
    EXPECT_TRUE(s->cell(30, 4).bold);
    EXPECT_EQ(s->text_at(32, 5, 16), "Run your own BBS");
    EXPECT_EQ(s->cell(32, 5).fg, 6);
    EXPECT_EQ(s->text_at(27, 6, 26), "from 300 baud to T1 legend");
    EXPECT_EQ(s->cell(27, 6).fg, 2);
    std::string blocks;
    for (int i = 0; i < 22; ++i)
        blocks += "█";
    EXPECT_EQ(s->text_at(29, 10, 22), blocks);
    EXPECT_EQ(s->text_at(29, 12, 22), "█  VEXON ONLINE BBS  █");
    EXPECT_EQ(s->text_at(29, 14, 22), "█  > PASSWORD: ****  █");
    EXPECT_EQ(s->text_at(29, 15, 22), "█  Connected! 14.4k  █");
    EXPECT_EQ(s->text_at(29, 17, 22), blocks);
    EXPECT_EQ(s->text_at(34, 18, 1), "▄");
    EXPECT_EQ(s->text_at(45, 18, 1), "▄");
    EXPECT_EQ(s->text_at(46, 18, 1), " ");
    EXPECT_EQ(s->cell(34, 18).fg, 0);
    EXPECT_TRUE(s->cell(34, 18).bold);
    EXPECT_EQ(s->text_at(30, 19, 1), "▓");
    EXPECT_EQ(s->text_at(49, 19, 1), "▓");
    EXPECT_EQ(s->text_at(11, 21, 57), "[1] New BBS    [2] Continue    [3] Top Sysops    [4] Exit");
    EXPECT_EQ(s->text_at(25, 22, 30), "By Tarnwick - Vexon Online BBS");
    EXPECT_FALSE(s->cell(25, 22).bold);
    std::string maker = std::string("telnet://") + MAKER_BOARD_HOST + ":1337   ssh://" + MAKER_BOARD_HOST + ":1338";
    int x = (80 - static_cast<int>(maker.size())) / 2;
    EXPECT_EQ(s->text_at(x, 23, static_cast<int>(maker.size())), maker);
    EXPECT_EQ(s->cell(x, 23).fg, 6);
    EXPECT_FALSE(s->cell(x, 23).bold);
    EXPECT_FALSE(s->cursor_visible());
}

TEST_F(entry, ContinueWithoutASaveSaysSo)
{
    door.send_keys("k");
    EXPECT_FALSE(continue_board());
    auto s = screen();
    EXPECT_TRUE(s->contains("No saved BBS")) << s->dump();
    EXPECT_TRUE(s->contains("You don't have a saved BBS yet."));

    new_profile();
    P.cash = 4242;
    save_profile();
    std::memset(&P, 0, sizeof P);
    EXPECT_TRUE(continue_board());
    EXPECT_EQ(P.cash, 4242);
}

TEST_F(entry, NewBoardAsksBeforeOverwritingASave)
{
    door.send_keys("k");  // the welcome box; no question without a save
    EXPECT_TRUE(start_new_board());
    EXPECT_TRUE(screen()->contains("You've got a humble XT, 300-baud modem,"));
    profile first = saved_board();
    EXPECT_EQ(first.cash, 1500);

    P.cash = 99999;
    save_profile();
    const std::string kept = testsupport::read_file("data/sysop_sysop.dat");
    door.clear_output();
    door.send_keys("n");
    EXPECT_FALSE(start_new_board());
    EXPECT_TRUE(screen()->contains("You already have a BBS. Start over?"));
    EXPECT_EQ(testsupport::read_file("data/sysop_sysop.dat"), kept);

    door.send_keys("yk");
    EXPECT_TRUE(start_new_board());
    EXPECT_EQ(saved_board().cash, 1500);
}

TEST_F(entry, BoardThatCannotBeReadIsNeitherStartedOverNorContinued)
{
    mkdir("data", 0755);
    for (const auto& kind : unreadable_kinds()) {
        SCOPED_TRACE(kind.what);
        kind.make("data/sysop_sysop.dat");
        struct stat before{};
        ASSERT_EQ(lstat("data/sysop_sysop.dat", &before), 0);
        for (bool (*choice)() : {start_new_board, continue_board}) {
            door.clear_output();
            door.send_keys("k");
            EXPECT_FALSE(choice());
            auto s = screen();
            EXPECT_TRUE(s->contains("Save can't be opened")) << s->dump();
            EXPECT_TRUE(s->contains("Your saved BBS is there, but it"));
        }
        // Nor does a save replace it, whatever is in memory.
        new_profile();
        save_profile();
        struct stat after{};
        ASSERT_EQ(lstat("data/sysop_sysop.dat", &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mode, before.st_mode);
        std::filesystem::remove_all("data/sysop_sysop.dat");
    }
}

TEST_F(entry, EnteringTheGameStartsTodaysTurnsAndReportsBreakIns)
{
    g_clock_hook = day_20000;
    struct case_t {
        std::int32_t hacks;
        const char* line;
    };
    const case_t cases[] = {{1, "While you were away, 1 rival sysop"}, {3, "While you were away, 3 rival sysops"}};
    for (const auto& c : cases) {
        new_profile();
        P.turn_day = 19999;
        P.turns_used = 30;
        P.hacked_while_away = c.hacks;
        door.clear_output();
        door.send_keys("k");
        enter_game();
        auto s = screen();
        EXPECT_TRUE(s->contains(c.line)) << s->dump();
        EXPECT_TRUE(s->contains("broke into your system and took stuff."));
        EXPECT_TRUE(s->contains("(Install more protection to fight back.)"));
        EXPECT_TRUE(s->contains("Someone hacked you"));
        profile saved = saved_board();
        EXPECT_EQ(saved.hacked_while_away, 0);
        EXPECT_EQ(saved.turn_day, 20000);
        EXPECT_EQ(saved.turns_used, 0);
    }

    // Turns counted today stay counted; nothing to report, nothing shown.
    P.turns_used = 7;
    door.clear_output();
    enter_game();
    EXPECT_EQ(P.turns_used, 7);
    EXPECT_EQ(door.output(), "");
}

TEST_F(entry, ConsoleRunsCommandsAndQuitsWithSaveAndRanking)
{
    g_clock_hook = day_20000;
    new_profile();
    P.cash = 5000;
    // 5: the underground, left at once; 6: statistics and a key; 9: save and
    // its box; q: quit.
    door.send_keys("5q6k9kq");
    console_loop();
    const std::string out = door.output();
    EXPECT_NE(out.find("THE PIRATE COVE"), std::string::npos);
    EXPECT_NE(out.find("SYSOP DOSSIER"), std::string::npos);
    EXPECT_NE(out.find("Your BBS is tucked away safely."), std::string::npos);
    EXPECT_EQ(saved_board().cash, 5000);
    hs_load();
    ASSERT_EQ(g_hs_count, 1);
    EXPECT_STREQ(g_hs[0].sysop_name, "Sysop");
    EXPECT_EQ(g_hs[0].cash, 5000);
    EXPECT_FALSE(testsupport::read_file("data/scores.asc").empty());

    // ESC quits as well (after a pause, so it is a lone ESC).
    P.cash = 7000;
    door.send_keys_after(50ms, "\x1b");
    console_loop();
    EXPECT_EQ(saved_board().cash, 7000);
}

TEST_F(entry, StatisticsShowTheDossierWithItsWarnings)
{
    new_profile();
    copy_text(P.sysop_name, "Ada");
    P.day = 12;
    P.cash = 98765;
    P.total_callers = 400;
    P.callers_yesterday = 31;
    P.heat = 60;
    P.hw_health = 40;
    P.peripherals = (1u << 0) | (1u << 5);
    P.doors = 0b111;
    P.cpu = 5;
    P.inet_tier = 4;
    door.send_keys("k");
    stats_screen();
    auto s = screen();
    SCOPED_TRACE(s->dump());
    EXPECT_EQ(s->text_at(70 - 3, 0, 12), "[Statistics]");
    EXPECT_TRUE(s->contains("╡ SYSOP DOSSIER ╞"));
    const std::pair<int, std::string> left[] = {
        {3, "Sysop:         Ada"},           {4, "BBS:           Sysop's Haven"},
        {5, "Days online:   12"},            {6, "Cash on hand:  $98765"},
        {7, "Total callers: 400 callers"},   {8, "Latest:        31 yesterday"},
        {9, "Reputation:    5 / 100"},       {10, "Heat level:    60 / 100"},
        {11, "Hack skill:    10 / 100"},     {12, "Warez library: 0 files"},
        {13, "Nodes:         1"},            {14, "Doors:         3 installed"},
        {15, "CD-ROMs:       0 mounted"},    {16, "HW Health:     40 / 100"},
    };
    for (const auto& [row, text] : left)
        EXPECT_EQ(s->text_at(3, row, static_cast<int>(text.size())), text);
    EXPECT_EQ(s->cell(3, 3).fg, 3);
    EXPECT_EQ(s->cell(18, 3).fg, 7);
    EXPECT_EQ(s->cell(18, 9).fg, 2);
    EXPECT_EQ(s->cell(18, 10).fg, 7);
    EXPECT_EQ(s->cell(18, 11).fg, 5);
    EXPECT_EQ(s->cell(18, 16).fg, 2);
    EXPECT_EQ(s->text_at(45, 3, 8), "HARDWARE");
    EXPECT_EQ(s->text_at(45, 5, 19), "CPU:      486DX2/66");
    EXPECT_EQ(s->text_at(45, 9, 13), "Monitor:  CGA");
    EXPECT_EQ(s->text_at(45, 11, 8), "NETWORKS");
    EXPECT_EQ(s->text_at(45, 12, 23), "FidoNet:  Not connected");
    EXPECT_EQ(s->text_at(45, 13, 22), "Internet: Dedicated T1");
    EXPECT_EQ(s->text_at(45, 15, 12), "Peripherals:");
    EXPECT_EQ(s->text_at(55, 16, 16), "Sound Blaster 16");
    EXPECT_EQ(s->text_at(55, 17, 18), "Dot-matrix printer");
    EXPECT_EQ(s->text_at(26, 22, 27), "[ Press any key to return ]");
    EXPECT_EQ(s->text_at(1, 24, 19), "Your empire so far.");

    P.heat = 61;
    P.hw_health = 39;
    P.peripherals = 0;
    door.clear_output();
    door.send_keys("k");
    stats_screen();
    s = screen();
    EXPECT_EQ(s->cell(18, 10).fg, 1);
    EXPECT_EQ(s->cell(18, 16).fg, 1);
    EXPECT_EQ(s->text_at(55, 16, 6), "(none)");
}

TEST_F(entry, NodePricesRiseToTheSixteenth)
{
    const std::int64_t want[] = {600, 1200, 1800, 2400, 3400, 4400, 5400, 6400,
                                 7400, 8400, 9400, 10400, 11400, 12400, 13400};
    for (int n = 1; n <= 15; ++n)
        EXPECT_EQ(node_price(n), want[n - 1]) << n;
}

TEST_F(entry, BuyingANodeAsksChargesAndSaves)
{
    new_profile();
    P.nodes = 15;
    P.cash = 20000;
    P.rep = 99;
    door.send_keys("yk");
    buy_node();
    EXPECT_NE(door.output().find("A new node costs $13400."), std::string::npos);
    EXPECT_NE(door.output().find("You'll have 16 nodes total."), std::string::npos);
    EXPECT_TRUE(screen()->contains("Your callers will love the extra line.")) << screen()->dump();
    EXPECT_EQ(P.nodes, 16);
    EXPECT_EQ(P.cash, 6600);
    EXPECT_EQ(P.rep, 100);
    EXPECT_EQ(saved_board().nodes, 16);

    // At the cap: a box without a price, nothing bought.
    door.clear_output();
    door.send_keys("k");
    buy_node();
    auto s = screen();
    EXPECT_TRUE(s->contains("16 nodes is the cap. That's a lot.")) << s->dump();
    EXPECT_FALSE(s->contains("$"));
    EXPECT_EQ(P.cash, 6600);

    // Declined, then too poor: nothing changes.
    P.nodes = 2;
    P.cash = 1000;
    door.send_keys("n");
    buy_node();
    EXPECT_EQ(P.nodes, 2);
    door.clear_output();
    door.send_keys("yk");
    buy_node();
    EXPECT_TRUE(screen()->contains("Not enough money for another node."));
    EXPECT_EQ(P.nodes, 2);
    EXPECT_EQ(P.cash, 1000);
}

TEST_F(entry, TitleLoopShowsTopSysopsAndLeavesOnItsKeys)
{
    for (const char* leave : {"4", "q", "Q"}) {
        door.clear_output();
        door.send_keys(std::string("x3k") + leave);
        title_loop();
        EXPECT_TRUE(door.output().find("HALL OF FAME") != std::string::npos);
        EXPECT_TRUE(screen()->contains("[1] New BBS")) << leave;
    }
}
