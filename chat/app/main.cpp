// Layer chat/app, the chat program's top: main; includes every chat layer.
// Entry point of the Vexon IRC Client: reads the command line, the saved
// servers and a door dropfile, runs the interface, and shuts down in order.
#include "chat/config/dropfile.h"
#include "chat/config/server_config.h"
#include "chat/config/text_util.h"
#include "chat/session/irc_session.h"
#include "chat/ui/terminal.h"
#include "chat/ui/ui.h"
#include "common/door_socket.h"

#include <climits>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* DROPFILE_ARGUMENT = "--dropfile=";

struct command_line {
    bool bbs = false;
    const char* dropfile = nullptr;  // the last --dropfile= given
    bool utf8 = false;               // UTF-8 for a caller on the door socket
    bool cp437 = false;              // code page 437 on standard output too
};

command_line read_arguments(int argc, char** argv)
{
    command_line args;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--bbs") == 0) {
            args.bbs = true;
        } else if (starts_with(argv[i], DROPFILE_ARGUMENT)) {
            args.dropfile = argv[i] + std::strlen(DROPFILE_ARGUMENT);
        } else if (std::strcmp(argv[i], "--utf8") == 0) {
            args.utf8 = true;
        } else if (std::strcmp(argv[i], "--cp437") == 0) {
            args.cp437 = true;
        }
    }
    return args;
}

// The program's platform set-up: signals that would end it (or a write to a
// closed door stream) only set flags, so shut-down always runs in order.
int init_platform()
{
    ui_install_signal_handlers();
    return 0;
}

void shutdown_platform()
{
    ui_restore_signal_handlers();
}

// Everything one run owns; fixed size, so it lives outside the stack.
struct program {
    server_config config;
    server_entry settings;
    dropfile_info door;
    char dropfile_path[PATH_MAX];
    irc_session session;
    ui_state ui;
};

program g_program{};

// Where the caller is: on the telnet socket a DOOR32.SYS hands over (in code
// page 437 unless told otherwise), or on the standard streams.
void choose_channel(const command_line& args, const dropfile_info& door)
{
    if (door.valid && door.comm_type == 2 && stream_socket_problem(door.comm_handle) == nullptr) {
        terminal_use_door_socket(door.comm_handle, args.cp437 || !args.utf8);
    } else if (args.cp437) {
        terminal_use_cp437_stdout();
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const command_line args = read_arguments(argc, argv);
    if (init_platform() != 0) {
        std::fputs("Platform init failed\n", stderr);
        return 1;
    }
    program& p = g_program;
    if (config_init(&p.config) != 0) {
        std::fputs("The home directory's path is too long for the saved servers file\n", stderr);
        return 1;
    }
    config_load(&p.config);
    if (p.config.count > 0) {
        p.settings = p.config.entries[0];
    }
    p.door = dropfile_info{};
    int bbs_mode = 0;
    const int found = args.bbs ? 0 : dropfile_detect(args.dropfile, p.dropfile_path, sizeof p.dropfile_path);
    if (found < 0) {
        std::fprintf(stderr, "Dropfile path too long: %s\n", args.dropfile);
        return 1;
    }
    if (args.bbs) {
        bbs_mode = 1;
    } else if (found > 0) {
        dropfile_load(p.dropfile_path, &p.door, &p.settings);
        bbs_mode = 1;
    }
    choose_channel(args, p.door);
    irc_init(&p.session);
    ui_init(&p.ui, &p.settings, bbs_mode);
    p.ui.door = p.door;
    ui_run(&p.ui, &p.config, &p.session);

    irc_disconnect(&p.session, "Bye");
    ui_shutdown(&p.ui);
    config_save(&p.config);
    shutdown_platform();
    return 0;
}
