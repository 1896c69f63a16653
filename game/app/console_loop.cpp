#include "game/app/console_loop.h"

#include "game/rules/catalogs.h"
#include "game/app/day_screens.h"
#include "game/rules/day.h"
#include "game/rules/hall_of_fame.h"
#include "game/rules/profile.h"
#include "game/rules/storage.h"
#include "game/screen/cells.h"
#include "game/screen/dialogs.h"
#include "game/screen/terminal.h"
#include "game/shops/computer_store.h"
#include "game/shops/phone_co.h"
#include "game/shops/rename.h"
#include "game/shops/shop_screen.h"
#include "game/shops/software_store.h"
#include "game/shops/underground.h"
#include "game/tools/console.h"

#include <cstdarg>
#include <cstdio>

namespace {

void save_game()
{
    save_profile();
    msg_box("Saved", "Your BBS is tucked away safely.\nCome back any time.", 2);
}

struct console_command {
    int key;
    void (*run)();
};

constexpr console_command CONSOLE_COMMANDS[] = {
    {'1', run_day},        {'2', computer_store},     {'3', software_store},
    {'4', phone_co},       {'5', hacker_underground}, {'6', stats_screen},
    {'7', rename_bbs},     {'8', buy_node},           {'9', save_game},
};

void stat_value(int row, const char* label, int fg, const char* fmt, ...) __attribute__((format(printf, 4, 5)));
void stat_value(int row, const char* label, int fg, const char* fmt, ...)
{
    char buf[128];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    put_str(3, row, label, 3, 0, 1);
    put_str(18, row, buf, fg, 0, 1);
}

void draw_stats_left()
{
    stat_value(3, "Sysop:", 7, "%s", P.sysop_name);
    stat_value(4, "BBS:", 7, "%s", P.bbs_name);
    stat_value(5, "Days online:", 7, "%u", P.day);
    stat_value(6, "Cash on hand:", 7, "$%ld", static_cast<long>(P.cash));
    stat_value(7, "Total callers:", 7, "%d callers", P.total_callers);
    stat_value(8, "Latest:", 7, "%d yesterday", P.callers_yesterday);
    stat_value(9, "Reputation:", 2, "%d / 100", P.rep);
    stat_value(10, "Heat level:", P.heat < 61 ? 7 : 1, "%d / 100", P.heat);
    stat_value(11, "Hack skill:", 5, "%d / 100", P.hack_skill);
    stat_value(12, "Warez library:", 5, "%d files", P.warez);
    stat_value(13, "Nodes:", 7, "%d", P.nodes);
    stat_value(14, "Doors:", 7, "%d installed", count_bits(P.doors, static_cast<int>(DOORS.size())));
    stat_value(15, "CD-ROMs:", 7, "%d mounted", count_bits(P.cdroms, static_cast<int>(CDROMS.size())));
    stat_value(16, "HW Health:", P.hw_health < 40 ? 1 : 2, "%d / 100", P.hw_health);
}

void right_item(int row, const char* label, const char* value)
{
    put_str(45, row, label, 3, 0, 1);
    put_str(55, row, value, 7, 0, 1);
}

void draw_stats_right()
{
    put_str(45, 3, "HARDWARE", 3, 0, 1);
    right_item(5, "CPU:", table_row(CPUS, P.cpu).name);
    right_item(6, "RAM:", table_row(RAMS, P.ram).name);
    right_item(7, "HDD:", table_row(HDDS, P.hdd).name);
    right_item(8, "Modem:", table_row(MODEMS, P.modem).name);
    right_item(9, "Monitor:", table_row(MONITORS, P.monitor).name);
    put_str(45, 11, "NETWORKS", 3, 0, 1);
    right_item(12, "FidoNet:", table_row(FIDO, P.fido_tier).name);
    right_item(13, "Internet:", table_row(INET, P.inet_tier).name);
    put_str(45, 15, "Peripherals:", 3, 0, 1);
    int row = 16;
    for (std::size_t i = 0; i < PERIS.size(); ++i) {
        if (has_bit(P.peripherals, static_cast<int>(i)))
            put_str(55, row++, PERIS[i].name, 7, 0, 1);
    }
    if (row == 16)
        put_str(55, 16, "(none)", 7, 0, 1);
}

}  // namespace

void enter_game()
{
    start_turn_day();
    if (P.hacked_while_away == 0)
        return;
    const std::int32_t n = P.hacked_while_away;
    P.hacked_while_away = 0;
    char text[160];
    std::snprintf(text, sizeof text,
                  "While you were away, %u rival sysop%s\nbroke into your system and took stuff.\n"
                  "(Install more protection to fight back.)",
                  static_cast<unsigned>(n), n == 1 ? "" : "s");
    msg_box("Someone hacked you", text, 1);
    save_profile();
}

void console_loop()
{
    for (;;) {
        render_console();
        const int key = fold_upper(read_key_block());
        if (key == 'Q' || key == 27) {
            save_profile();
            hs_record();
            return;
        }
        for (const auto& c : CONSOLE_COMMANDS) {
            if (c.key == key) {
                c.run();
                break;
            }
        }
    }
}

void stats_screen()
{
    begin_framed_screen("Statistics", "SYSOP DOSSIER");
    draw_stats_left();
    draw_stats_right();
    put_str(26, 22, "[ Press any key to return ]", 3, 0, 1);
    draw_footer("Your empire so far.");
    present_frame();
    read_key_block();
}

std::int64_t node_price(int n)
{
    return n <= 4 ? 600LL * n : 1000LL * n - 1600;
}

void buy_node()
{
    const int n = P.nodes;
    if (n > MAX_NODES - 1) {
        msg_box("Max nodes", "16 nodes is the cap. That's a lot.", 3);
        return;
    }
    const std::int64_t price = node_price(n);
    char text[96];
    std::snprintf(text, sizeof text, "A new node costs $%ld.\nYou'll have %d nodes total.", static_cast<long>(price),
                  n + 1);
    if (!yes_no("Add a node?", text))
        return;
    if (P.cash < price) {
        msg_box("No cash", "Not enough money for another node.", 1);
        return;
    }
    P.nodes += 1;
    P.cash -= price;
    add_rep(3);
    save_profile();
    msg_box("New node online!", "Your callers will love the extra line.", 2);
}
