// The day as the player sees it: the end-of-day box, the event's box, the VIP
// caller's modem handshake.
#pragma once

// Plays one day of the board (console key "1").
void run_day();
