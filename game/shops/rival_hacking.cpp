#include "game/shops/rival_hacking.h"

#include "game/rules/catalogs.h"
#include "game/rules/day.h"
#include "game/rules/files.h"
#include "game/rules/profile.h"
#include "game/screen/cells.h"
#include "game/screen/dialogs.h"
#include "game/screen/terminal.h"
#include "game/shops/catalog_picker.h"
#include "game/shops/hack_minigame.h"
#include "game/shops/shop_screen.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr int FIRST_ROW = 8;
constexpr int BAND_LEFT = 3;
constexpr int BAND_WIDTH = 74;
constexpr std::int64_t LEAST_STOLEN = 25;

// A rival's stake at its current cash: a quarter at most, but never less
// than 25, even from a rival who has less.
std::int64_t stolen_from(const rival& r)
{
    return std::max(std::min(r.steal_cash, r.record.cash / 4), LEAST_STOLEN);
}

void draw_rival_row(int index, int y, bool selected)
{
    const rival& r = g_rivals[index];
    const int fg = selected ? 0 : difficulty_colour(r.difficulty);
    const int bg = selected ? 3 : 0;
    put_run(BAND_LEFT, y, ' ', BAND_WIDTH, fg, bg, 0);
    put_fmt(BAND_LEFT, y, fg, bg, 1, " %-2d %-14.14s %-22.22s %d/5  %2d  %3d  $%-5ld", index + 1,
            r.record.sysop_name, r.record.bbs_name, r.record.fame,
            count_bits(r.record.protection, static_cast<int>(PROTECT_SW.size())), r.difficulty,
            static_cast<long>(r.steal_cash));
}

void draw_rival_list(const list_window& w)
{
    begin_framed_screen("Hack Other Sysops", "RIVAL SYSOP UNDERGROUND", 5);
    put_str(16, 3, "\"Take down the competition.  Take their warez.\"", 5, 0, 1);
    char line[128];
    std::snprintf(line, sizeof line, "Hack Skill %d   Heat %d   Cash $%ld   Turns left %d", P.hack_skill, P.heat,
                  static_cast<long>(P.cash), turns_left_today());
    put_centred(4, line, 6);
    put_str(3, 6, "#  SYSOP           BBS                    FAME PRO DIFF STEAL", 3, 0, 1);
    put_run(BAND_LEFT, 7, 0xC4, BAND_WIDTH, 7, 0, 0);
    for (int i = w.top; i < g_rival_count && i < w.top + PICKER_WINDOW; ++i)
        draw_rival_row(i, FIRST_ROW + (i - w.top), i == w.sel);
    if (w.top > 0)
        put_str(72, FIRST_ROW, "\x18 more", 7, 0, 0);
    if (w.shown_end < g_rival_count)
        put_str(72, FIRST_ROW + PICKER_WINDOW - 1, "\x19 more", 7, 0, 0);
    put_str(3, 22, "FAME = their level   PRO = protection count   DIFF = effective difficulty", 6, 0, 1);
    put_str(3, 23, "[UP/DOWN] select     [ENTER] attempt hack     [ESC] back", 7, 0, 1);
    draw_footer("Real sysops, real warez.  Hacks are recorded in their save file.");
    present_frame();
}

void won_rival(const rival& r)
{
    const rival_take take = rob_rival_file(r);
    if (!take.written) {
        // Deleted or spoilt during the hack: there was nothing to take.
        save_profile();
        char gone[160];
        std::snprintf(gone, sizeof gone, "%s is gone.\nThe board was taken down\nbefore you got anything.",
                      r.record.bbs_name);
        msg_box("Target gone", gone, 6);
        return;
    }
    const int gain = shed_heat(r.heat_gain);
    P.warez = static_cast<std::int32_t>(std::min<std::int64_t>(std::int64_t{P.warez} + take.warez, MAX_COUNT));
    P.cash = std::min(P.cash + take.cash, MAX_CASH);
    add_heat(gain);
    P.hack_skill = std::min(P.hack_skill + r.difficulty / 20 + 1, 100);
    add_rep(1);
    save_profile();
    char text[200];
    std::snprintf(text, sizeof text,
                  "Pwned %s!\nStole $%ld + %d warez.\nHeat +%d, Rep +1.\n(%s will see a 'you were hacked' event)",
                  r.record.bbs_name, static_cast<long>(take.cash), take.warez, gain, r.record.sysop_name);
    msg_box("RIVAL OWNED", text, 2);
}

