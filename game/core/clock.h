// The game's view of time: the wall clock that counts real days for the turn
// limit, the monotonic clock, and the one sleep used by every animation.
// Tests replace the hooks; production leaves them empty.
#pragma once

#include <cstdint>

// Seconds since the epoch (UTC).
std::int64_t now_seconds();
// Today's number as the turn limit counts days: whole UTC days since the epoch.
std::int32_t real_day();
// Milliseconds of a clock that never goes back.
std::int64_t monotonic_ms();
// Pauses an animation for the given milliseconds; a caller who hangs up or a
// quit signal meanwhile ends the game at once.
void game_sleep_ms(int ms);

extern std::int64_t (*g_clock_hook)();
extern void (*g_sleep_hook)(int ms);
// Replaces the monotonic clock, so real-time screens (the hack minigame) can
// be played frame by frame in a test.
extern std::int64_t (*g_monotonic_hook)();
