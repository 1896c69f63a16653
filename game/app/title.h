// The title screen: new board, continue, the hall of fame, leave.
#pragma once

// The maker's board as the title's last line names it.
inline constexpr const char* MAKER_BOARD_HOST = "vexonbbs.example.net";

// Composes and presents the title screen.
void draw_title();
// Runs the title screen until the player leaves the program.
void title_loop();
// "New BBS": false when the player kept the old save.
bool start_new_board();
// "Continue": false when there is no valid save.
bool continue_board();
