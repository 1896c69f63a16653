// Layer game/screen, above game/rules: the terminal, cells, dialogs and fields; includes game/rules and common/.
// The game's channel to the caller: one output buffer, one key decoder, and
// the terminal's raw mode and alternate screen. Output and input go either to
// the local terminal (descriptors 0 and 1) or to the door socket named in the
// dropfile, decided by g_d at every call.
#pragma once

#include <termios.h>

#include <cstddef>
#include <cstdint>

inline constexpr int GKEY_NONE = -1;
inline constexpr int GKEY_LEFT = 1000;
inline constexpr int GKEY_RIGHT = 1001;
inline constexpr int GKEY_UP = 1002;
inline constexpr int GKEY_DOWN = 1003;

inline constexpr std::size_t OUTBUF_SIZE = 65536;
extern unsigned char g_outbuf[OUTBUF_SIZE];
extern std::uint64_t g_outpos;
extern int g_raw_active;
extern termios g_saved_termios;

// Appends bytes to the output buffer, flushing whenever it fills.
void buf_write(const void* data, std::size_t len);
// Formats into a 512-byte scratch buffer and appends at most 511 bytes.
void buf_printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Sends the whole buffer over the current channel and empties it; -1 when the
// rest was dropped (the line broke, or took nothing for g_frame_stall_ms), and
// the caller's screen is then unknown. A caller who takes nothing for
// g_gone_stall_ms, or a quit signal while output waits, ends the game as a
// hang-up does.
int flush_out();
// How long a stalled send waits before the rest of the frame is dropped, and
// before the caller is taken for gone (milliseconds).
extern int g_frame_stall_ms;
extern int g_gone_stall_ms;
// Waits up to timeout_ms for one input byte: 1 with the byte, 0 without.
int try_read_byte(unsigned timeout_ms, unsigned char* out);
// Waits for one key and decodes it; GKEY_NONE after the key timeout. Ctrl-L
// and Ctrl-R are not keys of any screen: they repaint the whole screen and
// the wait goes on.
int read_key_block();
// Starts the key reader afresh for a new connection: drops a byte read ahead
// and any telnet command the last connection left unfinished. A door process
// serves one caller; only a process that reuses the reader (the tests) needs it.
void reset_key_reader();
// The same for output: forgets that an earlier caller stalled or was gone.
void reset_output_line();
// Waits ms milliseconds unless the caller goes: a hang-up or a quit signal
// meanwhile ends the game at once. Keys typed meanwhile stay unread.
void wait_unless_gone(int ms);

// Why the door socket named by the dropfile cannot carry a caller (it is not
// open, not a socket, not a stream socket or not connected), or nullptr when
// it can, or when the game runs in the local terminal.
const char* door_socket_problem();
// Takes the terminal for the run: raw mode (terminal channel only),
// alternate screen, no auto-wrap, and the signal handling of a door.
void take_terminal();
// Gives the terminal back; safe to call more than once.
void restore_terminal();

// How cell characters leave the program: as code page 437 bytes (what BBS
// callers' terminals expect), or as UTF-8 for a modern local terminal.
enum class glyph_mode { cp437, utf8 };
extern glyph_mode g_glyph_mode;
// Picks the form: forced by an option (-1 automatic), else code page 437 on
// the door socket and the locale's choice in a local terminal.
void choose_glyph_mode(int force_utf8);
// The bytes (1 to 3) that show one cell character in the current form. On
// code page 437 the pictures of bytes below 32 and of 127 go out as printable
// look-alikes: terminals take those bytes as controls.
std::size_t encode_glyph(unsigned char ch, unsigned char* out);
// Appends one cell character in the current form.
void buf_put_glyph(unsigned char ch);
// True once after the terminal changed size: what it shows is then unknown.
bool take_resized();

// Milliseconds read_key_block waits for a first byte (10 minutes).
extern unsigned g_key_timeout_ms;
// Called when the caller has gone (end of input, SIGHUP, SIGTERM, SIGINT).
// The default gives the terminal back and ends the process with status 0;
// should a hook return, the process ends all the same, so no screen loop
// ever waits on a caller who is gone.
extern void (*g_hangup_hook)();
