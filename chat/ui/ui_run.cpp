// The interface loop: terminal set-up and restore, the frame, and the round
// of redraw, key and dispatch shared by the startup manager and the chat view.
#include "chat/config/text_util.h"
#include "chat/session/irc_session.h"
#include "chat/ui/display_text.h"
#include "chat/ui/keys.h"
#include "chat/ui/screen_out.h"
#include "chat/ui/ui.h"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

constexpr int ROUND_PAUSE_MS = 15;
// Keys already read are handled in one round, up to this many, so a paste
// does not trickle in one key per redraw.
constexpr int KEYS_PER_ROUND = 64;

constexpr const char* TITLE_STARTUP = " Vexon IRC Client 6.0 \u2551 Startup Manager \u2551 GUI + BBS Door Mode ";
constexpr const char* TITLE_CHAT = " Vexon IRC Client 6.0 \u2551 Chat View ";

void put_repeated(const char* text, int count)
{
    for (int i = 0; i < count; ++i) {
        g_out.put(text);
    }
}

// A horizontal edge of the frame: left corner, a line, the junction at the
// divider (0 = none), the line again, the right corner.
void draw_edge(int row, int columns, int divider, const char* left, const char* junction, const char* right)
{
    g_out.move(row, 1);
    g_out.put(left);
    if (divider > 1) {
        put_repeated("\u2550", divider - 2);
        g_out.put(junction);
        put_repeated("\u2550", columns - divider - 1);
    } else {
        put_repeated("\u2550", columns - 2);
    }
    g_out.put(right);
}

int frame_divider(const ui_state* ui)
{
    if (ui->startup_mode) {
        return ui->size.columns / 2;
    }
    return ui->users_shown ? ui->size.columns - 22 : 0;
}

// A connect runs on the interface thread, where the key reader cannot see
// the caller hang up: it gives up when a signal asks the program to end or
// the input has hung up.
bool connect_should_stop()
{
    return ui_stop_requested() || ui_input_hung_up();
}

// A connection the server ended before letting us in (a refused
// registration) takes the caller back to the manager, which says why.
void return_if_refused(ui_state* ui, irc_session* s)
{
    {
        auto lock = irc_lock(s);
        if (s->connected != 0 || s->connect_error[0] == '\0') {
            return;
        }
    }
    startup_show_failure(ui, s);
    ui->startup_mode = 1;
    ui->full_redraw = 1;
}

bool session_wants_quit(irc_session* s)
{
    auto lock = irc_lock(s);
    return s->quit_requested != 0;
}

void draw_everything(ui_state* ui, server_config* config, irc_session* s)
{
    g_out.put("\x1b[0m\x1b[2J\x1b[H");
    g_out.put(themes[static_cast<std::size_t>(ui->theme)].bar);
    print_clip(ui->size.columns, ui->startup_mode ? TITLE_STARTUP : TITLE_CHAT);
    g_out.put("\x1b[0m");
    draw_frame(ui);
    ui->full_redraw = 0;
    if (ui->startup_mode) {
        draw_startup(ui, config);
    } else {
        draw_chat(ui, s);
    }
    draw_status(ui, s);
    // The chat view's input line has a visible cursor; the manager has none.
    g_out.put(ui->startup_mode ? "\x1b[?25l" : "\x1b[?25h");
}

void redraw(ui_state* ui, server_config* config, irc_session* s)
{
    g_text_ansi16 = themes[static_cast<std::size_t>(ui->theme)].ansi16;
    const screen_size size = get_screen_size();
    if (ui_take_resize() || size.rows != ui->size.rows || size.columns != ui->size.columns) {
        ui->size = size;
        ui->full_redraw = 1;
    }
    if (ui->full_redraw) {
        draw_everything(ui, config, s);
        g_out.flush();
        return;
    }
    bool chat_dirty = false;
    bool status_dirty = false;
    {
        auto lock = irc_lock(s);
        chat_dirty = s->lines_dirty || s->users_dirty;
        status_dirty = s->status_dirty;
    }
    if (!ui->startup_mode && chat_dirty) {
        draw_chat(ui, s);
    }
    if (ui->input_dirty || ui->status_dirty || status_dirty) {
        draw_status(ui, s);
    } else if (!ui->startup_mode && chat_dirty) {
        place_input_cursor(ui);   // drawing the chat moved it
    }
    g_out.flush();  // one write per frame
}

void show_limit_notice(ui_state* ui, irc_session* s, const char* status, const char* line)
{
    safe_strcpy(ui->limit_notice, status);
    ui->status_dirty = 1;
    irc_add_line(s, "***", line, LINE_SYSTEM);
}

