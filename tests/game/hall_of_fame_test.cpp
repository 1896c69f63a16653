// The hall of fame on real files: merging, recording, the exports byte for
// byte, and the screen.
#include "game/app/hall_of_fame_screen.h"
#include "game/rules/hall_of_fame.h"
#include "game/rules/storage.h"
#include "tests/game/game_fixture.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

hs_entry entry(const char* sysop, const char* bbs, std::int64_t cash, int day = 1, int rep = 0, int fame = 0)
{
    hs_entry e{};
    copy_text(e.sysop_name, sysop);
    copy_text(e.bbs_name, bbs);
    e.cash = cash;
    e.day = day;
    e.rep = rep;
    e.fame = fame;
    return e;
}

void write_table(const std::vector<hs_entry>& rows)
{
    mkdir("data", 0755);
    std::string bytes(reinterpret_cast<const char*>(rows.data()), rows.size() * sizeof(hs_entry));
    testsupport::write_file("data/topsysops.dat", bytes);
}

std::vector<std::string> table_names()
{
    std::vector<std::string> names;
    for (int i = 0; i < g_hs_count; ++i)
        names.emplace_back(g_hs[i].sysop_name);
    return names;
}

// P as a player who quits with these numbers.
void play_as(const char* sysop, const char* bbs, std::int64_t cash, std::uint32_t day = 1)
{
    std::memset(&P, 0, sizeof P);
    copy_text(P.sysop_name, sysop);
    copy_text(P.bbs_name, bbs);
    P.cash = cash;
    P.day = day;
}

using names = std::vector<std::string>;

}  // namespace

using hall_of_fame = game_test;

TEST_F(hall_of_fame, ScoreWeighsCashRepFameAndDays)
{
    EXPECT_EQ(hs_score(entry("a", "b", 1000, 7, 3, 2)), 1000 + 500 * 3 + 10000 * 2 + 20 * 7);
}

TEST_F(hall_of_fame, LoadMergesDuplicatesIntoTheFirstPosition)
{
    write_table({entry("Ann", "Old", 5000), entry("Bob", "B", 4000), entry("Ann", "New", 9000),
                 entry("Cat", "C", 3000), entry("Bob", "B2", 100)});
    hs_load();
    EXPECT_EQ(table_names(), (names{"Ann", "Bob", "Cat"}));
    EXPECT_STREQ(g_hs[0].bbs_name, "New");
    EXPECT_EQ(g_hs[0].cash, 9000);
    EXPECT_STREQ(g_hs[1].bbs_name, "B");
}

TEST_F(hall_of_fame, MissingEmptyOrTruncatedFiles)
{
    hs_load();
    EXPECT_EQ(g_hs_count, 0);
    write_table({});
    hs_load();
    EXPECT_EQ(g_hs_count, 0);
    write_table({entry("Ann", "A", 1), entry("Bob", "B", 2)});
    std::string bytes = testsupport::read_file("data/topsysops.dat");
    testsupport::write_file("data/topsysops.dat", bytes.substr(0, 88 + 87));
    hs_load();
    EXPECT_EQ(table_names(), (names{"Ann"}));
}

TEST_F(hall_of_fame, HostileRecordsAreBroughtIntoRange)
{
    std::mt19937 gen(42);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 300; ++round) {
        std::string bytes(88 * 10, '\0');
        for (auto& b : bytes)
            b = static_cast<char>(byte(gen));
        mkdir("data", 0755);
        testsupport::write_file("data/topsysops.dat", bytes);
        hs_load();
        for (int i = 0; i < g_hs_count; ++i) {
            const hs_entry& e = g_hs[i];
            ASSERT_EQ(e.sysop_name[31], '\0');
            ASSERT_EQ(e.bbs_name[31], '\0');
            ASSERT_GE(e.cash, 0);
            ASSERT_GE(e.day, 0);
            ASSERT_TRUE(e.rep >= 0 && e.rep <= 100);
            ASSERT_TRUE(e.fame >= 0 && e.fame <= 5);
            ASSERT_GE(hs_score(e), 0);
        }
    }
    hs_export();  // names with control bytes are written without them
    std::string ans = testsupport::read_file("data/scores.asc");
    for (char c : ans)
        EXPECT_FALSE(c == '\x1b' || (static_cast<unsigned char>(c) < 32 && c != '\r' && c != '\n'));
}

TEST_F(hall_of_fame, LowerScoreKeepsTheNumbersButTakesTheNewName)
{
    write_table({entry("Ann", "Ann's Haven", 9000, 12)});
    play_as("Ann", "Ann's Palace", 100, 3);
    hs_record();
    ASSERT_EQ(g_hs_count, 1);
    EXPECT_STREQ(g_hs[0].bbs_name, "Ann's Palace");
    EXPECT_EQ(g_hs[0].cash, 9000);
    EXPECT_EQ(g_hs[0].day, 12);
    hs_load();  // and so it was written
    EXPECT_STREQ(g_hs[0].bbs_name, "Ann's Palace");
}