void lost_rival(const rival& r)
{
    const int gain = shed_heat(r.heat_gain / 2);
    add_rep(-3);
    add_heat(gain);
    save_profile();
    char text[200];
    std::snprintf(text, sizeof text, "%s traced you back.\nThey posted your dropfile on FidoNews.\nRep -3, Heat +%d.",
                  r.record.bbs_name, gain);
    msg_box("TRACED", text, 1);
}

// One attempt on a rival; the list is rebuilt from the files afterwards, so
// it shows what the hack left behind.
void attempt_rival(list_window& w)
{
    if (w.sel < 0 || w.sel >= g_rival_count)
        return;
    const rival r = g_rivals[w.sel];
    char question[128];
    std::snprintf(question, sizeof question, "Target: %s (%s)", r.record.sysop_name, r.record.bbs_name);
    if (!yes_no("Attempt hack?", question))
        return;
    switch (hack_minigame(minigame_difficulty(r.difficulty))) {
    case 1:
        won_rival(r);
        break;
    case 0:
        lost_rival(r);
        break;
    default:
        save_profile();
        msg_box("Aborted", "You disconnected before they caught the trace.", 6);
        break;
    }
    refresh_rivals();
    if (w.sel >= g_rival_count)
        w.sel = g_rival_count > 0 ? g_rival_count - 1 : 0;
}

}  // namespace

rival_take rob_rival_file(const rival& r)
{
    const profile_lock lock(r.path);
    if (lock.refused())
        return {0, 0, false};

    profile on_disk{};
    const bool readable = read_data_file(r.path, &on_disk, sizeof on_disk) == static_cast<long>(sizeof on_disk) &&
                          on_disk.magic == PROFILE_MAGIC;
    if (!readable)
        return {0, 0, false};
    rival now = r;
    now.record = on_disk;
    sanitize_profile(now.record);
    rate_rival(now);
    // Only the three figures change; everything else stays as the file had it.
    const std::int64_t stake = stolen_from(now);
    on_disk.cash = std::max<std::int64_t>(now.record.cash - stake, 0);
    on_disk.warez = std::max(now.record.warez - now.steal_warez, 0);
    on_disk.hacked_while_away = std::min(now.record.hacked_while_away + 1, MAX_COUNT);
    if (!write_file_atomic(r.path, &on_disk, sizeof on_disk))
        return {0, 0, false};
    // The thief gets what the board really lost, never more than it held.
    return {now.record.cash - on_disk.cash, now.record.warez - on_disk.warez, true};
}

void rival_underground()
{
    scan_rivals();
    if (g_rival_count == 0) {
        msg_box("No rival sysops",
                "No other saved sysops exist yet.\nShare your board - friends who play\n"
                "VEXON SIMS will appear in this list.",
                3);
        return;
    }
    list_window w;
    for (;;) {
        draw_rival_list(w);
        const int key = read_key_block();
        switch (key) {
        case 10: case 13: case ' ':
            attempt_rival(w);
            break;
        case 27: case 'q': case 'Q':
            return;
        case GKEY_UP:
            window_up(w);
            break;
        case GKEY_DOWN:
            window_down(w, g_rival_count);
            break;
        default:
            if (key >= '1' && key <= '9' && key - '1' < g_rival_count) {
                w.sel = key - '1';
                attempt_rival(w);
            }
            break;
        }
    }
}
