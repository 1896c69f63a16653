// Entry point of VEXON SIMS.
#include "game/core/profile.h"
#include "game/screen/cells.h"
#include "game/screen/terminal.h"

int main()
{
    take_terminal();
    choose_glyph_mode(-1);
    full_clear_and_home();
    fill_rect(0, 0, 79, 24, 0);
    draw_dbox(10, 2, 69, 8, 3, 0);
    put_title(10, 69, 2, "VEXON SIMS", 3);
    put_str(30, 4, "V E X O N   S I M S", 3, 0, 1);
    put_str(27, 6, "Press any key to leave.", 7, 0, 0);
    present_frame();
    read_key_block();
    full_clear_and_home();
    restore_terminal();
    return 0;
}
