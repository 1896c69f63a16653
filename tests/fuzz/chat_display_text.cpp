// Showing outside text on the chat terminal: every glyph of any byte string
// is drawable text or a formatting code, widths add up, cuts never split a
// character, and a text put into a field fills exactly the field's columns
// with no control byte of the text's own reaching the terminal.
#include "chat/ui/display_text.h"
#include "chat/ui/screen_out.h"
#include "tests/fuzz/chat_screen.h"

#include <string>

namespace {

std::string g_screen;

void keep_output(std::string_view bytes)
{
    g_screen.append(bytes);
}

// Walks the glyphs; the byte offsets where one starts (and the end).
std::string glyph_starts(std::string_view text, int& columns)
{
    std::string starts(text.size() + 1, '\0');
    columns = 0;
    text_attr attr;
    for (std::size_t pos = 0; pos < text.size();) {
        starts[pos] = 1;
        const glyph g = next_glyph(text, pos, attr);
        FUZZ_CHECK(g.used >= 1 && pos + g.used <= text.size());
        FUZZ_CHECK(g.width <= 2);
        if (g.format) {
            FUZZ_CHECK(g.width == 0 && g.length == 0);
        } else {
            FUZZ_CHECK(g.length >= 1 && g.length <= 4);
            // The glyph alone is a valid, control-free UTF-8 character.
            fuzz::check_terminal_stream({g.out, g.length}, {.rows = 1, .columns = 2});
        }
        FUZZ_CHECK(attr.fg >= -1 && attr.fg <= 255 && attr.bg >= -1 && attr.bg <= 255);
        columns += g.width;
        pos += g.used;
    }
    starts[text.size()] = 1;
    return starts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 8192)
        return 0;
    const auto [knob, text] = fuzz::steer(data, size);
    const int width = knob & 0x7F;

    int columns = 0;
    const std::string starts = glyph_starts(text, columns);
    FUZZ_CHECK(text_columns(text) == columns);

    const std::size_t head = bytes_within_columns(text, width);
    FUZZ_CHECK(head <= text.size() && starts[head] == 1);
    FUZZ_CHECK(text_columns(text.substr(0, head)) <= width);
    const std::string_view tail = tail_within_columns(text, width);
    FUZZ_CHECK(tail.data() + tail.size() == text.data() + text.size());
    FUZZ_CHECK(starts[text.size() - tail.size()] == 1 && text_columns(tail) <= width);
    if (!text.empty()) {
        // Backspace takes one character: a whole UTF-8 sequence or one byte.
        const std::size_t rest = without_last_character(text);
        FUZZ_CHECK(rest < text.size() && rest + 4 >= text.size());
        const std::string_view last = text.substr(rest);
        text_attr ignored;
        FUZZ_CHECK(last.size() == 1 || next_glyph(last, 0, ignored).used == last.size());
    }

    static out_buffer out;
    out.sink = keep_output;
    g_screen.clear();
    text_attr start;
    start.flags = static_cast<std::uint8_t>(knob >> 7);
    const int drawn = put_text(out, text, width, "\x1b[38;5;51m", knob & 0x80 ? text_format::render : text_format::strip, start);
    out.flush();
    FUZZ_CHECK(drawn >= 0 && drawn <= width);
    const int end = fuzz::check_chat_frame(g_screen, 1, width > 0 ? width : 1, 1 + size % 7);
    FUZZ_CHECK(end == width + 1);
    return 0;
}
