// Layer game/tools, above game/screen beside game/shops: console, sysop tools; includes those below and shops.
// The console: the home screen of a running game with the board, its
// numbers, the hardware and network panels and the command menu.
#pragma once

// Draws and presents the whole console from P and the clock.
void render_console();
