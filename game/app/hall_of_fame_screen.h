// The hall of fame as the player sees it from the title screen.
#pragma once

// The "Top Sysops" screen; returns after one key.
void hs_screen();
