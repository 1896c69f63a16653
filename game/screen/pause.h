// The one sleep used by every animation (the modem, the printer): it wakes on
// a hang-up or a quit signal. Tests replace the hook; production leaves it
// empty.
#pragma once

// Pauses an animation for the given milliseconds; a caller who hangs up or a
// quit signal meanwhile ends the game at once.
void game_sleep_ms(int ms);

extern void (*g_sleep_hook)(int ms);
