// The game's constant catalogs. A profile stores row numbers and bit sets
// over these tables, so the row order is part of the save-file format.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

struct cpu_row { const char* name; std::int64_t price; std::int32_t speed; std::int32_t min_ram_mb; };
struct ram_row { const char* name; std::int64_t price; std::int32_t megabytes; };
struct hdd_row { const char* name; std::int64_t price; std::int32_t megabytes; };
struct modem_row { const char* name; std::int64_t price; std::int32_t bps; };
struct monitor_row { const char* name; std::int64_t price; };
struct peri_row { const char* name; std::int64_t price; };
struct door_row { const char* name; std::int64_t price; std::int32_t rep_bonus; };
struct bbs_sw_row { const char* name; std::int64_t price; std::int32_t rep_bonus; };
struct cdrom_row { const char* name; std::int64_t price; std::int32_t disk_mb; std::int32_t rep_bonus; };
struct protect_row {
    const char* name; std::int64_t price; std::int32_t shed_pct; std::int32_t rep_bonus; const char* blurb;
};
struct dark_good_row {
    const char* name; std::int64_t price; std::int32_t skill_gain; std::int32_t warez_gain;
    std::int32_t heat_gain; const char* blurb;
};
struct net_row { const char* name; std::int64_t signup_fee; std::int64_t monthly_fee; std::int32_t callers_bonus; };
struct target_row {
    const char* name; std::int32_t difficulty; std::int64_t payout_min; std::int64_t payout_max;
    std::int32_t heat; std::int32_t warez_min; std::int32_t warez_max; std::int32_t rep_loss;
};

inline constexpr std::array<cpu_row, 10> CPUS{{
    {"XT 8088 4.77MHz", 0, 1, 0},
    {"286 12MHz", 500, 2, 0},
    {"386SX 16MHz", 1200, 4, 1},
    {"386DX 33MHz", 2200, 6, 1},
    {"486SX 25MHz", 3500, 8, 2},
    {"486DX2/66", 5800, 14, 2},
    {"Pentium 90", 9500, 24, 3},
    {"Pentium 166 MMX", 14500, 38, 3},
    {"Pentium II 300", 22000, 55, 4},
    {"Pentium III 600", 34500, 80, 4},
}};

inline constexpr std::array<ram_row, 9> RAMS{{
    {"640 KB", 0, 0},
    {"1 MB", 150, 1},
    {"4 MB", 450, 4},
    {"8 MB", 800, 8},
    {"16 MB", 1400, 16},
    {"32 MB", 2400, 32},
    {"64 MB", 4000, 64},
    {"128 MB", 6500, 128},
    {"256 MB", 10000, 256},
}};

inline constexpr std::array<hdd_row, 10> HDDS{{
    {"20 MB MFM", 0, 20},
    {"40 MB IDE", 250, 40},
    {"120 MB IDE", 650, 120},
    {"340 MB IDE", 1100, 340},
    {"500 MB IDE", 1700, 500},
    {"1 GB EIDE", 2800, 1024},
    {"2 GB EIDE", 4500, 2048},
    {"4 GB UDMA", 7200, 4096},
    {"10 GB UDMA", 11500, 10240},
    {"40 GB UDMA", 18500, 40960},
}};

inline constexpr std::array<modem_row, 10> MODEMS{{
    {"300 bps", 0, 300},
    {"1200 bps", 200, 1200},
    {"2400 bps", 350, 2400},
    {"9600 bps", 650, 9600},
    {"14.4K v.32bis", 1000, 14400},
    {"28.8K v.34", 1600, 28800},
    {"33.6K", 2200, 33600},
    {"56K v.90", 2900, 56000},
    {"ISDN", 4500, 128000},
    {"T1 leased", 22000, 1544000},
}};

inline constexpr std::array<monitor_row, 5> MONITORS{{
    {"CGA", 0},
    {"EGA", 350},
    {"VGA", 700},
    {"SVGA", 1400},
    {"17\" Trinitron", 2800},
}};

// One bit of the profile's peripherals set each.
inline constexpr std::array<peri_row, 6> PERIS{{
    {"Sound Blaster 16", 180},
    {"Tape backup", 350},
    {"Flatbed scanner", 450},
    {"CD-ROM drive", 280},
    {"UPS battery", 220},
    {"Dot-matrix printer", 140},
}};
inline constexpr int PERI_SOUND_BLASTER = 0;
inline constexpr int PERI_CDROM_DRIVE = 3;
inline constexpr int PERI_UPS = 4;
inline constexpr int PERI_PRINTER = 5;

inline constexpr std::array<door_row, 16> DOORS{{
    {"LORD", 150, 5},
    {"TradeWars 2002", 225, 6},
    {"Usurper", 110, 3},
    {"BRE", 175, 4},
    {"Global Wars", 260, 5},
    {"Food Fight", 75, 2},
    {"Pimp Wars", 95, 3},
    {"Planets TEOS", 190, 4},
    {"Red Dragon Quest III", 240, 5},
    {"Operation Overkill II", 285, 6},
    {"Legend of the Red Dragon II", 340, 7},
    {"Swords of Chaos", 160, 4},
    {"Murder Motel", 140, 3},
    {"Fall of Atlantis", 200, 4},
    {"BBS Wordle", 120, 4},
    {"Elderwood", 275, 6},
}};

