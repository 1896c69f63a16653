#include "tests/support/vt_screen.h"

#include "common/cp437.h"

#include <vterm.h>

#include <array>
#include <cstdio>

namespace vt {

namespace {

void append_utf8(std::string& out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

int settermprop_cb(VTermProp prop, VTermValue* val, void* user)
{
    auto* self = static_cast<vt_screen*>(user);
    if (prop == VTERM_PROP_CURSORVISIBLE)
        self->set_cursor_visible(val->boolean != 0);
    else if (prop == VTERM_PROP_ALTSCREEN)
        self->set_alt_screen(val->boolean != 0);
    return 1;
}

const VTermScreenCallbacks SCREEN_CALLBACKS = {
    .damage = nullptr,
    .moverect = nullptr,
    .movecursor = nullptr,
    .settermprop = settermprop_cb,
    .bell = nullptr,
    .resize = nullptr,
    .sb_pushline = nullptr,
    .sb_popline = nullptr,
};

int colour_index(const VTermColor& c)
{
    if (VTERM_COLOR_IS_DEFAULT_FG(&c) || VTERM_COLOR_IS_DEFAULT_BG(&c))
        return -1;
    if (VTERM_COLOR_IS_INDEXED(&c))
        return c.indexed.idx;
    return -2;  // an RGB colour
}

}  // namespace

std::uint32_t cp437_to_unicode(unsigned char byte)
{
    return CP437_UNICODE[byte];
}

std::string cp437_to_utf8(std::string_view bytes)
{
    std::string out;
    for (char c : bytes)
        append_utf8(out, CP437_UNICODE[static_cast<unsigned char>(c)]);
    return out;
}

vt_screen::vt_screen(int cols, int rows) : cols_(cols), rows_(rows)
{
    vt_ = vterm_new(rows, cols);
    vterm_set_utf8(vt_, 1);
    screen_ = vterm_obtain_screen(vt_);
    vterm_screen_set_callbacks(screen_, &SCREEN_CALLBACKS, this);
    vterm_screen_enable_altscreen(screen_, 1);
    vterm_screen_reset(screen_, 1);
}

vt_screen::~vt_screen()
{
    vterm_free(vt_);
}

void vt_screen::feed(std::string_view bytes)
{
    if (!bytes.empty())
        vterm_input_write(vt_, bytes.data(), bytes.size());
    vterm_screen_flush_damage(screen_);
}

void vt_screen::feed_cp437(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() * 2);
    // Like the code page 437 terminals BBS callers use, only backspace, tab,
    // line feed, carriage return and escape act as controls; every other byte
    // is drawn as its PC glyph.
    for (char c : bytes) {
        auto b = static_cast<unsigned char>(c);
        bool control = c0_controls_ ? b < 0x20 : (b == 8 || b == 9 || b == 10 || b == 13 || b == 27);
        if ((b >= 0x20 && b < 0x7F) || control)
            out += c;
        else
            append_utf8(out, CP437_UNICODE[b]);
    }
    feed(out);
}

cell_info vt_screen::cell(int x, int y) const
{
    cell_info info;
    if (x < 0 || y < 0 || x >= cols_ || y >= rows_)
        return info;
    VTermScreenCell c{};
    vterm_screen_get_cell(screen_, VTermPos{y, x}, &c);
    info.ch = c.chars[0] ? c.chars[0] : ' ';
    info.fg = colour_index(c.fg);
    info.bg = colour_index(c.bg);
    info.bold = c.attrs.bold != 0;
    info.reverse = c.attrs.reverse != 0;
    info.underline = c.attrs.underline != 0;
    info.italic = c.attrs.italic != 0;
    return info;
}

std::string vt_screen::text_at(int x, int y, int len) const
{
    std::string out;
    for (int i = 0; i < len && x + i < cols_; ++i) {
        VTermScreenCell c{};
        if (y < 0 || y >= rows_ || x + i < 0)
            continue;
        vterm_screen_get_cell(screen_, VTermPos{y, x + i}, &c);
        if (c.width == 0 || c.chars[0] == static_cast<std::uint32_t>(-1))
            continue;  // right half of a wide character
        if (c.chars[0] == 0) {
            out += ' ';
            continue;
        }
        for (int k = 0; k < VTERM_MAX_CHARS_PER_CELL && c.chars[k]; ++k)
            append_utf8(out, c.chars[k]);
    }
    return out;
}

std::string vt_screen::row_text(int y, bool keep_trailing) const
{
    std::string s = text_at(0, y, cols_);
    if (!keep_trailing) {
        while (!s.empty() && s.back() == ' ')
            s.pop_back();
    }
    return s;
}

std::string vt_screen::dump() const
{
    std::string out;
    for (int y = 0; y < rows_; ++y) {
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "%2d|", y);
        out += prefix;
        out += row_text(y);
        out += '\n';
    }
    return out;
}

int vt_screen::find_row(std::string_view text) const
{
    for (int y = 0; y < rows_; ++y) {
        if (row_text(y, true).find(text) != std::string::npos)
            return y;
    }
    return -1;
}

int vt_screen::cursor_x() const
{
    VTermPos pos{};
    vterm_state_get_cursorpos(vterm_obtain_state(vt_), &pos);
    return pos.col;
}

int vt_screen::cursor_y() const
{
    VTermPos pos{};
    vterm_state_get_cursorpos(vterm_obtain_state(vt_), &pos);
    return pos.row;
}

}  // namespace vt
