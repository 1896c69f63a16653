// The startup manager of the real ircdoor in a terminal: its layout, the
// form's editing rules, the address book's save, delete and load, themes,
// leaving, and the door modes. No server is needed.
#include "tests/e2e/chat_e2e.h"

#include <gmock/gmock.h>

#include <signal.h>

#include <string>

namespace {

using namespace chat_e2e;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr const char* TITLE = " Vexon IRC Client 6.0 \u2551 Startup Manager \u2551 GUI + BBS Door Mode";
constexpr const char* HINTS =
    "Enter edit \u2551 L load \u2551 Space toggle TLS \u2551 C connect \u2551 T theme \u2551 A save \u2551 D delete "
    "\u2551 Esc quit";
constexpr const char* NORMAL_MODE =
    "Normal terminal mode. For BBS: run with --bbs or place DOOR.SYS / DOOR32.SYS in working dir.";

// Screen row of form field i (0-based rows).
int field_row(int field)
{
    return 4 + 2 * field;
}

std::string trimmed(std::string s)
{
    while (!s.empty() && s.back() == ' ') {
        s.pop_back();
    }
    return s;
}

// Up to the first '|' of a configuration line.
std::string label_of(const std::string& line)
{
    return line.substr(0, line.find('|'));
}

class StartupLayout : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(StartupLayout, ShowsFormAddressBookHintsAndModeLine)
{
    const auto [cols, rows] = GetParam();
    ircdoor_run run(cols, rows);
    ASSERT_TRUE(run.wait_for("ADDRESS BOOK")) << run.screen().dump();
    ASSERT_TRUE(run.wait_for("OFFLINE")) << run.screen().dump();
    const int divider = cols / 2 - 1;  // 0-based column of the divider
    auto& screen = run.screen();

    EXPECT_THAT(run.row(0), StartsWith(TITLE));
    EXPECT_EQ(screen.cell(cols - 1, 0).bg, 25) << "title bar fills the width";
    EXPECT_EQ(screen.text_at(0, 1, 1), "\u2554");
    EXPECT_EQ(screen.text_at(divider, 1, 1), "\u2566");
    EXPECT_EQ(screen.text_at(cols - 1, 1, 1), "\u2557");
    EXPECT_EQ(screen.text_at(divider, 10, 1), "\u2551");
    EXPECT_EQ(screen.cell(0, 1).fg, 51);

    EXPECT_EQ(screen.text_at(2, 2, 12), "CONNECT FORM");
    EXPECT_EQ(screen.cell(2, 2).fg, 39);
    const std::vector<std::string> defaults = file_lines(config_path(run.dir));
    ASSERT_EQ(defaults.size(), 2u);
    const char* names[] = {"Label", "Server", "Port", "Nick", "Channel", "TLS", "Password"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(trimmed(screen.text_at(2, field_row(i), 8)), names[i]);
    }
    EXPECT_EQ(screen.cell(2, field_row(0)).bg, 25) << "the selected field is highlighted";
    EXPECT_EQ(screen.cell(2, field_row(1)).bg, -1);
    const int value_width = cols / 2 - 14;
    EXPECT_EQ(trimmed(screen.text_at(10, field_row(0), value_width)), label_of(defaults[0]));
    EXPECT_EQ(trimmed(screen.text_at(10, field_row(2), value_width)), "7000");
    EXPECT_EQ(trimmed(screen.text_at(10, field_row(3), value_width)), "Tarnwick");
    EXPECT_EQ(trimmed(screen.text_at(10, field_row(4), value_width)), "#lobby");
    EXPECT_EQ(trimmed(screen.text_at(10, field_row(5), value_width)), "Yes");
    EXPECT_EQ(trimmed(screen.text_at(10, field_row(6), value_width)), "(none \u2014 SASL disabled)");
    EXPECT_EQ(screen.cell(10, field_row(0)).fg, 39);

