// Layer game/app, the top: the flow (entry, title, console loop, day and fame screens); includes all game layers.
// The program: its command line, start-up, and the way out.
#pragma once

struct launch_options {
    bool config_mode = false;
    const char* dropfile = nullptr;  // the last path given, or none
    int force_utf8 = -1;             // -1 automatic, 0 code page 437, 1 UTF-8
};

// Scans the arguments from first to last; a later path replaces an earlier one.
launch_options parse_command_line(int argc, char** argv);
// Learns who is playing: from the dropfile, or "USER" in configuration mode
// without one, else "Sysop".
void identify_player(const launch_options& o);
// In a local terminal smaller than 80x25, explains and waits until it is
// large enough; false when the player chose to leave instead.
bool wait_for_room();
// The whole program; returns the exit status (always 0).
int run_sysopsim(int argc, char** argv);
