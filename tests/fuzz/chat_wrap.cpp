// The chat view's word wrap: the rows cover a text in order without losing a
// byte other than the spaces at a break, no row is wider than the room, a
// row breaks at a space only, and a character is never split.
#include "chat/ui/chat_wrap.h"
#include "tests/fuzz/fuzz_support.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 767 + 1)
        return 0;  // a scrollback line holds at most 767 bytes
    const auto [knob, body] = fuzz::steer(data, size);
    const int room = WRAP_MIN_ROOM + (knob & 0x7F);
    static wrap_row rows[WRAP_ROWS_PER_LINE];
    const int n = wrap_body(body, room, rows);
    FUZZ_CHECK(n >= 0 && n <= WRAP_ROWS_PER_LINE);
    FUZZ_CHECK((n == 0) == body.empty());

    std::size_t pos = 0;
    text_attr attr;
    for (int r = 0; r < n; ++r) {
        const wrap_row& row = rows[r];
        FUZZ_CHECK(row.start == pos);
        FUZZ_CHECK(row.first == (r == 0));
        FUZZ_CHECK(row.end > row.start && row.end <= body.size());
        FUZZ_CHECK(row.attr == attr);
        int columns = 0;
        for (std::size_t p = row.start; p < row.end;) {
            const glyph g = next_glyph(body, p, attr);
            FUZZ_CHECK(p + g.used <= row.end);  // no character split across rows
            columns += g.width;
            p += g.used;
        }
        // A row wider than the room only when it is one glyph wider than it.
        FUZZ_CHECK(columns <= room || row.end - row.start <= 4);
        pos = row.end;
        if (r + 1 < n) {
            // Between rows only spaces are dropped; a break not at a space is
            // a hard cut of a row that is full.
            const std::size_t next = rows[r + 1].start;
            for (std::size_t p = pos; p < next; ++p)
                FUZZ_CHECK(body[p] == ' ');
            if (next == pos)
                FUZZ_CHECK(body[pos] != ' ');
            pos = next;
        } else {
            // The last row ends the text, or only spaces follow it.
            for (std::size_t p = pos; p < body.size(); ++p)
                FUZZ_CHECK(body[p] == ' ');
        }
    }
    return 0;
}
