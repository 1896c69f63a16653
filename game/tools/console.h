// The console: the home screen of a running game with the board, its
// numbers, the hardware and network panels and the command menu.
#pragma once

// Draws and presents the whole console from P and the clock.
void render_console();
// Days the player may still advance today (from the clock and P).
int turns_left_today();
// The daily limit the console shows turns against.
int turns_limit();
