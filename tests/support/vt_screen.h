// A terminal as a person sees it: bytes go in, rows of text and cell colours
// come out. Wraps libvterm so tests never string-match escape sequences.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct VTerm;
struct VTermScreen;

namespace vt {

// One character cell. Colours are palette indexes (0..7 for the ANSI colours,
// up to 255 for 256-colour SGR), or -1 when the cell uses the default colour.
struct cell_info {
    std::uint32_t ch = ' ';   // Unicode code point shown (space for an empty cell)
    int fg = -1;
    int bg = -1;
    bool bold = false;
    bool reverse = false;
    bool underline = false;
    bool italic = false;
};

// Unicode code point a code page 437 byte shows on a PC screen (0 shows blank).
std::uint32_t cp437_to_unicode(unsigned char byte);
// UTF-8 text of a code page 437 byte string, glyph by glyph.
std::string cp437_to_utf8(std::string_view bytes);

class vt_screen {
public:
    explicit vt_screen(int cols = 80, int rows = 25);
    ~vt_screen();
    vt_screen(const vt_screen&) = delete;
    vt_screen& operator=(const vt_screen&) = delete;

    // Feeds UTF-8 terminal output.
    void feed(std::string_view bytes);
    // Feeds output whose bytes are code page 437 glyphs (the game's door
    // stream), shown as a BBS caller's terminal would: every byte but BS, TAB,
    // LF, CR and ESC draws its PC glyph, unless every byte below 32 is taken
    // as a control (below).
    void feed_cp437(std::string_view bytes);
    // Makes feed_cp437 act as the many terminals that take every byte below
    // 32 as a control (byte 15 shifts character sets and draws nothing).
    void take_c0_as_controls(bool on) { c0_controls_ = on; }

    int cols() const { return cols_; }
    int rows() const { return rows_; }

    // Text of row y as UTF-8; trailing blanks removed unless keep_trailing.
    std::string row_text(int y, bool keep_trailing = false) const;
    // UTF-8 text of len cells from (x, y).
    std::string text_at(int x, int y, int len) const;
    cell_info cell(int x, int y) const;
    // The whole screen, one row per line, for failure messages.
    std::string dump() const;
    // Row holding the text, or -1.
    int find_row(std::string_view text) const;
    bool contains(std::string_view text) const { return find_row(text) >= 0; }

    int cursor_x() const;
    int cursor_y() const;
    bool cursor_visible() const { return cursor_visible_; }
    bool alt_screen() const { return alt_screen_; }

    // Used by libvterm's callbacks.
    void set_cursor_visible(bool v) { cursor_visible_ = v; }
    void set_alt_screen(bool v) { alt_screen_ = v; }

private:
    int cols_;
    int rows_;
    VTerm* vt_ = nullptr;
    VTermScreen* screen_ = nullptr;
    bool cursor_visible_ = true;
    bool alt_screen_ = false;
    bool c0_controls_ = false;
};

}  // namespace vt
