#include "game/app/hall_of_fame_screen.h"

#include "game/rules/hall_of_fame.h"
#include "game/screen/cells.h"
#include "game/screen/dialogs.h"
#include "game/screen/terminal.h"

namespace {

void draw_hs_rows()
{
    put_run(3, 5, 196, 74, 7, 0, 0);
    for (int i = 0; i < g_hs_count; ++i) {
        const hs_entry& e = g_hs[i];
        put_fmt(3, 6 + i, i == 0 ? 3 : 7, 0, 1, "%-2d %-16.16s %-22.22s %-5s $%-7s %-3d %-2d", i + 1, e.sysop_name,
                e.bbs_name, fit_number(e.day, 9).text, fit_number(e.cash, 14).text, e.rep, e.fame);
    }
    if (g_hs_count == 0)
        put_str(32, 12, "(No sysops yet)", 3, 0, 1);
}

}  // namespace

void hs_screen()
{
    hs_load();
    begin_framed_screen("Top Sysops", "TOP SYSOPS - VEXON SIMS HALL OF FAME");
    put_str(3, 4, "#  SYSOP            BBS                    DAY   CASH     REP FAM", 6, 0, 1);
    draw_hs_rows();
    put_str(26, 22, "[ Press any key to return ]", 3, 0, 1);
    draw_footer("Your cash + rep + fame + days powers the ranking.");
    present_frame();
    read_key_block();
}
