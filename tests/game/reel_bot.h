// A player for the hack minigame that lives in the game's monotonic clock.
// Every clock read is a moment of a frame: the bot looks at the reels the
// game last composed in g_back, and when its plan calls for a key it writes
// the key into the door at once. The game reads it within the same frame
// window, so a whole game runs in microseconds and always the same way.
#pragma once

#include "game/rules/clock.h"
#include "game/rules/profile.h"
#include "game/screen/cells.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <string>
#include <vector>

// The minigame's screen as the player sees it.
struct reel_view {
    bool shown = false;
    int difficulty = 0;
    int target = 0;
    int attempts = 0;
    int value[4] = {};
    bool locked[4] = {};

    int locked_count() const
    {
        int n = 0;
        for (bool l : locked)
            n += l;
        return n;
    }
    // The reel the next space stops (4 when all are locked).
    int next_reel() const
    {
        int i = 0;
        while (i < 4 && locked[i])
            ++i;
        return i;
    }
};

inline std::string back_row(int y)
{
    std::string s;
    for (int x = 0; x < SCREEN_W; ++x)
        s += static_cast<char>(g_back[y][x].ch);
    return s;
}

inline reel_view read_reels(const cell (&screen)[SCREEN_H][SCREEN_W] = g_back)
{
    reel_view v;
    std::string row;
    for (int x = 0; x < SCREEN_W; ++x)
        row += static_cast<char>(screen[4][x].ch);
    const std::size_t at = row.find("Difficulty:");
    if (at == std::string::npos ||
        std::sscanf(row.c_str() + at, "Difficulty: %d    Target digit: %d    Attempts left: %d", &v.difficulty,
                    &v.target, &v.attempts) != 3)
        return v;
    v.shown = true;
    for (int i = 0; i < 4; ++i) {
        const cell& c = screen[12][26 + 9 * i];
        v.value[i] = c.ch - '0';
        v.locked[i] = c.fg == 2;
    }
    return v;
}

// What the bot does in one game: a string of moves, one per key.
//   'h' a space while the next reel shows the target (a hit)
//   'm' a space while it shows another digit that is not about to turn into
//       the target (a miss)
//   'e' ESC, 'a' an up-arrow sequence
//   'r' Ctrl-L (the caller asks for a redraw; the bot does not wait for a change)
// After the moves run out it plays hits until the game ends.
struct bot_round {
    std::string moves;
    std::string keys_after;               // typed once the game is over (the result box)
    std::function<void()> on_end = {};    // run at that moment, before the keys
};

class reel_bot {
public:
    explicit reel_bot(int door_fd) : fd_(door_fd)
    {
        active_ = this;
        g_monotonic_hook = &reel_bot::tick;
    }
    ~reel_bot()
    {
        g_monotonic_hook = nullptr;
        active_ = nullptr;
    }
    reel_bot(const reel_bot&) = delete;
    reel_bot& operator=(const reel_bot&) = delete;

    void add_round(bot_round r) { rounds_.push_back(std::move(r)); }
    // The next screen of reels is a new game, even without another screen
    // between the two.
    void next_game() { in_game_ = false; }

    // Every view the bot acted on, with the move it made, in order.
    struct step {
        char move;
        reel_view before;
        std::uint32_t rng;  // g_rng as the key went in
    };
    std::vector<step> steps;
    // The first view after each move took effect (the next frame shown).
    std::vector<reel_view> after;
    // The first frame of each game, and g_rng at the last look at the game.
    std::vector<reel_view> openings;
    std::uint32_t rng_at_end = 0;
    int games = 0;
    // Set when a game ran far longer than any plan needs; the bot then
    // pressed ESC so that a broken game fails the test instead of hanging it.
    bool gave_up = false;

private:
    static std::int64_t tick()
    {
        active_->look();
        return active_->now_ += 30;
    }

    void send(const std::string& keys)
    {
        if (!keys.empty())
            (void)!write(fd_, keys.data(), keys.size());
    }

    void look()
    {
        const reel_view v = read_reels();
        if (!v.shown) {
            if (in_game_) {
                in_game_ = false;
                if (current_.on_end)
                    current_.on_end();
                send(current_.keys_after);
            }
            return;
        }
        rng_at_end = g_rng;
        if (!in_game_) {
            in_game_ = true;
            ++games;
            openings.push_back(v);
            current_ = rounds_.empty() ? bot_round{} : rounds_.front();
            if (!rounds_.empty())
                rounds_.pop_front();
            pending_ = false;
            looks_ = 0;
        }
        if (++looks_ > MAX_LOOKS) {
            gave_up = true;
            send("\x1b");
            return;
        }
        if (pending_) {
            if (v.locked_count() == sent_.locked_count() && v.attempts == sent_.attempts)
                return;  // the key has not shown yet
            pending_ = false;
            after.push_back(v);
        }
        const char move = current_.moves.empty() ? 'h' : current_.moves.front();
        const int r = v.next_reel();
        if (r == 4)
            return;
        const int digit = v.value[r];
        std::string key;
        if (move == 'h' && digit == v.target)
            key = " ";
        else if (move == 'm' && digit != v.target && (digit + 1) % 10 != v.target)
            key = " ";
        else if (move == 'e')
            key = "\x1b";
        else if (move == 'a')
            key = "\x1b[A";
        else if (move == 'r')
            key = "\x0c";
        if (key.empty())
            return;
        if (!current_.moves.empty())
            current_.moves.erase(0, 1);
        steps.push_back({move, v, g_rng});
        sent_ = v;
        pending_ = move != 'r';
        send(key);
    }

    static constexpr int MAX_LOOKS = 100000;
    static inline reel_bot* active_ = nullptr;
    int looks_ = 0;
    int fd_;
    std::int64_t now_ = 1'000'000;
    std::deque<bot_round> rounds_;
    bot_round current_;
    bool in_game_ = false;
    bool pending_ = false;
    reel_view sent_;
};

// The value rng_draw(n) gives from a generator state, and the state after.
inline std::uint32_t draw_from(std::uint32_t& state, std::uint32_t n)
{
    const std::uint32_t saved = g_rng;
    g_rng = state;
    const std::uint32_t v = rng_draw(n);
    state = g_rng;
    g_rng = saved;
    return v;
}
