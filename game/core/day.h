// One game day of the board: turns, callers, money, standing, events, victory.
#pragma once

// Starts a fresh count of turns when the real day has changed since P's.
void start_turn_day();
// The daily limit of turns: P's own, or 30 when it holds none.
int turns_limit();
// Turns still left today, never below 0.
int turns_left_today();
// Advances the board one day when a turn is left today (real UTC days) and
// reports it; every change is saved before the box that tells of it.
void run_day();
