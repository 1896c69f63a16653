#include "game/tools/printer.h"

#include "game/rules/catalogs.h"
#include "game/rules/clock.h"
#include "game/screen/pause.h"
#include "game/rules/files.h"
#include "game/rules/profile.h"
#include "game/screen/cells.h"
#include "game/screen/dialogs.h"
#include "game/screen/terminal.h"
#include "game/shops/shop_screen.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string_view>

namespace {

struct report_kind_row {
    const char* heading;    // the report's first line
    const char* period;     // "Printing %s log for ..."
    const char* word;       // the closing message
    const char* file_part;  // data/log_<part>.ans
};
constexpr std::array<report_kind_row, 4> REPORT_KINDS{{
    {"DAILY LOG", "DAILY", "daily", "day"},
    {"WEEKLY LOG", "WEEKLY", "weekly", "week"},
    {"MONTHLY LOG", "MONTHLY", "monthly", "month"},
    {"ALL-TIME LOG", "ALL-TIME", "all-time", "alltime"},
}};

constexpr int FRAME_MS = 180;
constexpr int PAPER_TOP = 10, PAPER_BOTTOM = 22, PAPER_LEFT = 10, PAPER_RIGHT = 69;
constexpr int PAPER_TEXT_X = 13;
constexpr int PAPER_LINES = 11;  // rows 11..21 show printed lines
constexpr int FILE_TEXT_W = 46;
constexpr int FILE_EDGE_W = 54;

const report_kind_row& kind_row(int kind)
{
    return REPORT_KINDS[static_cast<std::size_t>(clamp_to(kind, 0, static_cast<int>(REPORT_KINDS.size()) - 1))];
}

void add_line(printer_report& r, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void add_line(printer_report& r, const char* fmt, ...)
{
    if (r.count >= REPORT_MAX_LINES)
        return;
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(r.lines[r.count++], REPORT_LINE_SIZE, fmt, ap);
    va_end(ap);
}

void add_separator(printer_report& r)
{
    add_line(r, " --------------------------------------------");
}

// Estimates are figured in long: a hand-made file may claim a billion
// callers a day, and seven or thirty times that does not fit an int.
int average_callers()
{
    return P.day == 0 ? 0 : static_cast<int>(P.total_callers / static_cast<std::int64_t>(P.day));
}

template <typename Table>
int owned(std::uint32_t set, const Table& table)
{
    return count_bits(set, static_cast<int>(table.size()));
}

void add_common_lines(printer_report& r, int kind)
{
    add_line(r, " ** VEXON SIMS - %s **", kind_row(kind).heading);
    add_separator(r);
    add_line(r, " Sysop         : %.30s", P.sysop_name);
    add_line(r, " BBS           : %.30s", P.bbs_name);
    add_line(r, " Days online   : %u", P.day);
    add_line(r, " Cash on hand  : $%ld", static_cast<long>(P.cash));
    add_line(r, " Nodes         : %d", P.nodes);
    add_line(r, " Reputation    : %d / 100", P.rep);
    add_line(r, " Heat level    : %d / 100", P.heat);
    add_line(r, " Fame stars    : %d / 5", P.fame);
}

void add_kind_lines(printer_report& r, int kind)
{
    const int avg = average_callers();
    const char* fido = table_row(FIDO, P.fido_tier).name;
    const char* inet = table_row(INET, P.inet_tier).name;
    const int doors = owned(P.doors, DOORS);
    const int cdroms = owned(P.cdroms, CDROMS);
    switch (kind) {
    case REPORT_DAILY:
        add_line(r, " Callers today : %d", P.callers_yesterday);
        add_line(r, " Hack skill    : %d / 100", P.hack_skill);
        add_line(r, " Turns used    : %u / %d", static_cast<unsigned>(P.turns_used), P.turns_per_day);
        add_line(r, " HW health     : %d %%", P.hw_health);
        break;
    case REPORT_WEEKLY:
        add_line(r, " Weekly callers  : approx %ld", static_cast<long>(avg) * 7);
        add_line(r, " Avg/day         : %d", avg);
        add_line(r, " Warez library   : %d files", P.warez);
        add_line(r, " Doors installed : %d / %d", doors, static_cast<int>(DOORS.size()));
        break;
    case REPORT_MONTHLY:
        add_line(r, " Monthly callers : approx %ld", static_cast<long>(avg) * 30);
        add_line(r, " Avg/day         : %d", avg);
        add_line(r, " FidoNet tier    : %.30s", fido);
        add_line(r, " Internet tier   : %.30s", inet);
        add_line(r, " CD-ROMs mounted : %d / %d", cdroms, static_cast<int>(CDROMS.size()));
        break;
    default:
        add_line(r, " Total callers   : %d", P.total_callers);
        add_line(r, " Warez library   : %d files", P.warez);
        add_line(r, " Hack skill      : %d / 100", P.hack_skill);
        add_line(r, " Doors installed : %d / %d", doors, static_cast<int>(DOORS.size()));
        add_line(r, " BBS software    : %d / %d", owned(P.bbs_software, BBS_SW), static_cast<int>(BBS_SW.size()));
        add_line(r, " CD-ROMs mounted : %d / %d", cdroms, static_cast<int>(CDROMS.size()));
        add_line(r, " Protection      : %d / %d", owned(P.protection, PROTECT_SW),
                 static_cast<int>(PROTECT_SW.size()));
        add_line(r, " Peripherals     : %d / %d", owned(P.peripherals, PERIS), static_cast<int>(PERIS.size()));
        add_line(r, " FidoNet tier    : %.30s", fido);
        add_line(r, " Internet tier   : %.30s", inet);
        add_line(r, " Victory         : %s", P.won != 0 ? "YES" : "not yet");
        break;
    }
}

// The report becomes a bulletin every caller's terminal shows: a name with
// an escape or other control byte must arrive as plain text.
void make_printable(printer_report& r)
{
    for (int i = 0; i < r.count; ++i)
        replace_control_bytes(r.lines[i]);
}

// ---- the animation --------------------------------------------------------

void draw_printer(int frame)
{
    fill_rect(14, 5, 65, 9, 7);
    draw_dbox(14, 5, 65, 9, 0, 7);
    put_str(31, 6, "OKI MICROLINE 320", 0, 7, 1);
    put_run(16, 8, 220, 48, 0, 7, 0);
    put_run(17 + (3 * frame) % 45, 7, 219, 2, 1, 7, 1);
}

void draw_paper(const printer_report& r, int shown)
{
    fill_rect(PAPER_LEFT, PAPER_TOP, PAPER_RIGHT, PAPER_BOTTOM, 7);
    for (int y = PAPER_TOP; y <= PAPER_BOTTOM; ++y) {
        const unsigned char hole = y % 2 == 1 ? 'o' : ' ';
        put_run(PAPER_LEFT, y, 221, 1, 0, 7, 1);
        put_run(PAPER_LEFT + 1, y, hole, 1, 0, 7, 1);
        put_run(PAPER_RIGHT - 1, y, hole, 1, 0, 7, 1);
        put_run(PAPER_RIGHT, y, 222, 1, 0, 7, 1);
    }
    put_run(PAPER_LEFT + 2, PAPER_TOP, '.', PAPER_RIGHT - PAPER_LEFT - 3, 0, 7, 0);
    for (int n = 0; n < std::min(shown, PAPER_LINES); ++n)
        put_str(PAPER_TEXT_X, PAPER_TOP + 1 + n, r.lines[n], 0, 7, 0);
}

void draw_progress(const printer_report& r, int frame, int printed)
{
    if (printed >= r.count) {
        put_str(23, 4, "Print complete - feeding paper...", 2, 0, 1);
        return;
    }
    const int row = PAPER_TOP + 1 + printed;
    if (frame % 2 == 0 && row <= PAPER_TOP + PAPER_LINES)
        put_str(PAPER_TEXT_X + static_cast<int>(std::strlen(r.lines[printed])), row, "_", 1, 7, 1);
    char progress[48];
    std::snprintf(progress, sizeof progress, "Printing line %d of %d...", printed + 1, r.count);
    put_centred(4, progress, 2);
}

void draw_print_frame(int kind, const printer_report& r, int frame)
{
    // No full repaint: each frame sends only what moved.
    clear_back();
    fill_rect(0, 0, 79, 24, 0);
    draw_topbar("Dot Matrix Printer");
    draw_dbox(0, 1, 79, 23, 6, 0);
    put_title(0, 79, 1, "DOT MATRIX PRINTER - OKI 320", 3);

    char heading[96];
    std::snprintf(heading, sizeof heading, "Printing %s log for %s...", kind_row(kind).period, P.sysop_name);
    put_centred(3, heading, 6);
    draw_printer(frame);
    const int printed = std::min(frame / 2, r.count);
    draw_paper(r, printed);
    draw_progress(r, frame, printed);
    draw_footer("Dot matrix printer making a hard copy.");
    present_frame();
}

void animate_printing(int kind, const printer_report& r)
{
    full_clear_and_home();
    g_footer_diff_mode = 1;
    const int frames = 2 * r.count + 18;
    for (int i = 0; i < frames; ++i) {
        draw_print_frame(kind, r, i);
        game_sleep_ms(FRAME_MS);
    }
}

// ---- the files ------------------------------------------------------------

// A whole bulletin composed in memory, then put in place in one rename so a
// caller reading it while the sysop prints never sees half a file.
struct bulletin {
    char buf[4096];
    std::size_t len = 0;

    void add(std::string_view text)
    {
        const std::size_t n = std::min(text.size(), sizeof buf - len);
        std::memcpy(buf + len, text.data(), n);
        len += n;
    }
    void add_run(unsigned char ch, int count)
    {
        for (int i = 0; i < count && len < sizeof buf; ++i)
            buf[len++] = static_cast<char>(ch);
    }
    // The text left-aligned in exactly FILE_TEXT_W columns.
    void add_cut(const char* text)
    {
        char cell[FILE_TEXT_W + 1];
        std::snprintf(cell, sizeof cell, "%-*.*s", FILE_TEXT_W, FILE_TEXT_W, text);
        add(cell);
    }
    void save(const char* path) const { write_file_atomic(path, buf, len); }
};

constexpr unsigned char LOWER_HALF = 220, UPPER_HALF = 223;

constexpr const char* PAPER_COLOUR = "\x1b[0;37m";
constexpr const char* EDGE_COLOUR = "\x1b[1;36m";

// One row of the paper between its torn edges: the margins (feed holes or
// blank) and the text in white; the last row keeps the edge's cyan.
void add_paper_row(bulletin& f, const char* margin, const char* text, bool white_text)
{
    f.add(" ");
    f.add_run(UPPER_HALF, 1);
    f.add(margin);
    if (white_text)
        f.add(PAPER_COLOUR);
    f.add_cut(text);
    if (white_text)
        f.add(EDGE_COLOUR);
    f.add(margin);
    f.add_run(UPPER_HALF, 1);
    f.add("\r\n");
}

void write_ans(const char* path, const printer_report& r)
{
    bulletin f;
    f.add("\x1b[0m\r\n");
    f.add(EDGE_COLOUR);
    f.add(" ");
    f.add_run(LOWER_HALF, FILE_EDGE_W);
    f.add("\r\n");
    add_paper_row(f, " o ", "", true);
    for (int i = 0; i < r.count; ++i)
        add_paper_row(f, "   ", r.lines[i], true);
    add_paper_row(f, " o ", "", false);
    f.add(" ");
    f.add_run(UPPER_HALF, FILE_EDGE_W);
    f.add("\x1b[0m\r\n");
    f.save(path);
}

void write_asc(const char* path, const printer_report& r)
{
    bulletin f;
    f.add("\r\n ");
    f.add_run('=', FILE_EDGE_W);
    f.add("\r\n|o|");
    f.add_run(' ', FILE_TEXT_W + 2);
    f.add("|o|\r\n");
    for (int i = 0; i < r.count; ++i) {
        f.add("| | ");
        f.add_cut(r.lines[i]);
        f.add(" | |\r\n");
    }
    f.add("|o|");
    f.add_run(' ', FILE_TEXT_W + 2);
    f.add("|o|\r\n ");
    f.add_run('=', FILE_EDGE_W);
    f.add("\r\n");
    f.save(path);
}

void draw_printer_menu()
{
    begin_framed_screen("Dot Matrix Printer", "DOT MATRIX PRINTER");
    put_str(14, 3, "Pick a report to print.  Each writes an .ans + .asc", 6, 0, 1);
    put_str(19, 4, "to data/ that you can display on your BBS.", 6, 0, 1);
    put_str(25, 8, "[1] Daily Log     -> log_day.ans", 7, 0, 1);
    put_str(25, 9, "[2] Weekly Log    -> log_week.ans", 7, 0, 1);
    put_str(25, 10, "[3] Monthly Log   -> log_month.ans", 7, 0, 1);
    put_str(25, 11, "[4] All-time Log  -> log_alltime.ans", 7, 0, 1);
    put_str(25, 14, "[ESC] Back", 3, 0, 1);
    draw_footer("Animation runs ~8 seconds.");
    present_frame();
}

}  // namespace

void build_report(int kind, printer_report& out)
{
    out.count = 0;
    add_common_lines(out, kind);
    add_kind_lines(out, kind);
    add_separator(out);
    const std::time_t now = static_cast<std::time_t>(now_seconds());
    std::tm local{};
    char stamp[64];
    if (localtime_r(&now, &local) && std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local) > 0)
        add_line(out, " Printed: %s", stamp);
    make_printable(out);
}

void print_report(int kind)
{
    const report_kind_row& k = kind_row(kind);
    printer_report r{};
    build_report(kind, r);
    animate_printing(kind, r);

    ensure_data_dir();
    char path[64];
    std::snprintf(path, sizeof path, "data/log_%s.ans", k.file_part);
    write_ans(path, r);
    std::snprintf(path, sizeof path, "data/log_%s.asc", k.file_part);
    write_asc(path, r);

    g_footer_diff_mode = 0;
    char text[128];
    std::snprintf(text, sizeof text, "Saved %s log to:\n  data/log_%s.ans\n  data/log_%s.asc", k.word, k.file_part,
                  k.file_part);
    msg_box("Print complete", text, 2);
}

void dot_matrix_menu()
{
    for (;;) {
        draw_printer_menu();
        const int key = read_key_block();
        if (key == 27 || key == 'q' || key == 'Q')
            return;
        if (key >= '1' && key <= '4')
            print_report(key - '1');
    }
}