TEST_F(hall_of_fame, BetterScoreReplacesTheEntryAndMovesItUp)
{
    write_table({entry("Ann", "A", 9000), entry("Bob", "B", 5000), entry("Cat", "C", 3000)});
    play_as("Cat", "C2", 7000);
    hs_record();
    EXPECT_EQ(table_names(), (names{"Ann", "Cat", "Bob"}));
    EXPECT_EQ(g_hs[1].cash, 7000);
    EXPECT_STREQ(g_hs[1].bbs_name, "C2");
    hs_load();
    EXPECT_EQ(table_names(), (names{"Ann", "Cat", "Bob"}));
}

TEST_F(hall_of_fame, EqualScoresPlaceTheLaterBelow)
{
    play_as("Ann", "A", 5000);
    hs_record();
    play_as("Bob", "B", 5000);
    hs_record();
    play_as("Cat", "C", 5001);
    hs_record();
    EXPECT_EQ(table_names(), (names{"Cat", "Ann", "Bob"}));
    // An entry that rises to a tie does not pass the one above it.
    play_as("Bob", "B", 5001);
    hs_record();
    EXPECT_EQ(table_names(), (names{"Cat", "Bob", "Ann"}));
}

TEST_F(hall_of_fame, EleventhPlayerReplacesTheTenthOrLeavesEverythingAlone)
{
    std::vector<hs_entry> ten;
    for (int i = 0; i < 10; ++i) {
        std::string name = "P" + std::to_string(i);
        ten.push_back(entry(name.c_str(), "X", 10000 - 100 * i));  // the tenth has 9100
    }
    write_table(ten);
    play_as("Late", "L", 9100);  // ties the tenth: beats nobody
    testsupport::write_file("data/scores.asc", "old asc");
    const std::string table = testsupport::read_file("data/topsysops.dat");
    hs_record();
    EXPECT_EQ(testsupport::read_file("data/topsysops.dat"), table);
    EXPECT_EQ(testsupport::read_file("data/scores.asc"), "old asc");
    EXPECT_FALSE(std::ifstream("data/scores.ans").good());

    play_as("Late", "L", 9150);
    hs_record();
    ASSERT_EQ(g_hs_count, 10);
    EXPECT_EQ(std::string(g_hs[9].sysop_name), "Late");
    EXPECT_EQ(std::string(g_hs[8].sysop_name), "P8");
    EXPECT_EQ(testsupport::read_file("data/topsysops.dat").size(), 880u);
}

TEST_F(hall_of_fame, ExportsAreByteForByte)
{
    g_hs_count = 0;
    g_hs[g_hs_count++] = entry("Ann", "Ann's Haven", 123456, 40, 77, 3);
    g_hs[g_hs_count++] = entry("A Very Long Sysop Name!", "A Board Name Longer Than Twenty-Four", 5, 2, 100, 5);
    g_hs[g_hs_count++] = entry("Cat", "", 0, 1, 0, 0);
    g_hs[g_hs_count++] = entry("Dan", "D", 12345678, 12345, 5, 1);
    hs_save();

    const std::string rows[] = {
        "  1 Ann              Ann's Haven                 40 $ 123456  77  3/5",
        "  2 A Very Long Syso A Board Name Longer Than     2 $      5 100  5/5",
        "  3 Cat                                           1 $      0   0  0/5",
        "  4 Dan              D                        12345 $12345678   5  1/5",
    };
    const std::string title = "           V E X O N   S I M S   -   T O P   S Y S O P S";
    const std::string rule = "          ---------------------------------------------------";
    const std::string head = " #   SYSOP            BBS                      DAY    CASH  REP FAME";
    const std::string under = " -- ---------------- ------------------------ ----- -------- --- ----";

    std::string asc = "\r\n" + title + "\r\n" + rule + "\r\n" + head + "\r\n" + under + "\r\n";
    for (const auto& r : rows)
        asc += r + "\r\n";
    asc += "\r\n";
    EXPECT_EQ(testsupport::read_file("data/scores.asc"), asc);

    const char* colours[] = {"\x1b[1;33m", "\x1b[1;37m", "\x1b[0;33m", "\x1b[0;37m"};
    std::string ans = "\x1b[0m\r\n\x1b[1;33m" + title + "\x1b[0m\r\n\x1b[0;36m" + rule + "\x1b[0m\r\n\x1b[1;37m" +
                      head + "\x1b[0m\r\n\x1b[0;37m" + under + "\x1b[0m\r\n";
    for (int i = 0; i < 4; ++i)
        ans += colours[i] + rows[i] + "\x1b[0m\r\n";
    ans += "\x1b[0m\r\n";
    EXPECT_EQ(testsupport::read_file("data/scores.ans"), ans);

    // The table file is the records back to back.
    std::string dat = testsupport::read_file("data/topsysops.dat");
    ASSERT_EQ(dat.size(), 4u * 88);
    EXPECT_EQ(dat.substr(88, 23), "A Very Long Sysop Name!");
    EXPECT_EQ(dat.substr(88 + 64, 8), std::string("\x05\0\0\0\0\0\0\0", 8));
}

