// The dot-matrix printer: the reports' lines, the printing animation frame by
// frame as the caller's terminal showed it at each of its sleeps, and the two
// bulletins byte for byte and as a caller's terminal shows them.
#include "game/tools/printer.h"
#include "game/screen/dialogs.h"
#include "tests/game/shop_fixture.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

namespace {

constexpr std::int64_t PRINT_TIME = 1700000000;  // 2023-11-14 22:13:20 UTC
const std::string SEPARATOR = " " + std::string(44, '-');

class printer_test : public shop_test {
protected:
    printer_test()
    {
        current_ = this;
        g_sleep_hook = [](int ms) { current_->record(ms); };
        g_clock_hook = [] { return clock_now; };
        clock_now = PRINT_TIME;
        const char* tz = std::getenv("TZ");
        saved_tz_ = tz ? tz : "";
        had_tz_ = tz != nullptr;
        setenv("TZ", "UTC", 1);
        tzset();
        set_board(P);
    }
    ~printer_test() override
    {
        current_ = nullptr;
        if (had_tz_)
            setenv("TZ", saved_tz_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

    // A board with a distinct value in every field a report shows.
    static void set_board(profile& p)
    {
        copy_text(p.sysop_name, "ADA");
        copy_text(p.bbs_name, "The Analytical Engine");
        p.day = 12;
        p.cash = 4321;
        p.nodes = 3;
        p.rep = 45;
        p.heat = 17;
        p.fame = 2;
        p.callers_yesterday = 88;
        p.hack_skill = 33;
        p.turns_used = 4;
        p.turns_per_day = 30;
        p.hw_health = 91;
        p.total_callers = 1000;
        p.warez = 250;
        p.doors = 0b1011;
        p.bbs_software = 0b11;
        p.cdroms = 0b101;
        p.protection = 0b1;
        p.peripherals = 0b111;
        p.fido_tier = 2;
        p.inet_tier = 4;
        p.won = 0;
    }

    static std::vector<std::string> report_lines(int kind)
    {
        printer_report r{};
        build_report(kind, r);
        return {r.lines, r.lines + r.count};
    }

    // The terminal as it stood while frame i was shown.
    std::unique_ptr<vt::vt_screen> frame(std::size_t i)
    {
        auto s = std::make_unique<vt::vt_screen>(80, 25);
        s->take_c0_as_controls(true);
        s->feed_cp437(shown_.at(i));
        return s;
    }

    static inline std::int64_t clock_now = PRINT_TIME;
    std::vector<int> sleeps_;

private:
    void record(int ms)
    {
        sleeps_.push_back(ms);
        shown_.push_back(door.history());
    }

    std::vector<std::string> shown_;
    std::string saved_tz_;
    bool had_tz_ = false;
    static inline printer_test* current_ = nullptr;
};

std::vector<std::string> common_lines(const char* heading)
{
    return {std::string(" ** VEXON SIMS - ") + heading + " **",
            SEPARATOR,
            " Sysop         : ADA",
            " BBS           : The Analytical Engine",
            " Days online   : 12",
            " Cash on hand  : $4321",
            " Nodes         : 3",
            " Reputation    : 45 / 100",
            " Heat level    : 17 / 100",
            " Fame stars    : 2 / 5"};
}

std::vector<std::string> joined(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string repeated(unsigned char ch, int n)
{
    return std::string(static_cast<std::size_t>(n), static_cast<char>(ch));
}

// n copies of one UTF-8 glyph, as the terminal reads them back.
std::string glyphs(const std::string& glyph, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += glyph;
    return out;
}

std::string cut46(const std::string& line)
{
    std::string s = line.substr(0, 46);
    return s + std::string(46 - s.size(), ' ');
}

// The bulletins as a board's callers must receive them.
std::string expected_ans(const std::vector<std::string>& lines)
{
    const std::string top = "\xdf";
    std::string f = "\x1b[0m\r\n\x1b[1;36m " + repeated(220, 54) + "\r\n";
    f += " " + top + " o \x1b[0;37m" + std::string(46, ' ') + "\x1b[1;36m o " + top + "\r\n";
    for (const auto& l : lines)
        f += " " + top + "   \x1b[0;37m" + cut46(l) + "\x1b[1;36m   " + top + "\r\n";
    f += " " + top + " o " + std::string(46, ' ') + " o " + top + "\r\n";
    f += " " + repeated(223, 54) + "\x1b[0m\r\n";
    return f;
}

std::string expected_asc(const std::vector<std::string>& lines)
{
    std::string f = "\r\n " + std::string(54, '=') + "\r\n|o|" + std::string(48, ' ') + "|o|\r\n";
    for (const auto& l : lines)
        f += "| | " + cut46(l) + " | |\r\n";
    f += "|o|" + std::string(48, ' ') + "|o|\r\n " + std::string(54, '=') + "\r\n";
    return f;
}

}  // namespace

TEST_F(printer_test, ReportsOfEveryKind)
{
    const std::string printed = " Printed: 2023-11-14 22:13:20";
    struct report_case {
        const char* name;
        int kind;
        std::function<void(profile&)> change;
        std::vector<std::string> lines;  // without the common ten and the closing two
    };
    const report_case cases[] = {
        {"daily", REPORT_DAILY, [](profile&) {},
         {" Callers today : 88", " Hack skill    : 33 / 100", " Turns used    : 4 / 30", " HW health     : 91 %"}},
        {"weekly", REPORT_WEEKLY, [](profile&) {},
         {" Weekly callers  : approx 581", " Avg/day         : 83", " Warez library   : 250 files",
          " Doors installed : 3 / 16"}},
        {"monthly", REPORT_MONTHLY, [](profile&) {},
         {" Monthly callers : approx 2490", " Avg/day         : 83", " FidoNet tier    : FidoNet Node",
          " Internet tier   : Dedicated T1", " CD-ROMs mounted : 2 / 9"}},
        {"all-time", REPORT_ALLTIME, [](profile& p) { p.won = 1; },
         {" Total callers   : 1000", " Warez library   : 250 files", " Hack skill      : 33 / 100",
          " Doors installed : 3 / 16", " BBS software    : 2 / 15", " CD-ROMs mounted : 2 / 9",
          " Protection      : 1 / 10", " Peripherals     : 3 / 6", " FidoNet tier    : FidoNet Node",
          " Internet tier   : Dedicated T1", " Victory         : YES"}},
        {"all-time not won", REPORT_ALLTIME, [](profile&) {},
         {" Total callers   : 1000", " Warez library   : 250 files", " Hack skill      : 33 / 100",
          " Doors installed : 3 / 16", " BBS software    : 2 / 15", " CD-ROMs mounted : 2 / 9",
          " Protection      : 1 / 10", " Peripherals     : 3 / 6", " FidoNet tier    : FidoNet Node",
          " Internet tier   : Dedicated T1", " Victory         : not yet"}},
    };
    const char* headings[] = {"DAILY LOG", "WEEKLY LOG", "MONTHLY LOG", "ALL-TIME LOG"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        set_board(P);
        c.change(P);
        const auto body = joined(common_lines(headings[c.kind]), c.lines);
        EXPECT_EQ(report_lines(c.kind), joined(body, {SEPARATOR, printed}));

        // Without a local time the report ends at the separator.
        clock_now = std::numeric_limits<std::int64_t>::max();
        EXPECT_EQ(report_lines(c.kind), joined(body, {SEPARATOR}));
        clock_now = PRINT_TIME;
    }
}

TEST_F(printer_test, DayZeroAveragesNothing)
{
    P.day = 0;
    const auto weekly = report_lines(REPORT_WEEKLY);
    ASSERT_EQ(weekly.size(), 16u);
    EXPECT_EQ(weekly[4], " Days online   : 0");
    EXPECT_EQ(weekly[10], " Weekly callers  : approx 0");
    EXPECT_EQ(weekly[11], " Avg/day         : 0");
    const auto monthly = report_lines(REPORT_MONTHLY);
    ASSERT_EQ(monthly.size(), 17u);
    EXPECT_EQ(monthly[10], " Monthly callers : approx 0");
    EXPECT_EQ(monthly[11], " Avg/day         : 0");

    // A hand-made file's billion callers in one day: the estimates do not wrap.
    P.day = 1;
    P.total_callers = 1'000'000'000;
    EXPECT_EQ(report_lines(REPORT_WEEKLY)[10], " Weekly callers  : approx 7000000000");
    EXPECT_EQ(report_lines(REPORT_MONTHLY)[10], " Monthly callers : approx 30000000000");
}

TEST_F(printer_test, AnimationRunsTwoFramesALinePlusEighteen)
{
    struct timing_case {
        int kind;
        std::size_t frames;
    };
    for (const auto& c : {timing_case{REPORT_DAILY, 50}, timing_case{REPORT_WEEKLY, 50},
                          timing_case{REPORT_MONTHLY, 52}, timing_case{REPORT_ALLTIME, 64}}) {
        SCOPED_TRACE(c.kind);
        sleeps_.clear();
        door.send_keys(" ");
        print_report(c.kind);
        EXPECT_EQ(sleeps_, std::vector<int>(c.frames, 180));
    }
    EXPECT_EQ(g_footer_diff_mode, 0);
}

TEST_F(printer_test, PaperShowsElevenLinesWhileTheCounterRunsToTheEnd)
{
    door.send_keys(" ");
    print_report(REPORT_ALLTIME);
    const auto lines = report_lines(REPORT_ALLTIME);
    ASSERT_EQ(lines.size(), 23u);
    ASSERT_EQ(sleeps_.size(), 64u);

    for (std::size_t i = 0; i < 64; ++i) {
        SCOPED_TRACE(i);
        auto s = frame(i);
        const std::size_t printed = std::min<std::size_t>(i / 2, 23);
        // The paper: lines 0..10 at most, then blank paper to the bottom edge.
        for (std::size_t n = 0; n < 11; ++n) {
            const std::string want = n < printed ? lines[n] : "";
            std::string shown = s->text_at(13, 11 + static_cast<int>(n), 55);
            shown.erase(shown.find_last_not_of(' ') + 1);
            if (!(n == printed && i % 2 == 0)) {
                EXPECT_EQ(shown, want) << n << "\n" << s->dump();
            }
        }
        EXPECT_EQ(s->text_at(13, 22, 55), std::string(55, ' '));
        if (printed < 23) {
            const std::string counter = "Printing line " + std::to_string(printed + 1) + " of 23...";
            EXPECT_EQ(s->text_at((80 - static_cast<int>(counter.size())) / 2, 4, static_cast<int>(counter.size())),
                      counter);
            EXPECT_EQ(s->cell((80 - static_cast<int>(counter.size())) / 2, 4).fg, 2);
        } else {
            EXPECT_EQ(s->text_at(23, 4, 33), "Print complete - feeding paper...");
        }
        // The print head moves three columns a frame.
        const int head = 17 + static_cast<int>((3 * i) % 45);
        EXPECT_EQ(s->text_at(head, 7, 2), "██");
        EXPECT_EQ(s->cell(head, 7).fg, 1);
    }

    // The cursor blinks after the line being printed, on even frames only.
    auto even = frame(6);
    const int end_of_line3 = 13 + static_cast<int>(lines[3].size());
    EXPECT_EQ(even->text_at(end_of_line3, 14, 1), "_");
    EXPECT_EQ(even->cell(end_of_line3, 14).fg, 1);
    EXPECT_EQ(frame(7)->text_at(end_of_line3, 14, 1), " ");
    // Past the paper's last row there is no cursor to show.
    EXPECT_EQ(frame(30)->find_row("_"), -1);
}

TEST_F(printer_test, FrameShowsThePrinterAndThePaper)
{
    door.send_keys(" ");
    print_report(REPORT_DAILY);
    auto s = frame(9);
    EXPECT_NE(s->row_text(0).find("[Dot Matrix Printer]"), std::string::npos) << s->dump();
    EXPECT_NE(s->row_text(1).find("╡ DOT MATRIX PRINTER - OKI 320 ╞"), std::string::npos);
    const std::string heading = "Printing DAILY log for ADA...";
    EXPECT_EQ(s->text_at((80 - 29) / 2, 3, 29), heading);
    EXPECT_EQ(s->cell((80 - 29) / 2, 3).fg, 6);
    EXPECT_EQ(s->text_at(14, 5, 2), "╔═");
    EXPECT_EQ(s->text_at(31, 6, 17), "OKI MICROLINE 320");
    EXPECT_EQ(s->cell(31, 6).bg, 7);
    EXPECT_EQ(s->text_at(16, 8, 48), glyphs("▄", 48));
    EXPECT_EQ(s->text_at(10, 10, 60), "▌ " + std::string(56, '.') + " ▐");
    EXPECT_EQ(s->text_at(10, 11, 2), "▌o");
    EXPECT_EQ(s->text_at(68, 11, 2), "o▐");
    EXPECT_EQ(s->text_at(10, 12, 2), "▌ ");
    EXPECT_EQ(s->cell(13, 11).fg, 0);
    EXPECT_EQ(s->cell(13, 11).bg, 7);
    EXPECT_FALSE(s->cell(13, 11).bold);
    EXPECT_NE(s->row_text(24).find("Dot matrix printer making a hard copy."), std::string::npos);
}

TEST_F(printer_test, BulletinsByteForByte)
{
    // A 31-character name makes line 2 47 characters long: both files cut it to 46.
    copy_text(P.sysop_name, "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234");
    struct file_case {
        int kind;
        const char* part;
        const char* word;
    };
    for (const auto& c : {file_case{REPORT_DAILY, "day", "daily"}, file_case{REPORT_WEEKLY, "week", "weekly"},
                          file_case{REPORT_MONTHLY, "month", "monthly"},
                          file_case{REPORT_ALLTIME, "alltime", "all-time"}}) {
        SCOPED_TRACE(c.part);
        door.clear_output();
        door.send_keys(" ");
        print_report(c.kind);
        const auto lines = report_lines(c.kind);
        ASSERT_EQ(lines[2].size(), 47u);
        const std::string stem = std::string("data/log_") + c.part;
        EXPECT_EQ(testsupport::read_file(stem + ".ans"), expected_ans(lines));
        EXPECT_EQ(testsupport::read_file(stem + ".asc"), expected_asc(lines));
        EXPECT_EQ(boxes(), (std::vector<shown_box>{
                               {"Print complete", std::string("Saved ") + c.word + " log to:\ndata/" +
                                                      stem.substr(5) + ".ans\ndata/" + stem.substr(5) + ".asc"}}));
    }
}

TEST_F(printer_test, BulletinsReadBackAsTheReportsOnACallersTerminal)
{
    struct kind_case {
        int kind;
        const char* file;
    };
    for (const auto& c : {kind_case{REPORT_DAILY, "data/log_day.ans"}, kind_case{REPORT_WEEKLY, "data/log_week.ans"},
                          kind_case{REPORT_MONTHLY, "data/log_month.ans"},
                          kind_case{REPORT_ALLTIME, "data/log_alltime.ans"}}) {
        SCOPED_TRACE(c.file);
        door.send_keys(" ");
        print_report(c.kind);
        const auto lines = report_lines(c.kind);
        const int n_lines = static_cast<int>(lines.size());
        vt::vt_screen s(80, 40);
        s.feed_cp437(testsupport::read_file(c.file));
        EXPECT_EQ(s.row_text(0), "");
        EXPECT_EQ(s.row_text(1), " " + glyphs("▄", 54));
        EXPECT_EQ(s.row_text(2), " ▀ o " + std::string(46, ' ') + " o ▀");
        for (int n = 0; n < n_lines; ++n) {
            const int y = 3 + n;
            EXPECT_EQ(s.row_text(y), " ▀   " + cut46(lines[static_cast<std::size_t>(n)]) + "   ▀") << s.dump();
            EXPECT_EQ(s.cell(5, y).fg, 7);
            EXPECT_FALSE(s.cell(5, y).bold);
            EXPECT_EQ(s.cell(54, y).fg, 6);
            EXPECT_TRUE(s.cell(54, y).bold);
        }
        EXPECT_EQ(s.row_text(3 + n_lines), " ▀ o " + std::string(46, ' ') + " o ▀");
        EXPECT_EQ(s.cell(1, 3 + n_lines).fg, 6);
        EXPECT_EQ(s.row_text(4 + n_lines), " " + glyphs("▀", 54));
        EXPECT_EQ(s.row_text(5 + n_lines), "");
    }
}

TEST_F(printer_test, ControlBytesInNamesReachTheBulletinsAsQuestionMarks)
{
    copy_text(P.sysop_name, "EVIL\x1b[2J\x07");
    copy_text(P.bbs_name, "Board\x7f\x01");
    door.send_keys(" ");
    print_report(REPORT_DAILY);
    const auto lines = report_lines(REPORT_DAILY);
    EXPECT_EQ(lines[2], " Sysop         : EVIL?[2J?");
    EXPECT_EQ(lines[3], " BBS           : Board??");
    for (const char* path : {"data/log_day.ans", "data/log_day.asc"}) {
        const std::string file = testsupport::read_file(path);
        EXPECT_NE(file.find("EVIL?[2J?"), std::string::npos) << path;
        EXPECT_EQ(file.find('\x07'), std::string::npos) << path;
        EXPECT_EQ(file.find('\x7f'), std::string::npos) << path;
        EXPECT_EQ(file.find("\x1b[2J"), std::string::npos) << path;
    }
}

TEST_F(printer_test, MenuPrintsTheChosenKindAndLeavesOnEscOrQ)
{
    door.send_keys("x2 q");
    dot_matrix_menu();
    EXPECT_NE(testsupport::read_file("data/log_week.asc").find("WEEKLY LOG"), std::string::npos);
    EXPECT_EQ(testsupport::read_file("data/log_day.asc"), "");
    EXPECT_EQ(sleeps_.size(), 50u);

    auto menu = last_page("DOT MATRIX PRINTER");
    ASSERT_TRUE(menu);
    EXPECT_NE(menu->row_text(0).find("[Dot Matrix Printer]"), std::string::npos);
    EXPECT_EQ(menu->text_at(14, 3, 51), "Pick a report to print.  Each writes an .ans + .asc");
    EXPECT_EQ(menu->cell(14, 3).fg, 6);
    EXPECT_EQ(menu->text_at(19, 4, 42), "to data/ that you can display on your BBS.");
    EXPECT_EQ(menu->text_at(25, 8, 32), "[1] Daily Log     -> log_day.ans");
    EXPECT_EQ(menu->text_at(25, 9, 33), "[2] Weekly Log    -> log_week.ans");
    EXPECT_EQ(menu->text_at(25, 10, 34), "[3] Monthly Log   -> log_month.ans");
    EXPECT_EQ(menu->text_at(25, 11, 36), "[4] All-time Log  -> log_alltime.ans");
    EXPECT_EQ(menu->cell(25, 11).fg, 7);
    EXPECT_EQ(menu->text_at(25, 14, 10), "[ESC] Back");
    EXPECT_EQ(menu->cell(25, 14).fg, 3);
    EXPECT_NE(menu->row_text(24).find("Animation runs ~8 seconds."), std::string::npos);

    door.send_keys("Q");
    dot_matrix_menu();
    door.send_keys_after(std::chrono::milliseconds(200), "\x1b");
    dot_matrix_menu();
    EXPECT_EQ(sleeps_.size(), 50u);
}

TEST_F(printer_test, BulletinsAreReplacedWholeNeverRewrittenInPlace)
{
    door.send_keys(" ");
    print_report(REPORT_DAILY);
    // A caller's door still reading the old bulletin holds the old file.
    ASSERT_EQ(link("data/log_day.asc", "data/reading.asc"), 0);
    ASSERT_EQ(link("data/log_day.ans", "data/reading.ans"), 0);
    const std::string old_asc = testsupport::read_file("data/log_day.asc");
    const std::string old_ans = testsupport::read_file("data/log_day.ans");

    P.cash = 777;
    door.send_keys(" ");
    print_report(REPORT_DAILY);
    EXPECT_EQ(testsupport::read_file("data/reading.asc"), old_asc);
    EXPECT_EQ(testsupport::read_file("data/reading.ans"), old_ans);
    EXPECT_NE(testsupport::read_file("data/log_day.asc").find("Cash on hand  : $777"), std::string::npos);
    EXPECT_NE(testsupport::read_file("data/log_day.ans").find("Cash on hand  : $777"), std::string::npos);
}
