// Word wrap of the scrollback for the chat view. Rows are kept as byte ranges
// of the scrollback's own texts, so wrapping copies no text.
#pragma once

#include "chat/ui/display_text.h"

#include <cstdint>
#include <span>
#include <string_view>

inline constexpr int WRAP_ROWS = 2048;
// The narrowest room a message's text gets beside its prefix.
inline constexpr int WRAP_MIN_ROOM = 8;
// A line's text has at most 767 bytes and every row takes at least one.
inline constexpr int WRAP_ROWS_PER_LINE = 768;

struct wrap_row {
    std::int32_t line = 0;      // scrollback index, oldest first
    std::uint16_t start = 0;    // byte range of the line's body
    std::uint16_t end = 0;
    bool first = false;         // the line's first row, which carries the prefix
    text_attr attr;             // formatting in force at start
};

// One scrollback line as the chat view shows it: the prefix and the body
// that is wrapped beside it. The prefix tells who and where:
//   "[12:00:00] <nick> "        a channel message
//   "[12:00:00] * nick "        an action
//   "[12:00:00] * "             the program's or the server's text
//   "[12:00:00] *nick* "        a private message to us
//   "[12:00:00] -> *nick* "     our private message to nick
//   "[12:00:00] -nick- "        a notice
// with the channel's name before the nick ("[12:00:00] #other <nick> ")
// for a line of a channel other than the current one.
struct display_line {
    char prefix[192]{};
    int prefix_columns = 0;
    std::string_view body;
};

// Builds the display form of a line of the given kind (a line_kind); where
// is the channel to name, or empty. The channel's name is cut to 20 columns
// and the sender so the prefix leaves at least WRAP_MIN_ROOM columns of the
// width for the text.
void make_display_line(display_line& out, std::string_view time_text, std::string_view sender,
                       std::string_view text, int kind, int width, std::string_view where = {});

// Splits body into rows of at most room columns. When the text goes on past
// a row, the row ends before the last space within its room (a space just
// past the room does not count, nor one at the row's start); without one the
// row is cut hard at the room. The spaces after a break are dropped. Returns the row count (0 for an
// empty body); rows beyond rows.size() are not produced.
int wrap_body(std::string_view body, int room, std::span<wrap_row> rows);

// The CTCP ACTION text of a message ("\x01ACTION waves\x01" gives "waves"),
// or false when the message is no action.
bool action_text(std::string_view text, std::string_view& action);
