// A running game: entering it, the console's commands, the statistics
// screen and the purchase of a node.
#pragma once

#include <cstdint>

// Starts the real day's turn count and reports break-ins since last time.
void enter_game();
// Runs console commands until the player saves and quits to the title.
void console_loop();
// The sysop's dossier; returns after one key.
void stats_screen();
// Price of the node after n nodes: 600 each up to the fifth, then 1000 more
// per node, less 1600.
std::int64_t node_price(int n);
// Offers one more node and buys it when the player agrees and can pay.
void buy_node();
