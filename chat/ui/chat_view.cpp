// The chat view: the wrapped scrollback, the nick list, the status bar with
// the input line, and the view's keys.
#include "chat/config/text_util.h"
#include "chat/session/irc_session.h"
#include "chat/ui/chat_wrap.h"
#include "chat/ui/display_text.h"
#include "chat/ui/keys.h"
#include "chat/ui/screen_out.h"
#include "chat/ui/ui.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

constexpr int NICK_WIDTH = 17;
constexpr int SCROLL_STEP = 5;

// The wrapped rows of the last redraw, newest at the end: rows
// [WRAP_ROWS - wrap_n, WRAP_ROWS) are in use. Only the chat view uses them.
wrap_row wrap_text[WRAP_ROWS];
int wrap_n = 0;
wrap_row g_line_rows[WRAP_ROWS_PER_LINE];

// Private messages stand out from channel text in a colour of their own,
// notices in another (both of the 16 every terminal has).
constexpr const char* PRIVATE_COLOUR = "\x1b[1;35m";
constexpr const char* NOTICE_COLOUR = "\x1b[33m";

// The manager's message about a failed connect.
constexpr const char* FAILURE_COLOUR = "\x1b[1;31m";

const char* line_colour(const chat_line* line)
{
    switch (line->kind) {
    case LINE_PRIVATE:
    case LINE_PRIVATE_SENT:
        return PRIVATE_COLOUR;
    case LINE_NOTICE:
        return NOTICE_COLOUR;
    default:
        return nullptr;
    }
}

// A line of a channel other than the current target carries the channel's name.
void line_display(const irc_session* s, const chat_line* line, int width, display_line& out)
{
    char time_text[16];
    format_time(time_text, sizeof time_text, line->time);
    const bool elsewhere = line->where[0] != '\0' && equals_ignore_case(line->where, s->channel) == 0;
    make_display_line(out, time_text, line->sender, line->text, line->kind, width, elsewhere ? line->where : "");
}

// Wraps the scrollback from the newest line back until the view (V rows plus
// the scroll offset) is filled, the oldest line is reached or WRAP_ROWS rows
// are held, so a redraw costs about one screen, not the whole scrollback.
// Holds the session lock (the rows point into the scrollback). Returns true
// when the oldest row that can be shown was reached.
bool wrap_newest(const irc_session* s, int width, int needed)
{
    wrap_n = 0;
    needed = std::min(needed, WRAP_ROWS);
    int i = irc_line_count(s) - 1;
    for (; i >= 0 && wrap_n < needed; --i) {
        display_line d;
        line_display(s, irc_line_at(s, i), width, d);
        const int room = std::max(width - d.prefix_columns, WRAP_MIN_ROOM);
        const int n = wrap_body(d.body, room, g_line_rows);
        const int take = std::min(n, WRAP_ROWS - wrap_n);
        for (int r = 0; r < take; ++r) {
            wrap_row& row = wrap_text[WRAP_ROWS - wrap_n - take + r];
            row = g_line_rows[n - take + r];
            row.line = i;
        }
        wrap_n += take;
    }
    return i < 0 || wrap_n == WRAP_ROWS;
}

void put_wrapped_row(const irc_session* s, const wrap_row& row, int width)
{
    const chat_line* line = irc_line_at(s, row.line);
    display_line d;
    line_display(s, line, width, d);
    const char* colour = line_colour(line);
    const std::string_view base = colour != nullptr ? colour : "";
    g_out.put(base);
    const int lead = std::min(d.prefix_columns, width);
    if (row.first) {
        put_text(g_out, d.prefix, lead, base);
    } else {
        g_out.spaces(lead);
    }
    const std::string_view body = d.body.substr(row.start, row.end - row.start);
    put_text(g_out, body, width - lead, base, text_format::render, row.attr);
    if (colour != nullptr) {
        g_out.put("\x1b[0m");
    }
}

void draw_chat_rows(ui_state* ui, const irc_session* s, const chat_layout& layout, bool reached_top)
{
    const int visible = layout.visible_rows;
    // Scrolling stops at the oldest row held, so PgDn answers at once.
    ui->scroll_limit = reached_top ? std::max(0, wrap_n - visible) : -1;
    if (reached_top) {
        ui->scroll = std::min(ui->scroll, ui->scroll_limit);
    }
    const int first = std::max(0, wrap_n - visible - ui->scroll);
    for (int r = 0; r < visible; ++r) {
        g_out.move(3 + r, 3);
        if (first + r < wrap_n) {
            put_wrapped_row(s, wrap_text[WRAP_ROWS - wrap_n + first + r], layout.text_width);
        } else if (r == 0) {
            g_out.putf("%sCHAT\x1b[0m", themes[ui->theme].heading);
            g_out.spaces(layout.text_width - 4);
        } else {
            g_out.spaces(layout.text_width);
        }
    }
}

void draw_users(const ui_state* ui, const irc_session* s, const chat_layout& layout)
{
    const int shown = std::min(s->user_count, layout.visible_rows);
    for (int r = 0; r < layout.visible_rows; ++r) {
        g_out.move(3 + r, layout.users_column);
        if (r < shown) {
            put_text(g_out, s->users[r], NICK_WIDTH);
        } else if (r == 0) {
            g_out.putf("%sUSERS\x1b[0m", themes[ui->theme].heading);
            g_out.spaces(NICK_WIDTH - 5);
        } else {
            g_out.spaces(NICK_WIDTH);
        }
    }
}

