// The terminal (or door stream) under the chat program: raw input mode, the
// screen size, reading keys, and the signals that end or resize the program.
#pragma once

#include <termios.h>

struct screen_size {
    int rows;
    int columns;
};

// The size of standard output's terminal; 25 x 80 when it has none, and at
// least 24 x 80 otherwise (smaller terminals are drawn as if they were that).
// On the door socket, the size the caller's terminal reported (24 x 80 when
// it reported none).
screen_size get_screen_size();

// Moves keys and screens to a caller's telnet socket handed over by a board;
// the local terminal is left alone. Asks the caller's terminal for its size:
// a telnet window-size report, else a cursor position report from the far
// corner, each waited for a bounded time. Output goes through
// write_to_target, in code page 437 when cp437 is set.
void terminal_use_door_socket(int fd, bool cp437);
// Code page 437 on standard output, for a board that bridges standard
// streams to a code page 437 caller.
void terminal_use_cp437_stdout();

// Switches standard input to unbuffered, unechoed input that returns after at
// most 0.1 s, keeping signals. Returns false, changing nothing, when standard
// input is no terminal (a door's socket or pipe) or keys come from the door
// socket.
bool terminal_enter_raw(termios& saved);
void terminal_restore(const termios& saved);

// Reads one key from standard input, waiting at most 0.1 s for it (and as
// long again for each further byte of an escape sequence). Returns a code
// from chat/ui/keys.h, KEY_NONE when nothing came.
int ui_read_key();

// The next key already read and complete, without waiting; KEY_NONE if none.
int ui_read_key_buffered();

// Installs handlers that only set flags: SIGTERM, SIGHUP and SIGINT ask the
// program to end, SIGWINCH to redraw; SIGPIPE is ignored. The restore puts
// the previous handlers back.
void ui_install_signal_handlers();
void ui_restore_signal_handlers();

// True once the program should end: a terminating signal arrived or the
// input reached its end (the caller hung up).
bool ui_stop_requested();

// True once a terminating signal arrived.
bool ui_stopped_by_signal();
// True when the input ended in an error (a reset line, a dead one found by
// keepalive) rather than at its end.
bool ui_input_failed();

// True when the caller has hung up, seen without reading any input: for
// waits that cannot read keys meanwhile.
bool ui_input_hung_up();
// True once per SIGWINCH, or a new window size from the door socket.
bool ui_take_resize();
