// Word wrap of scrollback lines in screen columns.
#include "chat/ui/chat_wrap.h"

#include "chat/session/irc_session.h"

#include <algorithm>
#include <cstdio>

namespace {

// Where the row that starts at pos ends, and where the next one starts.
struct row_cut {
    std::size_t end;
    std::size_t next;
    text_attr next_attr;
};

std::size_t skip_spaces(std::string_view body, std::size_t pos)
{
    while (pos < body.size() && body[pos] == ' ') {
        ++pos;
    }
    return pos;
}

row_cut cut_row(std::string_view body, std::size_t start, int room, text_attr attr)
{
    int columns = 0;
    std::size_t pos = start;
    std::size_t space_at = 0;  // last space after the row's first glyph; 0 = none
    text_attr attr_at_space;
    while (pos < body.size()) {
        text_attr after = attr;
        const glyph g = next_glyph(body, pos, after);
        if (columns + g.width > room && pos > start) {
            if (space_at != 0) {
                return {space_at, skip_spaces(body, space_at), attr_at_space};
            }
            return {pos, skip_spaces(body, pos), attr};
        }
        if (g.space && pos > start) {
            space_at = pos;
            attr_at_space = attr;
        }
        columns += g.width;
        attr = after;
        pos += g.used;
    }
    return {pos, pos, attr};
}

}  // namespace

int wrap_body(std::string_view body, int room, std::span<wrap_row> rows)
{
    int count = 0;
    text_attr attr;
    std::size_t pos = 0;
    while (pos < body.size() && static_cast<std::size_t>(count) < rows.size()) {
        const row_cut cut = cut_row(body, pos, room, attr);
        wrap_row& row = rows[static_cast<std::size_t>(count++)];
        row.start = static_cast<std::uint16_t>(pos);
        row.end = static_cast<std::uint16_t>(cut.end);
        row.first = pos == 0;
        row.attr = attr;
        pos = cut.next;
        attr = cut.next_attr;
    }
    return count;
}

bool action_text(std::string_view text, std::string_view& action)
{
    constexpr std::string_view marker = "\x01" "ACTION";
    if (text.substr(0, marker.size()) != marker) {
        return false;
    }
    std::string_view rest = text.substr(marker.size());
    if (!rest.empty() && rest.front() != ' ' && rest.front() != '\x01') {
        return false;  // some other CTCP word that starts with ACTION
    }
    if (!rest.empty() && rest.back() == '\x01') {
        rest.remove_suffix(1);  // the closing byte is optional
    }
    action = rest.substr(std::min<std::size_t>(rest.size(), rest.empty() || rest.front() != ' ' ? 0 : 1));
    return true;
}

namespace {

// The prefix's format for a kind of line; its arguments are the time, the
// channel's name (with its space) and the sender, each as "%.*s".
const char* prefix_format(int kind, bool is_action)
{
    switch (kind) {
    case LINE_SYSTEM: return "[%.*s] %.*s* %.*s";
    case LINE_PRIVATE: return is_action ? "[%.*s] %.*s* %.*s " : "[%.*s] %.*s*%.*s* ";
    case LINE_PRIVATE_SENT: return is_action ? "[%.*s] %.*s-> * %.*s " : "[%.*s] %.*s-> *%.*s* ";
    case LINE_NOTICE: return "[%.*s] %.*s-%.*s- ";
    default: return is_action ? "[%.*s] %.*s* %.*s " : "[%.*s] %.*s<%.*s> ";
    }
}

constexpr int WHERE_COLUMNS = 20;

}  // namespace

void make_display_line(display_line& out, std::string_view time_text, std::string_view sender,
                       std::string_view text, int kind, int width, std::string_view where)
{
    std::string_view action;
    const bool is_action = kind != LINE_SYSTEM && kind != LINE_NOTICE && action_text(text, action);
    const char* format = prefix_format(kind, is_action);
    char label[96] = "";
    if (!where.empty()) {
        const std::size_t n = bytes_within_columns(where, WHERE_COLUMNS);
        std::snprintf(label, sizeof label, "%.*s ", static_cast<int>(n), where.data());
    }
    const int time_size = static_cast<int>(time_text.size());
    const int label_size = static_cast<int>(std::string_view{label}.size());
    // Everything but the channel and the sender takes one column per byte (time and ASCII).
    const int fixed = std::snprintf(nullptr, 0, format, time_size, time_text.data(), 0, "", 0, "") +
                      text_columns(label);
    const int sender_room = std::max(1, width - WRAP_MIN_ROOM - fixed);
    const std::size_t sender_bytes = kind == LINE_SYSTEM ? 0 : bytes_within_columns(sender, sender_room);
    std::snprintf(out.prefix, sizeof out.prefix, format, time_size, time_text.data(), label_size, label,
                  static_cast<int>(sender_bytes), sender.empty() ? "" : sender.data());
    out.prefix_columns = text_columns(out.prefix);
    out.body = is_action ? action : text;
}
