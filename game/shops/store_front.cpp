#include "game/shops/store_front.h"

#include "game/screen/cells.h"
#include "game/screen/dialogs.h"
#include "game/screen/terminal.h"
#include "game/shops/shop_screen.h"

namespace {

constexpr const char* FULL_BLOCK = "\xDB";

void draw_sign(const store_sign& s)
{
    for (int y = s.y0; y <= s.y1; ++y) {
        for (int x = s.x0; x <= s.x1; ++x) {
            bool edge = y == s.y0 || y == s.y1 || x == s.x0 || x == s.x1;
            put_str(x, y, edge ? FULL_BLOCK : " ", edge ? s.fg : 7, 0, edge ? 1 : 0);
        }
    }
    for (const sign_text& t : s.lettering)
        put_str(t.x, t.y, t.text, t.fg, 0, 1);
}

void draw_front(const store_front& f)
{
    begin_framed_screen(f.tag, f.caption);
    put_str(f.motto_x, 3, f.motto, 6, 0, 1);
    draw_sign(f.sign);
    put_money_line(f.money_row);
    int y = f.first_shelf_row;
    for (const shelf_line& s : f.shelves) {
        put_str(f.label_x, y, s.label, 3, 0, 1);
        char figure[64];
        int fg = s.value(figure, sizeof figure);
        put_str(s.value_x, y, figure, fg, 0, 1);
        ++y;
    }
    put_str(f.label_x, f.back_row, "[ESC] Back to console", 7, 0, 1);
    draw_footer(f.footer);
    present_frame();
}

}  // namespace

void run_store_front(const store_front& f)
{
    const int count = static_cast<int>(f.departments.size());
    for (;;) {
        draw_front(f);
        int key = fold_upper(read_key_block());
        if (key == 27 || key == 'Q')
            return;
        if (key >= '1' && key < '1' + count)
            run_department(f.departments[static_cast<std::size_t>(key - '1')]);
    }
}
