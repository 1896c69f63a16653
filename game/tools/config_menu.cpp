#include "game/tools/config_menu.h"

#include "game/rules/hall_of_fame.h"
#include "game/rules/profile.h"
#include "game/rules/storage.h"
#include "game/screen/cells.h"
#include "game/screen/dialogs.h"
#include "game/screen/name_field.h"
#include "game/screen/terminal.h"
#include "game/shops/rename.h"
#include "game/shops/shop_screen.h"
#include "game/tools/printer.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <span>

namespace {

constexpr std::array<const char*, 8> MAIN_ITEMS{
    "[1] Change BBS name",         "[2] Change Sysop name",      "[3] Change turns per day",
    "[4] Change difficulty",       "[5] User / profile editor",  "[6] Reset current BBS",
    "[7] Export scores.ans/.asc",  "[8] Dot Matrix Printer Log",
};
constexpr std::size_t RESET_ITEM = 5;  // drawn in red

constexpr std::array<int, 6> TURN_CHOICES{10, 20, 30, 50, 75, 100};
constexpr std::array<const char*, 3> DIFFICULTIES{
    "Easy    - fewer attacks, cheaper upgrades",
    "Normal  - balanced (recommended)",
    "Hard    - more attacks, tighter budget",
};

constexpr std::array<int, 3> DIFFICULTY_VALUES{0, 1, 2};

const char* difficulty_name(int d)
{
    return d == 0 ? "Easy" : (d == 2 ? "Hard" : "Normal");
}

bool is_back_key(int key)
{
    return key == 27 || fold_upper(key) == 'Q';
}

void draw_main_screen()
{
    begin_framed_screen("Sysop Config", "CONFIG.EXE - VEXON SIMS");
    char line[128];
    std::snprintf(line, sizeof line, "Sysop: %-20s  BBS: %-30s", P.sysop_name, P.bbs_name);
    put_centred(3, line, 3);
    std::snprintf(line, sizeof line, "Turns/Day: %-3d    Difficulty: %s", P.turns_per_day,
                  difficulty_name(P.difficulty));
    put_centred(4, line, 6);
    for (std::size_t i = 0; i < MAIN_ITEMS.size(); ++i)
        put_str(20, 7 + static_cast<int>(i), MAIN_ITEMS[i], i == RESET_ITEM ? 1 : 7, 0, 1);
    put_str(20, 16, "[ESC] Back to main menu", 3, 0, 1);
    draw_footer("Sysop-level controls.  Changes save immediately.");
    present_frame();
}

void draw_turns_screen()
{
    begin_framed_screen("Config - Turns/Day", "TURNS PER DAY");
    char line[64];
    std::snprintf(line, sizeof line, "Current: %d turns per real day", P.turns_per_day);
    put_centred(6, line, 3);
    put_str(13, 8, "[1] 10 turns    [2] 20 turns    [3] 30 turns (default)", 7, 0, 1);
    put_str(14, 9, "[4] 50 turns    [5] 75 turns    [6] Unlimited (100)", 7, 0, 1);
    put_str(35, 12, "[ESC] back", 3, 0, 1);
    draw_footer("Cap on how many BBS days you can advance each real day.");
    present_frame();
}

void draw_difficulty_screen()
{
    begin_framed_screen("Config - Difficulty", "DIFFICULTY");
    char line[64];
    std::snprintf(line, sizeof line, "Current: %s", difficulty_name(P.difficulty));
    put_centred(5, line, 3);
    for (std::size_t i = 0; i < DIFFICULTIES.size(); ++i) {
        const int d = static_cast<int>(i);
        put_fmt(12, 8 + d, P.difficulty == d ? 3 : 7, 0, 1, "[%d] %s", d + 1, DIFFICULTIES[i]);
    }
    put_str(35, 13, "[ESC] back", 3, 0, 1);
    draw_footer("Affects hack frequency, event scaling, and store prices.");
    present_frame();
}

// Rows of the saved-sysops list; the list scrolls past them.
constexpr int LIST_TOP = 5;
constexpr int LIST_ROWS = 16;

// A place in the list of boards, by file name (boards come and go on other
// nodes, so a name stays right where a number would not) and its number.
struct board_mark {
    char name[BOARD_NAME_SIZE] = "";
    int index = -1;  // -1: none
    profile record{};
};

bool step_mark(const board_mark& from, bool forward, board_mark& to)
{
    board_mark m;
    if (!next_board(from.name, forward, m.name, m.record))
        return false;
    m.index = from.index + (forward ? 1 : -1);
    to = m;
    return true;
}

board_mark first_mark()
{
    board_mark m;
    board_mark start;  // before the first: index -1, name ""
    step_mark(start, true, m);
    return m;
}

void draw_profile_row(int y, const board_mark& m, bool selected)
{
    const int fg = selected ? 0 : 7;
    const int bg = selected ? 3 : 0;
    const profile& p = m.record;
    put_run(3, y, ' ', 74, fg, bg, 0);
    put_fmt(3, y, fg, bg, 1, "%-2d %-14.14s %-22.22s %4u $%-6ld  %d/5", m.index + 1, p.sysop_name, p.bbs_name, p.day,
            static_cast<long>(p.cash), p.fame);
}

void draw_profile_list(const board_mark& top, const board_mark& selected)
{
    begin_framed_screen("Config - User Editor", "ALL SAVED SYSOPS");
    put_str(3, 3, "#  SYSOP           BBS                    DAY  CASH    FAME", 3, 0, 1);
    put_run(3, 4, 196, 74, 7, 0, 0);
    board_mark row = top;
    bool more_below = false;
    for (int k = 0; row.index >= 0; ++k) {
        if (k == LIST_ROWS) {
            more_below = true;
            break;
        }
        draw_profile_row(LIST_TOP + k, row, std::strcmp(row.name, selected.name) == 0);
        if (!step_mark(row, true, row))
            break;
    }
    if (top.index > 0)
        put_str(69, 21, "\x18 more", 7, 0, 0);
    if (more_below)
        put_str(69, 21, top.index > 0 ? "\x18\x19 more" : "\x19 more", 7, 0, 0);
    put_str(3, 22, "[UP/DOWN] select   [D] delete profile   [ESC] back", 7, 0, 1);
    draw_footer("Saved profiles live in data/sysop_*.dat");
    present_frame();
}

// Deletes under the file's lock, so it never lands between another node's
// read and write of the same board.
void delete_board_file(const char* path)
{
    char lock_path[160];
    if (profile_lock_path(path, lock_path, sizeof lock_path)) {
        data_lock lock(lock_path);
        std::remove(path);
    } else {
        std::remove(path);
    }
}

// Asks about the selected board and deletes it; moves the selection to the
// next board (the previous one at the end). False when none is left.
bool delete_selected(board_mark& top, board_mark& selected)
{
    if (!yes_no("Delete profile?", selected.record.sysop_name))
        return true;
    char path[BOARD_NAME_SIZE + 8];
    std::snprintf(path, sizeof path, "data/%s", selected.name);
    delete_board_file(path);
    board_mark gone = selected;
    board_mark after;
    gone.index -= 1;  // the next board takes the deleted one's number
    if (!step_mark(gone, true, after)) {
        gone.index += 1;
        if (!step_mark(gone, false, after))
            return false;
    }
    selected = after;
    if (std::strcmp(top.name, gone.name) == 0 || selected.index < top.index)
        top = selected;
    return true;
}

// A settings screen: key "1" picks the first choice, "2" the second and so
// on; the setting is saved at once. ESC or Q leave it as it was.
void pick_setting(void (*draw)(), std::span<const int> choices, std::int32_t& setting, const char* done)
{
    for (;;) {
        draw();
        const int key = read_key_block();
        if (is_back_key(key))
            return;
        const int i = key - '1';
        if (i >= 0 && i < static_cast<int>(choices.size())) {
            setting = choices[static_cast<std::size_t>(i)];
            save_profile();
            msg_box("Set", done, 2);
            return;
        }
    }
}

}  // namespace

