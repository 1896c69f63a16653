// CONFIG.EXE driven by keys as the sysop types them, its screens read back
// through the terminal emulator, and the files it leaves in data/.
#include "game/rules/hall_of_fame.h"
#include "game/tools/config_menu.h"
#include "tests/game/shop_fixture.h"

#include <sys/file.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

const std::string OWN_FILE = "data/sysop_sysop.dat";

class config_test : public shop_test {
protected:
    bool own_file_unchanged() const { return testsupport::read_file(OWN_FILE) == file_before_; }
    void remember_own_file() { file_before_ = testsupport::read_file(OWN_FILE); }

    // Another player's board as their game saved it.
    static void save_other_board(const char* file, const char* sysop, const char* bbs, std::uint32_t day,
                                 std::int64_t cash, int fame)
    {
        profile p{};
        p.magic = PROFILE_MAGIC;
        p.version = PROFILE_VERSION;
        copy_text(p.sysop_name, sysop);
        copy_text(p.bbs_name, bbs);
        p.day = day;
        p.cash = cash;
        p.fame = fame;
        p.nodes = 1;
        p.turns_per_day = 30;
        p.difficulty = 1;
        testsupport::write_file(std::string("data/") + file,
                                std::string(reinterpret_cast<const char*>(&p), sizeof p));
    }

    // The other players' files in the order the editor lists them.
    static std::vector<std::string> listed_files()
    {
        std::vector<std::string> paths;
        char name[BOARD_NAME_SIZE] = "";
        profile record{};
        while (next_board(std::string(name).c_str(), true, name, record))
            paths.push_back(std::string("data/") + name);
        return paths;
    }
    static std::vector<std::string> listed_sysops()
    {
        std::vector<std::string> names;
        char name[BOARD_NAME_SIZE] = "";
        profile record{};
        while (next_board(std::string(name).c_str(), true, name, record))
            names.emplace_back(record.sysop_name);
        return names;
    }

    static bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

    std::string file_before_;
};

std::string backspaces(int n)
{
    return std::string(static_cast<std::size_t>(n), '\b');
}

int centred(const std::string& text)
{
    return (80 - static_cast<int>(text.size())) / 2;
}

}  // namespace

TEST_F(config_test, WithoutASavedBoardOnlyTheBoxIsShown)
{
    std::remove(OWN_FILE.c_str());
    door.send_keys(" ");
    config_menu();
    EXPECT_EQ(boxes(), (std::vector<shown_box>{{"No profile loaded",
                                                "No saved BBS found for this user.\n"
                                                "Start a new BBS from the main menu first."}}));
    EXPECT_EQ(last_page("CONFIG.EXE - VEXON SIMS"), nullptr);
    EXPECT_FALSE(exists(OWN_FILE));
}

