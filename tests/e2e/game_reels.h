// A caller who plays the hack minigame by eye: reads the target and the reels
// off the screen and presses space when the next reel shows the digit wanted.
#pragma once

#include "tests/support/door_call.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace reels {

struct view {
    bool playing = false;
    int target = -1;
    int attempts = 0;
    int next = 4;  // the reel the next space stops
    int digit = -1;
};

inline view read(const vt::vt_screen& s)
{
    view v;
    const std::string row = s.row_text(4);
    const std::size_t at = row.find("Target digit: ");
    if (at == std::string::npos || s.row_text(1).find("BREAKING IN") == std::string::npos)
        return v;
    int difficulty = 0;
    if (std::sscanf(row.c_str() + row.find("Difficulty:"), "Difficulty: %d    Target digit: %d    Attempts left: %d",
                    &difficulty, &v.target, &v.attempts) != 3)
        return v;
    v.playing = true;
    for (v.next = 0; v.next < 4 && s.cell(26 + 9 * v.next, 12).fg == 2; ++v.next) {
    }
    if (v.next < 4) {
        const std::uint32_t ch = s.cell(26 + 9 * v.next, 12).ch;
        v.digit = ch >= '0' && ch <= '9' ? static_cast<int>(ch - '0') : -1;
    }
    return v;
}

// The box that ends a game, or "" while it goes on.
inline std::string result_box(const vt::vt_screen& s)
{
    for (const char* title : {"SCORE", "BUSTED TRACE", "RIVAL OWNED", "TRACED", "Aborted", "Target gone"}) {
        if (s.contains(std::string("╡ ") + title + " ╞"))
            return title;
    }
    return "";
}

// Plays one game to its end; true when it was won. want_win: press on the
// target; otherwise press on digits that are neither the target nor one
// step before it, so every press misses. The result box stays on screen.
inline std::string play(testsupport::door_caller& c, bool want_win,
                        std::chrono::seconds bound = std::chrono::seconds(120))
{
    const auto give_up = std::chrono::steady_clock::now() + bound;
    if (!c.wait_until([&] { return read(c.screen()).playing; }, std::chrono::seconds(30)))
        return "no game";
    while (std::chrono::steady_clock::now() < give_up) {
        view seen;
        const bool ready = c.wait_until(
            [&] {
                if (!c.frame_complete())
                    return false;
                if (!result_box(c.screen()).empty())
                    return true;
                seen = read(c.screen());
                if (!seen.playing || seen.digit < 0)
                    return false;
                return want_win ? seen.digit == seen.target
                                : seen.digit != seen.target && (seen.digit + 1) % 10 != seen.target;
            },
            std::chrono::seconds(30));
        const std::string box = result_box(c.screen());
        if (!box.empty())
            return box;
        if (!ready)
            continue;
        c.send(" ");
        // Wait for the press to show: a reel locked or an attempt gone.
        c.wait_until(
            [&] {
                if (!c.frame_complete())
                    return false;
                if (!result_box(c.screen()).empty())
                    return true;
                const view now = read(c.screen());
                return now.playing && (now.next != seen.next || now.attempts != seen.attempts);
            },
            std::chrono::seconds(30));
    }
    return "timed out";
}

}  // namespace reels
