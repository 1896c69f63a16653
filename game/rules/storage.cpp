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

// One field of the record, by place and width.
struct field_span {
    std::size_t at;
    std::size_t size;
};

#define PROFILE_FIELD(f) field_span{offsetof(profile, f), sizeof(profile::f)}
// Fields that another writer may set outright (the sysop's settings and
// names in the configuration menu, the player's own progress on another
// node). Cash, warez and break-ins are added up instead; the magic, version,
// owner key and reserved bytes are the save's own.
constexpr field_span TAKEN_FIELDS[] = {
    PROFILE_FIELD(sysop_name),   PROFILE_FIELD(bbs_name),       PROFILE_FIELD(day),
    PROFILE_FIELD(rep),          PROFILE_FIELD(fame),           PROFILE_FIELD(nodes),
    PROFILE_FIELD(total_callers), PROFILE_FIELD(callers_yesterday), PROFILE_FIELD(cpu),
    PROFILE_FIELD(ram),          PROFILE_FIELD(hdd),            PROFILE_FIELD(modem),
    PROFILE_FIELD(monitor),      PROFILE_FIELD(peripherals),    PROFILE_FIELD(doors),
    PROFILE_FIELD(cdroms),       PROFILE_FIELD(fido_tier),      PROFILE_FIELD(inet_tier),
    PROFILE_FIELD(hack_skill),   PROFILE_FIELD(heat),           PROFILE_FIELD(reserved_one),
    PROFILE_FIELD(hw_health),    PROFILE_FIELD(bbs_software),   PROFILE_FIELD(dark_goods),
    PROFILE_FIELD(protection),   PROFILE_FIELD(turn_day),       PROFILE_FIELD(turns_used),
    PROFILE_FIELD(won),          PROFILE_FIELD(protect_health), PROFILE_FIELD(turns_per_day),
    PROFILE_FIELD(difficulty),
};
#undef PROFILE_FIELD

// Carries into P what other writers did to the file since this game last
// synced with it: a rival's hack takes cash and warez and leaves a mark; the
// sysop changes turns, difficulty or names. A field both sides changed keeps
// this game's value.
void merge_other_writers(const profile& on_disk)
{
    carry_change(&profile::cash, on_disk, MAX_CASH);
    carry_change(&profile::warez, on_disk, std::int32_t{MAX_COUNT});
    carry_change(&profile::hacked_while_away, on_disk, std::int32_t{MAX_COUNT});
    auto* mine = reinterpret_cast<unsigned char*>(&P);
    const auto* theirs = reinterpret_cast<const unsigned char*>(&on_disk);
    const auto* base = reinterpret_cast<const unsigned char*>(&g_synced);
    for (const field_span& f : TAKEN_FIELDS) {
        if (std::memcmp(theirs + f.at, base + f.at, f.size) != 0 && std::memcmp(mine + f.at, base + f.at, f.size) == 0)
            std::memcpy(mine + f.at, theirs + f.at, f.size);
    }
}

// What loading makes of a record, so that a file and the copy this game
// synced with compare alike.
void repair_loaded(profile& p)
{
    if (p.turns_per_day < 1 || p.turns_per_day > 100)
        p.turns_per_day = 30;
    if (static_cast<std::uint32_t>(p.difficulty) > 2)
        p.difficulty = 1;
    bool no_health = true;
    for (auto h : p.protect_health)
        no_health = no_health && h == 0;
    if (no_health) {
        for (std::size_t i = 0; i < PROTECT_SW.size(); ++i) {
            if (has_bit(p.protection, static_cast<int>(i)))
                p.protect_health[i] = 100;
        }
    }
    sanitize_profile(p);
}

// Case and spacing do not tell two callers apart: "bob  SMITH" is
// "Bob Smith". Anything else does ("bob-smith" is someone else). The name
// is taken as a board stores it, at most 31 characters.
void fold_name(const char* name, char (&out)[sizeof P.sysop_name])
{
    std::size_t n = 0;
    bool space = false;
    for (std::size_t i = 0; name[i] && i < sizeof P.sysop_name - 1; ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c == ' ' || c == '\t') {
            space = n > 0;
            continue;
        }
        if (space && n + 1 < sizeof out)
            out[n++] = ' ';
        space = false;
        if (n + 1 < sizeof out)
            out[n++] = static_cast<char>(c < 128 ? std::tolower(c) : c);
    }
    out[n] = '\0';
}

// A 32-bit key of the folded name (FNV-1a), never 0; the salt gives further
// independent keys.
std::uint32_t name_key(const char* name, std::uint32_t salt)
{
    char folded[sizeof P.sysop_name];
    fold_name(name, folded);
    std::uint32_t h = 2166136261u ^ (salt * 0x9E3779B9u);
    for (const char* p = folded; *p; ++p) {
        h ^= static_cast<unsigned char>(*p);
        h *= 16777619u;
    }
    return h == 0 ? 1 : h;
}

constexpr std::uint32_t NAME_SUFFIXES = 8;

enum class board_claim { free, mine, theirs, unreadable };