TEST_F(config_test, ABoardThatCannotBeReadIsReportedAndLeftAlone)
{
    std::remove(OWN_FILE.c_str());
    ASSERT_EQ(mkdir(OWN_FILE.c_str(), 0755), 0);  // there, but no file to read
    door.send_keys(" ");
    config_menu();
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].title, "Save can't be opened");
    EXPECT_EQ(last_page("CONFIG.EXE - VEXON SIMS"), nullptr);
    struct stat st{};
    ASSERT_EQ(stat(OWN_FILE.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    rmdir(OWN_FILE.c_str());
}

TEST_F(config_test, MainScreenShowsTheBoardAndTheItems)
{
    copy_text(P.sysop_name, "ADA");
    copy_text(P.bbs_name, "Engine Room");
    P.turns_per_day = 50;
    P.difficulty = 2;
    save_profile();
    door.send_keys("xq");
    config_menu();

    auto s = last_page("CONFIG.EXE - VEXON SIMS");
    ASSERT_TRUE(s);
    EXPECT_NE(s->row_text(0).find("[Sysop Config]"), std::string::npos) << s->dump();
    const std::string who = "Sysop: ADA                   BBS: Engine Room                   ";
    EXPECT_EQ(s->text_at(centred(who), 3, static_cast<int>(who.size())), who);
    EXPECT_EQ(s->cell(centred(who), 3).fg, 3);
    const std::string settings = "Turns/Day: 50     Difficulty: Hard";
    EXPECT_EQ(s->text_at(centred(settings), 4, static_cast<int>(settings.size())), settings);
    EXPECT_EQ(s->cell(centred(settings), 4).fg, 6);
    const char* items[] = {"[1] Change BBS name",        "[2] Change Sysop name",      "[3] Change turns per day",
                           "[4] Change difficulty",      "[5] User / profile editor",  "[6] Reset current BBS",
                           "[7] Export scores.ans/.asc", "[8] Dot Matrix Printer Log"};
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(s->text_at(20, 7 + i, static_cast<int>(std::string(items[i]).size())), items[i]);
        EXPECT_EQ(s->cell(20, 7 + i).fg, i == 5 ? 1 : 7);
    }
    EXPECT_EQ(s->text_at(20, 16, 23), "[ESC] Back to main menu");
    EXPECT_NE(s->row_text(24).find("Sysop-level controls.  Changes save immediately."), std::string::npos);

    door.send_keys_after(200ms, "\x1b");
    config_menu();  // ESC leaves as Q does
}

TEST_F(config_test, SysopNameEditorTypesCapitalsUpToThirtyOne)
{
    struct name_case {
        const char* start;
        std::string keys;  // typed in the editor
        const char* result;
        bool saved;
    };
    const name_case cases[] = {
        {"Old Sysop", backspaces(9) + "ada l.\r ", "ADA L.", true},
        {"Old Sysop", "x\r ", "Old SysopX", true},  // the old letters stay as they were
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZ01234", "Z\r ", "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234", true},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZ01234", "\bz\r ", "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123Z", true},
        {"Kept", backspaces(4) + "\r", "Kept", false},  // ENTER on an empty field
        {"Kept", "\x7f\x7f\x01\xe9\x1b[A\r ", "Ke", true},  // DEL deletes; controls, bytes past 126 and arrows ignored
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.start);
        copy_text(P.sysop_name, c.start);
        save_profile();
        remember_own_file();
        door.clear_output();
        door.send_keys("2" + c.keys + "q");
        config_menu();
        EXPECT_STREQ(P.sysop_name, c.result);
        EXPECT_STREQ(saved().sysop_name, c.result);
        if (!c.saved) {
            EXPECT_TRUE(own_file_unchanged());
        }
        const std::vector<shown_box> seen{{"Renamed", "Sysop name updated."}};
        EXPECT_EQ(boxes(), c.saved ? seen : std::vector<shown_box>{});
    }

    // ESC after typing changes nothing.
    copy_text(P.sysop_name, "Kept");
    save_profile();
    remember_own_file();
    door.send_keys("2new");
    door.send_keys_after(300ms, "\x1b");
    door.send_keys_after(600ms, "q");
    config_menu();
    EXPECT_STREQ(P.sysop_name, "Kept");
    EXPECT_TRUE(own_file_unchanged());
}

TEST_F(config_test, SysopNameEditorScreen)
{
    copy_text(P.sysop_name, "ADA");
    save_profile();
    door.send_keys("2b\r q");
    config_menu();
    auto s = last_page("CHANGE SYSOP NAME");
    ASSERT_TRUE(s);
    EXPECT_NE(s->row_text(0).find("[Config - Sysop Nam]"), std::string::npos) << s->dump();
    EXPECT_EQ(s->text_at(29, 8, 22), "Type a new sysop name:");
    EXPECT_EQ(s->text_at(25, 11, 30), "ADAB_" + std::string(25, ' '));
    EXPECT_EQ(s->cell(25, 11).fg, 0);
    EXPECT_TRUE(s->cell(25, 11).bold);
    EXPECT_EQ(s->cell(29, 11).fg, 1);
    EXPECT_EQ(s->cell(30, 11).bg, 7);
    EXPECT_FALSE(s->cell(30, 11).bold);
    EXPECT_EQ(s->cell(54, 11).bg, 7);
    EXPECT_EQ(s->cell(55, 11).bg, 0);
    EXPECT_EQ(s->text_at(26, 14, 28), "[ENTER] save    [ESC] cancel");
    EXPECT_NE(s->row_text(24).find("Letters, numbers, space."), std::string::npos);
}

