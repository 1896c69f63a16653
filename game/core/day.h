// One game day of the board: turns, callers, money, standing, events, victory.
#pragma once

// Advances the board one day when a turn is left today (real UTC days) and
// reports it; every change is saved before the box that tells of it.
void run_day();
