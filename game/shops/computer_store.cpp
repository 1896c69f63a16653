#include "game/shops/computer_store.h"

#include "game/rules/catalogs.h"
#include "game/screen/cells.h"
#include "game/shops/shop_screen.h"
#include "game/shops/store_front.h"
#include "game/tools/modem.h"

#include <cstdio>

namespace {

// Hardware is installed the same way in every department.
constexpr const char* CONFIRM = "Confirm purchase";
constexpr shop_message installed(const char* text) { return {"Installed!", text, 2}; }
constexpr shop_check already(bool (*owned)(int), const char* text) { return {owned, {"Already installed", text, 3}}; }

bool cpu_needs_ram(int row)
{
    return table_row(RAMS, P.ram).megabytes < CPUS[static_cast<std::size_t>(row)].min_ram_mb;
}

const char* cpu_lock(int row)
{
    return !ladder_owns<&profile::cpu>(row) && cpu_needs_ram(row) ? "NEEDS RAM" : nullptr;
}

void install_cpu(int row)
{
    P.cpu = row;
    P.hw_health = 100;
}

// The new modem shows off its handshake before the success box.
void play_modem(int row)
{
    const modem_row& m = MODEMS[static_cast<std::size_t>(row)];
    animate_modem(m.name, m.bps);
}

// A plain ladder: owned up to its index, never locked, bought by moving the index.
template <const auto& TABLE, std::int32_t profile::*FIELD>
constexpr shop_department ladder(const char* title, const char* hint, const char* owned_text,
                                 const char* no_cash_text, const char* done, void (*after_save)(int) = nullptr)
{
    return {title, hint, static_cast<int>(TABLE.size()), ladder_owns<FIELD>, nullptr, {},
            {name_of<TABLE>, price_of<TABLE>, {already(ladder_owns<FIELD>, owned_text)}, no_cash_text, CONFIRM,
             nullptr, climb_ladder<FIELD>, after_save, installed(done)}};
}

constexpr std::array<shop_department, 6> DEPARTMENTS{{
    {"Byte Me Computing - CPUs",
     "CPUs are irreversible upgrades. Check RAM requirements in the status panel.", CPUS.size(),
     ladder_owns<&profile::cpu>, cpu_lock, {},
     {name_of<CPUS>, price_of<CPUS>,
      {already(ladder_owns<&profile::cpu>, "You already run that CPU or better."),
       shop_check{cpu_needs_ram, {"Not enough RAM", "Upgrade your RAM before this CPU.", 1}}},
      "Come back when you've got the money.", CONFIRM, nullptr, install_cpu, nullptr,
      installed("New silicon is humming.\nBBS speed increased.")}},
    ladder<RAMS, &profile::ram>("Byte Me Computing - RAM",
                                "More RAM lets you run faster CPUs, more doors, and more nodes.",
                                "You already have that much RAM.", "Save up some callers-per-day money first.",
                                "New RAM detected. POST beeped happily."),
    ladder<HDDS, &profile::hdd>("Byte Me Computing - Hard Drives",
                                "A bigger HDD holds more doors, CD-ROM collections, and warez.",
                                "You already have that HDD or bigger.", "Not enough money.",
                                "New drive partitioned and ready."),
    ladder<MODEMS, &profile::modem>("Byte Me Computing - Modems",
                                    "A faster modem brings you faster callers and a bigger reputation.",
                                    "Already got that modem.", "Save up!",
                                    "Modem lights blinking like a Christmas tree.", play_modem),
    ladder<MONITORS, &profile::monitor>("Byte Me Computing - Monitors",
                                        "A nicer monitor is more of a morale boost than a caller boost.",
                                        "Already have that monitor.", "Save up!", "Finally, pixels you can count."),
    {"Byte Me Computing - Peripherals", "One-shot upgrades.  UPS reduces hardware failure chance.", PERIS.size(),
     bit_owned<&profile::peripherals>, nullptr, {},
     {name_of<PERIS>, price_of<PERIS>, {already(bit_owned<&profile::peripherals>, "Already installed.")},
      "Save up!", CONFIRM, nullptr, set_bit<&profile::peripherals>, nullptr,
      installed("Bolt-on hardware secured.")}},
}};

// The name of the installed row of a ladder.
template <const auto& TABLE, std::int32_t profile::*FIELD>
int current_part(char* out, std::size_t size)
{
    std::snprintf(out, size, "%s", table_row(TABLE, P.*FIELD).name);
    return 2;
}

int peripherals_installed(char* out, std::size_t size)
{
    const int total = static_cast<int>(PERIS.size());
    std::snprintf(out, size, "%d/%d", count_bits(P.peripherals, total), total);
    return 2;
}

constexpr std::array<shelf_line, 6> SHELVES{{
    {"[1] CPUs          current: ", 47, current_part<CPUS, &profile::cpu>},
    {"[2] RAM           current: ", 47, current_part<RAMS, &profile::ram>},
    {"[3] Hard Drives   current: ", 47, current_part<HDDS, &profile::hdd>},
    {"[4] Modems        current: ", 47, current_part<MODEMS, &profile::modem>},
    {"[5] Monitors      current: ", 47, current_part<MONITORS, &profile::monitor>},
    {"[6] Peripherals   installed: ", 49, peripherals_installed},
}};

constexpr store_front FRONT{
    "Computer Store", "BYTE ME COMPUTING", "\"We sell the iron, you sell the bits.\"", 21,
    {22, 6, 57, 10, 3, {{{31, 7, "BYTE ME COMPUTING", 3}, {35, 9, "OPEN 24/7", 2}}}},
    12, 20, 14, SHELVES, DEPARTMENTS, 21, "Pick a department.",
};

}  // namespace

void computer_store()
{
    run_store_front(FRONT);
}
