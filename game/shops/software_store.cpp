#include "game/shops/software_store.h"

#include "game/rules/catalogs.h"
#include "game/shops/shop_screen.h"
#include "game/shops/store_front.h"

#include <cstdio>

namespace {

constexpr const char* CONFIRM = "Confirm purchase";

// Megabytes left on the installed drive; negative when it is over-full.
std::int32_t free_disk()
{
    return table_row(HDDS, P.hdd).megabytes - disk_used_total();
}

bool has_cdrom_drive() { return has_bit(P.peripherals, PERI_CDROM_DRIVE); }

// Every item here sets its bit and adds its reputation once.
template <const auto& TABLE, std::uint32_t profile::*FIELD>
void install(int row)
{
    set_bit<FIELD>(row);
    add_rep(TABLE[static_cast<std::size_t>(row)].rep_bonus);
}

// A door takes 2 MB, so a drive with 1 MB or less free takes no more.
bool door_no_disk(int) { return free_disk() <= 1; }
const char* door_lock(int row)
{
    return !bit_owned<&profile::doors>(row) && door_no_disk(row) ? "NEED DISK" : nullptr;
}

bool cdrom_no_drive(int) { return !has_cdrom_drive(); }
bool cdrom_no_disk(int row) { return free_disk() < CDROMS[static_cast<std::size_t>(row)].disk_mb; }
const char* cdrom_lock(int row)
{
    if (bit_owned<&profile::cdroms>(row))
        return nullptr;
    if (!has_cdrom_drive())
        return "NEED CDROM";
    return cdrom_no_disk(row) ? "NEED DISK" : nullptr;
}

void install_protection(int row)
{
    install<PROTECT_SW, &profile::protection>(row);
    P.protect_health[row] = 100;
}

// Repairs: a row can be repaired when its protection is owned and worn.
bool protection_missing(int row) { return !bit_owned<&profile::protection>(row); }
bool protection_full(int row) { return P.protect_health[row] > 99; }
bool cannot_repair(int row) { return protection_missing(row) || protection_full(row); }
bool nothing_owned(int) { return count_bits(P.protection, static_cast<int>(PROTECT_SW.size())) == 0; }

std::int64_t repair_cost(int row)
{
    if (protection_missing(row))
        return 0;
    const std::int64_t health = P.protect_health[row] > 100 ? 100 : P.protect_health[row];
    return (PROTECT_SW[static_cast<std::size_t>(row)].price / 200 + 1) * (100 - health) + 20;
}

// The repair list shows name and health; the texts live until the next build.
const char* repair_text(int row)
{
    static char texts[PROTECT_SW.size()][64];
    char* out = texts[row];
    const int health = protection_missing(row) ? 0 : P.protect_health[row];
    std::snprintf(out, sizeof texts[0], "%-25.25s  health %3d%%", PROTECT_SW[static_cast<std::size_t>(row)].name,
                  health);
    return out;
}

void repair(int row) { P.protect_health[row] = 100; }

constexpr std::array<shop_department, 5> DEPARTMENTS{{
    {"Doors & Games", "Each door pulls in extra callers and bumps reputation.", DOORS.size(),
     bit_owned<&profile::doors>, door_lock, {},
     {name_of<DOORS>, price_of<DOORS>,
      {shop_check{bit_owned<&profile::doors>, {"Already installed", "Already running that door.", 3}},
       shop_check{door_no_disk, {"Not enough HDD", "Free up disk or install a bigger drive.", 1}}},
      "Save up for that one.", CONFIRM, nullptr, install<DOORS, &profile::doors>, nullptr,
      {"Door installed!", "Your users will be delighted.", 2}}},
    {"CD-ROM Collections", "Requires a CD-ROM drive.  Big collections = big caller draw.", CDROMS.size(),
     bit_owned<&profile::cdroms>, cdrom_lock, {},
     {name_of<CDROMS>, price_of<CDROMS>,
      {shop_check{bit_owned<&profile::cdroms>, {"Already installed", "That disc is already in the rack.", 3}},
       shop_check{cdrom_no_drive, {"No CD-ROM drive", "Buy a CD-ROM drive in the Computer Store first.", 1}},
       shop_check{cdrom_no_disk, {"Not enough disk", "Install a larger HDD before adding more discs.", 1}}},
      "Save up.", CONFIRM, nullptr, install<CDROMS, &profile::cdroms>, nullptr,
      {"Disc in the rack!", "Users will line up for this.", 2}}},
    {"BBS Software Packages", "Switching BBS software gives your board a whole new personality.", BBS_SW.size(),
     bit_owned<&profile::bbs_software>, nullptr, {},
     {name_of<BBS_SW>, price_of<BBS_SW>,
      {shop_check{bit_owned<&profile::bbs_software>, {"Already installed", "Already running that BBS package.", 3}}},
      "Save up.", "Install this BBS software?", nullptr, install<BBS_SW, &profile::bbs_software>, nullptr,
      {"Installed!", "Your users will notice the upgrade.", 2}}},
    {"Protection Software", "Each item cuts how much heat you gain per hack AND adds rep.", PROTECT_SW.size(),
     bit_owned<&profile::protection>, nullptr, {},
     {name_of<PROTECT_SW>, price_of<PROTECT_SW>,
      {shop_check{bit_owned<&profile::protection>, {"Already installed", "Already have that protection.", 3}}},
      "Save up.", "Install?", nullptr, install_protection, nullptr,
      {"Hardened!", "Your BBS is a little more secure.", 2}}},
    {"Repair Protection", "Damage accumulates with every hack attempt.  Repair restores 100% health.",
     PROTECT_SW.size(), cannot_repair, nullptr,
     {nothing_owned, {"Nothing to repair", "You don't own any protection yet.", 3}},
     {repair_text, repair_cost,
      {shop_check{protection_missing, {"Not owned", "You don't own this protection yet.", 3}},
       shop_check{protection_full, {"Already full", "This protection is at 100% health.", 3}}},
      "Not enough money for this repair.", "Confirm repair", name_of<PROTECT_SW>, repair, nullptr,
      {"Repaired", "Protection restored to 100% health.", 2}}},
}};

// "NN of NN owned" over one of the profile's bit sets.
template <std::uint32_t profile::*FIELD, std::size_t TOTAL>
int owned_count(char* out, std::size_t size)
{
    std::snprintf(out, size, "%2d of %2d owned", count_bits(P.*FIELD, TOTAL), static_cast<int>(TOTAL));
    return 2;
}

int discs_mounted(char* out, std::size_t size)
{
    const int total = static_cast<int>(CDROMS.size());
    std::snprintf(out, size, "%2d of %2d mounted", count_bits(P.cdroms, total), total);
    return 2;
}

int damaged_count(char* out, std::size_t size)
{
    int damaged = 0;
    for (std::size_t i = 0; i < PROTECT_SW.size(); ++i)
        damaged += bit_owned<&profile::protection>(static_cast<int>(i)) && P.protect_health[i] < 100;
    std::snprintf(out, size, "%2d damaged", damaged);
    return damaged == 0 ? 2 : 1;
}

constexpr std::array<shelf_line, 5> SHELVES{{
    {"[1] Doors & Games              ", 50, owned_count<&profile::doors, DOORS.size()>},
    {"[2] CD-ROM Collections         ", 50, discs_mounted},
    {"[3] BBS Software Packages      ", 50, owned_count<&profile::bbs_software, BBS_SW.size()>},
    {"[4] Protection Software        ", 50, owned_count<&profile::protection, PROTECT_SW.size()>},
    {"[5] Repair Protection          ", 50, damaged_count},
}};

constexpr store_front FRONT{
    "Software Store", "BIG JOHN'S SOFTWARE EMPORIUM", "\"Legit doors.  Legit discs.  Probably.\"", 20,
    {20, 5, 59, 8, 5,
     {{{26, 6, "BIG JOHN'S SOFTWARE EMPORIUM", 5}, {22, 7, "doors  shareware  cdrom collections", 3}}}},
    10, 18, 12, SHELVES, DEPARTMENTS, 18, "Software = callers.   Protection = peace of mind.",
};

}  // namespace

void software_store()
{
    run_store_front(FRONT);
}