TEST_F(config_test, TurnsPerDayChoices)
{
    const int turns[] = {10, 20, 30, 50, 75, 100};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        P.turns_per_day = 30;
        save_profile();
        door.clear_output();
        door.send_keys("3x" + std::to_string(i + 1) + " q");
        config_menu();
        EXPECT_EQ(P.turns_per_day, turns[i]);
        EXPECT_EQ(saved().turns_per_day, turns[i]);
        EXPECT_EQ(boxes(), (std::vector<shown_box>{{"Set", "Turns per day updated."}}));
    }
    // "6" shows as 100 on the main screen.
    auto main = last_page("CONFIG.EXE - VEXON SIMS");
    ASSERT_TRUE(main);
    EXPECT_TRUE(main->contains("Turns/Day: 100    Difficulty: Normal")) << main->dump();

    auto s = last_page("TURNS PER DAY");
    ASSERT_TRUE(s);
    EXPECT_NE(s->row_text(0).find("[Config - Turns/Day]"), std::string::npos);
    const std::string current = "Current: 30 turns per real day";
    EXPECT_EQ(s->text_at(centred(current), 6, static_cast<int>(current.size())), current) << s->dump();
    EXPECT_EQ(s->text_at(13, 8, 54), "[1] 10 turns    [2] 20 turns    [3] 30 turns (default)");
    EXPECT_EQ(s->text_at(14, 9, 51), "[4] 50 turns    [5] 75 turns    [6] Unlimited (100)");
    EXPECT_EQ(s->text_at(35, 12, 10), "[ESC] back");
    EXPECT_NE(s->row_text(24).find("Cap on how many BBS days you can advance each real day."), std::string::npos);

    // Q leaves it as it was.
    remember_own_file();
    door.send_keys("3Qq");
    config_menu();
    EXPECT_TRUE(own_file_unchanged());
    EXPECT_EQ(P.turns_per_day, 100);
}

TEST_F(config_test, DifficultyHighlightsTheCurrentOne)
{
    struct difficulty_case {
        int value;
        const char* shown;
        int highlighted;  // row index 0..2, or -1
    };
    for (const auto& c : {difficulty_case{0, "Easy", 0}, difficulty_case{1, "Normal", 1},
                          difficulty_case{2, "Hard", 2}, difficulty_case{7, "Normal", -1},
                          difficulty_case{-1, "Normal", -1}}) {
        SCOPED_TRACE(c.value);
        P.difficulty = c.value;
        door.clear_output();
        door.send_keys("q");
        config_difficulty();
        auto s = last_page("DIFFICULTY");
        ASSERT_TRUE(s);
        const std::string current = std::string("Current: ") + c.shown;
        EXPECT_EQ(s->text_at(centred(current), 5, static_cast<int>(current.size())), current) << s->dump();
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(s->cell(12, 8 + i).fg, i == c.highlighted ? 3 : 7) << i;
    }
    auto s = last_page("DIFFICULTY");
    EXPECT_NE(s->row_text(0).find("[Config - Difficult]"), std::string::npos);
    EXPECT_EQ(s->text_at(12, 8, 45), "[1] Easy    - fewer attacks, cheaper upgrades");
    EXPECT_EQ(s->text_at(12, 9, 36), "[2] Normal  - balanced (recommended)");
    EXPECT_EQ(s->text_at(12, 10, 42), "[3] Hard    - more attacks, tighter budget");
    EXPECT_EQ(s->text_at(35, 13, 10), "[ESC] back");
    EXPECT_NE(s->row_text(24).find("Affects hack frequency, event scaling, and store prices."), std::string::npos);

    P.difficulty = 1;
    save_profile();
    door.clear_output();
    door.send_keys("43 q");
    config_menu();
    EXPECT_EQ(P.difficulty, 2);
    EXPECT_EQ(saved().difficulty, 2);
    EXPECT_EQ(boxes(), (std::vector<shown_box>{{"Set", "Difficulty updated."}}));
    EXPECT_TRUE(last_page("CONFIG.EXE - VEXON SIMS")->contains("Difficulty: Hard"));
}

