// The console: the home screen of a running game with the board, its
// numbers, the hardware and network panels and the command menu.
#pragma once

#include "game/core/profile.h"

#include <cstddef>
#include <cstdint>

// Draws and presents the whole console from P and the clock.
void render_console();
// Days the player may still advance today (from the clock and P).
int turns_left_today();
// The daily limit the console shows turns against.
int turns_limit();

// Name of a catalog row a profile names (rows are validated on load; the
// clamp keeps a record changed in memory from reading outside the table).
template <typename Table>
const char* row_name(const Table& table, std::int32_t row)
{
    const auto last = static_cast<std::int32_t>(table.size()) - 1;
    return table[static_cast<std::size_t>(clamp_to<std::int32_t>(row, 0, last))].name;
}
