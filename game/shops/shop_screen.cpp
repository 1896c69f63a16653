#include "game/shops/shop_screen.h"

#include "game/rules/profile.h"
#include "game/screen/cells.h"

#include <cstdio>
#include <cstring>

void put_centred(int y, const char* text, int fg)
{
    int x = (SCREEN_W - static_cast<int>(std::strlen(text))) / 2;
    put_str(x < 0 ? 0 : x, y, text, fg, 0, 1);
}

void put_money_line(int y)
{
    char line[128];
    std::snprintf(line, sizeof line, " CASH $%ld    DAY %u    REP %d    HEAT %d ", static_cast<long>(P.cash),
                  P.day, P.rep, P.heat);
    put_centred(y, line, 3);
}

void add_rep(int bonus)
{
    P.rep = clamp_to(P.rep + bonus, 0, 100);
}

int shed_heat(int heat)
{
    const int kept = heat - heat * protect_shed_pct() / 100;
    return kept < 0 ? 0 : kept;
}

void add_heat(int gain)
{
    P.heat = clamp_to(P.heat + gain, 0, 100);
}

int fold_upper(int key)
{
    return key >= 'a' && key <= 'z' ? key - 'a' + 'A' : key;
}
