#include "game/rules/storage.h"

#include "game/rules/catalogs.h"
#include "game/rules/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

rival g_rivals[MAX_RIVALS];
int g_rival_count = 0;

namespace {

// The board as this game last loaded or wrote it: what other nodes changed
// in the file since is measured against it.
profile g_synced{};
bool g_have_synced = false;

constexpr std::size_t SLUG_SIZE = 40;

// A dropfile is a dozen short lines; what lies past this is never read, so a
// huge or endless file cannot hold up the start.
constexpr std::size_t DROPFILE_MAX = 16384;

template <typename T>
void clamp_field(T& v, T lo, T hi)
{
    v = clamp_to(v, lo, hi);
}

template <typename Row, std::size_t N>
std::int32_t last_row(const std::array<Row, N>&)
{
    return static_cast<std::int32_t>(N) - 1;
}

std::uint32_t mask_of(std::size_t width)
{
    return width >= 32 ? ~0u : ((1u << width) - 1u);
}

// Reads one 232-byte record; false when the file is missing, short or has a
// wrong magic.
bool read_record(const char* path, profile& out)
{
    std::memset(&out, 0, sizeof out);
    if (read_data_file(path, &out, sizeof out) != static_cast<long>(sizeof out))
        return false;
    return out.magic == PROFILE_MAGIC;
}

// A decimal number of a dropfile line, brought into the int range (a line of
// digits too long for a long must not wrap into something plausible).
long line_number(const char* line)
{
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(line, &end, 10);
    if (end == line)
        return 0;
    return clamp_to<long>(v, INT32_MIN, INT32_MAX);
}

// Takes the next line off text, cut to fit the buffer; the rest of a longer
// line is skipped, so the lines after it keep their numbers. False at the end.
bool next_line(std::string_view& text, char* buf, std::size_t size)
{
    if (text.empty())
        return false;
    const std::size_t nl = text.find('\n');
    copy_text(buf, size, text.substr(0, nl));
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    return true;
}

// Adds to a figure of P what another writer added to (or took from) it in
// the file, never going below 0.
template <typename T>
void carry_change(T profile::*field, const profile& on_disk, T most)
{
    const std::int64_t theirs = static_cast<std::int64_t>(on_disk.*field) - static_cast<std::int64_t>(g_synced.*field);
    P.*field = static_cast<T>(clamp_to<std::int64_t>(static_cast<std::int64_t>(P.*field) + theirs, 0, most));
}

// Carries into P what other nodes did to the file since this game last
// synced with it: a rival's hack takes cash and warez and leaves a mark.
void merge_other_writers(const profile& on_disk)
{
    carry_change(&profile::cash, on_disk, MAX_CASH);
    carry_change(&profile::warez, on_disk, std::int32_t{MAX_COUNT});
    carry_change(&profile::hacked_while_away, on_disk, std::int32_t{MAX_COUNT});
}

void strip_line_end(char* s)
{
    std::size_t n = std::strlen(s);
    while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\t' || s[n - 1] == '\r' || s[n - 1] == '\n'))
        s[--n] = '\0';
}

}  // namespace

void slugify(const char* name, char* out)
{
    std::size_t kept = 0;
    for (const char* p = name; *p && kept < SLUG_SIZE - 1; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c < 128 && std::isalnum(c))
            out[kept++] = static_cast<char>(std::tolower(c));
    }
    if (kept == 0)
        out[kept++] = 'u';
    out[kept] = '\0';
}

void profile_path(char* out, std::size_t size)
{
    char slug[SLUG_SIZE];
    slugify(g_d.user_name, slug);
    std::snprintf(out, size, "data/sysop_%s.dat", slug);
}

void new_profile()
{
    // A fresh board owes nothing to what the file held before.
    g_have_synced = false;
    std::memset(&P, 0, sizeof P);
    std::snprintf(P.sysop_name, sizeof P.sysop_name, "%.31s", g_d.user_name);
    char board[64];
    std::snprintf(board, sizeof board, "%s's Haven", P.sysop_name[0] ? P.sysop_name : "Sysop");
    copy_text(P.bbs_name, board);
    P.day = 1;
    P.cash = 1500;
    P.rep = 5;
    P.nodes = 1;
    P.hack_skill = 10;
    P.hw_health = 100;
    P.reserved_one = 1;
    P.turns_per_day = 30;
    P.difficulty = 1;
}

