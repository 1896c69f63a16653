// Layer game/rules, the lowest: the board, catalogs, files and rules; includes only common/, draws nothing.
// The player's board (the profile record, also the save-file image), who is
// playing over which connection, the random generator, and the rules over the
// profile that several screens share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

inline constexpr std::uint32_t PROFILE_MAGIC = 0x56585353;  // "VXSS"
inline constexpr std::uint32_t PROFILE_VERSION = 1;
inline constexpr int MAX_NODES = 16;

// Stored byte for byte as data/sysop_<slug>.dat, little-endian.
struct profile {
    std::uint32_t magic;
    std::uint32_t version;
    char sysop_name[32];
    char bbs_name[32];
    std::uint32_t day;
    std::uint32_t reserved;
    std::int64_t cash;
    std::int32_t rep;
    std::int32_t fame;
    std::int32_t nodes;
    std::int32_t total_callers;
    std::int32_t callers_yesterday;
    std::int32_t cpu;
    std::int32_t ram;
    std::int32_t hdd;
    std::int32_t modem;
    std::int32_t monitor;
    std::uint32_t peripherals;
    std::uint32_t doors;
    std::uint32_t cdroms;
    std::int32_t fido_tier;
    std::int32_t inet_tier;
    std::int32_t warez;
    std::int32_t hack_skill;
    std::int32_t heat;
    std::int32_t reserved_one;
    std::int32_t hw_health;
    std::uint32_t bbs_software;
    std::uint32_t dark_goods;
    std::uint32_t protection;
    std::int32_t turn_day;
    std::int32_t turns_used;
    std::int32_t hacked_while_away;
    std::int32_t won;
    std::uint8_t protect_health[16];
    std::int32_t turns_per_day;
    std::int32_t difficulty;
    // Who the board belongs to: a key of the caller's name, set by every
    // save, so a renamed sysop still finds the board. 0 in older files.
    std::uint32_t owner_key;
    std::uint8_t reserved_tail[8];
};

static_assert(sizeof(profile) == 232);
static_assert(offsetof(profile, magic) == 0);
static_assert(offsetof(profile, version) == 4);
static_assert(offsetof(profile, sysop_name) == 8);
static_assert(offsetof(profile, bbs_name) == 40);
static_assert(offsetof(profile, day) == 72);
static_assert(offsetof(profile, reserved) == 76);
static_assert(offsetof(profile, cash) == 80);
static_assert(offsetof(profile, rep) == 88);
static_assert(offsetof(profile, fame) == 92);
static_assert(offsetof(profile, nodes) == 96);
static_assert(offsetof(profile, total_callers) == 100);
static_assert(offsetof(profile, callers_yesterday) == 104);
static_assert(offsetof(profile, cpu) == 108);
static_assert(offsetof(profile, ram) == 112);
static_assert(offsetof(profile, hdd) == 116);
static_assert(offsetof(profile, modem) == 120);
static_assert(offsetof(profile, monitor) == 124);
static_assert(offsetof(profile, peripherals) == 128);
static_assert(offsetof(profile, doors) == 132);
static_assert(offsetof(profile, cdroms) == 136);
static_assert(offsetof(profile, fido_tier) == 140);
static_assert(offsetof(profile, inet_tier) == 144);
static_assert(offsetof(profile, warez) == 148);
static_assert(offsetof(profile, hack_skill) == 152);
static_assert(offsetof(profile, heat) == 156);
static_assert(offsetof(profile, reserved_one) == 160);
static_assert(offsetof(profile, hw_health) == 164);
static_assert(offsetof(profile, bbs_software) == 168);
static_assert(offsetof(profile, dark_goods) == 172);
static_assert(offsetof(profile, protection) == 176);
static_assert(offsetof(profile, turn_day) == 180);
static_assert(offsetof(profile, turns_used) == 184);
static_assert(offsetof(profile, hacked_while_away) == 188);
static_assert(offsetof(profile, won) == 192);
static_assert(offsetof(profile, protect_health) == 196);
static_assert(offsetof(profile, turns_per_day) == 212);
static_assert(offsetof(profile, difficulty) == 216);
static_assert(offsetof(profile, owner_key) == 220);
static_assert(offsetof(profile, reserved_tail) == 224);

// Who is playing and over which connection.
struct door_info {
    char user_name[64];
    std::int32_t comm_type;
    std::int32_t socket;
    std::int32_t use_socket;
};

extern profile P;
extern door_info g_d;
extern std::uint32_t g_rng;

inline constexpr std::uint32_t RNG_INITIAL = 0xC0FFEE;

// One step of the game's linear congruential generator; a value in 0..n-1.
std::uint32_t rng_draw(std::uint32_t n);

// Megabytes in use on the board's hard disk.
std::int32_t disk_used_total();
// Disk use in percent of the installed drive, at most 100.
std::int32_t disk_pct();
// Percentage of damage and heat the owned protection sheds, 0..80.
std::int32_t protect_shed_pct();
// Wears one owned protection item (chosen by a draw when two or more).
void protection_take_damage(int amount);

// Number of set bits among the lowest `width` bits of a set.
int count_bits(std::uint32_t set, int width);
inline bool has_bit(std::uint32_t set, int bit) { return ((set >> bit) & 1u) != 0; }

// Clamps v into lo..hi.
template <typename T>
constexpr T clamp_to(T v, T lo, T hi) { return v < lo ? lo : (v > hi ? hi : v); }

// Copies text into a fixed field, cut to fit and always NUL-terminated.
void copy_text(char* dst, std::size_t size, std::string_view src);
template <std::size_t N>
void copy_text(char (&dst)[N], std::string_view src) { copy_text(dst, N, src); }
// Replaces bytes 1-31 and 127 of a text read from a file or a dropfile by
// "?": a name must never carry a terminal control (ENQ makes many terminals
// answer with keys of their own) to the caller's screen.
void replace_control_bytes(char* text, std::size_t size);
template <std::size_t N>
void replace_control_bytes(char (&text)[N]) { replace_control_bytes(text, N); }
