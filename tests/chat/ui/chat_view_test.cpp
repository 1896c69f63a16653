// The chat view drawn from a session record onto a terminal emulator: which
// wrapped rows are kept and shown, where scrolling stops, and the input
// line's limits.
#include "chat/session/irc_session.h"
#include "chat/session/session_internal.h"
#include "chat/ui/keys.h"
#include "chat/ui/screen_out.h"
#include "chat/ui/ui.h"
#include "tests/support/vt_screen.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

std::string g_written;

void keep(std::string_view bytes)
{
    g_written.append(bytes);
}

class ChatViewDraw : public ::testing::Test {
protected:
    std::unique_ptr<irc_session> session = std::make_unique<irc_session>();
    ui_state ui{};
    vt::vt_screen screen{80, 24};

    void SetUp() override
    {
        irc_init(session.get());
        ui.size = {24, 80};
        ui.users_shown = 0;  // text width 75
        g_out.sink = keep;
    }
    void TearDown() override { g_out.sink = write_to_stdout; }

    void draw()
    {
        g_written.clear();
        draw_chat(&ui, session.get());
        g_out.flush();
        screen.feed(g_written);
    }
    // Text of chat row r (0 = the top of the pane), after the prefix.
    std::string row_text(int r) { return screen.text_at(2, 2 + r, 75); }

    // A line whose text wraps into exactly three rows of 60 columns beside
    // the prefix "[hh:mm:ss] <n> ", each row starting with its mark.
    void add_three_row_line(int number)
    {
        char text[200];
        std::snprintf(text, sizeof text, "A%04d%s" "B%04d%s" "C%04d%s", number, std::string(55, 'x').c_str(), number,
                      std::string(55, 'y').c_str(), number, std::string(55, 'z').c_str());
        irc_add_line(session.get(), "n", text, LINE_USER);
    }
};

TEST_F(ChatViewDraw, NewestRowsAtTheBottom)
{
    for (int i = 0; i < 10; ++i) {
        add_three_row_line(i);
    }
    draw();
    EXPECT_EQ(row_text(17).substr(15, 5), "C0009") << screen.dump();
    EXPECT_EQ(row_text(0).substr(15, 5), "A0004");
    EXPECT_NE(row_text(0).find("<n> A0004"), std::string::npos) << "a line's first row carries the prefix";
    EXPECT_EQ(row_text(1).substr(0, 20), std::string(15, ' ') + "B0004") << "later rows are indented";
}

TEST_F(ChatViewDraw, ScrollingPastTheTopStopsAtTheOldestKeptRow)
{
    for (int i = 0; i < SCROLLBACK_LINES; ++i) {
        add_three_row_line(i);
    }
    // 3600 rows; the newest 2048 are kept: 682 whole lines and the last two
    // rows of line 517.
    ui.scroll = 100000;
    draw();
    EXPECT_EQ(row_text(0).substr(15, 5), "B0517") << screen.dump();
    EXPECT_EQ(ui.scroll, 2048 - 18) << "the offset is brought back to the top";
    for (int i = 0; i < 10; ++i) {
        chat_handle_key(&ui, session.get(), KEY_PGUP);
    }
    chat_handle_key(&ui, session.get(), KEY_PGDN);
    draw();
    EXPECT_EQ(row_text(0).substr(15, 5), "A0519") << "PgDn after more PgUps moves the view at once";
}

TEST_F(ChatViewDraw, FewLinesStartAtTheTopUnderTheHeading)
{
    draw();
    EXPECT_EQ(row_text(0).substr(0, 4), "CHAT");
    irc_add_line(session.get(), "*", "hello", LINE_SYSTEM);
    draw();
    EXPECT_NE(row_text(0).find("] * hello"), std::string::npos) << "the first row covers the heading";
    EXPECT_EQ(row_text(1), std::string(75, ' '));
}

TEST_F(ChatViewDraw, DrawingClearsTheSessionsDirtyFlags)
{
    irc_add_line(session.get(), "*", "x", LINE_SYSTEM);
    ASSERT_EQ(session->lines_dirty, 1);
    draw();
    EXPECT_EQ(session->lines_dirty, 0);
    EXPECT_EQ(session->users_dirty, 0);
}

