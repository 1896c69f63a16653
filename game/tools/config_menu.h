// CONFIG.EXE: the sysop's configuration program, run instead of the game in
// configuration mode. It loads the user's board itself and saves every
// change at once; it also manages the other players' saved boards, resets
// the board, exports the hall of fame and prints the logs.
#pragma once

// The whole program; returns when the sysop leaves (or at once, after a
// message, when the user has no saved board).
void config_menu();

// Its screens, each working on the loaded profile P.
void config_sysop_name();
void config_turns_per_day();
void config_difficulty();
void config_profile_editor();
void config_reset();
void config_export_scores();
