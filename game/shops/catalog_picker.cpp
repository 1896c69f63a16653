#include "game/shops/catalog_picker.h"

#include "game/rules/profile.h"
#include "game/screen/cells.h"
#include "game/screen/dialogs.h"
#include "game/screen/terminal.h"
#include "game/shops/shop_screen.h"

#include <cstdio>

namespace {

constexpr int FIRST_ROW = 6;
constexpr int BAND_LEFT = 3;
constexpr int BAND_WIDTH = 74;

struct status_look {
    const char* text;
    int fg;
};

// Owned wins over a lock, and a lock over the price.
status_look row_status(const catalog_item& it)
{
    if (it.owned)
        return {"OWNED", 2};
    if (it.locked)
        return {it.lock_label ? it.lock_label : "LOCKED", 1};
    if (it.price > P.cash)
        return {"NO CASH", 1};
    return {"AVAILABLE", 2};
}

void draw_row(const catalog_item& it, int y, bool selected)
{
    const int bg = selected ? 3 : 0;
    const int plain = selected ? 0 : 7;
    put_run(BAND_LEFT, y, ' ', BAND_WIDTH, plain, bg, 0);
    put_fmt(3, y, plain, bg, 1, " %-44.44s", it.name ? it.name : "");
    put_fmt(49, y, selected ? 0 : 2, bg, 1, "$%-8ld", static_cast<long>(it.price));
    status_look st = row_status(it);
    put_str(62, y, st.text, selected ? 0 : st.fg, bg, 1);
}

void draw_picker(const char* title, const catalog_item* items, int count, const char* hint,
                 const list_window& s)
{
    begin_framed_screen(title, title);
    char status[160];
    std::snprintf(status, sizeof status, " CASH $%ld    DAY %u    REP %d    HEAT %d    HACK %d    NODES %d ",
                  static_cast<long>(P.cash), P.day, P.rep, P.heat, P.hack_skill, P.nodes);
    put_centred(2, status, 3);

    put_str(4, 4, "NAME", 3, 0, 1);
    put_str(50, 4, "PRICE", 3, 0, 1);
    put_str(62, 4, "STATUS", 3, 0, 1);
    put_run(BAND_LEFT, 5, 196, BAND_WIDTH, 7, 0, 0);

    for (int i = s.top; i < count && i < s.top + PICKER_WINDOW; ++i)
        draw_row(items[i], FIRST_ROW + (i - s.top), i == s.sel);
    if (s.top > 0)
        put_str(74, FIRST_ROW, "\x18 more", 7, 0, 0);
    if (s.shown_end < count)
        put_str(74, FIRST_ROW + PICKER_WINDOW - 1, "\x19 more", 7, 0, 0);

    put_str(3, 21, hint ? hint : "", 7, 0, 0);
    draw_footer("[UP/DOWN] move   [ENTER] buy   [ESC] back");
    present_frame();
}

}  // namespace

void window_up(list_window& s)
{
    if (s.sel > 0)
        --s.sel;
    if (s.top > s.sel)
        s.top = s.sel;
    s.shown_end = s.top + PICKER_WINDOW;
}

void window_down(list_window& s, int count)
{
    if (s.sel < count - 1)
        ++s.sel;
    if (s.sel > s.top + PICKER_WINDOW - 1) {
        s.top = s.sel - (PICKER_WINDOW - 1);
        s.shown_end = s.sel + 1;
    }
}

int catalog_pick(const char* title, const catalog_item* items, int count, const char* hint)
{
    if (!items || count <= 0)
        return -1;
    list_window s;
    for (;;) {
        draw_picker(title, items, count, hint, s);
        int key = read_key_block();
        switch (key) {
        case 13: case 10: case ' ':
            return s.sel;
        case 27: case 'q': case 'Q':
            return -1;
        case GKEY_UP:
            window_up(s);
            break;
        case GKEY_DOWN:
            window_down(s, count);
            break;
        default:
            break;
        }
    }
}
