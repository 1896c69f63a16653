// An incremental UTF-8 decoder: bytes in one at a time, code points out.
#pragma once

#include <cstdint>

struct utf8_decoder {
    std::uint8_t pending;     // 1 while a sequence is open
    std::uint8_t remaining;   // continuation bytes still expected
    std::uint8_t length;      // bytes of the open sequence
};

// A zeroed decoder, or null when memory is short; release it with
// utf8_decoder_destroy.
utf8_decoder *utf8_decoder_create();
void utf8_decoder_destroy(utf8_decoder *decoder);

// Feeds one byte; *code_point carries the sequence between calls. Returns 1
// when a code point is complete (in *code_point), 0 when more bytes are
// needed, -1 for a malformed byte or sequence (also for a missing decoder or
// out value); the decoder is then idle again. Only well-formed UTF-8 decodes:
// a byte that does not continue an open sequence, an overlong form, a
// surrogate and anything above U+10FFFF are errors. A byte that breaks an
// open sequence is not taken: feed it again to start what it begins.
int utf8_decode_byte(utf8_decoder *decoder, unsigned char byte, std::uint32_t *code_point);
