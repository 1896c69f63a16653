// Key codes of the chat program and the decoder that turns input bytes into them.
#pragma once

#include <cstddef>
#include <string_view>

// A plain byte is returned as its own value; these codes stand for the rest.
inline constexpr int KEY_NONE = 0;  // nothing arrived within the wait
inline constexpr int KEY_ESC = 27;
inline constexpr int KEY_ENTER = 1001;
inline constexpr int KEY_UP = 1002;
inline constexpr int KEY_DOWN = 1003;
inline constexpr int KEY_LEFT = 1004;
inline constexpr int KEY_RIGHT = 1005;
inline constexpr int KEY_PGUP = 1006;
inline constexpr int KEY_PGDN = 1007;
inline constexpr int KEY_BACKSPACE = 1008;
inline constexpr int KEY_DELETE = 1009;
inline constexpr int KEY_TAB = 1010;
inline constexpr int KEY_F1 = 1011;
inline constexpr int KEY_F2 = 1012;
inline constexpr int KEY_F3 = 1013;
inline constexpr int KEY_F4 = 1014;
inline constexpr int KEY_HOME = 1015;
inline constexpr int KEY_END = 1016;
// A complete escape sequence no screen uses (Insert, F5...): every
// screen ignores it, so it can never be taken for ESC and leave a view.
inline constexpr int KEY_IGNORED = 1099;

// Turns input bytes into keys. It keeps the bytes of an unfinished escape
// sequence until more arrive or the caller gives up waiting, and it swallows
// the LF or NUL a telnet client sends after CR, also across reads.
class key_decoder {
public:
    static constexpr std::size_t capacity = 256;

    // Adds input; returns how many bytes fitted (the rest must be fed later).
    std::size_t feed(std::string_view bytes);
    // The next complete key, or KEY_NONE. With more_may_come false an
    // unfinished escape sequence is settled at once (a lone ESC is the Escape
    // key), which is what the reader does after waiting in vain for the rest.
    int next(bool more_may_come);
    bool has_input() const { return length_ > 0; }
    std::size_t space() const { return capacity - length_; }

private:
    char bytes_[capacity]{};
    std::size_t length_ = 0;
    bool after_cr_ = false;
};