TEST_F(hall_of_fame, HugeNumbersFromAHandMadeFileKeepTheRowsWithinEightyColumns)
{
    g_hs_count = 0;
    g_hs[g_hs_count++] = entry("Max", "Maxed Out", MAX_CASH, MAX_COUNT, 100, 5);
    hs_save();
    const std::string asc = testsupport::read_file("data/scores.asc");
    EXPECT_NE(asc.find("  1 Max              Maxed Out                1000000K $1000000000000K 100  5/5\r\n"),
              std::string::npos)
        << asc;
    for (std::size_t start = 0, end; (end = asc.find("\r\n", start)) != std::string::npos; start = end + 2)
        EXPECT_LE(end - start, 80u) << asc.substr(start, end - start);
}

TEST_F(hall_of_fame, TableThatCannotBeReadIsLeftAsItIs)
{
    mkdir("data", 0755);
    for (const auto& kind : unreadable_kinds()) {
        SCOPED_TRACE(kind.what);
        kind.make("data/topsysops.dat");
        struct stat before{};
        ASSERT_EQ(lstat("data/topsysops.dat", &before), 0);
        play_as("Ann", "Ann's", 5000);
        hs_record();
        struct stat after{};
        ASSERT_EQ(lstat("data/topsysops.dat", &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_NE(access("data/scores.asc", F_OK), 0);
        std::filesystem::remove_all("data/topsysops.dat");
    }
}

TEST_F(hall_of_fame, ExportFromATableThatCannotBeReadKeepsTheBulletins)
{
    mkdir("data", 0755);
    for (const auto& kind : unreadable_kinds()) {
        SCOPED_TRACE(kind.what);
        kind.make("data/topsysops.dat");
        std::FILE* f = std::fopen("data/scores.asc", "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("yesterday's standings\r\n", f);
        std::fclose(f);
        hs_load();
        EXPECT_FALSE(hs_export());
        char buf[64] = {};
        f = std::fopen("data/scores.asc", "rb");
        ASSERT_NE(f, nullptr);
        std::size_t n = std::fread(buf, 1, sizeof buf - 1, f);
        std::fclose(f);
        EXPECT_EQ(std::string(buf, n), "yesterday's standings\r\n");
        std::filesystem::remove_all("data/topsysops.dat");
    }
}

TEST_F(hall_of_fame, ScreenListsTheTableOrSaysItIsEmpty)
{
    door.send_keys("k");
    hs_screen();
    auto s = screen();
    EXPECT_EQ(s->text_at(32, 12, 15), "(No sysops yet)");
    EXPECT_EQ(s->text_at(70 - 3, 0, 12), "[Top Sysops]");

    write_table({entry("Ann", "Ann's Haven", 123456, 40, 77, 3), entry("Bob", "A Board Name Longer Than Twenty", 9, 2, 1, 0)});
    door.clear_output();
    door.send_keys("k");
    hs_screen();
    s = screen();
    SCOPED_TRACE(s->dump());
    EXPECT_TRUE(s->contains("╡ TOP SYSOPS - VEXON SIMS HALL OF FAME ╞"));
    EXPECT_EQ(s->text_at(3, 4, 65), "#  SYSOP            BBS                    DAY   CASH     REP FAM");
    EXPECT_EQ(s->cell(3, 4).fg, 6);
    EXPECT_EQ(s->text_at(3, 5, 74), [] {
        std::string line;
        for (int i = 0; i < 74; ++i)
            line += "─";
        return line;
    }());
    EXPECT_FALSE(s->cell(3, 5).bold);
    EXPECT_EQ(s->text_at(3, 6, 63), "1  Ann              Ann's Haven            40    $123456  77  3");
    EXPECT_EQ(s->cell(3, 6).fg, 3);
    EXPECT_EQ(s->text_at(3, 7, 63), "2  Bob              A Board Name Longer Th 2     $9       1   0");
    EXPECT_EQ(s->cell(3, 7).fg, 7);
    EXPECT_EQ(s->text_at(26, 22, 27), "[ Press any key to return ]");
    EXPECT_EQ(s->text_at(1, 24, 49), "Your cash + rep + fame + days powers the ranking.");
    EXPECT_FALSE(s->contains("(No sysops yet)"));
}

TEST_F(hall_of_fame, PlayersQuittingAtOnceAreAllRecorded)
{
    // Several nodes share data/: each records two players at the same time.
    constexpr int NODES = 4;
    std::vector<pid_t> kids;
    for (int node = 0; node < NODES; ++node) {
        pid_t pid = fork();
        if (pid == 0) {
            for (int k = 0; k < 2; ++k) {
                std::string name = "N" + std::to_string(node) + "P" + std::to_string(k);
                play_as(name.c_str(), "X", 1000 + node * 10 + k);
                hs_record();
            }
            _exit(0);
        }
        kids.push_back(pid);
    }
    for (pid_t pid : kids)
        waitpid(pid, nullptr, 0);
    hs_load();
    EXPECT_EQ(g_hs_count, 2 * NODES);
}
