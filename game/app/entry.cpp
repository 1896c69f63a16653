#include "game/app/entry.h"

#include "game/rules/clock.h"
#include "game/rules/files.h"
#include "game/rules/profile.h"
#include "game/rules/storage.h"
#include "game/app/title.h"
#include "game/screen/cells.h"
#include "game/screen/dialogs.h"
#include "game/screen/terminal.h"
#include "game/tools/config_menu.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// One argument, or one with the argument after it; returns how many it took.
int take_argument(launch_options& o, int argc, char** argv, int i)
{
    const char* a = argv[i];
    if (std::strcmp(a, "--config") == 0 || std::strcmp(a, "--cfg") == 0 || std::strcmp(a, "-c") == 0) {
        o.config_mode = true;
    } else if (std::strncmp(a, "--dropfile=", 11) == 0) {
        o.dropfile = a + 11;
    } else if (std::strcmp(a, "--dropfile") == 0 || std::strcmp(a, "-d") == 0) {
        if (i + 1 >= argc)
            return 1;
        o.dropfile = argv[i + 1];
        return 2;
    } else if (std::strcmp(a, "--utf8") == 0) {
        o.force_utf8 = 1;
    } else if (std::strcmp(a, "--cp437") == 0) {
        o.force_utf8 = 0;
    } else if (a[0] != '-') {
        o.dropfile = a;
    }
    return 1;
}

// The size of the local terminal; false over the door socket (taken to be
// 80x25) or when standard output is no terminal.
bool local_terminal_size(int& cols, int& rows)
{
    if (g_d.use_socket != 0 && g_d.socket != -1)
        return false;
    winsize ws{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) != 0 || ws.ws_col == 0 || ws.ws_row == 0)
        return false;
    cols = ws.ws_col;
    rows = ws.ws_row;
    return true;
}

void leave_program()
{
    // The caller goes back to the board on a blank screen.
    full_clear_and_home();
    present_frame();
    restore_terminal();
}

// A save found the board deleted by the sysop: nothing is written, and the
// session ends, since there is no board left to play.
void end_on_removed_board()
{
    msg_box("Board removed", "The sysop removed this board.\nNothing was saved. Goodbye.", 1);
    leave_program();
    std::exit(0);
}

}  // namespace

launch_options parse_command_line(int argc, char** argv)
{
    launch_options o;
    for (int i = 1; i < argc;)
        i += take_argument(o, argc, argv, i);
    return o;
}

void identify_player(const launch_options& o)
{
    if (o.dropfile) {
        parse_dropfile(o.dropfile);
        return;
    }
    const char* user = o.config_mode ? std::getenv("USER") : nullptr;
    if (user) {
        std::snprintf(g_d.user_name, sizeof g_d.user_name, "%.63s", user);
        replace_control_bytes(g_d.user_name);
    }
}

bool wait_for_room()
{
    int cols = 0;
    int rows = 0;
    while (local_terminal_size(cols, rows) && (cols < SCREEN_W || rows < SCREEN_H)) {
        // Short lines: the message must be readable in the small window.
        buf_printf("\x1b[0m\x1b[2J\x1b[H");
        buf_printf("VEXON SIMS needs an 80x25 terminal.\r\nThis one is %dx%d.\r\n\r\n", cols, rows);
        buf_printf("Enlarge it and press a key,\r\nor press Q to leave.");
        flush_out();
        int k = read_key_block();
        if (k == 'q' || k == 'Q' || k == 27)
            return false;
    }
    return true;
}

int run_sysopsim(int argc, char** argv)
{
    const launch_options o = parse_command_line(argc, argv);
    identify_player(o);
    // A board that hands over a descriptor no caller is on must hear of it,
    // not have the game wait for keys that never come.
    if (const char* problem = door_socket_problem()) {
        std::fprintf(stderr, "sysopsim: the door socket %d from the dropfile %s\n", static_cast<int>(g_d.socket),
                     problem);
        return 1;
    }
    ensure_data_dir();
    g_board_removed_hook = end_on_removed_board;
    choose_glyph_mode(o.force_utf8);
    take_terminal();
    g_rng ^= static_cast<std::uint32_t>(monotonic_ms());

    if (wait_for_room()) {
        if (o.config_mode)
            config_menu();
        else
            title_loop();
    }
    leave_program();
    return 0;
}
