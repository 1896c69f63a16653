// Each player's board lives in data/sysop_<slug>.dat, the raw image of the
// profile record. This file also reads the door dropfile and gathers the
// other players' files as rivals.
#pragma once

#include "game/rules/profile.h"

#include <cstddef>
#include <cstdint>

inline constexpr int MAX_RIVALS = 16;
// Bounds for money and counts a file may carry: far beyond any real game,
// low enough that no sum of the game's rules can overflow.
inline constexpr std::int64_t MAX_CASH = 1'000'000'000'000'000LL;
inline constexpr std::int32_t MAX_COUNT = 1'000'000'000;

struct rival {
    char path[128];            // "data/" + the file's name
    profile record;            // the rival's board as read
    std::int32_t difficulty;   // 15..95
    std::int64_t steal_cash;   // cash at stake
    std::int32_t steal_warez;  // warez at stake
    std::int32_t heat_gain;
};

extern rival g_rivals[MAX_RIVALS];
extern int g_rival_count;

// The file slug of a name: letters and digits, lower-cased, at most 39.
void slugify(const char* name, char* out);
// "data/sysop_<slug>.dat" for the playing user.
void profile_path(char* out, std::size_t size);
// Fills P for a fresh game from g_d's user name.
void new_profile();
// 1 when the user's file was read and valid, 0 otherwise.
int load_profile();
// True when the user's file is there but cannot be read (another account's
// file, a directory): it is no saved board to start over or to continue.
bool profile_unreadable();
// Writes P to the user's file (never torn; failures are silent). A file
// that is there but cannot be read is never replaced. Other nodes may have
// changed the file since this game last loaded or wrote it (a rival's won
// hack): under the file's lock, what they did to cash, warez and the
// break-in count is carried into P before it is written, so neither side's
// change is lost.
void save_profile();
// Fills g_d from a DOOR32.SYS dropfile; anything but a regular file changes
// nothing, and only the start of a huge file is read.
void parse_dropfile(const char* path);
// Rebuilds g_rivals from the other profile files in data/.
void scan_rivals();

// Brings everything a file may carry into the ranges the game relies on:
// catalog rows, bit sets, percentages, counts, terminated names.
void sanitize_profile(profile& p);
// What read_data_file returns instead of a count. Only a file that does not
// exist is absent; one that exists but cannot be read (no permission, a
// directory, a FIFO, a device) must not be replaced as if it were absent.
inline constexpr long FILE_ABSENT = -1;
inline constexpr long FILE_UNREADABLE = -2;
// Reads at most size bytes of a regular file; the count read, FILE_ABSENT or
// FILE_UNREADABLE.
long read_data_file(const char* path, void* out, std::size_t size);
// True when the file exists but read_data_file could not read it.
bool data_file_unreadable(const char* path);
// Holds an advisory lock over a read-modify-write of a file that several
// nodes share in data/. Another node holds it only for one write, so the wait
// is short; past a bound the caller goes ahead unlocked rather than hang.
class data_lock {
public:
    explicit data_lock(const char* lock_path);
    ~data_lock();
    data_lock(const data_lock&) = delete;
    data_lock& operator=(const data_lock&) = delete;
    bool held() const { return held_; }

private:
    int fd_ = -1;
    bool held_ = false;
};

// The lock file that guards read-modify-writes of one profile file between
// nodes: "data/sysop_x.dat" is guarded by "data/sysop_x.lock". False when the
// name does not fit.
bool profile_lock_path(const char* profile_path, char* out, std::size_t size);

// Holds the lock of one profile file for a read-modify-write of it.
class profile_lock {
public:
    explicit profile_lock(const char* profile_path);
    bool held() const { return lock_.held(); }

private:
    char path_[160];
    data_lock lock_;
};

// Difficulty and stakes of a rival from its record.
void rate_rival(rival& r);
