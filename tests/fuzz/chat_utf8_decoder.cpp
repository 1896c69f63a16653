// The IRC client library's UTF-8 decoder, fed any bytes one at a time: it
// yields only valid code points, never more than one per byte, and decodes
// well-formed text exactly (checked against the terminal checker's own
// strict decoding).
#include "chat/ircclient/utf8_decoder.h"
#include "tests/fuzz/fuzz_support.h"

#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 16384)
        return 0;
    std::unique_ptr<utf8_decoder, void (*)(utf8_decoder*)> d(utf8_decoder_create(), utf8_decoder_destroy);
    FUZZ_CHECK(d != nullptr);
    std::vector<std::uint32_t> points;
    int errors = 0;
    std::uint32_t cp = 0;
    for (std::size_t i = 0; i < size;) {
        const bool open = d->pending != 0;
        const int r = utf8_decode_byte(d.get(), data[i], &cp);
        FUZZ_CHECK(r >= -1 && r <= 1);
        if (r == 1) {
            FUZZ_CHECK(cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF));
            points.push_back(cp);
        } else if (r == -1) {
            ++errors;
            FUZZ_CHECK(d->pending == 0);
            // A byte that broke an open sequence was not taken: feed it again.
            if (open && (data[i] & 0xC0) != 0x80)
                continue;
        }
        ++i;
        FUZZ_CHECK(points.size() <= i);
    }
    // Well-formed text decodes without an error into its code points.
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::uint32_t> expected;
    for (std::size_t i = 0; i < text.size();) {
        const long c = fuzz::decode_utf8(text, i);
        if (c < 0)
            return 0;
        expected.push_back(static_cast<std::uint32_t>(c));
    }
    FUZZ_CHECK(errors == 0);
    FUZZ_CHECK(points == expected);
    return 0;
}
