// Layer chat/ui, above chat/session beside chat/ircclient (never including it): the terminal interface.
// The full-screen interface of the chat program: the loop that serves the
// startup manager and the chat view, and their drawing.
#pragma once

#include "chat/config/dropfile.h"
#include "chat/config/server_config.h"
#include "chat/ui/terminal.h"

#include <array>
#include <string_view>
#include <cstdint>
#include <termios.h>

struct irc_session;

inline constexpr int INPUT_SIZE = 512;
inline constexpr int FORM_FIELDS = 7;
inline constexpr int HISTORY_LINES = 50;

// The lines sent from the input line, newest last, and where Up/Down are.
struct input_history {
    char lines[HISTORY_LINES][INPUT_SIZE];
    std::int32_t count;          // 0..50
    std::int32_t newest;         // slot of the newest line
    std::int32_t back;           // lines back from the newest being shown; -1 = the line being typed
    char draft[INPUT_SIZE];      // the line being typed, kept while browsing
};

// Tab completion in progress: which word it replaced and the match shown.
struct nick_completion {
    std::int32_t active;         // the last key was a completing Tab
    std::int32_t start;          // byte where the completed word starts
    std::int32_t length;         // bytes of the inserted nick and suffix
    std::int32_t match;          // index among the matches shown last
    char stem[64];               // what was typed before the first Tab
};

struct ui_state {
    std::int32_t bbs_mode;
    std::int32_t alt_screen;
    std::int32_t theme;          // row of themes
    std::int32_t field;          // selected form field, 0..6
    std::int32_t selection;      // selected address-book entry, -1 for none
    std::int32_t startup_mode;   // 1 = startup manager, 0 = chat view
    std::int32_t scroll;         // chat rows above the newest, 0 or more
    std::int32_t scroll_limit;   // the largest useful scroll as last drawn; -1 = not known
    std::int32_t users_shown;
    std::int32_t running;        // 0 ends the loop
    std::int32_t full_redraw;
    std::int32_t input_dirty;
    std::int32_t status_dirty;
    std::int32_t input_length;   // 0..511
    char input[INPUT_SIZE];
    std::int32_t input_cursor;   // byte offset of the cursor in input, 0..input_length
    std::int32_t input_view;     // first byte shown when the line is wider than its field
    input_history history;
    nick_completion completion;
    server_entry settings;       // the connect form
    dropfile_info door;
    termios saved_modes;
    std::int32_t saved_valid;    // saved_modes holds modes to restore
    std::int32_t connecting;     // a connect is under way: the status bar says so
    screen_size size;            // the size the screen was last drawn for
    char notice[320];            // the startup manager's message (a failed connect), "" for none
};

struct theme {
    const char* frame;
    const char* bar;      // title bar, status bar, highlighted rows
    const char* heading;
};

inline constexpr std::array<theme, 3> themes{{
    {"\x1b[38;5;51m", "\x1b[48;5;25m\x1b[38;5;15m", "\x1b[38;5;39m"},
    {"\x1b[38;5;46m", "\x1b[48;5;22m\x1b[38;5;15m", "\x1b[38;5;120m"},
    {"\x1b[38;5;214m", "\x1b[48;5;52m\x1b[38;5;15m", "\x1b[38;5;223m"},
}};

// Clears the state, copies the settings in (in a door without their
// password: a caller never gets a saved one), switches the terminal to raw
// input and the alternate screen with the cursor hidden.
void ui_init(ui_state* ui, const server_entry* settings, int bbs_mode);
// Puts colours, cursor, the normal screen and the terminal modes back.
void ui_shutdown(ui_state* ui);

// Runs the interface until the user quits in the startup manager, /quit is
// given, a terminating signal arrives or the input ends (hang-up).
void ui_run(ui_state* ui, server_config* config, irc_session* s);

// The parts of a frame, composed into g_out; the caller flushes.
void draw_frame(const ui_state* ui);
void draw_chat(ui_state* ui, irc_session* s);
void draw_status(ui_state* ui, irc_session* s);
void draw_startup(ui_state* ui, const server_config* config);

// Key handling of the two screens.
void chat_handle_key(ui_state* ui, irc_session* s, int key);
void startup_handle_key(ui_state* ui, server_config* config, irc_session* s, int key);
// Shows in the manager why the session's last connection failed.
void startup_show_failure(ui_state* ui, irc_session* s);
// The modal editor of the selected form field on the input row.
void startup_edit_field(ui_state* ui);

// The input line's editing (input_line.cpp). An editing key changes the
// line and returns true; any other key returns false.
bool input_edit_key(ui_state* ui, int key);
// Inserts typed text at the cursor, as far as it fits.
void input_insert(ui_state* ui, std::string_view text);
// Tab: completes the nick whose start is before the cursor, or the next
// match on a further Tab. False when there is nothing to complete.
bool input_complete_nick(ui_state* ui, irc_session* s);
// Keeps a sent line in the history and empties the input line.
void input_take_sent(ui_state* ui);
// Brings the cursor into a field of room columns (moving input_view) and
// returns its column in the field, 0 for the first.
int input_fit(ui_state* ui, int room);
// Puts the terminal's cursor where the input line's cursor is.
void place_input_cursor(ui_state* ui);

// The chat view's geometry for a screen size: text width W, visible rows V,
// and the nick list's column (0 without the list).
struct chat_layout {
    int text_width;
    int visible_rows;
    int users_column;
};
chat_layout chat_view_layout(screen_size size, bool users_shown);
