// Key decoding: plain bytes, CR/LF, and the VT sequences terminals send for
// cursor, paging and function keys.
#include "chat/ui/keys.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

struct sequence_key {
    std::string_view bytes;  // after the ESC
    int key;
};

// Sequences with a known meaning. ESC O forms are what terminals in
// application cursor mode send for the arrows.
// Home and End come in the forms of xterm, the VT220 and rxvt.
constexpr std::array<sequence_key, 23> SEQUENCES{{
    {"[A", KEY_UP},    {"[B", KEY_DOWN},  {"[C", KEY_RIGHT},   {"[D", KEY_LEFT}, {"OA", KEY_UP},
    {"OB", KEY_DOWN},  {"OC", KEY_RIGHT}, {"OD", KEY_LEFT},    {"[5~", KEY_PGUP}, {"[6~", KEY_PGDN},
    {"[3~", KEY_DELETE}, {"OP", KEY_F1},  {"OQ", KEY_F2},      {"OR", KEY_F3},   {"OS", KEY_F4},
    {"[H", KEY_HOME},  {"OH", KEY_HOME},  {"[1~", KEY_HOME},   {"[7~", KEY_HOME},
    {"[F", KEY_END},   {"OF", KEY_END},   {"[4~", KEY_END},    {"[8~", KEY_END},
}};

bool is_csi_parameter(unsigned char c) { return c >= 0x20 && c <= 0x3F; }
bool is_csi_final(unsigned char c) { return c >= 0x40 && c <= 0x7E; }

// Length of the CSI sequence starting at bytes[1] == '[', or 0 when it is not
// finished within the bytes given. Long parameter runs are cut off so a
// stream of junk cannot hold the decoder forever.
std::size_t csi_length(std::string_view bytes)
{
    constexpr std::size_t longest = 16;
    for (std::size_t i = 2; i < bytes.size() && i < longest; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (is_csi_final(c)) {
            return i + 1;
        }
        if (!is_csi_parameter(c)) {
            return i;  // broken sequence: end it before the odd byte
        }
    }
    return bytes.size() >= longest ? longest : 0;
}

int sequence_code(std::string_view body)
{
    for (const auto& s : SEQUENCES) {
        if (s.bytes == body) {
            return s.key;
        }
    }
    // xterm sends Shift/Ctrl/Alt + arrow as ESC [ 1 ; m X: plain arrows here.
    if (body.size() == 5 && body.substr(0, 3) == "[1;") {
        const char plain[2] = {'[', body[4]};
        return sequence_code(std::string_view{plain, 2});
    }
    return KEY_IGNORED;
}

struct key_parse {
    int key;
    std::size_t used;  // 0: the bytes may still grow into a longer sequence
};

key_parse parse_escape(std::string_view bytes, bool more_may_come)
{
    if (bytes.size() < 2) {
        return more_may_come ? key_parse{KEY_NONE, 0} : key_parse{KEY_ESC, 1};
    }
    const char kind = bytes[1];
    if (kind == '[') {
        const std::size_t n = csi_length(bytes);
        if (n == 0) {
            return more_may_come ? key_parse{KEY_NONE, 0} : key_parse{KEY_ESC, bytes.size()};
        }
        return {sequence_code(bytes.substr(1, n - 1)), n};
    }
    if (kind == 'O') {
        if (bytes.size() < 3) {
            return more_may_come ? key_parse{KEY_NONE, 0} : key_parse{KEY_ESC, 2};
        }
        const int code = sequence_code(bytes.substr(1, 2));
        return {code == KEY_IGNORED ? KEY_ESC : code, 3};
    }
    // ESC followed by anything else (Alt+letter): the Escape key, and the
    // byte is used up with it.
    return {KEY_ESC, 2};
}

key_parse parse_key(std::string_view bytes, bool more_may_come)
{
    const auto c = static_cast<unsigned char>(bytes[0]);
    switch (c) {
    case 27:
        return parse_escape(bytes, more_may_come);
    case '\r':
    case '\n':
        return {KEY_ENTER, 1};
    case 8:
    case 127:
        return {KEY_BACKSPACE, 1};
    case '\t':
        return {KEY_TAB, 1};
    default:
        return {c, 1};
    }
}

}  // namespace

std::size_t key_decoder::feed(std::string_view bytes)
{
    const std::size_t n = std::min(bytes.size(), capacity - length_);
    std::memcpy(bytes_ + length_, bytes.data(), n);
    length_ += n;
    return n;
}

int key_decoder::next(bool more_may_come)
{
    for (;;) {
        if (length_ > 0 && after_cr_ && (bytes_[0] == '\n' || bytes_[0] == '\0')) {
            std::memmove(bytes_, bytes_ + 1, --length_);
            after_cr_ = false;
        }
        if (length_ == 0) {
            return KEY_NONE;  // a pending CR stays remembered for the next read
        }
        const key_parse k = parse_key({bytes_, length_}, more_may_come);
        if (k.used == 0) {
            return KEY_NONE;
        }
        after_cr_ = bytes_[0] == '\r';
        length_ -= k.used;
        std::memmove(bytes_, bytes_ + k.used, length_);
        // A NUL byte (terminal padding) is no key; returning it would read as
        // "nothing arrived" and leave the keys behind it waiting.
        if (k.key != KEY_NONE) {
            return k.key;
        }
    }
}
