// Decoding outside text into glyphs, and drawing it cut to a column width.
#include "chat/ui/display_text.h"

#include "chat/ui/screen_out.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

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

void set_visible(glyph& g, std::uint32_t cp, std::size_t used)
{
    g.used = used;
    g.width = static_cast<std::uint8_t>(codepoint_width(cp));
    g.space = cp == ' ';
    encode_utf8(cp, g);
}

}  // namespace

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
    const std::size_t n = text.size();
    // The last character is a whole, valid UTF-8 sequence when one ends the
    // text; otherwise one byte, as each malformed byte is drawn as a stand-in
    // of its own, so a run of them is never taken at once with the character
    // before it.
    if (n == 0 || (static_cast<unsigned char>(text[n - 1]) & 0xC0) != 0x80) {
        return n > 0 ? n - 1 : 0;
    }
    for (std::size_t back = 2; back <= 4 && back <= n; ++back) {
        const auto b = static_cast<unsigned char>(text[n - back]);
        if ((b & 0xC0) != 0x80) {
            text_attr ignored;
            return b >= 0xC0 && next_glyph(text, n - back, ignored).used == back ? n - back : n - 1;
        }
    }
    return n - 1;
}
