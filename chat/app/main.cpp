// Entry point of the Vexon IRC Client: reads the command line, the saved
// servers and a door dropfile, runs the interface, and shuts down in order.
#include "chat/app/dropfile.h"
#include "chat/app/server_config.h"
#include "chat/app/text_util.h"
#include "chat/session/irc_session.h"
#include "chat/ui/terminal.h"
#include "chat/ui/ui.h"

#include <climits>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* DROPFILE_ARGUMENT = "--dropfile=";

struct command_line {
    bool bbs = false;
    const char* dropfile = nullptr;  // the last --dropfile= given
};

command_line read_arguments(int argc, char** argv)
{
    command_line args;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--bbs") == 0) {
            args.bbs = true;
        } else if (starts_with(argv[i], DROPFILE_ARGUMENT)) {
            args.dropfile = argv[i] + std::strlen(DROPFILE_ARGUMENT);
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