// Whose board a file holds. A missing, short or foreign file is no one's
// board (the caller may start one there, as always).
board_claim claim_of(const char* path, const char* user_name)
{
    profile p{};
    const long got = read_data_file(path, &p, sizeof p);
    if (got == FILE_UNREADABLE)
        return board_claim::unreadable;
    if (got != static_cast<long>(sizeof p) || p.magic != PROFILE_MAGIC)
        return board_claim::free;
    return board_belongs_to(p, user_name) ? board_claim::mine : board_claim::theirs;
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
    board_path_for(g_d.user_name, out, size);
}

bool same_sysop(const char* a, const char* b)
{
    char na[sizeof P.sysop_name];
    char nb[sizeof P.sysop_name];
    fold_name(a, na);
    fold_name(b, nb);
    return std::strcmp(na, nb) == 0;
}

std::uint32_t owner_key_of(const char* user_name)
{
    return name_key(user_name, 0);
}

bool board_belongs_to(const profile& p, const char* user_name)
{
    if (p.owner_key != 0)
        return p.owner_key == owner_key_of(user_name);
    char stored[sizeof p.sysop_name + 1];
    std::snprintf(stored, sizeof stored, "%.*s", static_cast<int>(sizeof p.sysop_name), p.sysop_name);
    return same_sysop(stored, user_name);
}

void board_path_for(const char* user_name, char* out, std::size_t size)
{
    char slug[SLUG_SIZE];
    slugify(user_name, slug);
    char plain[128];
    std::snprintf(plain, sizeof plain, "data/sysop_%s.dat", slug);
    const board_claim plain_claim = claim_of(plain, user_name);
    if (plain_claim == board_claim::mine) {
        std::snprintf(out, size, "%s", plain);
        return;
    }
    // The slug is lossy ("B.O.B. SMITH" and "bob-smith" share one): a caller
    // whose slug holds another name's board has a file of their own, named
    // by a key of the whole name, tried in turn should two keys collide.
    char free_path[128] = "";
    for (std::uint32_t salt = 0; salt < NAME_SUFFIXES; ++salt) {
        char suffixed[128];
        std::snprintf(suffixed, sizeof suffixed, "data/sysop_%s_%08x.dat", slug,
                      static_cast<unsigned>(name_key(user_name, salt + 1)));
        const board_claim c = claim_of(suffixed, user_name);
        if (c == board_claim::mine || c == board_claim::unreadable) {
            std::snprintf(out, size, "%s", suffixed);
            return;
        }
        if (c == board_claim::free) {
            std::snprintf(free_path, sizeof free_path, "%s", suffixed);
            break;
        }
    }
    if (plain_claim != board_claim::theirs || free_path[0] == '\0')
        std::snprintf(out, size, "%s", plain);
    else
        std::snprintf(out, size, "%s", free_path);
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

long read_data_file(const char* path, void* out, std::size_t size, link_rule links)
{
    // Non-blocking open and a regular-file check: a FIFO or device planted in
    // data/ must not hang the game. A symlink in data/ is no file of the
    // game's: reading through it would show (and a save would then keep) a
    // file from anywhere.
    const int nofollow = links == link_rule::refuse ? O_NOFOLLOW : 0;
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | nofollow);
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
    repair_loaded(loaded);
    P = loaded;
    g_synced = P;
    g_have_synced = true;
    return 1;
}

bool profile_unreadable()
{
    char path[128];
    profile_path(path, sizeof path);
    if (data_file_unreadable(path))
        return true;
    // A lock file that is a link the game did not make could point anywhere.
    char lock[160];
    struct stat st{};
    return profile_lock_path(path, lock, sizeof lock) && lstat(lock, &st) == 0 && S_ISLNK(st.st_mode);
}

void (*g_board_removed_hook)() = nullptr;

