#include "game/app/title.h"

#include "game/app/console_loop.h"
#include "game/app/hall_of_fame_screen.h"
#include "game/rules/hall_of_fame.h"
#include "game/rules/storage.h"
#include "game/screen/cells.h"
#include "game/screen/dialogs.h"
#include "game/screen/terminal.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr unsigned char FULL_BLOCK = 219;
constexpr unsigned char LOWER_HALF = 220;
constexpr unsigned char DARK_SHADE = 178;

struct title_text {
    int row, x;
    const char* text;
    int fg, bold;
};

// The logo's texts; the terminal picture below is drawn from its rows.
constexpr title_text TITLE_TEXTS[] = {
    {4, 30, "V E X O N   S I M S", 3, 1},
    {5, 32, "Run your own BBS", 6, 1},
    {6, 27, "from 300 baud to T1 legend", 2, 1},
    {21, 11, "[1] New BBS    [2] Continue    [3] Top Sysops    [4] Exit", 7, 1},
    {22, 25, "By Tarnwick - Vexon Online BBS", 6, 0},
};

// Inside of the little terminal, between its two side blocks.
constexpr const char* SCREEN_ROWS[] = {
    "                    ", "  VEXON ONLINE BBS  ", "  > LOGON: SYSOP    ",
    "  > PASSWORD: ****  ", "  Connected! 14.4k  ", "                    ",
};

void draw_terminal_picture()
{
    put_run(29, 10, FULL_BLOCK, 22, 7, 0, 1);
    for (int i = 0; i < 6; ++i) {
        put_run(29, 11 + i, FULL_BLOCK, 1, 7, 0, 1);
        put_str(30, 11 + i, SCREEN_ROWS[i], 7, 0, 1);
        put_run(50, 11 + i, FULL_BLOCK, 1, 7, 0, 1);
    }
    put_run(29, 17, FULL_BLOCK, 22, 7, 0, 1);
    put_run(34, 18, LOWER_HALF, 12, 0, 0, 1);
    put_run(30, 19, DARK_SHADE, 20, 0, 0, 1);
}

void draw_maker_line()
{
    char line[128];
    std::snprintf(line, sizeof line, "telnet://%s:1337   ssh://%s:1338", MAKER_BOARD_HOST, MAKER_BOARD_HOST);
    int x = (SCREEN_W - static_cast<int>(std::strlen(line))) / 2;
    put_str(x < 0 ? 0 : x, 23, line, 6, 0, 0);
}

void play()
{
    enter_game();
    console_loop();
}

}  // namespace

void draw_title()
{
    full_clear_and_home();
    fill_rect(0, 0, 79, 24, 0);
    draw_dbox(10, 2, 69, 8, 3, 0);
    for (const auto& t : TITLE_TEXTS)
        put_str(t.x, t.row, t.text, t.fg, 0, t.bold);
    draw_terminal_picture();
    draw_maker_line();
    present_frame();
}

bool start_new_board()
{
    if (board_cannot_be_opened())
        return false;
    if (load_profile() && !yes_no("Overwrite save?", "You already have a BBS. Start over?"))
        return false;
    new_profile();
    save_profile();
    msg_box("Welcome!", "You've got a humble XT, 300-baud modem,\nand a dream. Good luck, sysop.", 3);
    return true;
}

bool continue_board()
{
    if (board_cannot_be_opened())
        return false;
    if (load_profile())
        return true;
    msg_box("No saved BBS", "You don't have a saved BBS yet.\nStart a new one.", 3);
    return false;
}

void title_loop()
{
    for (;;) {
        draw_title();
        switch (read_key_block()) {
        case '1': case '\r': case '\n': case ' ':
            if (start_new_board())
                play();
            break;
        case '2':
            if (continue_board())
                play();
            break;
        case '3':
            hs_screen();
            break;
        case '4': case 'q': case 'Q': case 27:
            return;
        default:
            break;
        }
    }
}