TEST_F(config_test, ProfileEditorListsTheOtherBoards)
{
    save_other_board("sysop_alice.dat", "ALICE", "Wonderland", 40, 12345, 3);
    save_other_board("sysop_bob.dat", "BOB", "A Board With A Long Name Indeed", 7, 99, 0);
    copy_text(P.sysop_name, "OWN");
    save_profile();
    door.send_keys("5" + std::string(testsupport::KEY_DOWN) + "qq");
    config_menu();

    auto s = last_page("ALL SAVED SYSOPS");
    ASSERT_TRUE(s);
    EXPECT_NE(s->row_text(0).find("[Config - User Edit]"), std::string::npos) << s->dump();
    EXPECT_EQ(s->text_at(3, 3, 59), "#  SYSOP           BBS                    DAY  CASH    FAME");
    EXPECT_EQ(s->text_at(3, 4, 2), "──");
    int row_of_alice = -1;
    int row_of_bob = -1;
    for (int j = 0; j < 2; ++j) {
        std::string row = s->text_at(3, 5 + j, 74);
        if (row.find("ALICE") != std::string::npos)
            row_of_alice = j;
        if (row.find("BOB") != std::string::npos)
            row_of_bob = j;
    }
    ASSERT_GE(row_of_alice, 0);
    ASSERT_GE(row_of_bob, 0);
    EXPECT_EQ(s->text_at(3, 5 + row_of_alice, 74),
              std::to_string(row_of_alice + 1) + "  ALICE          Wonderland               40 $12345   3/5" +
                  std::string(16, ' '));
    EXPECT_EQ(s->text_at(3, 5 + row_of_bob, 74),
              std::to_string(row_of_bob + 1) + "  BOB            A Board With A Long Na    7 $99      0/5" +
                  std::string(16, ' '));
    EXPECT_EQ(s->text_at(3, 7, 74), std::string(74, ' '));  // not the own board
    // The second entry is selected: black on yellow across the row.
    EXPECT_EQ(s->cell(3, 6).bg, 3);
    EXPECT_EQ(s->cell(3, 6).fg, 0);
    EXPECT_EQ(s->cell(76, 6).bg, 3);
    EXPECT_EQ(s->cell(77, 6).bg, 0);
    EXPECT_EQ(s->cell(3, 5).bg, 0);
    EXPECT_EQ(s->text_at(3, 22, 50), "[UP/DOWN] select   [D] delete profile   [ESC] back");
    // The footer as it stood before the main screen drew its own.
    auto first = frames();
    auto list = std::find_if(first.begin(), first.end(),
                             [](const auto& f) { return f->row_text(1).find("ALL SAVED SYSOPS") != std::string::npos; });
    ASSERT_NE(list, first.end());
    EXPECT_NE((*list)->row_text(24).find("Saved profiles live in data/sysop_*.dat"), std::string::npos);
}

TEST_F(config_test, ProfileEditorWithNoOtherBoards)
{
    // Only the sysop's own board is saved, though under another sysop name.
    copy_text(P.sysop_name, "SOMEONE ELSE");
    save_profile();
    door.send_keys("5 q");
    config_menu();
    EXPECT_EQ(boxes(), (std::vector<shown_box>{{"No other sysops", "There are no other saved profiles."}}));
    EXPECT_TRUE(exists(OWN_FILE));
}

