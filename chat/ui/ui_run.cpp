// The interface loop: terminal set-up and restore, the frame, and the round
// of redraw, key and dispatch shared by the startup manager and the chat view.
#include "chat/config/text_util.h"
#include "chat/session/irc_session.h"
#include "chat/ui/display_text.h"
#include "chat/ui/keys.h"
#include "chat/ui/screen_out.h"
#include "chat/ui/ui.h"

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
    std::memset(ui, 0, sizeof *ui);
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
        ui->settings.password[0] = '\0';   // see load_selected: no saved password in a door
    }
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

void ui_run(ui_state* ui, server_config* config, irc_session* s)
{
    ui->startup_mode = 1;
    if (!ui->running) {
        return;
    }
    while (!session_wants_quit(s) && !ui_stop_requested()) {
        return_if_refused(ui, s);
        redraw(ui, config, s);
        int key = ui_read_key();
        for (int handled = 1; key != KEY_NONE; ++handled) {
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
