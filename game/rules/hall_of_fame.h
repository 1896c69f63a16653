// The hall of fame: the ten best sysops of everyone sharing data/, kept in
// data/topsysops.dat and exported as scores.asc and scores.ans for the board.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int HS_MAX = 10;

// Stored back to back in data/topsysops.dat, little-endian.
struct hs_entry {
    char sysop_name[32];
    char bbs_name[32];
    std::int64_t cash;
    std::int32_t day;
    std::int32_t rep;
    std::int32_t fame;
    std::int32_t reserved;
};
static_assert(sizeof(hs_entry) == 88);
static_assert(offsetof(hs_entry, bbs_name) == 32);
static_assert(offsetof(hs_entry, cash) == 64);
static_assert(offsetof(hs_entry, day) == 72);
static_assert(offsetof(hs_entry, rep) == 76);
static_assert(offsetof(hs_entry, fame) == 80);
static_assert(offsetof(hs_entry, reserved) == 84);

extern hs_entry g_hs[HS_MAX];
extern int g_hs_count;

// A count in at most width characters: too many digits are shown in
// thousands, millions and so on ("12345K"). The widths the table uses leave
// its rows within 80 columns, so a record from a hand-made file cannot push a
// row past the edge of the caller's screen.
struct fitted {
    char text[24];
};
fitted fit_number(std::int64_t v, int width);

// What ranks an entry: cash + 500 x rep + 10000 x fame + 20 x day.
std::int64_t hs_score(const hs_entry& e);
// Reads the table and merges entries of the same sysop.
void hs_load();
// Writes the table, then the exports; a table file that is there but cannot
// be read holds other players' records and is left as it is.
void hs_save();
// Writes data/scores.asc and data/scores.ans from the table; false, writing
// nothing, when the table's file is there but cannot be read.
bool hs_export();
// Enters the current profile into the table (on quitting the console).
void hs_record();
