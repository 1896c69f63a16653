// The chat view's input line: cursor movement and editing, the history of
// sent lines, nick completion, and the part of a long line that is shown.
#include "chat/config/text_util.h"
#include "chat/session/irc_session.h"
#include "chat/ui/display_text.h"
#include "chat/ui/keys.h"
#include "chat/ui/screen_out.h"
#include "chat/ui/ui.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

constexpr int KEY_CTRL_A = 1;
constexpr int KEY_CTRL_E = 5;
constexpr int KEY_CTRL_K = 11;
constexpr int KEY_CTRL_U = 21;
constexpr int KEY_CTRL_W = 23;

std::string_view line_of(const ui_state* ui)
{
    return {ui->input, static_cast<std::size_t>(ui->input_length)};
}

// Byte offset of the character before / after the cursor.
int previous_character(const ui_state* ui)
{
    return static_cast<int>(without_last_character(line_of(ui).substr(0, static_cast<std::size_t>(ui->input_cursor))));
}

int next_character(const ui_state* ui)
{
    if (ui->input_cursor >= ui->input_length) {
        return ui->input_length;
    }
    text_attr ignored;
    const glyph g = next_glyph(line_of(ui), static_cast<std::size_t>(ui->input_cursor), ignored);
    return ui->input_cursor + static_cast<int>(g.used);
}

// Removes the bytes [from, to) and leaves the cursor at from.
void erase_range(ui_state* ui, int from, int to)
{
    std::memmove(ui->input + from, ui->input + to, static_cast<std::size_t>(ui->input_length - to));
    ui->input_length -= to - from;
    ui->input[ui->input_length] = '\0';
    ui->input_cursor = from;
}

// Start of the word before the cursor (after the spaces that end it).
int word_start(const ui_state* ui)
{
    int at = ui->input_cursor;
    while (at > 0 && ui->input[at - 1] == ' ') {
        --at;
    }
    while (at > 0 && ui->input[at - 1] != ' ') {
        --at;
    }
    return at;
}

void set_line(ui_state* ui, const char* text)
{
    safe_strcpy(ui->input, text, sizeof ui->input);
    ui->input_length = static_cast<int>(std::strlen(ui->input));
    ui->input_cursor = ui->input_length;
}

const char* history_line(const ui_state* ui, int back)
{
    const int slot = (ui->history.newest - back + HISTORY_LINES) % HISTORY_LINES;
    return ui->history.lines[slot];
}

// Up (older) or Down (newer) through the sent lines; past the newest the
// line that was being typed comes back.
void browse_history(ui_state* ui, int step)
{
    input_history& h = ui->history;
    const int back = std::clamp(h.back + step, -1, h.count - 1);
    if (back == h.back) {
        return;
    }
    if (h.back < 0) {
        safe_strcpy(h.draft, ui->input, sizeof h.draft);
    }
    h.back = back;
    set_line(ui, back < 0 ? h.draft : history_line(ui, back));
}

// The index-th nick of the list that starts with stem (not our own), or
// null when there are fewer matches. Called with the session lock held.
const char* nth_match(const irc_session* s, std::string_view stem, int index)
{
    for (int i = 0; i < s->user_count; ++i) {
        const char* nick = irc_user_nick(s, i);
        const std::string_view n{nick};
        if (n.size() < stem.size() || equals_ignore_case(nick, s->nick) != 0) {
            continue;
        }
        bool same = true;
        for (std::size_t c = 0; c < stem.size() && same; ++c) {
            same = std::tolower(static_cast<unsigned char>(n[c])) == std::tolower(static_cast<unsigned char>(stem[c]));
        }
        if (same && index-- == 0) {
            return nick;
        }
    }
    return nullptr;
}

// Puts nick (and ": " at the line's start) in place of the completion's word.
void insert_match(ui_state* ui, const char* nick)
{
    nick_completion& c = ui->completion;
    erase_range(ui, c.start, c.start + c.length);
    const int before = ui->input_length;
    input_insert(ui, nick);
    if (c.start == 0) {
        input_insert(ui, ": ");
    }
    c.length = ui->input_length - before;
}

}  // namespace

