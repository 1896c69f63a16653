// The game's view of time: the wall clock that counts real days for the turn
// limit and the monotonic clock. Tests replace the hooks; production leaves
// them empty. (The sleep of the animations wakes on keys and hang-ups, so it
// lives with the terminal: game/screen/pause.h.)
#pragma once

#include <cstdint>

// Seconds since the epoch (UTC).
std::int64_t now_seconds();
// Today's number as the turn limit counts days: whole UTC days since the epoch.
std::int32_t real_day();
// Milliseconds of a clock that never goes back.
std::int64_t monotonic_ms();

extern std::int64_t (*g_clock_hook)();
// Replaces the monotonic clock, so real-time screens (the hack minigame) can
// be played frame by frame in a test.
extern std::int64_t (*g_monotonic_hook)();