TEST_F(config_test, DeletingProfilesMovesTheSelectionAndEndsOnTheMainScreen)
{
    save_other_board("sysop_alice.dat", "ALICE", "A", 1, 1, 0);
    save_other_board("sysop_bob.dat", "BOB", "B", 1, 1, 0);
    save_other_board("sysop_carol.dat", "CAROL", "C", 1, 1, 0);
    const auto files = listed_files();
    ASSERT_EQ(files.size(), 3u);
    const std::string down(testsupport::KEY_DOWN);

    const std::vector<std::string> names = listed_sysops();

    // "n" keeps the file; the last entry deleted while selected moves the
    // selection up to the new last one.
    door.send_keys("5" + down + down + "Dn" + "dyqq");
    config_menu();
    EXPECT_TRUE(exists(files[0]));
    EXPECT_TRUE(exists(files[1]));
    EXPECT_FALSE(exists(files[2]));
    EXPECT_TRUE(exists(OWN_FILE));
    auto after = last_page("ALL SAVED SYSOPS");
    ASSERT_TRUE(after);
    EXPECT_EQ(after->cell(3, 6).bg, 3) << after->dump();
    EXPECT_EQ(after->cell(3, 5).bg, 0);
    EXPECT_EQ(after->text_at(3, 7, 74), std::string(74, ' '));
    EXPECT_EQ(boxes(), (std::vector<shown_box>{{"Delete profile?", names[2]}, {"Delete profile?", names[2]}}));

    // Deleting the rest returns to the main screen.
    door.clear_output();
    door.send_keys("5dydyq");
    config_menu();
    EXPECT_FALSE(exists(files[0]));
    EXPECT_FALSE(exists(files[1]));
    EXPECT_TRUE(exists(OWN_FILE));
}

