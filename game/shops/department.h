// Every sale in the stores has one shape: checks in order, each ending in a
// box; the price against the cash; a confirmation; the price paid and the
// effect applied; the profile saved; the success box. A department adds the
// list it sells from. Stores describe their departments as data (names,
// texts, small functions) and hand them to run_department / sell_row.
#pragma once

#include "game/rules/profile.h"
#include "game/shops/catalog_picker.h"

#include <array>
#include <cstddef>
#include <cstdint>

struct shop_message {
    const char* title;
    const char* text;
    int colour;
};

// A refusal: when refuses(row) holds, the message is shown and nothing sold.
struct shop_check {
    bool (*refuses)(int row);
    shop_message message;
};

inline constexpr int MAX_SHOP_CHECKS = 3;

struct shop_sale {
    const char* (*name)(int row);               // the row as listed
    std::int64_t (*price)(int row);             // what a purchase costs
    std::array<shop_check, MAX_SHOP_CHECKS> checks;  // in order, before the cash check
    const char* no_cash_text;                   // under the title "No cash"
    const char* confirm_title;
    const char* (*confirm_name)(int row);       // text of the question; none: name
    void (*apply)(int row);                     // the effect, after the price is paid
    void (*after_save)(int row);                // optional show once the sale is on disk
    shop_message success;
};

struct shop_department {
    const char* title;                  // picker title and tag
    const char* hint;
    int count;                          // rows, at most PICKER_MAX_ROWS
    bool (*owned)(int row);             // shown "OWNED"
    const char* (*lock_label)(int row); // label of a locked row, or nullptr
    shop_check gate;                    // refuses(-1): the message instead of the list
    shop_sale sale;
};

// Runs one sale of a row; true when it was bought.
bool sell_row(const shop_sale& sale, int row);
// Shows the department's list and sells from it until the player backs out.
void run_department(const shop_department& d);

// Building blocks for the descriptors.
template <const auto& TABLE>
const char* name_of(int row) { return TABLE[static_cast<std::size_t>(row)].name; }
template <const auto& TABLE>
std::int64_t price_of(int row) { return TABLE[static_cast<std::size_t>(row)].price; }
// A ladder owns every row up to its index.
template <std::int32_t profile::*FIELD>
bool ladder_owns(int row) { return row <= P.*FIELD; }
template <std::uint32_t profile::*FIELD>
bool bit_owned(int row) { return has_bit(P.*FIELD, row); }
template <std::int32_t profile::*FIELD>
void climb_ladder(int row) { P.*FIELD = row; }
template <std::uint32_t profile::*FIELD>
void set_bit(int row) { P.*FIELD |= 1u << row; }
