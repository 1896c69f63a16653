// The chrome every game screen shares: the title bar on row 0, the status
// footer on row 24, the message box and the yes/no question.
#pragma once

// 0: the footer goes out at once; nonzero: with the next present_frame.
extern int g_footer_diff_mode;

// Shows a modal box until a key; returns the key (GKEY_NONE on timeout).
int msg_box(const char* title, const char* text, int colour);
// Asks a question; 1 for yes, 0 for no.
int yes_no(const char* title, const char* text);
// Row 0: the game's name, day, cash, rep, heat and the screen's tag.
void draw_topbar(const char* tag);
// Row 24: a hint and the sysop's name.
void draw_footer(const char* hint);
// The frame most full screens start from: a blank back buffer, the title bar
// with the tag, a double frame (cyan unless told) and its caption.
void begin_framed_screen(const char* tag, const char* caption, int frame_fg = 6);
// The same frame, for screens that redraw many times a second.
void compose_framed_screen(const char* tag, const char* caption, int frame_fg);

// A saved board that is there but cannot be read (left by another account,
// say) is neither started over nor taken for no save: true after telling the
// player so, false when the board can be read or is absent.
bool board_cannot_be_opened();
