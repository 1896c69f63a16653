// UTF-8 characters as the terminal shows them: decoding, screen widths, and
// their code page 437 form for callers whose terminal wants it. Below both
// the output buffer and the drawing of text, which share it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// True when text[pos] exists and is a UTF-8 continuation byte.
bool is_continuation(std::string_view text, std::size_t pos);

// Decodes one well-formed UTF-8 sequence at text[pos] (no overlong forms, no
// surrogates, nothing above U+10FFFF); returns its length, or 0 when
// malformed.
std::size_t decode_utf8(std::string_view text, std::size_t pos, std::uint32_t& cp);

// Bytes of the UTF-8 sequence a lead byte starts; 0 when it starts none.
std::size_t sequence_length(unsigned char lead);

// Screen columns of a code point: 0 for combining marks, 2 for wide ones.
int codepoint_width(std::uint32_t cp);

// Turns the program's UTF-8 output into code page 437 for a caller's
// terminal: ASCII passes, a character the code page has becomes its byte, any
// other becomes "?" once for every screen column it takes (none for a
// combining mark), so every row keeps its columns. Broken UTF-8 becomes "?".
// A character cut by the end of one piece is finished with the next.
class cp437_encoder {
public:
    // Room out needs for one piece: its bytes and a character held back.
    static constexpr std::size_t room(std::size_t in_size) { return in_size + 4; }
    // Writes the encoding of in to out (room(in.size()) bytes); returns the
    // bytes written.
    std::size_t encode(std::string_view in, char* out);

private:
    char pending_[4]{};
    std::size_t pending_length_ = 0;
};
