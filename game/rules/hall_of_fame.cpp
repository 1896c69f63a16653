#include "game/rules/hall_of_fame.h"

#include "game/rules/files.h"
#include "game/rules/profile.h"
#include "game/rules/storage.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

hs_entry g_hs[HS_MAX];
int g_hs_count = 0;

namespace {

constexpr const char* HS_PATH = "data/topsysops.dat";
// Nodes that quit at the same moment take turns through this lock, so no
// one's entry is lost between another's read and write.
constexpr const char* HS_LOCK_PATH = "data/topsysops.lock";

constexpr const char* EXPORT_TITLE = "           V E X O N   S I M S   -   T O P   S Y S O P S";
constexpr const char* EXPORT_RULE = "          ---------------------------------------------------";
constexpr const char* EXPORT_HEAD = " #   SYSOP            BBS                      DAY    CASH  REP FAME";
constexpr const char* EXPORT_UNDER = " -- ---------------- ------------------------ ----- -------- --- ----";

// A whole export composed in memory, then written in one replace.
struct text_file {
    char buf[4096];
    std::size_t len = 0;

    void add(const char* fmt, ...) __attribute__((format(printf, 2, 3)))
    {
        va_list ap;
        va_start(ap, fmt);
        int n = std::vsnprintf(buf + len, sizeof buf - len, fmt, ap);
        va_end(ap);
        if (n > 0)
            len += std::min(static_cast<std::size_t>(n), sizeof buf - len - 1);
    }
    void save(const char* path) const { write_file_atomic(path, buf, len); }
};

// Brings a record from the shared file into the ranges the ranking adds.
void sanitize_entry(hs_entry& e)
{
    e.sysop_name[sizeof e.sysop_name - 1] = '\0';
    e.bbs_name[sizeof e.bbs_name - 1] = '\0';
    replace_control_bytes(e.sysop_name);
    replace_control_bytes(e.bbs_name);
    e.cash = clamp_to<std::int64_t>(e.cash, 0, MAX_CASH);
    e.day = clamp_to(e.day, 0, MAX_COUNT);
    e.rep = clamp_to(e.rep, 0, 100);
    e.fame = clamp_to(e.fame, 0, 5);
    e.reserved = 0;
}

bool same_sysop(const hs_entry& a, const hs_entry& b)
{
    return std::strncmp(a.sysop_name, b.sysop_name, sizeof a.sysop_name) == 0;
}

void remove_at(int i)
{
    for (int k = i; k + 1 < g_hs_count; ++k)
        g_hs[k] = g_hs[k + 1];
    --g_hs_count;
}

// Inserts at pos; the eleventh entry, if any, falls off the end.
void insert_at(int pos, const hs_entry& e)
{
    int last = g_hs_count < HS_MAX ? g_hs_count : HS_MAX - 1;
    for (int k = last; k > pos; --k)
        g_hs[k] = g_hs[k - 1];
    g_hs[pos] = e;
    if (g_hs_count < HS_MAX)
        ++g_hs_count;
}

// The later of two entries of one sysop gives way; the better record stays
// at the earlier position.
void merge_duplicates()
{
    for (int i = 0; i < g_hs_count; ++i) {
        for (int j = i + 1; j < g_hs_count;) {
            if (!same_sysop(g_hs[i], g_hs[j])) {
                ++j;
                continue;
            }
            if (hs_score(g_hs[j]) > hs_score(g_hs[i]))
                g_hs[i] = g_hs[j];
            remove_at(j);
        }
    }
}

hs_entry entry_from_profile()
{
    hs_entry e{};
    copy_text(e.sysop_name, std::string_view(P.sysop_name, strnlen(P.sysop_name, sizeof P.sysop_name)));
    copy_text(e.bbs_name, std::string_view(P.bbs_name, strnlen(P.bbs_name, sizeof P.bbs_name)));
    e.cash = P.cash;
    e.day = static_cast<std::int32_t>(P.day > static_cast<std::uint32_t>(MAX_COUNT) ? MAX_COUNT : P.day);
    e.rep = P.rep;
    e.fame = P.fame;
    sanitize_entry(e);
    return e;
}

void add_export_row(text_file& f, int rank, const hs_entry& e)
{
    f.add(" %2d %-16.16s %-24.24s %5s $%7s %3d  %d/5", rank, e.sysop_name, e.bbs_name, fit_number(e.day, 9).text,
          fit_number(e.cash, 14).text, e.rep, e.fame);
}

void write_scores_asc()
{
    text_file f;
    f.add("\r\n%s\r\n%s\r\n%s\r\n%s\r\n", EXPORT_TITLE, EXPORT_RULE, EXPORT_HEAD, EXPORT_UNDER);
    for (int i = 0; i < g_hs_count; ++i) {
        add_export_row(f, i + 1, g_hs[i]);
        f.add("\r\n");
    }
    f.add("\r\n");
    f.save("data/scores.asc");
}

const char* rank_colour(int rank)
{
    static constexpr const char* TOP_THREE[] = {"\x1b[1;33m", "\x1b[1;37m", "\x1b[0;33m"};
    return rank <= 3 ? TOP_THREE[rank - 1] : "\x1b[0;37m";
}

void write_scores_ans()
{
    text_file f;
    f.add("\x1b[0m\r\n");
    f.add("\x1b[1;33m%s\x1b[0m\r\n", EXPORT_TITLE);
    f.add("\x1b[0;36m%s\x1b[0m\r\n", EXPORT_RULE);
    f.add("\x1b[1;37m%s\x1b[0m\r\n", EXPORT_HEAD);
    f.add("\x1b[0;37m%s\x1b[0m\r\n", EXPORT_UNDER);
    for (int i = 0; i < g_hs_count; ++i) {
        f.add("%s", rank_colour(i + 1));
        add_export_row(f, i + 1, g_hs[i]);
        f.add("\x1b[0m\r\n");
    }
    f.add("\x1b[0m\r\n");
    f.save("data/scores.ans");
}

}  // namespace

