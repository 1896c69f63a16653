#include "game/shops/department.h"

#include "game/rules/storage.h"
#include "game/screen/dialogs.h"

namespace {

void show(const shop_message& m)
{
    msg_box(m.title, m.text, m.colour);
}

// The list is rebuilt from the profile every time it is shown.
int build_rows(const shop_department& d, catalog_item (&rows)[PICKER_MAX_ROWS])
{
    int n = d.count < PICKER_MAX_ROWS ? d.count : PICKER_MAX_ROWS;
    for (int i = 0; i < n; ++i) {
        const char* label = d.lock_label ? d.lock_label(i) : nullptr;
        rows[i] = catalog_item{d.sale.name(i), d.sale.price(i), d.owned(i) ? 1 : 0, label ? 1 : 0, label};
    }
    return n;
}

}  // namespace

bool sell_row(const shop_sale& sale, int row)
{
    for (const shop_check& c : sale.checks) {
        if (c.refuses && c.refuses(row)) {
            show(c.message);
            return false;
        }
    }
    const std::int64_t price = sale.price(row);
    if (price > P.cash) {
        msg_box("No cash", sale.no_cash_text, 1);
        return false;
    }
    if (!yes_no(sale.confirm_title, sale.confirm_name ? sale.confirm_name(row) : sale.name(row)))
        return false;
    P.cash -= price;
    sale.apply(row);
    save_profile();
    if (sale.after_save)
        sale.after_save(row);
    show(sale.success);
    return true;
}

void run_department(const shop_department& d)
{
    if (d.gate.refuses && d.gate.refuses(-1)) {
        show(d.gate.message);
        return;
    }
    for (;;) {
        catalog_item rows[PICKER_MAX_ROWS];
        int n = build_rows(d, rows);
        int row = catalog_pick(d.title, rows, n, d.hint);
        if (row < 0 || row >= n)
            return;
        sell_row(d.sale, row);
    }
}
