// One game day of the board: turns, callers, money, standing, events, victory.
#pragma once

void run_day();