TEST_F(ChatViewDraw, PrivateLinesStandOutAndOtherChannelsAreNamed)
{
    {
        const auto guard = irc_lock(session.get());
        std::strcpy(session->channel, "#c");
        add_channel_line_locked(session.get(), "#c", "bob", "hi", LINE_USER);
        add_channel_line_locked(session.get(), "#other", "bob", "yo", LINE_USER);
        add_line_locked(session.get(), "bob", "psst", LINE_PRIVATE);
        add_line_locked(session.get(), "bob", "back", LINE_PRIVATE_SENT);
        add_line_locked(session.get(), "bob", "note", LINE_NOTICE);
    }
    draw();
    const auto after_time = [&](int r) { return row_text(r).substr(11, 20); };
    EXPECT_EQ(after_time(0), "<bob> hi            ") << screen.dump();
    EXPECT_EQ(after_time(1), "#other <bob> yo     ");
    EXPECT_EQ(after_time(2), "*bob* psst          ");
    EXPECT_EQ(after_time(3), "-> *bob* back       ");
    EXPECT_EQ(after_time(4), "-bob- note          ");
    const int private_colour = screen.cell(2 + 11, 2 + 2).fg;
    EXPECT_NE(private_colour, screen.cell(2 + 11, 2 + 0).fg) << "a whisper does not look like channel text";
    EXPECT_EQ(screen.cell(2 + 17, 2 + 2).fg, private_colour) << "its text too";
    EXPECT_EQ(screen.cell(2 + 11, 2 + 3).fg, private_colour);
    EXPECT_NE(screen.cell(2 + 11, 2 + 4).fg, private_colour);
    EXPECT_EQ(screen.cell(2 + 11, 2 + 5).fg, screen.cell(2 + 11, 2 + 0).fg) << "the colour ends with the line";

    std::strcpy(session->channel, "#other");
    draw();
    EXPECT_EQ(after_time(0), "#c <bob> hi         ") << "labels follow the current channel";
    EXPECT_EQ(after_time(1), "<bob> yo            ");
}

TEST(ChatKeys, InputHoldsAtMost511CharactersAndBackspaceOnEmptyDoesNothing)
{
    auto session = std::make_unique<irc_session>();
    irc_init(session.get());
    ui_state ui{};
    chat_handle_key(&ui, session.get(), KEY_BACKSPACE);
    EXPECT_EQ(ui.input_length, 0);
    for (int i = 0; i < 600; ++i) {
        chat_handle_key(&ui, session.get(), 'a' + i % 26);
    }
    EXPECT_EQ(ui.input_length, 511);
    EXPECT_EQ(std::string(ui.input).size(), 511u);
    chat_handle_key(&ui, session.get(), 0x02);  // control bytes are never typed in
    chat_handle_key(&ui, session.get(), KEY_BACKSPACE);
    EXPECT_EQ(ui.input_length, 510);
    chat_handle_key(&ui, session.get(), KEY_ENTER);  // not connected: nothing sent, input cleared
    EXPECT_EQ(ui.input_length, 0);
    EXPECT_EQ(ui.input[0], '\0');
}

}  // namespace

namespace {

// Lines held back by the send pace are counted on the status bar, and the
// bar says nothing of them when none wait.
TEST_F(ChatViewDraw, StatusBarCountsTheLinesWaitingToBeSent)
{
    session->connected = 1;
    for (int i = 0; i < 12; ++i) {
        ASSERT_TRUE(pacer_hold(&session->pacer, "PRIVMSG #c :x\r\n", 15));
    }
    g_written.clear();
    draw_status(&ui, session.get());
    g_out.flush();
    screen.feed(g_written);
    EXPECT_GE(screen.find_row("\u2551 CONNECTED, 12 to send \u2551"), 0) << screen.dump();

    pacer_reset(&session->pacer);
    g_written.clear();
    draw_status(&ui, session.get());
    g_out.flush();
    screen.feed(g_written);
    EXPECT_GE(screen.find_row("\u2551 CONNECTED \u2551"), 0) << screen.dump();
}

}  // namespace