    EXPECT_EQ(screen.text_at(divider + 2, 2, 12), "ADDRESS BOOK");
    const int book_width = cols - cols / 2 - 3;
    EXPECT_THAT(screen.text_at(divider + 2, 4, book_width), StartsWith("1. Bottomless MRC     "));
    EXPECT_THAT(screen.text_at(divider + 2, 5, book_width), StartsWith("2. Libera             "));
    EXPECT_EQ(screen.cell(divider + 2 + book_width - 1, 4).bg, 25) << "selected entry highlighted to the end";
    EXPECT_EQ(screen.cell(divider + 2, 5).bg, -1);

    const std::string hints = trimmed(screen.text_at(2, rows - 4, cols - 4));
    EXPECT_THAT(hints, StartsWith("Enter edit \u2551 L load"));
    EXPECT_THAT(std::string(HINTS), StartsWith(hints)) << "cut to the width, never garbled";
    EXPECT_EQ(trimmed(screen.text_at(1, rows - 1, cols - 2)), std::string(NORMAL_MODE).substr(0, static_cast<std::size_t>(cols - 2)));
    EXPECT_THAT(run.row(rows - 3), HasSubstr("\u2551 #lobby \u2551 @Tarnwick \u2551 OFFLINE \u2551"));
    EXPECT_EQ(screen.cell(cols - 1, rows - 3).bg, 25) << "status bar fills the width";
    EXPECT_EQ(run.row(rows - 2), ">");
    EXPECT_FALSE(screen.cursor_visible());
    EXPECT_TRUE(screen.alt_screen());
}

INSTANTIATE_TEST_SUITE_P(Sizes, StartupLayout, ::testing::Values(std::pair{80, 24}, std::pair{132, 40}),
                         [](const auto& p) {
                             return std::to_string(p.param.first) + "x" + std::to_string(p.param.second);
                         });

class Startup : public ::testing::Test {
protected:
    ircdoor_run run{80, 24};
    void SetUp() override { ASSERT_TRUE(run.wait_for("OFFLINE")) << run.screen().dump(); }

