// How the chat fuzz targets look at what the program draws: its UTF-8 frame
// as a terminal of the given size shows it, and the same frame as a code page
// 437 caller receives it after the program's own encoding.
#pragma once

#include "chat/ui/display_text.h"
#include "tests/fuzz/fuzz_support.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace fuzz {

// Checks the frame both ways; the encoding takes it in pieces of piece bytes
// (a character may be cut between them). Returns the column where the UTF-8
// frame ends.
inline int check_chat_frame(std::string_view utf8, int rows, int columns, std::size_t piece)
{
    const int end = check_terminal_stream(utf8, {.rows = rows, .columns = columns, .width_of = codepoint_width});
    cp437_encoder encoder;
    std::string cp437;
    std::string buf;
    for (std::string_view rest = utf8; !rest.empty();) {
        const std::string_view part = rest.substr(0, std::max<std::size_t>(piece, 1));
        buf.resize(cp437_encoder::room(part.size()));
        cp437.append(buf.data(), encoder.encode(part, buf.data()));
        rest.remove_prefix(part.size());
    }
    // Every character keeps its columns, and none becomes a control byte.
    const int cp437_end = check_terminal_stream(cp437, {.rows = rows, .columns = columns, .utf8 = false});
    FUZZ_CHECK(cp437_end == end);
    return end;
}

}  // namespace fuzz
