// The title screen: new board, continue, the hall of fame, leave.
#pragma once

// The maker's board as the title's last line names it.
inline constexpr const char* MAKER_BOARD_HOST = "vexonbbs.example.net";

// Composes and presents the title screen.
void draw_title();
// Runs the title screen until the player leaves the program.
void title_loop();
// A saved board that is there but cannot be read (left by another account,
// say) is neither started over nor taken for no save: true after telling the
// player so, false when the board can be read or is absent.
bool board_cannot_be_opened();
// "New BBS": false when the player kept the old save.
bool start_new_board();
// "Continue": false when there is no valid save.
bool continue_board();