void sanitize_profile(profile& p)
{
    p.sysop_name[sizeof p.sysop_name - 1] = '\0';
    p.bbs_name[sizeof p.bbs_name - 1] = '\0';
    replace_control_bytes(p.sysop_name);
    replace_control_bytes(p.bbs_name);
    clamp_field(p.cpu, 0, last_row(CPUS));
    clamp_field(p.ram, 0, last_row(RAMS));
    clamp_field(p.hdd, 0, last_row(HDDS));
    clamp_field(p.modem, 0, last_row(MODEMS));
    clamp_field(p.monitor, 0, last_row(MONITORS));
    clamp_field(p.fido_tier, 0, last_row(FIDO));
    clamp_field(p.inet_tier, 0, last_row(INET));
    p.peripherals &= mask_of(PERIS.size());
    p.doors &= mask_of(DOORS.size());
    p.cdroms &= mask_of(CDROMS.size());
    p.bbs_software &= mask_of(BBS_SW.size());
    p.dark_goods &= mask_of(DARK_GOODS.size());
    p.protection &= mask_of(PROTECT_SW.size());
    clamp_field(p.rep, 0, 100);
    clamp_field(p.heat, 0, 100);
    clamp_field(p.hack_skill, 0, 100);
    clamp_field(p.hw_health, 0, 100);
    for (auto& h : p.protect_health)
        h = h > 100 ? 100 : h;
    clamp_field(p.nodes, 1, MAX_NODES);
    clamp_field(p.fame, 0, 5);
    clamp_field(p.cash, std::int64_t{0}, MAX_CASH);
    clamp_field(p.warez, 0, MAX_COUNT);
    clamp_field(p.total_callers, 0, MAX_COUNT);
    clamp_field(p.callers_yesterday, 0, MAX_COUNT);
    clamp_field(p.turns_used, 0, MAX_COUNT);
    clamp_field(p.hacked_while_away, 0, MAX_COUNT);
    p.day = p.day > static_cast<std::uint32_t>(MAX_COUNT) ? static_cast<std::uint32_t>(MAX_COUNT) : p.day;
}

