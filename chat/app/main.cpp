// Layer chat/app, the chat program's top: main; includes every chat layer.
// Entry point of the Vexon IRC Client: reads the command line, the saved
// servers and a door dropfile, runs the interface, and shuts down in order.
#include "chat/config/dropfile.h"
#include "chat/config/server_config.h"
#include "chat/config/sysop_network.h"
#include "chat/config/text_util.h"
#include "chat/session/irc_session.h"
#include "chat/ui/terminal.h"
#include "chat/ui/ui.h"
#include "common/door_session.h"
#include "common/door_socket.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* DROPFILE_ARGUMENT = "--dropfile=";

constexpr const char* USAGE =
    "usage: ircdoor [options]\n"
    "The Vexon IRC Client: a full-screen IRC client, also a BBS door.\n"
    "\n"
    "  --dropfile=PATH      the caller's dropfile: DOOR32.SYS, DOOR.SYS,\n"
    "                       DORINFOn.DEF or CHAIN.TXT (chosen by its name);\n"
    "                       without it, DOOR32.SYS or DOOR.SYS in the working\n"
    "                       directory is used when there\n"
    "  --bbs                door mode without a dropfile\n"
    "  --minutes N          end the session after N minutes (0: no limit;\n"
    "                       default: the time left the dropfile gives)\n"
    "  --idle-minutes N     close a door session after N minutes without a key\n"
    "                       (default 15; 0: never)\n"
    "  --config FILE        the sysop's door settings, \"key = value\" lines\n"
    "  --server HOST, --port N, --tls, --no-tls, --channel NAME,\n"
    "  --password TEXT      the door session's network (callers cannot edit it)\n"
    "  --lock               callers cannot change the channel either\n"
    "  --callers-choose-server  callers may edit the whole form (never reaching\n"
    "                       a loopback or private address)\n"
    "  --saved-servers DIR, --no-saved-servers  where callers' own saved\n"
    "                       servers live, or none\n"
    "  --cp437, --utf8      the character set to send (default: code page 437\n"
    "                       in a door, the terminal's otherwise)\n"
    "  -h, --help           show this text\n"
    "  --version            show the version\n"
    "\n"
    "A door session logs its start and end to ircdoor.log beside the dropfile.\n";

constexpr const char* VERSION_TEXT = "ircdoor (Vexon IRC Client) 6.0\n";
constexpr int DEFAULT_IDLE_MINUTES = 15;

struct command_line {
    bool bbs = false;
    const char* dropfile = nullptr;  // the last --dropfile= given
    bool utf8 = false;               // UTF-8 for a caller on the door socket
    bool cp437 = false;              // code page 437 on standard output too
    int minutes = -1;                // -1: as the dropfile says
    int idle_minutes = -1;           // -1: the default
    bool help = false;
    bool version = false;
    const char* bad = nullptr;       // the first argument not understood
};

// A count of minutes from "--name=N" or "--name N"; how many arguments it
// took, 0 when the argument is another.
int minutes_option(const char* name, int argc, char** argv, int i, command_line& args, int& out)
{
    const std::size_t n = std::strlen(name);
    if (std::strncmp(argv[i], name, n) != 0 || (argv[i][n] != '=' && argv[i][n] != '\0')) {
        return 0;
    }
    const bool joined = argv[i][n] == '=';
    const char* value = joined ? argv[i] + n + 1 : (i + 1 < argc ? argv[i + 1] : "");
    char* end = nullptr;
    const long v = std::strtol(value, &end, 10);
    if (*value < '0' || *value > '9' || *end != '\0' || v > 100000) {
        args.bad = args.bad != nullptr ? args.bad : argv[i];
    } else {
        out = static_cast<int>(v);
    }
    return joined || i + 1 >= argc ? 1 : 2;
}