void save_profile()
{
    ensure_data_dir();
    char path[128];
    profile_path(path, sizeof path);
    const profile_lock lock(path);
    if (!lock.held() && lock.refused())
        return;
    profile on_disk{};
    const long got = read_data_file(path, &on_disk, sizeof on_disk);
    if (got == FILE_UNREADABLE)
        return;
    if (got == FILE_ABSENT && g_have_synced) {
        // The sysop deleted this board since it was loaded: writing it back
        // would bring it back from the dead.
        g_have_synced = false;
        if (g_board_removed_hook)
            g_board_removed_hook();
        return;
    }
    if (got == static_cast<long>(sizeof on_disk) && on_disk.magic == PROFILE_MAGIC && g_have_synced) {
        repair_loaded(on_disk);
        merge_other_writers(on_disk);
    }
    P.magic = PROFILE_MAGIC;
    P.version = PROFILE_VERSION;
    P.reserved = 0;
    P.owner_key = owner_key_of(g_d.user_name);
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
    const long got = read_data_file(path, text, sizeof text, link_rule::follow);
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
    // Nodes of one group share it (umask). Never through a symlink: it could
    // create or lock a file anywhere.
    fd_ = open(lock_path, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        refused_ = errno == ELOOP;
        return;
    }

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

namespace {

// A profile file's name in data/ ("sysop_*.dat"), short enough for a path.
bool board_file_name(const char* name)
{
    const std::size_t len = std::strlen(name);
    return len >= 10 && len < BOARD_NAME_SIZE && std::strncmp(name, "sysop_", 6) == 0 &&
           std::strcmp(name + len - 4, ".dat") == 0;
}

// The player's own file, by name in data/.
void own_board_name(char (&out)[BOARD_NAME_SIZE])
{
    char path[128];
    profile_path(path, sizeof path);
    std::snprintf(out, sizeof out, "%s", path + 5);
}

// Reads another player's board; false for the player's own, a file that is
// no valid board, or a namesake of the playing sysop.
bool read_other_board(const char* name, const char* own, rival& r)
{
    if (!board_file_name(name) || std::strcmp(name, own) == 0)
        return false;
    std::snprintf(r.path, sizeof r.path, "data/%s", name);
    if (!read_record(r.path, r.record))
        return false;
    sanitize_profile(r.record);
    char mine[sizeof P.sysop_name + 1];
    std::snprintf(mine, sizeof mine, "%.*s", static_cast<int>(sizeof P.sysop_name), P.sysop_name);
    if (same_sysop(r.record.sysop_name, mine))
        return false;
    rate_rival(r);
    return true;
}

// Orders rivals for the list: nearest the player's fame first, and among
// equals by a draw from the file's name and the player's day, so with many
// boards each has its days in the list and the list stays put within one.
std::uint64_t rival_rank(const char* path)
{
    std::uint32_t h = 2166136261u ^ (P.day * 0x9E3779B9u);
    for (const char* p = path; *p; ++p) {
        h ^= static_cast<unsigned char>(*p);
        h *= 16777619u;
    }
    return h;
}

bool ranks_before(const rival& a, std::uint64_t rank_a, const rival& b, std::uint64_t rank_b)
{
    const int da = std::abs(a.record.fame - P.fame);
    const int db = std::abs(b.record.fame - P.fame);
    if (da != db)
        return da < db;
    if (rank_a != rank_b)
        return rank_a < rank_b;
    return std::strcmp(a.path, b.path) < 0;
}

}  // namespace

void scan_rivals()
{
    g_rival_count = 0;
    char own[BOARD_NAME_SIZE];
    own_board_name(own);
    std::uint64_t ranks[MAX_RIVALS];

    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir("data"), closedir);
    if (!dir)
        return;
    while (dirent* e = readdir(dir.get())) {
        rival r{};
        if (!read_other_board(e->d_name, own, r))
            continue;
        const std::uint64_t rank = rival_rank(r.path);
        // Kept in order; a full list takes a newcomer only in place of its last.
        int at = g_rival_count;
        while (at > 0 && ranks_before(r, rank, g_rivals[at - 1], ranks[at - 1]))
            --at;
        if (at >= MAX_RIVALS)
            continue;
        const int last = g_rival_count < MAX_RIVALS ? g_rival_count : MAX_RIVALS - 1;
        for (int k = last; k > at; --k) {
            g_rivals[k] = g_rivals[k - 1];
            ranks[k] = ranks[k - 1];
        }
        g_rivals[at] = r;
        ranks[at] = rank;
        if (g_rival_count < MAX_RIVALS)
            ++g_rival_count;
    }
}

void refresh_rivals()
{
    int kept = 0;
    for (int i = 0; i < g_rival_count; ++i) {
        rival r = g_rivals[i];
        if (!read_record(r.path, r.record))
            continue;
        sanitize_profile(r.record);
        rate_rival(r);
        g_rivals[kept++] = r;
    }
    g_rival_count = kept;
}

bool next_board(const char* after, bool forward, char (&name)[BOARD_NAME_SIZE], profile& record)
{
    char own[BOARD_NAME_SIZE];
    own_board_name(own);
    char from[BOARD_NAME_SIZE];
    std::snprintf(from, sizeof from, "%s", after);
    // The nearest name past `from`; a file that turns out to be no board is
    // stepped over by looking again past it.
    for (;;) {
        std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir("data"), closedir);
        if (!dir)
            return false;
        char best[BOARD_NAME_SIZE] = "";
        while (dirent* e = readdir(dir.get())) {
            const char* n = e->d_name;
            if (!board_file_name(n) || std::strcmp(n, own) == 0)
                continue;
            const int past = forward ? std::strcmp(n, from) : std::strcmp(from, n);
            if ((from[0] != '\0' && past <= 0) || (best[0] != '\0' && (forward ? std::strcmp(n, best) : std::strcmp(best, n)) >= 0))
                continue;
            copy_text(best, n);
        }
        if (best[0] == '\0')
            return false;
        rival r{};
        if (read_other_board(best, own, r)) {
            std::snprintf(name, sizeof name, "%s", best);
            record = r.record;
            return true;
        }
        std::snprintf(from, sizeof from, "%s", best);
    }
}
