#include "game/shops/hack_minigame.h"

#include "game/rules/clock.h"
#include "game/rules/profile.h"
#include "game/screen/cells.h"
#include "game/screen/dialogs.h"
#include "game/screen/terminal.h"
#include "game/shops/shop_screen.h"

#include <cstdint>
#include <cstdio>

namespace {

constexpr int REELS = 4;
// One frame lasts until more than 59 ms have passed since it was shown.
constexpr std::int64_t FRAME_MS = 60;
constexpr int KEY_ESC = 27;
constexpr int KEY_SPACE = ' ';
constexpr int KEY_CTRL_L = 12;
constexpr int KEY_CTRL_R = 18;

struct reel_game {
    int difficulty = 10;
    int target = 3;
    int attempts = 9;
    int value[REELS]{};
    bool locked[REELS]{};
    int period[REELS]{};
    int tick = 0;
};

enum class outcome { playing, won, lost, aborted };

reel_game start_game(int difficulty)
{
    reel_game g;
    g.difficulty = clamp_to(difficulty, 10, 95);
    // Draw order: the target first, then the periods from the left.
    g.target = static_cast<int>(rng_draw(7)) + 3;
    for (int& p : g.period)
        p = g.difficulty / 20 + 1 + static_cast<int>(rng_draw(3));
    g.attempts = 9 - g.difficulty / 20;
    return g;
}

// A higher difficulty makes the reels step more slowly, not faster.
void turn_reels(reel_game& g)
{
    ++g.tick;
    for (int i = 0; i < REELS; ++i) {
        if (!g.locked[i] && g.tick % (g.period[i] + 1) == 0)
            g.value[i] = (g.value[i] + 1) % 10;
    }
}

// Stops the leftmost turning reel. A miss costs an attempt and sets the reel
// turning again from a random digit.
outcome lock_next_reel(reel_game& g)
{
    int i = 0;
    while (i < REELS && g.locked[i])
        ++i;
    if (i == REELS)
        return outcome::playing;
    g.locked[i] = true;
    if (g.value[i] == g.target)
        return i == REELS - 1 ? outcome::won : outcome::playing;
    if (--g.attempts <= 0)
        return outcome::lost;
    g.locked[i] = false;
    g.value[i] = static_cast<int>(rng_draw(10));
    return outcome::playing;
}

void draw_game(const reel_game& g)
{
    compose_framed_screen("HACKING", "BREAKING IN", 5);
    char line[96];
    std::snprintf(line, sizeof line, "Difficulty: %d    Target digit: %d    Attempts left: %d", g.difficulty,
                  g.target, g.attempts);
    put_centred(4, line, 7);
    put_str(21, 6, "Lock all 4 reels on the TARGET digit.", 6, 0, 1);
    put_str(15, 7, "Press SPACE to lock the next reel (left to right).", 6, 0, 1);
    for (int i = 0; i < REELS; ++i) {
        const int c = g.locked[i] ? 2 : 3;
        draw_box(23 + 9 * i, 10, 29 + 9 * i, 14, c);
        put_fmt(25 + 9 * i, 12, c, 0, 1, " %d ", g.value[i]);
    }
    put_str(26, 18, "[SPACE] lock    [ESC] abort", 7, 0, 1);
    draw_footer("Time is running.");
    present_frame();
}

// Waits for keys until the frame's time is up, blocking in the key wait for
// exactly the time left: a key counts in the window in which it arrives, and
// an idle game sleeps instead of spinning.
outcome wait_out_frame(reel_game& g)
{
    const std::int64_t shown_at = monotonic_ms();
    for (;;) {
        const std::int64_t left = shown_at + FRAME_MS - monotonic_ms();
        if (left <= 0)
            return outcome::playing;
        unsigned char b = 0;
        if (!try_read_byte(static_cast<unsigned>(left), &b))
            continue;
        // Bytes one by one: an arrow key's leading ESC aborts like ESC.
        if (b == KEY_ESC)
            return outcome::aborted;
        if (b == KEY_CTRL_L || b == KEY_CTRL_R) {
            force_full_repaint();   // a garbled terminal: the next frame goes whole
            continue;
        }
        if (b != KEY_SPACE)
            continue;
        const outcome o = lock_next_reel(g);
        if (o != outcome::playing)
            return o;
    }
}

int play(reel_game& g)
{
    for (;;) {
        turn_reels(g);
        draw_game(g);
        switch (wait_out_frame(g)) {
        case outcome::won: return 1;
        case outcome::lost: return 0;
        case outcome::aborted: return -1;
        case outcome::playing: break;
        }
    }
}

}  // namespace

int hack_minigame(int difficulty)
{
    reel_game g = start_game(difficulty);
    // The footer goes out with the frame, as one changed row among others.
    g_footer_diff_mode = 1;
    const int result = play(g);
    g_footer_diff_mode = 0;
    return result;
}

int minigame_difficulty(int target_difficulty)
{
    return clamp_to(target_difficulty - P.hack_skill / 3, 10, 95);
}

int difficulty_colour(int target_difficulty)
{
    if (target_difficulty > P.hack_skill + 20)
        return 1;
    return target_difficulty > P.hack_skill ? 3 : 2;
}
