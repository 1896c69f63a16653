#include "game/shops/phone_co.h"

#include "game/rules/catalogs.h"
#include "game/screen/cells.h"
#include "game/screen/dialogs.h"
#include "game/screen/terminal.h"
#include "game/shops/department.h"
#include "game/shops/shop_screen.h"

#include <cstdio>

namespace {

// A network ladder: its panel on the screen and what signing up does.
struct network_ladder {
    const std::array<net_row, 5>& rows;
    std::int32_t profile::*tier;
    int box_x0, box_x1;
    const char* caption;
    char first_key;  // the key (and label) of tier 0
    shop_sale sale;
};

template <const auto& TABLE>
std::int64_t signup_fee(int tier) { return TABLE[static_cast<std::size_t>(tier)].signup_fee; }

// Tiers only go up: the bonus of the new row once, skipped rows give nothing.
template <const auto& TABLE, std::int32_t profile::*TIER>
void sign_up(int tier)
{
    add_rep(TABLE[static_cast<std::size_t>(tier)].callers_bonus);
    P.*TIER = tier;
}

template <std::int32_t profile::*TIER>
bool subscribed(int tier) { return tier <= P.*TIER; }

template <const auto& TABLE, std::int32_t profile::*TIER>
constexpr shop_sale network_sale(const char* confirm, const char* song)
{
    return {name_of<TABLE>, signup_fee<TABLE>,
            {shop_check{subscribed<TIER>, {"Already subscribed", "You're at or above that tier.", 3}}},
            "Signup fee is too steep.", confirm, nullptr, sign_up<TABLE, TIER>, nullptr,
            {"Connected!", song, 2}};
}

constexpr std::array<network_ladder, 2> LADDERS{{
    {FIDO, &profile::fido_tier, 3, 38, " FidoNet ", '0',
     network_sale<FIDO, &profile::fido_tier>("Confirm FidoNet upgrade", "Your modem sings the FidoNet song.")},
    {INET, &profile::inet_tier, 42, 77, " Internet ", 'A',
     network_sale<INET, &profile::inet_tier>("Confirm Internet upgrade",
                                             "Welcome to the information superhighway.")},
}};

void draw_panel(const network_ladder& l)
{
    const int current = P.*l.tier;
    draw_box(l.box_x0, 5, l.box_x1, 13, 7);
    put_str(l.box_x0 + 2, 5, l.caption, 3, 0, 1);
    put_str(l.box_x0 + 1, 6, "Current tier:", 7, 0, 1);
    put_str(l.box_x0 + 15, 6, table_row(l.rows, current).name, 3, 0, 1);
    for (int t = 0; t < static_cast<int>(l.rows.size()); ++t) {
        const net_row& r = l.rows[static_cast<std::size_t>(t)];
        put_fmt(l.box_x0 + 1, 7 + t, t <= current ? 2 : 7, 0, 1, "[%c] %-14.14s $%-4ld $%-4ld", l.first_key + t,
                r.name, static_cast<long>(r.signup_fee), static_cast<long>(r.monthly_fee));
    }
}

void draw_phone_co()
{
    begin_framed_screen("Phone Company", "AT&T - PAC BELL - THE PHONE COMPANY");
    put_str(14, 3, "\"Your friendly local monopoly.  Signup fees apply.\"", 6, 0, 1);
    for (const network_ladder& l : LADDERS)
        draw_panel(l);
    put_str(3, 15, "Monthly bills are auto-deducted on day 1 of each month", 6, 0, 0);
    put_str(3, 16, "(every 30 days of play).", 6, 0, 0);
    char line[96];
    std::snprintf(line, sizeof line, " CASH $%ld    DAY %u    REP %d ", static_cast<long>(P.cash), P.day, P.rep);
    put_centred(17, line, 3);
    put_str(3, 19, "Press a number 0-4 for FidoNet, or A-E for Internet", 7, 0, 1);
    put_str(3, 20, "[ESC] Back", 7, 0, 1);
    draw_footer("Upgrade networks to earn more callers.");
    present_frame();
}

}  // namespace

void phone_co()
{
    for (;;) {
        draw_phone_co();
        int key = fold_upper(read_key_block());
        if (key == 27 || key == 'Q')
            return;
        for (const network_ladder& l : LADDERS) {
            if (key >= l.first_key && key < l.first_key + static_cast<int>(l.rows.size()))
                sell_row(l.sale, key - l.first_key);
        }
    }
}
