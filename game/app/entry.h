// Layer game/app, the top: the flow (entry, title, console loop, day and fame screens); includes all game layers.
// The program: its command line, start-up, and the way out.
#pragma once

#include "common/dropfile.h"

#include <cstdint>

struct launch_options {
    bool config_mode = false;
    const char* dropfile = nullptr;  // the last path given, or none
    int force_utf8 = -1;             // -1 automatic, 0 code page 437, 1 UTF-8
    int minutes = -1;                // --minutes: -1 as the dropfile says, 0 no limit
    int idle_minutes = -1;           // --idle-minutes: -1 the default, 0 never
    bool help = false;
    bool version = false;
    const char* bad = nullptr;       // the first argument not understood
};

// Scans the arguments from first to last; a later path replaces an earlier one.
launch_options parse_command_line(int argc, char** argv);
// Learns who is playing: from the dropfile, or "USER" in configuration mode
// without one, else "Sysop". nullptr when known; else why the dropfile
// cannot be used (the game must not start: a guessed name would open
// someone else's board).
const char* identify_player(const launch_options& o);
// The caller the dropfile described (zeroes without one).
extern caller_record g_caller;
// True between entering a board and leaving its console: the board is the
// player's, and every way out records it in the hall of fame.
extern bool g_in_game;
// Idle minutes before a door caller is dropped, unless --idle-minutes says.
inline constexpr int DEFAULT_IDLE_MINUTES = 5;
// In a local terminal smaller than 80x25, explains and waits until it is
// large enough; false when the player chose to leave instead.
bool wait_for_room();
// The whole program; returns the exit status (always 0).
int run_sysopsim(int argc, char** argv);
