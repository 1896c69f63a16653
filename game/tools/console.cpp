#include "game/tools/console.h"

#include "game/rules/catalogs.h"
#include "game/rules/day.h"
#include "game/rules/profile.h"
#include "game/screen/cells.h"
#include "game/screen/dialogs.h"

#include <cstdio>
#include <cstring>

namespace {

void draw_board_line()
{
    put_fmt(2, 3, 3, 0, 1, "  Your BBS:  %-28.28s   %d node%s   %d users  ", P.bbs_name, P.nodes,
            P.nodes == 1 ? " " : "s", P.total_callers);
}

void draw_money_strip()
{
    fill_rect(2, 4, 77, 4, 1);
    char buf[128];
    std::snprintf(buf, sizeof buf, "  CASH $%-9ld  DAY %-4u  REP %3d  HEAT %3d  FAME %d/5  TURNS %2d/%d  ",
                  static_cast<long>(P.cash), P.day, P.rep, P.heat, P.fame, turns_left_today(), turns_limit());
    int x = (76 - static_cast<int>(std::strlen(buf))) / 2 + 2;
    put_str(x < 2 ? 2 : x, 4, buf, 3, 1, 1);
}

void draw_hardware_panel()
{
    draw_box(2, 5, 40, 14, 7);
    put_str(4, 5, " Hardware ", 3, 0, 1);
    const int pct = disk_pct();
    put_fmt(3, 6, 7, 0, 1, "CPU    : %-27s", table_row(CPUS, P.cpu).name);
    put_fmt(3, 7, 7, 0, 1, "RAM    : %-27s", table_row(RAMS, P.ram).name);
    put_fmt(3, 8, pct > 85 ? 1 : 7, 0, 1, "HDD    : %-10s  %3d%% used", table_row(HDDS, P.hdd).name, pct);
    put_fmt(3, 9, 7, 0, 1, "Modem  : %-27s", table_row(MODEMS, P.modem).name);
    put_fmt(3, 10, 7, 0, 1, "Monitor: %-27s", table_row(MONITORS, P.monitor).name);
    put_fmt(3, 11, 7, 0, 1, "Periphs: %d installed", count_bits(P.peripherals, static_cast<int>(PERIS.size())));
    put_fmt(3, 12, 7, 0, 1, "Doors  : %d installed", count_bits(P.doors, static_cast<int>(DOORS.size())));
    put_fmt(3, 13, P.hw_health <= 39 ? 1 : 7, 0, 1, "CD-ROM : %d mounted    Health %3d%%",
            count_bits(P.cdroms, static_cast<int>(CDROMS.size())), P.hw_health);
}

void draw_networks_panel()
{
    draw_box(42, 5, 77, 14, 7);
    put_str(44, 5, " Networks ", 3, 0, 1);
    put_fmt(43, 6, 3, 0, 1, "FidoNet : %s", table_row(FIDO, P.fido_tier).name);
    put_fmt(43, 7, 3, 0, 1, "Internet: %s", table_row(INET, P.inet_tier).name);
    put_fmt(43, 8, 5, 0, 1, "Warez   : %d files", P.warez);
    put_fmt(43, 9, 7, 0, 1, "Nodes   : %d", P.nodes);
    put_fmt(43, 10, 2, 0, 1, "Callers yesterday : %d", P.callers_yesterday);
    put_fmt(43, 11, 2, 0, 1, "Total users       : %d", P.total_callers);
    put_fmt(43, 12, 5, 0, 1, "Hack skill : %3d / 100", P.hack_skill);
    put_str(43, 13, "Fame    : ", 3, 0, 1);
    for (int i = 0; i < 5; ++i) {
        bool earned = i < P.fame;
        put_run(53 + i, 13, earned ? 15 : 250, 1, earned ? 3 : 7, 0, 1);
    }
}

struct menu_entry {
    int row, x;
    const char* text;
    int fg;
};

constexpr menu_entry COMMAND_MENU[] = {
    {16, 4, "[1] Run the BBS (advance 1 day)", 2}, {16, 42, "[6] View Statistics", 6},
    {17, 4, "[2] Computer Store", 3},              {17, 42, "[7] Rename your BBS", 6},
    {18, 4, "[3] Software Store", 3},              {18, 42, "[8] Buy another node", 6},
    {19, 4, "[4] Phone Company (networks)", 3},    {19, 42, "[9] Save game", 6},
    {20, 4, "[5] Hack the Underground", 5},        {20, 42, "[Q] Save and quit", 1},
};

void draw_command_panel()
{
    draw_box(2, 15, 77, 21, 7);
    put_str(4, 15, " Command Menu ", 3, 0, 1);
    for (const auto& m : COMMAND_MENU)
        put_str(m.x, m.row, m.text, m.fg, 0, 1);
}

}  // namespace

void render_console()
{
    begin_framed_screen("Console", "VEXON SIMS - BBS CONSOLE");
    draw_board_line();
    draw_money_strip();
    draw_hardware_panel();
    draw_networks_panel();
    draw_command_panel();
    draw_footer("Pick a letter or number to continue.");
    present_frame();
}