const char* connection_word(const ui_state* ui, const irc_session* s, char* text, std::size_t size)
{
    if (ui->connecting) {
        return ui->reconnect_attempt > 0 ? "RECONNECTING..." : "CONNECTING...";
    }
    if (const int left = reconnect_seconds_left(ui); left >= 0 && !s->connected) {
        std::snprintf(text, size, "RECONNECT IN %ds", left);
        return text;
    }
    return s->connected ? "CONNECTED" : "OFFLINE";
}

// The session's value, or the form's when the session has none.
const char* either(const char* session_value, const char* form_value)
{
    return session_value[0] != '\0' ? session_value : form_value;
}

void compose_status(const ui_state* ui, const irc_session* s, char* text, std::size_t size)
{
    const server_entry& f = ui->settings;
    // Lines held back by the send pace show beside the connection's state.
    char word[32];
    char state[48];
    const int waiting = pacer_waiting(&s->pacer);
    std::snprintf(state, sizeof state, waiting > 0 ? "%s, %d to send" : "%s", connection_word(ui, s, word, sizeof word),
                  waiting);
    std::snprintf(text, size, "%s %s:%d \u2551 %s \u2551 @%s \u2551 %s \u2551 PgUp/PgDn scroll \u2551 /help ",
                  ui->limit_notice, either(s->server, f.server), s->port != 0 ? s->port : f.port,
                  either(s->channel, f.channel), either(s->nick, f.nick), state);
}

void submit_input(ui_state* ui, irc_session* s)
{
    if (ui->input_length == 0) {
        return;
    }
    irc_handle_command(s, ui->input);
    input_take_sent(ui);
    ui->scroll = 0;  // what was sent is worth seeing
}

void toggle_users(ui_state* ui)
{
    ui->users_shown = !ui->users_shown;
    ui->full_redraw = 1;
}

void scroll_by(ui_state* ui, irc_session* s, int rows)
{
    ui->scroll = std::max(0, ui->scroll + rows);
    if (ui->scroll_limit >= 0) {
        ui->scroll = std::min(ui->scroll, ui->scroll_limit);  // PgDn after many PgUps answers at once
    }
    auto lock = irc_lock(s);
    s->lines_dirty = 1;
}

}  // namespace

chat_layout chat_view_layout(screen_size size, bool users_shown)
{
    if (users_shown) {
        return {size.columns - 23 - 4, size.rows - 6, size.columns - 20};
    }
    return {size.columns - 1 - 4, size.rows - 6, 0};
}

void draw_chat(ui_state* ui, irc_session* s)
{
    const chat_layout layout = chat_view_layout(ui->size, ui->users_shown != 0);
    {
        auto lock = irc_lock(s);
        const bool reached_top = wrap_newest(s, layout.text_width, layout.visible_rows + ui->scroll);
        draw_chat_rows(ui, s, layout, reached_top);
        if (ui->users_shown) {
            draw_users(ui, s, layout);
        }
        s->lines_dirty = 0;
        s->users_dirty = 0;
    }
}

void draw_status(ui_state* ui, irc_session* s)
{
    const screen_size size = ui->size;
    char text[512];
    {
        auto lock = irc_lock(s);
        compose_status(ui, s, text, sizeof text);
        s->status_dirty = 0;
    }
    g_out.move(size.rows - 2, 1);
    g_out.put(themes[ui->theme].bar);
    print_clip(size.columns, text);
    g_out.put("\x1b[0m");
    g_out.move(size.rows - 1, 1);
    if (ui->startup_mode && ui->notice[0] != '\0') {
        g_out.put(FAILURE_COLOUR);
        print_clip(size.columns - 1, ui->notice);
        g_out.put("\x1b[0m");
        ui->input_dirty = 0;
        ui->status_dirty = 0;
        return;
    }
    g_out.put(">");
    input_fit(ui, size.columns - 2);
    print_clip(size.columns - 2, std::string_view{ui->input + ui->input_view,
                                                  static_cast<std::size_t>(ui->input_length - ui->input_view)});
    if (!ui->startup_mode) {
        place_input_cursor(ui);
    }
    ui->input_dirty = 0;
    ui->status_dirty = 0;
}

void chat_handle_key(ui_state* ui, irc_session* s, int key)
{
    if (key != KEY_TAB) {
        ui->completion.active = 0;
    }
    switch (key) {
    case KEY_ENTER:
        submit_input(ui, s);
        ui->input_dirty = 1;
        break;
    case KEY_PGUP:
        scroll_by(ui, s, SCROLL_STEP);
        break;
    case KEY_PGDN:
        scroll_by(ui, s, -SCROLL_STEP);
        break;
    case KEY_TAB:
        // Completes a nick when there is one to complete, else toggles the list.
        if (input_complete_nick(ui, s)) {
            ui->input_dirty = 1;
        } else {
            toggle_users(ui);
        }
        break;
    case KEY_F2:
        toggle_users(ui);
        break;
    case KEY_ESC:
        ui->startup_mode = 1;
        ui->full_redraw = 1;
        reconnect_stop(ui, s);
        break;
    default:
        if (input_edit_key(ui, key)) {
            ui->input_dirty = 1;
        } else if (key_is_char(key)) {
            char bytes[4];
            input_insert(ui, {bytes, key_char_utf8(key, bytes)});   // a code page 437 caller's letter
            ui->input_dirty = 1;
        }
        break;
    }
}