void config_sysop_name()
{
    static constexpr name_field_screen SCREEN{"Config - Sysop Name", "CHANGE SYSOP NAME", "Type a new sysop name:",
                                              29};
    if (!edit_name_field(SCREEN, P.sysop_name, P.sysop_name))
        return;
    save_profile();
    msg_box("Renamed", "Sysop name updated.", 2);
}

void config_turns_per_day()
{
    pick_setting(draw_turns_screen, TURN_CHOICES, P.turns_per_day, "Turns per day updated.");
}

void config_difficulty()
{
    pick_setting(draw_difficulty_screen, DIFFICULTY_VALUES, P.difficulty, "Difficulty updated.");
}

void config_profile_editor()
{
    board_mark selected = first_mark();
    if (selected.index < 0) {
        msg_box("No other sysops", "There are no other saved profiles.", 3);
        return;
    }
    board_mark top = selected;
    for (;;) {
        draw_profile_list(top, selected);
        const int key = read_key_block();
        if (is_back_key(key))
            return;
        if (key == GKEY_UP) {
            if (step_mark(selected, false, selected) && selected.index < top.index)
                top = selected;
        } else if (key == GKEY_DOWN) {
            if (step_mark(selected, true, selected) && selected.index >= top.index + LIST_ROWS)
                step_mark(top, true, top);
        } else if (fold_upper(key) == 'D') {
            if (!delete_selected(top, selected))
                return;
        }
    }
}

void config_reset()
{
    if (!yes_no("Reset BBS?", "Wipe everything and start fresh?"))
        return;
    if (!yes_no("Are you sure?", "This cannot be undone."))
        return;
    char sysop[sizeof P.sysop_name];
    copy_text(sysop, std::string_view(P.sysop_name, strnlen(P.sysop_name, sizeof P.sysop_name)));
    new_profile();
    copy_text(P.sysop_name, sysop);
    save_profile();
    msg_box("Reset complete", "Your BBS has been wiped to a fresh start.\nCash $1500, XT 8088, 300 baud modem.", 2);
}

void config_export_scores()
{
    hs_load();
    if (!hs_export()) {
        msg_box("Export failed", "The hall of fame cannot be read;\nthe bulletins were left as they are.", 1);
        return;
    }
    msg_box("Exported", "scores.ans + scores.asc\nwritten to data/.", 2);
}

void config_menu()
{
    if (board_cannot_be_opened())
        return;
    if (!load_profile()) {
        msg_box("No profile loaded", "No saved BBS found for this user.\nStart a new BBS from the main menu first.", 3);
        return;
    }
    for (;;) {
        draw_main_screen();
        const int key = read_key_block();
        if (is_back_key(key))
            return;
        switch (key) {
        case '1': rename_bbs(); break;
        case '2': config_sysop_name(); break;
        case '3': config_turns_per_day(); break;
        case '4': config_difficulty(); break;
        case '5': config_profile_editor(); break;
        case '6': config_reset(); break;
        case '7': config_export_scores(); break;
        case '8': dot_matrix_menu(); break;
        default: break;
        }
    }
}
