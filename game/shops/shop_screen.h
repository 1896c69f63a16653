// Pieces the stores' screens share: centred status lines, the reputation cap
// of every purchase, key folding and a clamped catalog row.
#pragma once

#include <cstddef>

// Text centred on a row ((80 - length) / 2, at least column 0), bold.
void put_centred(int y, const char* text, int fg);
// " CASH $..    DAY ..    REP ..    HEAT .. " centred on a row, yellow.
void put_money_line(int y);
// Adds a reputation bonus, capped at 100.
void add_rep(int bonus);
// Letters folded to upper case; other keys unchanged.
int fold_upper(int key);

// Row i of a catalog, kept inside the table even for a damaged index.
template <typename Table>
const auto& table_row(const Table& table, long i)
{
    long last = static_cast<long>(table.size()) - 1;
    return table[static_cast<std::size_t>(i < 0 ? 0 : (i > last ? last : i))];
}
