// ANSI escapes for colour pairs and for IRC colour numbers.
#pragma once

#include <array>

// Foreground "\e[30m".."\e[37m", bright foreground "\e[90m".."\e[97m",
// background "\e[40m".."\e[47m".
extern const std::array<const char *, 8> ansi_colors;
extern const std::array<const char *, 8> ansi_colors_dark;
extern const std::array<const char *, 8> ansi_bg_colors;

// The background escape (bg 0..7, else none) followed by the foreground one
// (bright: the 90s for fg 0..7; otherwise the 30s for fg mod 8; none for a
// negative fg). The text stays valid until this thread's next call.
const char *color_get_ansi(int fg, int bg, int bright);

// The escape for an IRC colour number 0..15; "\e[0m" for any other.
const char *color_irc_to_ansi(int code);