    std::string field_value(int field) { return trimmed(run.screen().text_at(10, field_row(field), 26)); }
    bool wait_field(int field, const std::string& value)
    {
        return run.wait_until([&] { return field_value(field) == value; });
    }
    // Opens the editor on the selected field, clears it and types text.
    void edit(const std::string& text)
    {
        run.send("\r");
        ASSERT_TRUE(run.wait_until([&] { return run.row(22).find(": ") != std::string::npos; }))
            << run.screen().dump();
        run.send(std::string(130, '\x7f'));
        run.send(text);
        run.send("\r");
    }
};

TEST_F(Startup, PortWithoutDigitsBecomesZero)
{
    run.send("jj");
    edit("abc");
    EXPECT_TRUE(wait_field(2, "0")) << run.screen().dump();
    run.send("\r");
    ASSERT_TRUE(run.wait_for("Port: 0"));
    run.send(std::string(5, '\x7f') + "6697x1\r");
    EXPECT_TRUE(wait_field(2, "6697")) << "leading digits count";
}

TEST_F(Startup, LongLabelKeepsSixtyThreeBytesAndSavingTwiceKeepsOneEntry)
{
    edit(std::string(100, 'L'));
    ASSERT_TRUE(wait_field(0, std::string(26, 'L'))) << run.screen().dump();
    run.send("a");
    ASSERT_TRUE(run.wait_until([&] { return file_lines(config_path(run.dir)).size() == 3; }))
        << run.config();
    run.send("a");
    run.send("jjjjjj");  // a later key shows the second save was handled
    ASSERT_TRUE(run.wait_until([&] { return run.screen().cell(2, field_row(6)).bg == 25; }));
    const auto lines = file_lines(config_path(run.dir));
    ASSERT_EQ(lines.size(), 3u) << run.config();
    EXPECT_EQ(label_of(lines[2]), std::string(63, 'L'));
    EXPECT_TRUE(run.row_shows(6, "3. " + std::string(18, 'L'))) << run.screen().dump();
}

TEST_F(Startup, DeletingAsksFirst)
{
    for (const char* answer : {"n", "\x1b", "\r"}) {
        run.send("d");
        ASSERT_TRUE(run.row_shows(22, "Delete \"Bottomless MRC\"? (Y/N)")) << run.screen().dump();
        run.send(answer);
        ASSERT_TRUE(run.wait_until([&] { return run.row(22) == ">"; })) << run.screen().dump();
    }
    run.send("t");   // a later key shows the answers were handled
    ASSERT_TRUE(run.wait_until([&] { return run.screen().cell(0, 0).bg == 22; }));
    EXPECT_EQ(file_lines(config_path(run.dir)).size(), 2u) << run.config();
    run.send("dY");
    EXPECT_TRUE(run.wait_until([&] { return file_lines(config_path(run.dir)).size() == 1; })) << run.config();
}

TEST_F(Startup, APasswordStaysWithItsServer)
{
    const auto type_password = [&](const std::string& text) {
        run.send("\r");
        ASSERT_TRUE(run.row_shows(22, "Password:")) << run.screen().dump();
        run.send(text + "\r");
    };
    run.send("jjjjjj");
    type_password("s3cret");
    ASSERT_TRUE(wait_field(6, "******")) << run.screen().dump();
    run.send("a");
    ASSERT_TRUE(run.wait_until([&] { return run.config().find("|s3cret\n") != std::string::npos; })) << run.config();
    run.send("kkkkk");   // the server
    edit("irc.elsewhere.example");
    ASSERT_TRUE(wait_field(6, "(none \u2014 SASL disabled)")) << run.screen().dump();
    run.send("a");
    ASSERT_TRUE(run.wait_until([&] { return run.config().find("irc.elsewhere.example") != std::string::npos; }));
    EXPECT_EQ(run.config().find("s3cret"), std::string::npos) << run.config();
    // Typed again, it is kept with the new server.
    run.send("jjjjj");
    type_password("n3w");
    run.send("a");
    EXPECT_TRUE(run.wait_until([&] { return run.config().find("irc.elsewhere.example|7000|Tarnwick|#lobby|1|n3w\n") != std::string::npos; }))
        << run.config();
}

TEST_F(Startup, DeletingTheLastEntryMovesTheSelectionUp)
{
    run.send("n");
    ASSERT_TRUE(run.wait_until([&] { return run.screen().cell(41, 5).bg == 25; }));
    run.send("dy");
    ASSERT_TRUE(run.wait_until([&] { return file_lines(config_path(run.dir)).size() == 1; })) << run.config();
    ASSERT_TRUE(run.wait_until([&] { return run.screen().cell(41, 4).bg == 25; })) << run.screen().dump();
    EXPECT_EQ(trimmed(run.screen().text_at(41, 5, 37)), "");
    EXPECT_EQ(label_of(file_lines(config_path(run.dir))[0]), "Bottomless MRC");
    run.send("l");  // loading the selected entry still works
    run.send("dy");
    ASSERT_TRUE(run.wait_until([&] { return file_lines(config_path(run.dir)).empty(); })) << run.config();
    run.send("dl");  // an empty book: nothing to delete or load
    run.send("q");
    EXPECT_EQ(run.process->wait_exit(), 0);
}

TEST_F(Startup, SpaceAndEnterOnTheFormFields)
{
    run.send("j ");  // Space on the Server field does nothing
    run.send("jjjj\r");
    ASSERT_TRUE(wait_field(5, "No")) << run.screen().dump();
    EXPECT_TRUE(run.wait_until([&] { return run.row(22) == ">"; })) << "no editor was opened";
    run.send(" ");
    EXPECT_TRUE(wait_field(5, "Yes"));
    run.send("j ");  // Space on the password edits it
    ASSERT_TRUE(run.wait_for("Password: ")) << run.screen().dump();
    run.send("s3cret\r");
    EXPECT_TRUE(wait_field(6, "******")) << run.screen().dump();
}

TEST_F(Startup, ThemeCycles)
{
    const int bars[] = {22, 52, 4, 25};   // the last is the 16-colour one: blue
    for (const int bar : bars) {
        run.send("t");
        EXPECT_TRUE(run.wait_until([&] { return run.screen().cell(0, 0).bg == bar; })) << bar;
    }
}

TEST_F(Startup, EscQuitsAndRestoresTheTerminal)
{
    std::remove(config_path(run.dir).c_str());
    run.send("\x1b");
    EXPECT_EQ(run.process->wait_exit(10000ms), 0);
    EXPECT_FALSE(run.screen().alt_screen());
    EXPECT_TRUE(run.screen().cursor_visible());
    EXPECT_EQ(file_lines(config_path(run.dir)).size(), 2u) << "written at exit";
}

class Signals : public ::testing::TestWithParam<int> {};

TEST_P(Signals, ShutDownInOrder)
{
    ircdoor_run run(80, 24);
    ASSERT_TRUE(run.wait_for("OFFLINE"));
    std::remove(config_path(run.dir).c_str());
    ::kill(run.process->pid(), GetParam());
    EXPECT_EQ(run.process->wait_exit(10000ms), 0);
    EXPECT_FALSE(run.screen().alt_screen());
    EXPECT_TRUE(run.screen().cursor_visible());
    EXPECT_EQ(file_lines(config_path(run.dir)).size(), 2u) << "written at exit";
}

INSTANTIATE_TEST_SUITE_P(Terminating, Signals, ::testing::Values(SIGTERM, SIGHUP, SIGINT),
                         [](const auto& p) { return std::string(sigabbrev_np(p.param)); });

// A terminal nobody reads any more (a bridge that stalled): frames cannot go
// out, and a signal still ends the program at once.
class StuckTerminal : public ::testing::TestWithParam<int> {};

TEST_P(StuckTerminal, ASignalEndsTheProgramAtOnce)
{
    ircdoor_run run(80, 24);
    ASSERT_TRUE(run.wait_for("OFFLINE"));
    // Huge frames, one per new size, until the terminal's buffer is full.
    for (int i = 0; i < 6; ++i) {
        run.process->report_size(1000 - i, 500);
        EXPECT_FALSE(run.process->wait_exit_unread(200ms).has_value());
    }
    const auto start = std::chrono::steady_clock::now();
    ::kill(run.process->pid(), GetParam());
    EXPECT_EQ(run.process->wait_exit_unread(10000ms), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3000ms);
}

INSTANTIATE_TEST_SUITE_P(Terminating, StuckTerminal, ::testing::Values(SIGTERM, SIGHUP),
                         [](const auto& p) { return std::string(sigabbrev_np(p.param)); });

TEST_F(Startup, ResizeRedrawsAtTheNewSize)
{
    run.process->resize(100, 30);
    EXPECT_TRUE(run.wait_until([&] { return run.screen().text_at(99, 1, 1) == "\u2557"; }))
        << run.screen().dump();
    EXPECT_TRUE(run.wait_until([&] { return run.screen().text_at(49, 1, 1) == "\u2566"; }));
    EXPECT_EQ(run.screen().cell(99, 0).bg, 25);
    EXPECT_TRUE(run.row_shows(27, "OFFLINE")) << run.screen().dump();
}

TEST(StartupBook, ManyEntriesScrollToKeepTheSelectionInView)
{
    auto run = ircdoor_run::after([](const testsupport::temp_dir& d) {
        std::string text;
        for (int i = 1; i <= 40; ++i) {
            char line[80];
            std::snprintf(line, sizeof line, "E%02d|host%02d.example|6667|n%02d|#c|0|\n", i, i, i);
            text += line;
        }
        testsupport::write_file(config_path(d), text);
    });
    ASSERT_TRUE(run->wait_for("ADDRESS BOOK"));
    ASSERT_TRUE(run->wait_for("16. E16"));
    EXPECT_FALSE(run->screen().contains("17. E17")) << "rows 5 to 20 hold sixteen entries";
    run->send(std::string(20, 'n'));
    ASSERT_TRUE(run->wait_for("21. E21")) << run->screen().dump();
    const int row = run->screen().find_row("21. E21");
    EXPECT_EQ(run->screen().cell(41, row).bg, 25);
    run->send("l");
    EXPECT_TRUE(run->wait_until([&] { return run->screen().text_at(10, field_row(0), 3) == "E21"; }));
}

}  // namespace
