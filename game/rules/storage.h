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
// The board file of the playing user (g_d's user name): see board_path_for.
void profile_path(char* out, std::size_t size);
// The board file of a caller: "data/sysop_<slug>.dat" when that holds their
// board or no one's; when it holds another caller's board (the slug is
// lossy), "data/sysop_<slug>_<key>.dat" with a key of the whole name.
void board_path_for(const char* user_name, char* out, std::size_t size);
// True when two names are one caller's: case and runs of spaces aside, as
// far as a board stores a name (31 characters).
bool same_sysop(const char* a, const char* b);
// The key a save stores as the board's owner.
std::uint32_t owner_key_of(const char* user_name);
// True when a board is the caller's: by its owner key, or in a file from
// before owner keys by its sysop name.
bool board_belongs_to(const profile& p, const char* user_name);
// Fills P for a fresh game from g_d's user name.
void new_profile();
// 1 when the user's file was read and valid, 0 otherwise.
int load_profile();
// True when the user's file is there but cannot be read (another account's
// file, a directory): it is no saved board to start over or to continue.
bool profile_unreadable();
// Writes P to the user's file (never torn; failures are silent). A file
// that is there but cannot be read is never replaced. Other writers may have
// changed the file since this game last loaded or wrote it (a rival's won
// hack, the sysop's settings): under the file's lock, every field they
// changed and this game did not is taken into P, and what they did to cash,
// warez and the break-in count is added to P, so neither side's change is
// lost. A board that was deleted since this game loaded it is not written
// back: g_board_removed_hook is called instead.
void save_profile();
// Called by a save that found its board deleted (the sysop removed it).
extern void (*g_board_removed_hook)();
// Fills g_d from a DOOR32.SYS dropfile; anything but a regular file changes
// nothing, and only the start of a huge file is read.
void parse_dropfile(const char* path);
// Rebuilds g_rivals from the other profile files in data/: at most 16,
// those nearest the player's fame, drawn among equals by the player's day.
void scan_rivals();
// Reads the listed rivals again, dropping those whose files are gone.
void refresh_rivals();
// Room for a board file's name in data/.
inline constexpr std::size_t BOARD_NAME_SIZE = 120;
// The other players' boards one at a time in file-name order: the first
// after `after` ("" for the first of all), or before it when !forward (""
// for the last). False when there is none.
bool next_board(const char* after, bool forward, char (&name)[BOARD_NAME_SIZE], profile& record);

// Brings everything a file may carry into the ranges the game relies on:
// catalog rows, bit sets, percentages, counts, terminated names.
void sanitize_profile(profile& p);
// What read_data_file returns instead of a count. Only a file that does not
// exist is absent; one that exists but cannot be read (no permission, a
// directory, a FIFO, a device) must not be replaced as if it were absent.
inline constexpr long FILE_ABSENT = -1;
inline constexpr long FILE_UNREADABLE = -2;
// Whether a read goes through a symlink: files in data/ are the game's own,
// and a link there is refused; a dropfile the board names may be a link.
enum class link_rule { refuse, follow };
// Reads at most size bytes of a regular file; the count read, FILE_ABSENT or
// FILE_UNREADABLE (also for a symlink, unless followed).
long read_data_file(const char* path, void* out, std::size_t size, link_rule links = link_rule::refuse);
// True when the file exists but read_data_file could not read it.
bool data_file_unreadable(const char* path);
// Holds an advisory lock over a read-modify-write of a file that several
// nodes share in data/. Another node holds it only for one write, so the wait
// is short; past a bound the caller goes ahead unlocked rather than hang. A
// lock file that is a symlink is refused: the write it guards must not
// happen.
class data_lock {
public:
    explicit data_lock(const char* lock_path);
    ~data_lock();
    data_lock(const data_lock&) = delete;
    data_lock& operator=(const data_lock&) = delete;
    bool held() const { return held_; }
    bool refused() const { return refused_; }

private:
    int fd_ = -1;
    bool held_ = false;
    bool refused_ = false;
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
    bool refused() const { return lock_.refused(); }

private:
    char path_[160];
    data_lock lock_;
};

// Difficulty and stakes of a rival from its record.
void rate_rival(rival& r);
