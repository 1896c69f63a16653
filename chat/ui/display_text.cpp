// Decoding outside text into glyphs, and drawing it cut to a column width.
#include "chat/ui/display_text.h"

#include "chat/ui/screen_out.h"
#include "common/cp437.h"

#include <algorithm>
#include <array>
#include <cstdio>

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

// The 16 IRC colours as 256-colour indices.
constexpr std::array<std::int16_t, 16> IRC_COLOURS{15, 0, 4, 2, 9, 1, 5, 3, 11, 10, 6, 14, 12, 13, 8, 7};

constexpr std::uint32_t REPLACEMENT = 0xFFFD;

void encode_utf8(std::uint32_t cp, glyph& g)
{
    if (cp < 0x80) {
        g.out[0] = static_cast<char>(cp);
        g.length = 1;
    } else if (cp < 0x800) {
        g.out[0] = static_cast<char>(0xC0 | (cp >> 6));
        g.out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        g.length = 2;
    } else if (cp < 0x10000) {
        g.out[0] = static_cast<char>(0xE0 | (cp >> 12));
        g.out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        g.out[2] = static_cast<char>(0x80 | (cp & 0x3F));
        g.length = 3;
    } else {
        g.out[0] = static_cast<char>(0xF0 | (cp >> 18));
        g.out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        g.out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        g.out[3] = static_cast<char>(0x80 | (cp & 0x3F));
        g.length = 4;
    }
}

bool is_continuation(std::string_view text, std::size_t pos)
{
    return pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80;
}

// Decodes one well-formed UTF-8 sequence (no overlong forms, no surrogates,
// nothing above U+10FFFF); returns its length, or 0 when malformed.
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

// Up to two decimal digits at text[pos]; returns how many were read.
std::size_t read_colour_number(std::string_view text, std::size_t pos, int& value)
{
    std::size_t n = 0;
    value = 0;
    while (n < 2 && pos + n < text.size() && text[pos + n] >= '0' && text[pos + n] <= '9') {
        value = value * 10 + (text[pos + n] - '0');
        ++n;
    }
    return n;
}

std::int16_t irc_colour(int value)
{
    return value < 16 ? IRC_COLOURS[static_cast<std::size_t>(value)] : std::int16_t{-1};
}

// ^C[fg[,bg]]: a bare ^C ends the colours.
std::size_t read_colour_code(std::string_view text, std::size_t pos, text_attr& attr)
{
    std::size_t used = 1;
    int fg = 0;
    const std::size_t fg_digits = read_colour_number(text, pos + used, fg);
    if (fg_digits == 0) {
        attr.fg = attr.bg = -1;
        return used;
    }
    used += fg_digits;
    attr.fg = irc_colour(fg);
    int bg = 0;
    if (pos + used < text.size() && text[pos + used] == ',') {
        const std::size_t bg_digits = read_colour_number(text, pos + used + 1, bg);
        if (bg_digits > 0) {
            used += 1 + bg_digits;
            attr.bg = irc_colour(bg);
        }
    }
    return used;
}

bool is_hex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// ^D[RRGGBB[,RRGGBB]]: hex colours are dropped, the text keeps the others.
std::size_t skip_hex_colour(std::string_view text, std::size_t pos)
{
    std::size_t used = 1;
    for (int part = 0; part < 2; ++part) {
        const std::size_t start = pos + used + (part == 1 ? 1 : 0);
        if (part == 1 && (pos + used >= text.size() || text[pos + used] != ',')) {
            break;
        }
        std::size_t n = 0;
        while (n < 6 && start + n < text.size() && is_hex(text[start + n])) {
            ++n;
        }
        if (n < 6) {
            break;
        }
        used = start + 6 - pos;
    }
    return used;
}

// The formatting code at text[pos], or 0 when the byte is none.
std::size_t read_format(std::string_view text, std::size_t pos, text_attr& attr)
{
    switch (text[pos]) {
    case 0x02: attr.flags ^= text_attr::bold; return 1;
    case 0x1D: attr.flags ^= text_attr::italic; return 1;
    case 0x1F: attr.flags ^= text_attr::underline; return 1;
    case 0x16: attr.flags ^= text_attr::reverse; return 1;
    case 0x1E: attr.flags ^= text_attr::strike; return 1;
    case 0x0F: attr = {}; return 1;
    case 0x11: return 1;  // monospace: every cell already is
    case 0x03: return read_colour_code(text, pos, attr);
    case 0x04: return skip_hex_colour(text, pos);
    default: return 0;
    }
}

// Bytes of the UTF-8 sequence a lead byte starts; 0 when it starts none.
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

