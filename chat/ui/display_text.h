// Showing text that came from outside (the network, the configuration file)
// on the terminal: never a raw control byte, never half a UTF-8 sequence, and
// widths counted in screen columns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "chat/ui/utf8_text.h"

class out_buffer;

// IRC formatting in force at a point of a text.
struct text_attr {
    static constexpr std::uint8_t bold = 1;
    static constexpr std::uint8_t italic = 2;
    static constexpr std::uint8_t underline = 4;
    static constexpr std::uint8_t reverse = 8;
    static constexpr std::uint8_t strike = 16;

    std::uint8_t flags = 0;
    std::int16_t fg = -1;  // 256-colour index, -1 = the surrounding colour
    std::int16_t bg = -1;

    bool plain() const { return flags == 0 && fg < 0 && bg < 0; }
    bool operator==(const text_attr&) const = default;
};

// One unit of a text: something to draw, or a formatting code.
struct glyph {
    std::size_t used = 0;     // input bytes it stands for
    bool format = false;      // a formatting code: nothing to draw
    bool space = false;       // a plain space, where a row may be broken
    std::uint8_t width = 0;   // screen columns: 0, 1 or 2
    std::uint8_t length = 0;  // bytes in out
    char out[4]{};            // what to write: the character, or a visible stand-in
};

// Reads the glyph at text[pos] (pos < text.size()). A formatting code updates
// attr. Control bytes come out as their visible pictures (ESC as U+241B),
// C1 controls and malformed UTF-8 as U+FFFD.
glyph next_glyph(std::string_view text, std::size_t pos, text_attr& attr);

// Screen columns the text takes when drawn.
int text_columns(std::string_view text);

// How formatting codes are treated when drawing.
enum class text_format { render, strip };

// Writes the text cut to width columns (never inside a character) and pads it
// with spaces to exactly width columns. base is the escape string of the
// surrounding colour, restored when formatting ends; attr is the formatting
// in force where the text starts. Returns the columns of text written.
int put_text(out_buffer& out, std::string_view text, int width, std::string_view base = {},
             text_format format = text_format::strip, text_attr attr = {});

// Writes the attributes: a reset, the base colour, then attr's own.
void put_attr(out_buffer& out, std::string_view base, const text_attr& attr);

// The text cut and padded to width columns, on g_out.
void print_clip(int width, std::string_view text);

// Bytes of the longest start of text that fits in columns (formatting codes
// count as nothing); never ends inside a character.
std::size_t bytes_within_columns(std::string_view text, int columns);

// The shortest end of text that still fits in columns after dropping whole
// glyphs from its start (formatting codes count as nothing).
std::string_view tail_within_columns(std::string_view text, int columns);

// Length of text without its last character (a whole UTF-8 sequence).
std::size_t without_last_character(std::string_view text);