inline constexpr std::array<bbs_sw_row, 15> BBS_SW{{
    {"Spitfire", 180, 3},
    {"Synchronet", 450, 8},
    {"Mystic BBS", 380, 7},
    {"Wildcat!", 420, 7},
    {"WWIV", 320, 6},
    {"Searchlight", 240, 4},
    {"Renegade", 280, 5},
    {"VexonBBS", 360, 6},
    {"Telegard", 200, 4},
    {"TriBBS", 220, 4},
    {"Ezycom", 190, 3},
    {"Maximus/CBCS", 280, 5},
    {"ProBoard", 240, 4},
    {"RemoteAccess (RA)", 260, 5},
    {"PCBoard", 600, 9},
}};

inline constexpr std::array<cdrom_row, 9> CDROMS{{
    {"Cica Windows Shareware", 180, 30, 3},
    {"Walnut Creek GIFs", 220, 35, 5},
    {"Night Owl PC Shareware", 240, 32, 4},
    {"Id Software DOOM WADs", 300, 25, 7},
    {"Fractint Math Art", 150, 18, 2},
    {"Linux 0.99 Slackware", 400, 40, 4},
    {"MP3 Rockers (unlicensed)", 220, 34, 10},
    {"Sci-Fi Magazines scanned", 260, 30, 3},
    {"Adult Vol.7", 480, 36, 12},
}};

inline constexpr std::array<protect_row, 10> PROTECT_SW{{
    {"Anti-Virus - McAfee", 180, 8, 3, "Sketchy downloads deleted."},
    {"Anti-Virus - Norton", 250, 10, 4, "Better heuristics."},
    {"Personal Firewall", 320, 12, 4, "Blocks probes."},
    {"BBS Firewall - ZoneAlarm", 420, 15, 5, "Stateful packet filter."},
    {"VPN Tunnel", 650, 22, 4, "Hide hacking traffic."},
    {"Encrypted Mail (PGP)", 180, 5, 3, "Scramble FidoNet mail."},
    {"Intrusion Detection (IDS)", 780, 18, 6, "Catch hacks live."},
    {"Offsite Backups", 540, 0, 4, "Survive crashes."},
    {"Legal Defence Fund", 900, 10, 2, "Lawyers on retainer."},
    {"Hardened BBS Shell", 1100, 25, 7, "Kernel-level isolation."},
}};

inline constexpr std::array<dark_good_row, 10> DARK_GOODS{{
    {"Password List (txt)", 150, 3, 0, 1, "Credentials dump."},
    {"Wardialer v2.0", 320, 6, 0, 3, "Finds BBS targets."},
    {"Script Kiddie Kit", 420, 8, 2, 4, "Automates hacks."},
    {"RootKit Pro", 780, 12, 0, 7, "Hides you better."},
    {"Stoned Virus Sample", 250, 0, 5, 3, "Classic dropper."},
    {"Michelangelo Virus", 380, 0, 8, 5, "Rare boot-sector virus."},
    {"Trojan Builder", 560, 10, 4, 6, "Weaponise zip files."},
    {"Zero-Day Exploit Pack", 1500, 20, 10, 15, "The good stuff."},
    {"Stolen Backbone Creds", 2800, 15, 25, 20, "T1 keys (risky)."},
    {"Botnet Lease (30 day)", 950, 5, 15, 9, "Rent a drone army."},
}};

inline constexpr std::array<net_row, 5> FIDO{{
    {"Not connected", 0, 0, 0},
    {"FidoNet Point", 150, 20, 4},
    {"FidoNet Node", 400, 45, 8},
    {"FidoNet Hub", 1500, 120, 14},
    {"Zone Coordinator", 5000, 300, 25},
}};

inline constexpr std::array<net_row, 5> INET{{
    {"None", 0, 0, 0},
    {"UUCP Email", 300, 60, 5},
    {"Usenet + FTP", 900, 110, 10},
    {"Dedicated 56K", 1800, 220, 18},
    {"Dedicated T1", 8000, 550, 32},
}};

inline constexpr std::array<target_row, 8> TARGETS{{
    {"Local Kid's BBS", 15, 50, 200, 1, 1, 4, 2},
    {"Used-Car Dealer Net", 25, 120, 500, 2, 2, 6, 3},
    {"University Server", 40, 300, 1200, 4, 3, 10, 5},
    {"MegaSoft Research", 55, 800, 2500, 8, 5, 15, 8},
    {"InterTel Corp", 65, 1500, 4200, 11, 7, 20, 12},
    {"Department of Records", 75, 3000, 7500, 16, 10, 28, 18},
    {"US Military Annex", 85, 6000, 15000, 24, 15, 45, 28},
    {"Globotech Datacenter", 92, 12000, 32000, 34, 25, 80, 40},
}};

// Row i of a catalog. Rows are validated on load; the clamp keeps a record
// changed in memory from reading outside the table.
template <typename Table>
constexpr const auto& table_row(const Table& table, long i)
{
    const long last = static_cast<long>(table.size()) - 1;
    return table[static_cast<std::size_t>(i < 0 ? 0 : (i > last ? last : i))];
}
