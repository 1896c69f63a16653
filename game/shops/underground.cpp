#include "game/shops/underground.h"

#include "game/rules/catalogs.h"
#include "game/rules/profile.h"
#include "game/rules/storage.h"
#include "game/screen/cells.h"
#include "game/screen/dialogs.h"
#include "game/screen/terminal.h"
#include "game/shops/department.h"
#include "game/shops/hack_minigame.h"
#include "game/shops/rival_hacking.h"
#include "game/shops/shop_screen.h"

#include <algorithm>
#include <cstdio>

namespace {

// Text of the last kit's success box, written as the kit is bought.
char g_deal_text[64];

void apply_kit(int row)
{
    const dark_good_row& g = DARK_GOODS[static_cast<std::size_t>(row)];
    set_bit<&profile::dark_goods>(row);
    P.hack_skill = std::min(P.hack_skill + g.skill_gain, 100);
    P.warez = std::min(P.warez + g.warez_gain, MAX_COUNT);
    add_heat(g.heat_gain);  // bought in the open: protection sheds none of it
    std::snprintf(g_deal_text, sizeof g_deal_text, "Skill +%d   Warez +%d   Heat +%d", g.skill_gain, g.warez_gain,
                  g.heat_gain);
}

constexpr shop_department DARK_MARKET{
    "Dark Market - Viruses & Hack Kits",
    "Each purchase raises hack skill or warez, but adds heat.",
    static_cast<int>(DARK_GOODS.size()),
    bit_owned<&profile::dark_goods>,
    nullptr,
    {},
    {name_of<DARK_GOODS>, price_of<DARK_GOODS>,
     {shop_check{bit_owned<&profile::dark_goods>, {"Already owned", "You already have that kit.", 3}}}, "Save up.",
     "Buy from the Dark Market?", nullptr, apply_kit, nullptr, {"Deal done.", g_deal_text, 5}},
};

void draw_underground()
{
    begin_framed_screen("The Underground", "THE PIRATE COVE", 5);
    put_str(15, 3, "\"If you can ring the bell, you can have the pie.\"", 5, 0, 1);
    char line[128];
    std::snprintf(line, sizeof line, "Hack Skill: %d / 100      Heat: %d / 100      Cash: $%ld", P.hack_skill, P.heat,
                  static_cast<long>(P.cash));
    put_centred(4, line, 6);
    for (std::size_t i = 0; i < TARGETS.size(); ++i) {
        const target_row& t = TARGETS[i];
        put_fmt(3, 6 + 2 * static_cast<int>(i), difficulty_colour(t.difficulty), 0, 1,
                "[%d] %-26s  diff %3d   $%ld - $%ld", static_cast<int>(i) + 1, t.name, t.difficulty,
                static_cast<long>(t.payout_min), static_cast<long>(t.payout_max));
    }
    put_str(3, 22, "[D] Dark Market  [P] Hack Other Sysops", 5, 0, 1);
    put_str(60, 22, "[ESC] back", 7, 0, 1);
    draw_footer("Higher difficulty = bigger haul + more heat.");
    present_frame();
}

// A draw between low and high inclusive; no draw when they are equal.
template <typename T>
T draw_between(T low, T high)
{
    return high > low ? low + static_cast<T>(rng_draw(static_cast<std::uint32_t>(high - low + 1))) : low;
}

void won_target(const target_row& t)
{
    const std::int64_t payout = draw_between(t.payout_min, t.payout_max);
    const std::int32_t files = draw_between(t.warez_min, t.warez_max);
    const int gain = shed_heat(t.heat);
    const int skill_before = P.hack_skill;
    P.cash = std::min(P.cash + payout, MAX_CASH);
    P.warez = std::min(P.warez + files, MAX_COUNT);
    add_heat(gain);
    P.hack_skill = std::min(P.hack_skill + t.difficulty / 15 + 1, 100);
    save_profile();
    char text[128];
    std::snprintf(text, sizeof text, "Pulled $%ld and %d warez files.\nHeat +%d, skill +%d.", static_cast<long>(payout),
                  files, gain, P.hack_skill - skill_before);
    msg_box("SCORE", text, 2);
}

void lost_target(const target_row& t)
{
    const int gain = shed_heat(t.heat / 2);
    add_rep(-t.rep_loss);
    add_heat(gain);
    save_profile();
    char text[96];
    std::snprintf(text, sizeof text, "You tripped an alert.\nRep -%d, heat +%d.", t.rep_loss, gain);
    msg_box("BUSTED TRACE", text, 1);
}

void attack_target(const target_row& t)
{
    char question[64];
    std::snprintf(question, sizeof question, "Target: %s", t.name);
    if (!yes_no("Attempt hack?", question))
        return;
    switch (hack_minigame(minigame_difficulty(t.difficulty))) {
    case 1:
        won_target(t);
        break;
    case 0:
        lost_target(t);
        break;
    default:
        save_profile();
        msg_box("Aborted", "You disconnected before they caught the trace.", 6);
        break;
    }
}

}  // namespace

void hacker_underground()
{
    for (;;) {
        draw_underground();
        const int key = fold_upper(read_key_block());
        if (key >= '1' && key < '1' + static_cast<int>(TARGETS.size()))
            attack_target(TARGETS[static_cast<std::size_t>(key - '1')]);
        else if (key == 'D')
            run_department(DARK_MARKET);
        else if (key == 'P')
            rival_underground();
        else if (key == 27 || key == 'Q')
            return;
    }
}
