// UTF-8 characters as the terminal shows them: decoding, screen widths, and
// their code page 437 form for callers whose terminal wants it.
#include "chat/ui/utf8_text.h"

#include "common/cp437.h"

#include <algorithm>
#include <array>

namespace {

struct cp_range {
    std::uint32_t first;
    std::uint32_t last;
};

// Combining marks and zero-width format characters most often met in chat.
constexpr std::array<cp_range, 22> ZERO_WIDTH{{
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x05BF, 0x05C7}, {0x0610, 0x061A},
    {0x064B, 0x065F}, {0x0670, 0x0670}, {0x06D6, 0x06ED}, {0x0E31, 0x0E31}, {0x0E34, 0x0E3A},
    {0x0E47, 0x0E4E}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x200B, 0x200F}, {0x202A, 0x202E},
    {0x2060, 0x2064}, {0x20D0, 0x20FF}, {0x302A, 0x302F}, {0x3099, 0x309A}, {0xFE00, 0xFE0F},
    {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF},
}};

// East Asian wide and full-width characters, and the common emoji blocks.
constexpr std::array<cp_range, 13> WIDE{{
    {0x1100, 0x115F}, {0x2E80, 0x303E}, {0x3041, 0x33FF}, {0x3400, 0x4DBF}, {0x4E00, 0x9FFF},
    {0xA000, 0xA4CF}, {0xAC00, 0xD7A3}, {0xF900, 0xFAFF}, {0xFE30, 0xFE4F}, {0xFF00, 0xFF60},
    {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF},
}};

template <std::size_t N>
bool in_ranges(const std::array<cp_range, N>& ranges, std::uint32_t cp)
{
    const auto it = std::upper_bound(ranges.begin(), ranges.end(), cp,
                                     [](std::uint32_t v, const cp_range& r) { return v < r.first; });
    return it != ranges.begin() && cp <= std::prev(it)->last;
}

// Writes one character in code page 437; returns the bytes written.
std::size_t put_cp437(std::uint32_t cp, char* out)
{
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    if (const unsigned char b = cp437_from_unicode(cp); b != 0) {
        out[0] = static_cast<char>(b);
        return 1;
    }
    const int width = codepoint_width(cp);
    for (int i = 0; i < width; ++i) {
        out[i] = '?';
    }
    return static_cast<std::size_t>(width);
}

// The character at text[pos] in code page 437; advances pos past it.
std::size_t encode_one(std::string_view text, std::size_t& pos, char* out)
{
    std::uint32_t cp = 0;
    const std::size_t n = decode_utf8(text, pos, cp);
    if (n == 0) {
        ++pos;
        out[0] = '?';
        return 1;
    }
    pos += n;
    return put_cp437(cp, out);
}

}  // namespace

bool is_continuation(std::string_view text, std::size_t pos)
{
    return pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80;
}

std::size_t decode_utf8(std::string_view text, std::size_t pos, std::uint32_t& cp)
{
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t n = 0;
    std::uint32_t min = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        n = 2, min = 0x80, cp = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        n = 3, min = 0x800, cp = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        n = 4, min = 0x10000, cp = lead & 0x07u;
    } else {
        return 0;
    }
    for (std::size_t i = 1; i < n; ++i) {
        if (!is_continuation(text, pos + i)) {
            return 0;
        }
        cp = (cp << 6) | (static_cast<unsigned char>(text[pos + i]) & 0x3Fu);
    }
    const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
    return (cp < min || cp > 0x10FFFF || surrogate) ? 0 : n;
}

std::size_t sequence_length(unsigned char lead)
{
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    return lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
}

int codepoint_width(std::uint32_t cp)
{
    if (in_ranges(ZERO_WIDTH, cp)) {
        return 0;
    }
    return in_ranges(WIDE, cp) || (cp >= 0x20000 && cp <= 0x3FFFD) ? 2 : 1;
}

std::size_t cp437_encoder::encode(std::string_view in, char* out)
{
    std::size_t written = 0;
    std::size_t pos = 0;
    if (pending_length_ > 0) {
        const std::size_t need = sequence_length(static_cast<unsigned char>(pending_[0]));
        while (pending_length_ < need && is_continuation(in, pos)) {
            pending_[pending_length_++] = in[pos++];
        }
        if (pending_length_ < need && pos == in.size()) {
            return 0;  // still cut short: wait for the next piece
        }
        const std::string_view held{pending_, pending_length_};
        for (std::size_t at = 0; at < held.size();) {
            written += encode_one(held, at, out + written);
        }
        pending_length_ = 0;
    }
    while (pos < in.size()) {
        const auto byte = static_cast<unsigned char>(in[pos]);
        if (byte < 0x80) {
            out[written++] = static_cast<char>(byte);
            ++pos;
            continue;
        }
        const std::size_t need = sequence_length(byte);
        std::size_t whole = 1;
        while (whole < need && is_continuation(in, pos + whole)) {
            ++whole;
        }
        if (need > 0 && whole < need && pos + whole == in.size()) {
            for (; pos < in.size(); ++pos) {
                pending_[pending_length_++] = in[pos];
            }
            break;
        }
        written += encode_one(in, pos, out + written);
    }
    return written;
}