void input_insert(ui_state* ui, std::string_view text)
{
    const int room = INPUT_SIZE - 1 - ui->input_length;
    auto n = static_cast<int>(std::min(text.size(), static_cast<std::size_t>(std::max(room, 0))));
    if (n < static_cast<int>(text.size())) {
        n = static_cast<int>(without_last_character(text.substr(0, static_cast<std::size_t>(n) + 1)));
    }
    std::memmove(ui->input + ui->input_cursor + n, ui->input + ui->input_cursor,
                 static_cast<std::size_t>(ui->input_length - ui->input_cursor));
    std::memcpy(ui->input + ui->input_cursor, text.data(), static_cast<std::size_t>(n));
    ui->input_length += n;
    ui->input_cursor += n;
    ui->input[ui->input_length] = '\0';
}

bool input_edit_key(ui_state* ui, int key)
{
    switch (key) {
    case KEY_LEFT: ui->input_cursor = previous_character(ui); break;
    case KEY_RIGHT: ui->input_cursor = next_character(ui); break;
    case KEY_HOME: case KEY_CTRL_A: ui->input_cursor = 0; break;
    case KEY_END: case KEY_CTRL_E: ui->input_cursor = ui->input_length; break;
    case KEY_BACKSPACE: erase_range(ui, previous_character(ui), ui->input_cursor); break;
    case KEY_DELETE: erase_range(ui, ui->input_cursor, next_character(ui)); break;
    case KEY_CTRL_U: erase_range(ui, 0, ui->input_cursor); break;
    case KEY_CTRL_K: erase_range(ui, ui->input_cursor, ui->input_length); break;
    case KEY_CTRL_W: erase_range(ui, word_start(ui), ui->input_cursor); break;
    case KEY_UP: browse_history(ui, 1); break;
    case KEY_DOWN: browse_history(ui, -1); break;
    default:
        if (key < 32 || key > 126) {
            return false;
        }
        const char c = static_cast<char>(key);
        input_insert(ui, {&c, 1});
        break;
    }
    return true;
}

bool input_complete_nick(ui_state* ui, irc_session* s)
{
    nick_completion& c = ui->completion;
    if (!c.active) {
        const int start = word_start(ui);
        const int length = ui->input_cursor - start;
        if (length <= 0 || ui->input[ui->input_cursor - 1] == ' ' ||
            length >= static_cast<int>(sizeof c.stem)) {
            return false;
        }
        std::memcpy(c.stem, ui->input + start, static_cast<std::size_t>(length));
        c.stem[length] = '\0';
        c.start = start;
        c.length = length;
        c.match = -1;
    }
    char nick[64];
    {
        auto lock = irc_lock(s);
        const char* next = nth_match(s, c.stem, c.match + 1);
        if (next == nullptr && c.active) {
            c.match = -1;   // past the last match: round to the first
            next = nth_match(s, c.stem, 0);
        }
        if (next == nullptr) {
            c.active = 0;
            return false;
        }
        safe_strcpy(nick, next, sizeof nick);
    }
    ++c.match;
    c.active = 1;
    insert_match(ui, nick);
    return true;
}

void input_take_sent(ui_state* ui)
{
    input_history& h = ui->history;
    const bool repeat = h.count > 0 && std::strcmp(history_line(ui, 0), ui->input) == 0;
    if (!repeat) {
        h.newest = (h.newest + 1) % HISTORY_LINES;
        safe_strcpy(h.lines[h.newest], ui->input, sizeof h.lines[0]);
        h.count = std::min(h.count + 1, HISTORY_LINES);
    }
    h.back = -1;
    h.draft[0] = '\0';
    set_line(ui, "");
}

int input_fit(ui_state* ui, int room)
{
    room = std::max(room, 1);
    ui->input_view = std::clamp(ui->input_view, 0, ui->input_cursor);
    const std::string_view line = line_of(ui);
    // The cursor needs a column of its own after the text before it.
    while (text_columns(line.substr(static_cast<std::size_t>(ui->input_view),
                                    static_cast<std::size_t>(ui->input_cursor - ui->input_view))) >= room) {
        text_attr ignored;
        ui->input_view += static_cast<int>(next_glyph(line, static_cast<std::size_t>(ui->input_view), ignored).used);
    }
    return text_columns(line.substr(static_cast<std::size_t>(ui->input_view),
                                    static_cast<std::size_t>(ui->input_cursor - ui->input_view)));
}

void place_input_cursor(ui_state* ui)
{
    const int column = input_fit(ui, ui->size.columns - 2);
    g_out.move(ui->size.rows - 1, 2 + column);
}
