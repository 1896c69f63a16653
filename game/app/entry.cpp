#include "game/app/entry.h"

#include "common/door_session.h"
#include "common/door_socket.h"
#include "game/rules/clock.h"
#include "game/rules/files.h"
#include "game/rules/hall_of_fame.h"
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

caller_record g_caller{};
bool g_in_game = false;

namespace {

constexpr const char* USAGE =
    "usage: sysopsim [options] [DROPFILE]\n"
    "VEXON SIMS, a BBS door game: run your own board from 300 baud to T1.\n"
    "\n"
    "  -d, --dropfile PATH    the caller's dropfile: DOOR32.SYS, DOOR.SYS,\n"
    "                         DORINFOn.DEF or CHAIN.TXT (chosen by its name)\n"
    "  --minutes N            end the session after N minutes (0: no limit;\n"
    "                         default: the time left the dropfile gives)\n"
    "  --idle-minutes N       drop a door caller after N minutes without a key\n"
    "                         (default 5; 0: never)\n"
    "  --cp437, --utf8        the character set to send (default: code page 437\n"
    "                         for a door caller, the locale's in a terminal)\n"
    "  -c, --config           the sysop's configuration menu\n"
    "  -h, --help             show this text\n"
    "  --version              show the version\n"
    "\n"
    "Saved boards, the hall of fame and the caller log (sysopsim.log) live in\n"
    "data/ under the working directory.\n";

constexpr const char* VERSION_TEXT = "sysopsim (VEXON SIMS) 1.0\n";
constexpr const char* CALLER_LOG_PATH = "data/sysopsim.log";
// How long the goodbye of a session the game ends stays up.
constexpr int GOODBYE_MS = 2000;

// A count of minutes: digits only, at most a very long day's worth.
bool minutes_value(const char* text, int& out)
{
    if (text == nullptr || *text == '\0')
        return false;
    long v = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9' || v > 100000)
            return false;
        v = v * 10 + (*p - '0');
    }
    if (v > 100000)
        return false;
    out = static_cast<int>(v);
    return true;
}

// "--name=VALUE" or "--name VALUE"; how many arguments it took (0: not this
// option), with the value or nullptr when it is missing.
int option_value(const char* name, int argc, char** argv, int i, const char*& value)
{
    const std::size_t n = std::strlen(name);
    const char* a = argv[i];
    if (std::strncmp(a, name, n) != 0)
        return 0;
    if (a[n] == '=') {
        value = a + n + 1;
        return 1;
    }
    if (a[n] != '\0')
        return 0;
    value = i + 1 < argc ? argv[i + 1] : nullptr;
    return value ? 2 : 1;
}

// One argument, or one with the argument after it; returns how many it took.
int take_argument(launch_options& o, int argc, char** argv, int i)
{
    const char* a = argv[i];
    const char* value = nullptr;
    int took = 0;
    if (std::strcmp(a, "--config") == 0 || std::strcmp(a, "--cfg") == 0 || std::strcmp(a, "-c") == 0) {
        o.config_mode = true;
    } else if (std::strncmp(a, "--dropfile=", 11) == 0) {
        o.dropfile = a + 11;
    } else if (std::strcmp(a, "--dropfile") == 0 || std::strcmp(a, "-d") == 0) {
        if (i + 1 >= argc)
            return 1;
        o.dropfile = argv[i + 1];
        return 2;
    } else if ((took = option_value("--minutes", argc, argv, i, value)) > 0) {
        if (!minutes_value(value, o.minutes) && !o.bad)
            o.bad = a;
        return took;
    } else if ((took = option_value("--idle-minutes", argc, argv, i, value)) > 0) {
        if (!minutes_value(value, o.idle_minutes) && !o.bad)
            o.bad = a;
        return took;
    } else if (std::strcmp(a, "--utf8") == 0) {
        o.force_utf8 = 1;
    } else if (std::strcmp(a, "--cp437") == 0) {
        o.force_utf8 = 0;
    } else if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
        o.help = true;
    } else if (std::strcmp(a, "--version") == 0) {
        o.version = true;
    } else if (a[0] != '-') {
        o.dropfile = a;
    } else if (!o.bad) {
        o.bad = a;
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

std::int64_t g_session_start_ms = 0;
std::int64_t g_minute_ms = 60000;

void log_session_end(session_end why)
{
    caller_log_end(CALLER_LOG_PATH, g_caller.node, g_d.user_name, why, g_session_start_ms, monotonic_ms(),
                   g_minute_ms);
}

void leave_program()
{
    // The caller goes back to the board on a blank screen.
    full_clear_and_home();
    present_frame();
    restore_terminal();
}

// The caller is gone (end of input, a signal, a dead line): nothing more is
// saved, but the hall of fame and its bulletins catch up with the board as
// last saved, as a quit would leave them.
void leave_when_gone()
{
    g_limit_hook = nullptr;
    if (g_in_game && load_profile())
        hs_record();
    g_in_game = false;
    restore_terminal();
    log_session_end(g_gone_how == GONE_BY_SIGNAL  ? session_end::signal
                    : g_gone_how == GONE_BY_ERROR ? session_end::error
                                                  : session_end::hang_up);
    std::exit(0);
}

void exit_quietly()
{
    restore_terminal();
    std::exit(0);
}

// The game ends the session itself: saved and recorded as by a quit, with a
// goodbye the caller can read. The session is over (and logged) before the
// goodbye: a hang-up meanwhile only cuts the goodbye short.
[[noreturn]] void end_session(session_end why)
{
    g_limit_hook = nullptr;
    if (g_in_game) {
        save_profile();
        hs_record();
        g_in_game = false;
    }
    log_session_end(why);
    g_hangup_hook = exit_quietly;
    const char* title = why == session_end::time_up ? "Time's up" : "Idle too long";
    const char* text = why == session_end::time_up
                           ? "Your time on this board is up.\nYour BBS is saved. Call again soon!"
                           : "No key for too long: the line is freed\nfor other callers. Your BBS is saved.";
    show_notice(title, text, 3, false);
    wait_unless_gone(GOODBYE_MS);
    leave_program();
    std::exit(0);
}

// A save found the board deleted by the sysop: nothing is written, and the
// session ends, since there is no board left to play.
void end_on_removed_board()
{
    g_limit_hook = nullptr;
    g_in_game = false;
    log_session_end(session_end::error);
    g_hangup_hook = exit_quietly;
    msg_box("Board removed", "The sysop removed this board.\nNothing was saved. Goodbye.", 1);
    leave_program();
    std::exit(0);
}

void on_limit(limit_event e, int minutes)
{
    char text[96];
    switch (e) {
    case limit_event::time_warning:
        std::snprintf(text, sizeof text, "%d minute%s of your time left.\nThe game saves and ends then.", minutes,
                      minutes == 1 ? "" : "s");
        show_notice("Time is running out", text, 3, false);
        break;
    case limit_event::idle_warning:
        show_notice("Still there?", "No key for a while: press a key\nwithin a minute to stay on.", 3, true);
        break;
    case limit_event::time_up:
        end_session(session_end::time_up);
    case limit_event::idle:
        end_session(session_end::idle);
    case limit_event::none:
        break;
    }
}

// Time left and idle limit of this run: the options win over the dropfile;
// a local player has none unless asked for.
void start_limits(const launch_options& o)
{
    const bool door = o.dropfile != nullptr;
    const int minutes = o.minutes >= 0 ? o.minutes : (door ? g_caller.minutes_left : 0);
    const int idle = o.idle_minutes >= 0 ? o.idle_minutes : (door ? DEFAULT_IDLE_MINUTES : 0);
    g_minute_ms = door_minute_ms();
    g_session_start_ms = monotonic_ms();
    limits_start(g_limits, g_session_start_ms, minutes, idle, g_minute_ms);
    g_limit_hook = on_limit;
}

}  // namespace