long read_data_file(const char* path, void* out, std::size_t size)
{
    // Non-blocking open and a regular-file check: a FIFO or device planted in
    // data/ must not hang the game.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? FILE_ABSENT : FILE_UNREADABLE;
    struct stat st{};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return FILE_UNREADABLE;
    }
    auto* dst = static_cast<unsigned char*>(out);
    std::size_t got = 0;
    while (got < size) {
        ssize_t n = read(fd, dst + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            close(fd);
            return FILE_UNREADABLE;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    close(fd);
    return static_cast<long>(got);
}

bool data_file_unreadable(const char* path)
{
    unsigned char probe;
    return read_data_file(path, &probe, sizeof probe) == FILE_UNREADABLE;
}

int load_profile()
{
    char path[128];
    profile_path(path, sizeof path);
    profile loaded{};
    long got = read_data_file(path, &loaded, sizeof loaded);
    if (got < 0)
        return 0;
    if (loaded.magic != PROFILE_MAGIC) {
        std::memset(&P, 0, sizeof P);
        return 0;
    }
    if (loaded.turns_per_day < 1 || loaded.turns_per_day > 100)
        loaded.turns_per_day = 30;
    if (static_cast<std::uint32_t>(loaded.difficulty) > 2)
        loaded.difficulty = 1;
    bool no_health = true;
    for (auto h : loaded.protect_health)
        no_health = no_health && h == 0;
    if (no_health) {
        for (std::size_t i = 0; i < PROTECT_SW.size(); ++i) {
            if (has_bit(loaded.protection, static_cast<int>(i)))
                loaded.protect_health[i] = 100;
        }
    }
    sanitize_profile(loaded);
    P = loaded;
    g_synced = P;
    g_have_synced = true;
    return 1;
}

bool profile_unreadable()
{
    char path[128];
    profile_path(path, sizeof path);
    return data_file_unreadable(path);
}

void save_profile()
{
    ensure_data_dir();
    char path[128];
    profile_path(path, sizeof path);
    const profile_lock lock(path);
    profile on_disk{};
    const long got = read_data_file(path, &on_disk, sizeof on_disk);
    if (got == FILE_UNREADABLE)
        return;
    if (got == static_cast<long>(sizeof on_disk) && on_disk.magic == PROFILE_MAGIC && g_have_synced) {
        sanitize_profile(on_disk);
        merge_other_writers(on_disk);
    }
    P.magic = PROFILE_MAGIC;
    P.version = PROFILE_VERSION;
    P.reserved = 0;
    std::memset(P.reserved_tail, 0, sizeof P.reserved_tail);
    if (write_file_atomic(path, &P, sizeof P)) {
        g_synced = P;
        g_have_synced = true;
    }
}

void parse_dropfile(const char* path)
{
    // Only a regular file is read, without blocking: a FIFO or a device such
    // as /dev/zero named as the dropfile must not hang the start.
    char text[DROPFILE_MAX];
    const long got = read_data_file(path, text, sizeof text);
    if (got < 0)
        return;
    std::string_view rest(text, static_cast<std::size_t>(got));
    char line[256];
    int number = 0;
    long handle = -1;
    bool have_handle = false;
    while (next_line(rest, line, sizeof line)) {
        ++number;
        strip_line_end(line);
        switch (number) {
        case 1:
            g_d.comm_type = static_cast<std::int32_t>(line_number(line));
            break;
        case 2:
            handle = line_number(line);
            have_handle = true;
            break;
        case 6:
        case 7:
            if (line[0])
                std::snprintf(g_d.user_name, sizeof g_d.user_name, "%.63s", line);
            break;
        default:
            break;
        }
    }
    replace_control_bytes(g_d.user_name);
    if (!have_handle)
        handle = g_d.socket;
    if (g_d.comm_type == 2 && handle > 0) {
        g_d.use_socket = 1;
        g_d.socket = static_cast<std::int32_t>(handle);
    } else {
        g_d.use_socket = 0;
        g_d.socket = -1;
    }
}

data_lock::data_lock(const char* lock_path)
{
    constexpr int TRY_EVERY_MS = 20;
    constexpr int GIVE_UP_AFTER_MS = 2000;
    ensure_data_dir();
    fd_ = open(lock_path, O_RDWR | O_CREAT | O_CLOEXEC, 0666);  // nodes of one group share it (umask)
    if (fd_ < 0)
        return;
    for (int waited = 0; waited <= GIVE_UP_AFTER_MS; waited += TRY_EVERY_MS) {
        if (flock(fd_, LOCK_EX | LOCK_NB) == 0) {
            held_ = true;
            return;
        }
        if (errno != EWOULDBLOCK && errno != EINTR)
            return;
        poll(nullptr, 0, TRY_EVERY_MS);
    }
}

data_lock::~data_lock()
{
    if (fd_ >= 0)
        close(fd_);  // also releases the lock
}

namespace {

const char* lock_path_into(const char* profile_path, char* out, std::size_t size)
{
    return profile_lock_path(profile_path, out, size) ? out : "";
}

}  // namespace

profile_lock::profile_lock(const char* profile_path)
    : lock_(lock_path_into(profile_path, path_, sizeof path_))
{
}

bool profile_lock_path(const char* profile_path, char* out, std::size_t size)
{
    std::size_t len = std::strlen(profile_path);
    std::size_t stem = len >= 4 && std::strcmp(profile_path + len - 4, ".dat") == 0 ? len - 4 : len;
    int n = std::snprintf(out, size, "%.*s.lock", static_cast<int>(stem), profile_path);
    return n > 0 && static_cast<std::size_t>(n) < size;
}

void rate_rival(rival& r)
{
    const profile& p = r.record;
    std::int64_t d = static_cast<std::int64_t>(p.fame) * 5 + p.rep / 10 + 15 +
                     7 * count_bits(p.protection, static_cast<int>(PROTECT_SW.size())) +
                     2 * count_bits(p.bbs_software, static_cast<int>(BBS_SW.size())) + p.hack_skill / 4;
    r.difficulty = static_cast<std::int32_t>(clamp_to<std::int64_t>(d, 15, 95));
    r.steal_cash = p.cash / 6 + 50;
    r.steal_warez = p.warez / 10 + 1;
    r.heat_gain = r.difficulty / 8 + 3;
}

void scan_rivals()
{
    g_rival_count = 0;
    char own[SLUG_SIZE];
    char name_copy[sizeof P.sysop_name + 1];
    std::snprintf(name_copy, sizeof name_copy, "%.*s", static_cast<int>(sizeof P.sysop_name), P.sysop_name);
    slugify(name_copy, own);

    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir("data"), closedir);
    if (!dir)
        return;
    while (g_rival_count < MAX_RIVALS) {
        dirent* e = readdir(dir.get());
        if (!e)
            break;
        const char* name = e->d_name;
        std::size_t len = std::strlen(name);
        if (len < 10 || std::strncmp(name, "sysop_", 6) != 0 || std::strcmp(name + len - 4, ".dat") != 0)
            continue;
        rival r{};
        if (len + 5 >= sizeof r.path)
            continue;  // a cut path would name another file
        std::memcpy(r.path, "data/", 5);
        std::memcpy(r.path + 5, name, len + 1);
        if (!read_record(r.path, r.record))
            continue;
        sanitize_profile(r.record);
        char slug[SLUG_SIZE];
        slugify(r.record.sysop_name, slug);
        if (std::strcmp(slug, own) == 0)
            continue;
        rate_rival(r);
        g_rivals[g_rival_count++] = r;
    }
}
