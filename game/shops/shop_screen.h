// Layer game/shops, above game/screen beside game/tools: stores, underground, hacking; includes those below, tools.
// Pieces the stores' screens share: centred status lines, the reputation cap
// of every purchase, and key folding.
#pragma once

// Text centred on a row ((80 - length) / 2, at least column 0), bold.
void put_centred(int y, const char* text, int fg);
// " CASH $..    DAY ..    REP ..    HEAT .. " centred on a row, yellow.
void put_money_line(int y);
// Adds a reputation bonus, capped at 100.
void add_rep(int bonus);
// Heat a hack brings once the owned protection has shed its part, never
// below 0.
int shed_heat(int heat);
// Adds heat, capped at 100.
void add_heat(int gain);
// Letters folded to upper case; other keys unchanged.
int fold_upper(int key);
