// Fixture of the day's tests: a fresh board, a clock stopped at noon of a
// known real day, recorded animation sleeps, and a way to pick the
// generator's state so that the day's draws come out as a test needs.
#pragma once

#include "game/app/day_screens.h"
#include "game/rules/day.h"
#include "game/rules/storage.h"
#include "tests/game/game_fixture.h"

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>

// The values the next draws of the generator give from a state.
struct draw_peek {
    std::array<std::uint32_t, 8> v{};
    std::uint32_t operator[](std::size_t i) const { return v[i]; }
};

inline draw_peek peek_draws(std::uint32_t state, std::initializer_list<std::uint32_t> ranges)
{
    const std::uint32_t saved = g_rng;
    g_rng = state;
    draw_peek p;
    std::size_t i = 0;
    for (std::uint32_t n : ranges)
        p.v[i++] = rng_draw(n);
    g_rng = saved;
    return p;
}

// The first generator state whose draws over these ranges satisfy ok.
template <typename Pred>
std::uint32_t state_where(std::initializer_list<std::uint32_t> ranges, Pred ok)
{
    for (std::uint32_t s = 1; s != 0; ++s) {
        if (ok(peek_draws(s, ranges)))
            return s;
    }
    ADD_FAILURE() << "no generator state gives these draws";
    return 0;
}

class day_test : public game_test {
protected:
    static constexpr std::int32_t TODAY = 20000;  // real days since the epoch
    static constexpr std::int64_t NOON = TODAY * std::int64_t{86400} + 12 * 3600;
    static constexpr int ANY = -1;

    day_test()
    {
        new_profile();
        g_clock_hook = [] { return NOON; };
        slept_ms = 0;
        g_sleep_hook = [](int ms) { slept_ms += ms; };
    }

    // Sets the generator so the day draws callers_draw of 9 and then the
    // event roll (either may be ANY).
    static void set_day_draws(int callers_draw, int roll)
    {
        g_rng = state_where({9, 100}, [&](const draw_peek& d) {
            return (callers_draw == ANY || d[0] == static_cast<std::uint32_t>(callers_draw)) &&
                   (roll == ANY || d[1] == static_cast<std::uint32_t>(roll));
        });
    }

    // Runs one day, answering every box it shows.
    void run_one_day()
    {
        door.send_keys("xxx");
        run_day();
    }

    // The caption of the box on screen now ("" when there is none).
    std::string last_box_title()
    {
        auto s = screen();
        for (int y = 0; y < s->rows(); ++y) {
            std::string row = s->row_text(y);
            auto open = row.find("╡ ");
            auto close = row.find(" ╞");
            if (open != std::string::npos && close != std::string::npos && close > open)
                return row.substr(open + std::string("╡ ").size(), close - open - std::string("╡ ").size());
        }
        return "";
    }

    bool screen_shows(const std::string& text) { return screen()->contains(text); }

    // A board whose threat is at the top (25) once the day has run: cash
    // 5000, 2000 callers, fame 2, rep 50, day 120 weigh 2 + 5 + 8 + 8 + 3.
    static void make_threatened_board()
    {
        P.cash = 5000;
        P.total_callers = 2000;
        P.fame = 2;
        P.rep = 50;
        P.day = 119;
        P.hw_health = 80;
        P.hdd = 2;  // 120 MB: room for a full set of protection
    }

    // Every protection item owned at full health: 125 shed, capped at 80.
    static void protect_fully()
    {
        P.protection = 0x3ff;
        for (int i = 0; i < 10; ++i)
            P.protect_health[i] = 100;
    }

    static inline int slept_ms = 0;
};
