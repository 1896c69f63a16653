// One game day of the board: turns, callers, money, standing, events, victory.
// The rules change the board and save it; what the player sees of them goes
// through the screens passed in, so the rules run without a terminal.
#pragma once

// How a day shows itself to the player.
struct day_screens {
    // One piece of news (the board is already saved): a box with a title,
    // its text and the colour of good (2), bad (1) or neutral (3) news.
    void (*news)(const char* title, const char* text, int colour);
    // A VIP caller dials in, before the tip is counted.
    void (*vip_call)();
};

// Starts a fresh count of turns when the real day has changed since P's.
void start_turn_day();
// The daily limit of turns: P's own, or 30 when it holds none.
int turns_limit();
// Turns still left today, never below 0.
int turns_left_today();
// Advances the board one day when a turn is left today (real UTC days) and
// reports it through screens; every change is saved before the news that
// tells of it.
void play_day(const day_screens& screens);