command_line read_arguments(int argc, char** argv)
{
    command_line args;
    for (int i = 1; i < argc; ++i) {
        if (int used = 1; sysop_network_option(argc, argv, i, &used)) {
            i += used - 1;  // its value is no argument of its own
        } else if (const int took = minutes_option("--minutes", argc, argv, i, args, args.minutes)) {
            i += took - 1;
        } else if (const int took_idle = minutes_option("--idle-minutes", argc, argv, i, args, args.idle_minutes)) {
            i += took_idle - 1;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            args.help = true;
        } else if (std::strcmp(argv[i], "--version") == 0) {
            args.version = true;
        } else if (std::strcmp(argv[i], "--bbs") == 0) {
            args.bbs = true;
        } else if (starts_with(argv[i], DROPFILE_ARGUMENT)) {
            args.dropfile = argv[i] + std::strlen(DROPFILE_ARGUMENT);
        } else if (std::strcmp(argv[i], "--utf8") == 0) {
            args.utf8 = true;
        } else if (std::strcmp(argv[i], "--cp437") == 0) {
            args.cp437 = true;
        } else if (args.bad == nullptr) {
            args.bad = argv[i];
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
    sysop_network network;
    server_config config;
    server_entry settings;
    dropfile_info door;
    char dropfile_path[PATH_MAX];
    irc_session session;
    ui_state ui;
};

program g_program{};

// Where the caller is: on the telnet socket a DOOR32.SYS hands over, or on
// the standard streams. A caller a board sends (a dropfile) gets code page
// 437 on either, as boards expect, unless --utf8 says otherwise.
void choose_channel(const command_line& args, const dropfile_info& door)
{
    const bool cp437 = args.cp437 || (door.valid && !args.utf8);
    if (door.valid && door.comm_type == 2 && stream_socket_problem(door.comm_handle) == nullptr) {
        enable_keepalive(door.comm_handle);
        terminal_use_door_socket(door.comm_handle, args.cp437 || !args.utf8);
    } else {
        if (door.valid) {
            enable_keepalive(STDIN_FILENO);  // the connection itself, when the board hands it over so
        }
        if (cp437) {
            terminal_use_cp437_stdout();
        }
    }
}

// The door session's caller log: beside the dropfile, or in the working
// directory for --bbs. Empty (no log) for local use.
void caller_log_path(const char* dropfile, int bbs_mode, char* out, std::size_t size)
{
    out[0] = '\0';
    if (dropfile != nullptr && dropfile[0] != '\0') {
        const char* slash = std::strrchr(dropfile, '/');
        const int dir = slash != nullptr ? static_cast<int>(slash - dropfile + 1) : 0;
        const int n = std::snprintf(out, size, "%.*sircdoor.log", dir, dropfile);
        if (n < 0 || static_cast<std::size_t>(n) >= size) {
            out[0] = '\0';
        }
    } else if (bbs_mode) {
        std::snprintf(out, size, "ircdoor.log");
    }
}

// A door caller's saved servers are their own file, keyed by their handle;
// without a handle (or when the sysop says so) there are none.
void open_caller_servers(program& p)
{
    const bool have_handle = p.door.valid != 0 && p.door.user_name[0] != '\0';
    if (p.network.saved_off || !have_handle ||
        config_init_for_caller(&p.config, p.network.saved_dir, p.door.user_name) != 0) {
        p.config = server_config{};
        p.ui.saved_off = 1;
        return;
    }
    config_load(&p.config);
}

// The door session's form: the sysop's network, and what callers may change.
void set_door_limits(program& p)
{
    sysop_network_apply(&p.network, &p.settings);
    p.ui.settings = p.settings;
    p.ui.sysop = p.settings;
    p.ui.network_fixed = p.network.callers_choose_server ? 0 : 1;
    p.ui.channel_fixed = p.network.lock;
}

const char* quit_reason(session_end end)
{
    switch (end) {
    case session_end::time_up: return "Time on the BBS is up";
    case session_end::idle: return "Idle too long on the BBS";
    default: return "Bye";
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const command_line args = read_arguments(argc, argv);
    if (args.bad != nullptr) {
        std::fprintf(stderr, "ircdoor: unknown or incomplete option %s\n%s", args.bad, USAGE);
        return 2;
    }
    if (args.help || args.version) {
        std::fputs(args.help ? USAGE : VERSION_TEXT, stdout);
        return 0;
    }
    if (init_platform() != 0) {
        std::fputs("Platform init failed\n", stderr);
        return 1;
    }
    program& p = g_program;
    sysop_network_defaults(&p.network);
    char network_why[512] = "";
    if (sysop_network_read(argc, argv, &p.network, network_why, sizeof network_why) != 0) {
        std::fprintf(stderr, "ircdoor: %s\n", network_why);
        shutdown_platform();
        return 1;
    }
    p.door = dropfile_info{};
    int bbs_mode = 0;
    const int found = args.bbs ? 0 : dropfile_detect(args.dropfile, p.dropfile_path, sizeof p.dropfile_path);
    if (found < 0) {
        std::fprintf(stderr, "Dropfile path too long: %s\n", args.dropfile);
        return 1;
    }
    server_entry door_settings{};
    if (args.bbs) {
        bbs_mode = 1;
        // A door without a dropfile: the door session under a neutral nick.
        safe_strcpy(door_settings.label, "BBS Door Session");
        safe_strcpy(door_settings.nick, "BBSUser");
    } else if (found > 0) {
        // A dropfile that cannot be used is the board's mistake to hear of,
        // before any file is touched: never a guessed caller, never local
        // mode with the account's own files.
        const char* why = nullptr;
        if (dropfile_load(p.dropfile_path, &p.door, &door_settings, &why) != 0) {
            std::fprintf(stderr, "ircdoor: the dropfile %s %s\n", p.dropfile_path, why);
            shutdown_platform();
            return 1;
        }
        bbs_mode = 1;
    }
    if (bbs_mode) {
        // Callers never see the board account's own saved servers: theirs
        // are opened below, once the door's form is set.
        p.settings = door_settings;
    } else {
        if (config_init(&p.config) != 0) {
            std::fputs("The home directory's path is too long for the saved servers file\n", stderr);
            shutdown_platform();
            return 1;
        }
        config_load(&p.config);
        if (p.config.count > 0) {
            p.settings = p.config.entries[0];
        }
    }
    choose_channel(args, p.door);
    char log_path[PATH_MAX];
    caller_log_path(found > 0 ? p.dropfile_path : nullptr, bbs_mode, log_path, sizeof log_path);
    const std::int64_t minute_ms = door_minute_ms();
    irc_init(&p.session);
    ui_init(&p.ui, &p.settings, bbs_mode);
    p.ui.door = p.door;
    if (bbs_mode) {
        set_door_limits(p);
        open_caller_servers(p);
    }
    ui_set_limits(&p.ui, args.minutes >= 0 ? args.minutes : p.door.caller.minutes_left,
                  args.idle_minutes >= 0 ? args.idle_minutes : (bbs_mode ? DEFAULT_IDLE_MINUTES : 0), minute_ms);
    const std::int64_t started = ui_clock_ms();
    const char* caller = p.door.valid ? p.door.user_name : p.settings.nick;
    caller_log_append(log_path, p.door.caller.node, caller, "start");
    ui_run(&p.ui, &p.config, &p.session);

    irc_disconnect(&p.session, quit_reason(p.ui.end));
    ui_shutdown(&p.ui);
    if (!p.ui.saved_off) {
        config_finish(&p.config);
    }
    shutdown_platform();
    caller_log_end(log_path, p.door.caller.node, caller, p.ui.end, started, ui_clock_ms(), minute_ms);
    return 0;
}