launch_options parse_command_line(int argc, char** argv)
{
    launch_options o;
    for (int i = 1; i < argc;)
        i += take_argument(o, argc, argv, i);
    return o;
}

const char* identify_player(const launch_options& o)
{
    if (o.dropfile) {
        caller_record r{};
        if (const char* why = dropfile_read(o.dropfile, r))
            return why;
        g_caller = r;
        copy_text(g_d.user_name, r.name);
        g_d.comm_type = r.comm_type;
        // Handle 0 is the board's own standard input, not a caller's socket.
        g_d.use_socket = r.comm_type == 2 && r.comm_handle > 0 ? 1 : 0;
        g_d.socket = g_d.use_socket ? r.comm_handle : -1;
        return nullptr;
    }
    const char* user = o.config_mode ? std::getenv("USER") : nullptr;
    if (user) {
        std::snprintf(g_d.user_name, sizeof g_d.user_name, "%.63s", user);
        replace_control_bytes(g_d.user_name);
    }
    return nullptr;
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
    if (o.bad) {
        std::fprintf(stderr, "sysopsim: unknown or incomplete option %s\n%s", o.bad, USAGE);
        return 2;
    }
    if (o.help || o.version) {
        std::fputs(o.help ? USAGE : VERSION_TEXT, stdout);
        return 0;
    }
    if (const char* why = identify_player(o)) {
        std::fprintf(stderr, "sysopsim: the dropfile %s %s\n", o.dropfile, why);
        return 1;
    }
    // A board that hands over a descriptor no caller is on must hear of it,
    // not have the game wait for keys that never come.
    if (const char* problem = door_socket_problem()) {
        std::fprintf(stderr, "sysopsim: the door socket %d from the dropfile %s\n", static_cast<int>(g_d.socket),
                     problem);
        return 1;
    }
    // A board may also hand the caller's connection over as standard input.
    if (o.dropfile)
        enable_keepalive(g_d.use_socket ? g_d.socket : STDIN_FILENO);
    ensure_data_dir();
    g_board_removed_hook = end_on_removed_board;
    // A board decodes a door's output as code page 437 unless told otherwise,
    // whatever the locale it runs under.
    choose_glyph_mode(o.force_utf8 >= 0 ? o.force_utf8 : (o.dropfile ? 0 : -1));
    g_hangup_hook = leave_when_gone;
    start_limits(o);
    caller_log_append(CALLER_LOG_PATH, g_caller.node, g_d.user_name, "start");
    take_terminal();
    g_rng ^= static_cast<std::uint32_t>(monotonic_ms());

    if (wait_for_room()) {
        if (o.config_mode)
            config_menu();
        else
            title_loop();
    }
    g_limit_hook = nullptr;
    leave_program();
    log_session_end(session_end::quit);
    return 0;
}