void set_visible(glyph& g, std::uint32_t cp, std::size_t used)
{
    g.used = used;
    g.width = static_cast<std::uint8_t>(codepoint_width(cp));
    g.space = cp == ' ';
    encode_utf8(cp, g);
}

}  // namespace

int codepoint_width(std::uint32_t cp)
{
    if (in_ranges(ZERO_WIDTH, cp)) {
        return 0;
    }
    return in_ranges(WIDE, cp) || (cp >= 0x20000 && cp <= 0x3FFFD) ? 2 : 1;
}

glyph next_glyph(std::string_view text, std::size_t pos, text_attr& attr)
{
    glyph g;
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (byte < 0x20 || byte == 0x7F) {
        if (const std::size_t n = read_format(text, pos, attr); n > 0) {
            g.used = n;
            g.format = true;
            return g;
        }
        set_visible(g, byte == 0x7F ? 0x2421u : 0x2400u + byte, 1);
        return g;
    }
    if (byte < 0x80) {
        set_visible(g, byte, 1);
        return g;
    }
    std::uint32_t cp = 0;
    const std::size_t n = decode_utf8(text, pos, cp);
    const bool c1_control = cp >= 0x80 && cp <= 0x9F;
    if (n == 0 || c1_control) {
        set_visible(g, REPLACEMENT, n == 0 ? 1 : n);
        return g;
    }
    set_visible(g, cp, n);
    return g;
}

int text_columns(std::string_view text)
{
    text_attr attr;
    int columns = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        const glyph g = next_glyph(text, pos, attr);
        columns += g.width;
        pos += g.used;
    }
    return columns;
}

void put_attr(out_buffer& out, std::string_view base, const text_attr& attr)
{
    out.put("\x1b[0m");
    out.put(base);
    if (attr.plain()) {
        return;
    }
    static constexpr std::array<std::pair<std::uint8_t, int>, 5> FLAG_CODES{{
        {text_attr::bold, 1},
        {text_attr::italic, 3},
        {text_attr::underline, 4},
        {text_attr::reverse, 7},
        {text_attr::strike, 9},
    }};
    // Codes joined by ';' after the first; no leading 0, which would undo base.
    char codes[64] = "";
    std::size_t n = 0;
    const auto add = [&](const char* format, int value) {
        const int w = std::snprintf(codes + n, sizeof codes - n, format, n == 0 ? "" : ";", value);
        n = std::min(sizeof codes - 1, n + static_cast<std::size_t>(std::max(w, 0)));
    };
    for (const auto& [flag, code] : FLAG_CODES) {
        if (attr.flags & flag) {
            add("%s%d", code);
        }
    }
    if (attr.fg >= 0) {
        add("%s38;5;%d", attr.fg);
    }
    if (attr.bg >= 0) {
        add("%s48;5;%d", attr.bg);
    }
    out.putf("\x1b[%sm", codes);
}

int put_text(out_buffer& out, std::string_view text, int width, std::string_view base, text_format format,
             text_attr attr)
{
    const bool render = format == text_format::render;
    text_attr shown;  // what the terminal currently has on top of base
    int columns = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        const glyph g = next_glyph(text, pos, attr);
        if (columns + g.width > width) {
            break;
        }
        pos += g.used;
        if (g.format) {
            continue;
        }
        if (render && !(attr == shown)) {
            put_attr(out, base, attr);
            shown = attr;
        }
        out.put({g.out, g.length});
        columns += g.width;
    }
    if (!shown.plain()) {
        put_attr(out, base, {});
    }
    out.spaces(width - columns);
    return columns;
}

void print_clip(int width, std::string_view text)
{
    put_text(g_out, text, width);
}

std::size_t bytes_within_columns(std::string_view text, int columns)
{
    text_attr attr;
    int used_columns = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const glyph g = next_glyph(text, pos, attr);
        if (used_columns + g.width > columns) {
            break;
        }
        used_columns += g.width;
        pos += g.used;
    }
    return pos;
}

std::string_view tail_within_columns(std::string_view text, int columns)
{
    int over = text_columns(text) - columns;
    text_attr attr;
    while (over > 0 && !text.empty()) {
        const glyph g = next_glyph(text, 0, attr);
        over -= g.width;
        text.remove_prefix(g.used);
    }
    return text;
}

std::size_t without_last_character(std::string_view text)
{
    std::size_t n = text.size();
    while (n > 0 && (static_cast<unsigned char>(text[n - 1]) & 0xC0) == 0x80) {
        --n;
    }
    return n > 0 ? n - 1 : 0;
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