// Acts on what the limits say is due; false when the session is over.
bool check_limits(ui_state* ui, irc_session* s)
{
    if (!ui->limits_on) {
        return true;
    }
    int minutes = 0;
    char status[64];
    char line[160];
    switch (limits_check(ui->limits, ui_clock_ms(), &minutes)) {
    case limit_event::time_warning:
        std::snprintf(status, sizeof status, " %d MIN LEFT ", minutes);
        std::snprintf(line, sizeof line, "%d minute%s left on this board: the chat closes then.", minutes,
                      minutes == 1 ? "" : "s");
        show_limit_notice(ui, s, status, line);
        return true;
    case limit_event::idle_warning:
        show_limit_notice(ui, s, " IDLE: KEY TO STAY ",
                    "No key for a while: press a key within a minute, or the chat closes to free the line.");
        g_out.put("\a");
        return true;
    case limit_event::time_up:
        ui->end = session_end::time_up;
        return false;
    case limit_event::idle:
        ui->end = session_end::idle;
        return false;
    case limit_event::none:
        break;
    }
    return true;
}

// A key from the caller: they are there, and an idle warning is answered.
void note_key(ui_state* ui)
{
    if (!ui->limits_on) {
        return;
    }
    const bool idle_warned = ui->limits.idle_warned;
    limits_key(ui->limits, ui_clock_ms());
    if (idle_warned) {
        ui->limit_notice[0] = '\0';
        ui->status_dirty = 1;
    }
}

session_end why_stopped()
{
    if (ui_stopped_by_signal()) {
        return session_end::signal;
    }
    return ui_input_failed() ? session_end::error : session_end::hang_up;
}

void dispatch(ui_state* ui, server_config* config, irc_session* s, int key)
{
    if (ui->startup_mode) {
        startup_handle_key(ui, config, s, key);
    } else {
        chat_handle_key(ui, s, key);
    }
}

}  // namespace

void ui_init(ui_state* ui, const server_entry* settings, int bbs_mode)
{
    *ui = ui_state{};
    ui->alt_screen = 1;
    ui->users_shown = 1;
    ui->running = 1;
    ui->full_redraw = 1;
    ui->input_dirty = 1;
    ui->status_dirty = 1;
    ui->scroll_limit = -1;
    ui->settings = *settings;
    ui->bbs_mode = bbs_mode;
    if (bbs_mode) {
        ui->theme = DOOR_THEME;
    }
    ui->password_typed = bbs_mode ? 0 : 1;   // a door's password is the sysop's
    ui->size = get_screen_size();
    ui->saved_valid = terminal_enter_raw(ui->saved_modes) ? 1 : 0;
    g_irc_connect_cancel = connect_should_stop;
    g_out.put("\x1b[?1049h\x1b[?25l\x1b[2J\x1b[H");
    g_out.flush();
}

void ui_shutdown(ui_state* ui)
{
    g_out.put("\x1b[0m\x1b[?25h\x1b[?1049l");
    g_out.flush();
    if (ui->saved_valid) {
        terminal_restore(ui->saved_modes);
    }
}

void draw_frame(const ui_state* ui)
{
    const int rows = ui->size.rows;
    const int columns = ui->size.columns;
    const int divider = frame_divider(ui);
    g_out.put(themes[static_cast<std::size_t>(ui->theme)].frame);
    draw_edge(2, columns, divider, "\u2554", "\u2566", "\u2557");
    for (int row = 3; row <= rows - 3; ++row) {
        g_out.move(row, 1);
        g_out.put("\u2551");
        if (divider > 1) {
            g_out.move(row, divider);
            g_out.put("\u2551");
        }
        g_out.move(row, columns);
        g_out.put("\u2551");
    }
    draw_edge(rows - 2, columns, divider, "\u255a", "\u2569", "\u255d");
    g_out.put("\x1b[0m");
}

std::int64_t ui_clock_ms()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void ui_set_limits(ui_state* ui, int minutes_left, int idle_minutes, std::int64_t minute_ms)
{
    limits_start(ui->limits, ui_clock_ms(), minutes_left, idle_minutes, minute_ms);
    ui->limits_on = minutes_left > 0 || idle_minutes > 0 ? 1 : 0;
}

void ui_run(ui_state* ui, server_config* config, irc_session* s)
{
    ui->startup_mode = 1;
    ui->end = session_end::quit;
    if (!ui->running) {
        return;
    }
    while (!session_wants_quit(s)) {
        if (ui_stop_requested()) {
            ui->end = why_stopped();
            return;
        }
        if (!check_limits(ui, s)) {
            return;
        }
        return_if_refused(ui, s);
        reconnect_tick(ui, s);
        redraw(ui, config, s);
        int key = ui_read_key();
        for (int handled = 1; key != KEY_NONE; ++handled) {
            note_key(ui);
            dispatch(ui, config, s, key);
            if (!ui->running || ui_stop_requested() || handled == KEYS_PER_ROUND) {
                break;
            }
            key = ui_read_key_buffered();
        }
        if (!ui->running) {
            return;
        }
        msleep(ROUND_PAUSE_MS);
    }
}
