// Colour escapes.
#include "chat/ircclient/irc_colors.h"

#include <cstdio>

const std::array<const char *, 8> ansi_colors{"\x1b[30m", "\x1b[31m", "\x1b[32m", "\x1b[33m",
                                               "\x1b[34m", "\x1b[35m", "\x1b[36m", "\x1b[37m"};
const std::array<const char *, 8> ansi_colors_dark{"\x1b[90m", "\x1b[91m", "\x1b[92m", "\x1b[93m",
                                                    "\x1b[94m", "\x1b[95m", "\x1b[96m", "\x1b[97m"};
const std::array<const char *, 8> ansi_bg_colors{"\x1b[40m", "\x1b[41m", "\x1b[42m", "\x1b[43m",
                                                  "\x1b[44m", "\x1b[45m", "\x1b[46m", "\x1b[47m"};

namespace {

// The escapes of IRC colours 0..15.
constexpr std::array<const char *, 16> IRC_TO_ANSI{
    "\x1b[37m", "\x1b[30m", "\x1b[34m", "\x1b[32m", "\x1b[31m", "\x1b[33m", "\x1b[35m", "\x1b[38;5;208m",
    "\x1b[33m", "\x1b[92m", "\x1b[36m", "\x1b[96m", "\x1b[94m", "\x1b[95m", "\x1b[90m", "\x1b[37m",
};

} // namespace

const char *color_get_ansi(int fg, int bg, int bright)
{
    thread_local char text[32];
    const char *back = bg >= 0 && bg <= 7 ? ansi_bg_colors[static_cast<std::size_t>(bg)] : "";
    const char *fore = "";
    if (bright != 0 && fg >= 0 && fg <= 7) {
        fore = ansi_colors_dark[static_cast<std::size_t>(fg)];
    } else if (fg >= 0) {
        fore = ansi_colors[static_cast<std::size_t>(fg % 8)];
    }
    std::snprintf(text, sizeof text, "%s%s", back, fore);
    return text;
}

const char *color_irc_to_ansi(int code)
{
    return code >= 0 && code < 16 ? IRC_TO_ANSI[static_cast<std::size_t>(code)] : "\x1b[0m";
}
