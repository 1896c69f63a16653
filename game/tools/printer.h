// The dot-matrix printer: four reports about the board, printed with an
// animation of the paper feeding, and saved as bulletins a BBS can show its
// callers (data/log_<kind>.ans in colour, .asc in plain text, code page 437).
#pragma once

#include <cstddef>

inline constexpr int REPORT_DAILY = 0;
inline constexpr int REPORT_WEEKLY = 1;
inline constexpr int REPORT_MONTHLY = 2;
inline constexpr int REPORT_ALLTIME = 3;

inline constexpr int REPORT_MAX_LINES = 23;
inline constexpr std::size_t REPORT_LINE_SIZE = 78;  // 77 characters and the NUL

struct printer_report {
    char lines[REPORT_MAX_LINES][REPORT_LINE_SIZE];
    int count;
};

// The report of a kind (REPORT_DAILY .. REPORT_ALLTIME) from the profile P,
// ending with the local time of printing when the clock gives one. Control
// bytes of names come out as "?", so no line carries a terminal sequence.
void build_report(int kind, printer_report& out);
// Plays the printing animation for a kind (2 x lines + 18 frames, 180 ms
// each, through game_sleep_ms), then writes both files and says so.
void print_report(int kind);
// The printer's menu; returns on ESC or Q.
void dot_matrix_menu();