TEST_F(config_test, DeletionWaitsForTheBoardsLock)
{
    save_other_board("sysop_alice.dat", "ALICE", "A", 1, 1, 0);
    const auto alice_files = listed_files();
    ASSERT_EQ(alice_files.size(), 1u);
    // Another node is in the middle of writing Alice's board.
    int held = open("data/sysop_alice.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    std::atomic<bool> gone_while_locked{false};
    std::thread other_node([&] {
        // Long enough for the deletion to be waiting, well inside its bound.
        std::this_thread::sleep_for(400ms);
        gone_while_locked = !exists("data/sysop_alice.dat");
        close(held);
    });
    door.send_keys("5dyq");
    config_menu();
    other_node.join();
    EXPECT_FALSE(gone_while_locked);
    EXPECT_FALSE(exists("data/sysop_alice.dat"));

}

TEST_F(config_test, ResetKeepsTheSysopNameAndWritesAFreshBoard)
{
    auto played = [] {
        copy_text(P.sysop_name, "ADA L");
        copy_text(P.bbs_name, "Engine Room");
        P.cash = 99999;
        P.day = 77;
        P.turns_per_day = 75;
        P.doors = 0xff;
        save_profile();
    };
    for (const char* declined : {"6n q", "6yn q"}) {
        SCOPED_TRACE(declined);
        played();
        remember_own_file();
        door.send_keys(declined);
        config_menu();
        EXPECT_TRUE(own_file_unchanged());
        EXPECT_EQ(P.cash, 99999);
    }

    played();
    door.clear_output();
    door.send_keys("6yy q");
    config_menu();
    profile fresh{};
    std::swap(fresh, P);
    new_profile();
    copy_text(P.sysop_name, "ADA L");
    std::swap(fresh, P);
    EXPECT_EQ(describe(P), describe(fresh));
    EXPECT_STREQ(P.sysop_name, "ADA L");
    EXPECT_STREQ(P.bbs_name, "Sysop's Haven");
    EXPECT_EQ(saved().cash, 1500);
    EXPECT_EQ(saved().day, 1u);
    EXPECT_STREQ(saved().sysop_name, "ADA L");
    EXPECT_EQ(boxes(), (std::vector<shown_box>{
                           {"Reset BBS?", "Wipe everything and start fresh?"},
                           {"Are you sure?", "This cannot be undone."},
                           {"Reset complete", "Your BBS has been wiped to a fresh start.\n"
                                              "Cash $1500, XT 8088, 300 baud modem."}}));
}

TEST_F(config_test, ExportWritesBothScoreFiles)
{
    copy_text(P.sysop_name, "ADA");
    save_profile();
    hs_record();
    std::remove("data/scores.asc");
    std::remove("data/scores.ans");
    door.send_keys("7 q");
    config_menu();
    EXPECT_NE(testsupport::read_file("data/scores.asc").find("  1 ADA"), std::string::npos);
    EXPECT_NE(testsupport::read_file("data/scores.ans").find("  1 ADA"), std::string::npos);
    EXPECT_EQ(boxes(), (std::vector<shown_box>{{"Exported", "scores.ans + scores.asc\nwritten to data/."}}));
}

TEST_F(config_test, RenameAndPrinterAreReachedFromTheMenu)
{
    copy_text(P.bbs_name, "Old");
    save_profile();
    door.send_keys("1" + backspaces(3) + "new\r 8x1 qq");
    config_menu();
    EXPECT_STREQ(saved().bbs_name, "NEW");
    EXPECT_NE(testsupport::read_file("data/log_day.asc").find("| |  BBS           : NEW"), std::string::npos);
    EXPECT_EQ(boxes(), (std::vector<shown_box>{{"Renamed", "Your BBS goes by a new flag now."},
                                               {"Print complete", "Saved daily log to:\ndata/log_day.ans\n"
                                                                  "data/log_day.asc"}}));
    EXPECT_TRUE(last_page("DOT MATRIX PRINTER"));
    EXPECT_TRUE(last_page("RENAME YOUR BBS"));
}

// Far more boards than rows: the list scrolls, and every board can be
// reached and deleted, the last one too.
TEST_F(config_test, ProfileEditorReachesEveryBoard)
{
    save_profile();
    for (int i = 0; i < 40; ++i) {
        char file[32];
        char sysop[16];
        std::snprintf(file, sizeof file, "sysop_p%02d.dat", i);
        std::snprintf(sysop, sizeof sysop, "P%02d", i);
        save_other_board(file, sysop, "Board", 1, i, 0);
    }
    const auto files = listed_files();
    ASSERT_EQ(files.size(), 40u);
    door.send_keys("5" + downs(45) + "dyqq");
    config_menu();
    EXPECT_FALSE(exists(files[39]));
    for (int i = 0; i < 39; ++i)
        EXPECT_TRUE(exists(files[static_cast<std::size_t>(i)])) << i;

    std::vector<std::unique_ptr<vt::vt_screen>> lists;
    for (auto& s : frames()) {
        if (s->row_text(1).find("ALL SAVED SYSOPS") != std::string::npos)
            lists.push_back(std::move(s));
    }
    ASSERT_GE(lists.size(), 40u);
    const vt::vt_screen& first = *lists[0];
    EXPECT_NE(first.text_at(3, 5, 10).find("P00"), std::string::npos) << first.dump();
    EXPECT_NE(first.text_at(3, 20, 10).find("P15"), std::string::npos);
    // Code page 437 callers see printable look-alikes of the arrow glyphs.
    EXPECT_EQ(first.text_at(69, 21, 6), "v more");
    // At the end: the fortieth board selected on the last row.
    const vt::vt_screen& end = *lists[39];
    EXPECT_EQ(end.text_at(3, 20, 7), "40 P39 ") << end.dump();
    EXPECT_EQ(end.cell(3, 20).bg, 3);
    EXPECT_EQ(end.text_at(3, 5, 7), "25 P24 ");
    EXPECT_EQ(end.text_at(69, 21, 6), "^ more");
    EXPECT_EQ(boxes(), (std::vector<shown_box>{{"Delete profile?", "P39"}}));
}