fitted fit_number(std::int64_t v, int width)
{
    static constexpr char UNITS[] = "KMGTPE";
    fitted out{};
    int n = std::snprintf(out.text, sizeof out.text, "%lld", static_cast<long long>(v));
    for (int unit = 0; n > width && UNITS[unit] != '\0'; ++unit) {
        v /= 1000;
        n = std::snprintf(out.text, sizeof out.text, "%lld%c", static_cast<long long>(v), UNITS[unit]);
    }
    return out;
}

std::int64_t hs_score(const hs_entry& e)
{
    return e.cash + 500 * static_cast<std::int64_t>(e.rep) + 10000 * static_cast<std::int64_t>(e.fame) +
           20 * static_cast<std::int64_t>(e.day);
}

void hs_load()
{
    g_hs_count = 0;
    hs_entry table[HS_MAX];
    long got = read_data_file(HS_PATH, table, sizeof table);
    if (got <= 0)
        return;
    g_hs_count = static_cast<int>(static_cast<std::size_t>(got) / sizeof(hs_entry));
    for (int i = 0; i < g_hs_count; ++i) {
        g_hs[i] = table[i];
        sanitize_entry(g_hs[i]);
    }
    merge_duplicates();
}

void hs_save()
{
    ensure_data_dir();
    if (data_file_unreadable(HS_PATH))
        return;
    if (!write_file_atomic(HS_PATH, g_hs, static_cast<std::size_t>(g_hs_count) * sizeof(hs_entry)))
        return;
    hs_export();
}

bool hs_export()
{
    ensure_data_dir();
    // Bulletins made from a table that cannot be read would replace the
    // players' standings with an empty list.
    if (data_file_unreadable(HS_PATH))
        return false;
    write_scores_asc();
    write_scores_ans();
    return true;
}

void hs_record()
{
    const hs_entry mine = entry_from_profile();
    const std::int64_t score = hs_score(mine);
    data_lock lock(HS_LOCK_PATH);
    hs_load();
    for (int i = 0; i < g_hs_count; ++i) {
        if (!same_sysop(g_hs[i], mine))
            continue;
        if (score > hs_score(g_hs[i]))
            g_hs[i] = mine;
        else
            copy_text(g_hs[i].bbs_name, mine.bbs_name);
        for (; i > 0 && hs_score(g_hs[i - 1]) < hs_score(g_hs[i]); --i)
            std::swap(g_hs[i - 1], g_hs[i]);
        hs_save();
        return;
    }
    int pos = 0;
    while (pos < g_hs_count && hs_score(g_hs[pos]) >= score)
        ++pos;
    if (pos >= HS_MAX)
        return;
    insert_at(pos, mine);
    hs_save();
}
