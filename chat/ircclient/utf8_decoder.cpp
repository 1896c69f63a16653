// The incremental UTF-8 decoder.
#include "chat/ircclient/utf8_decoder.h"

#include <new>

namespace {

// The smallest code point that needs a sequence of each length.
constexpr std::uint32_t SHORTEST[5] = {0, 0, 0x80, 0x800, 0x10000};

int start_sequence(utf8_decoder *d, unsigned char byte, std::uint32_t *cp)
{
    if (byte < 0x80) {
        *cp = byte;
        return 1;
    }
    std::uint8_t continuations = 0;
    if ((byte & 0xE0) == 0xC0) {
        continuations = 1;
        *cp = byte & 0x1Fu;
    } else if ((byte & 0xF0) == 0xE0) {
        continuations = 2;
        *cp = byte & 0x0Fu;
    } else if ((byte & 0xF8) == 0xF0) {
        continuations = 3;
        *cp = byte & 0x07u;
    } else {
        return -1;
    }
    d->pending = 1;
    d->remaining = continuations;
    d->length = static_cast<std::uint8_t>(continuations + 1);
    return 0;
}

} // namespace

utf8_decoder *utf8_decoder_create()
{
    return new (std::nothrow) utf8_decoder();
}

void utf8_decoder_destroy(utf8_decoder *decoder)
{
    delete decoder;
}

int utf8_decode_byte(utf8_decoder *decoder, unsigned char byte, std::uint32_t *code_point)
{
    if (decoder == nullptr || code_point == nullptr) {
        return -1;
    }
    if (decoder->pending == 0) {
        return start_sequence(decoder, byte, code_point);
    }
    if ((byte & 0xC0) != 0x80) {
        *decoder = utf8_decoder{};
        return -1;
    }
    *code_point = (*code_point << 6) | (byte & 0x3Fu);
    if (--decoder->remaining > 0) {
        return 0;
    }
    const std::uint32_t cp = *code_point;
    const std::uint8_t length = decoder->length;
    *decoder = utf8_decoder{};
    const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
    return cp < SHORTEST[length] || cp > 0x10FFFF || surrogate ? -1 : 1;
}
