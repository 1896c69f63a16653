#include "common/dropfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

// Lines past the last one any format uses are not kept.
constexpr int MAX_LINES = 64;
constexpr std::size_t LINE_SIZE = 256;
// Far beyond any board's limit, small enough that minutes never overflow
// when turned into milliseconds.
constexpr long MOST_MINUTES = 100000;

struct lines {
    char text[MAX_LINES][LINE_SIZE];
    int count = 0;

    // Line n (1-based), or "" past the end.
    const char* at(int n) const { return n >= 1 && n <= count ? text[n - 1] : ""; }
};

// Splits the bytes at LF (a CR before it goes too), trimming each line. A
// line too long is cut, and the rest of it skipped, so the lines after it
// keep their numbers.
void split_lines(std::string_view bytes, lines& out)
{
    out.count = 0;
    while (!bytes.empty() && out.count < MAX_LINES) {
        const std::size_t lf = bytes.find('\n');
        std::string_view line = bytes.substr(0, lf);
        bytes.remove_prefix(lf == std::string_view::npos ? bytes.size() : lf + 1);
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
            line.remove_suffix(1);
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front())))
            line.remove_prefix(1);
        const std::size_t n = line.size() < LINE_SIZE - 1 ? line.size() : LINE_SIZE - 1;
        std::memcpy(out.text[out.count], line.data(), n);
        out.text[out.count][n] = '\0';
        ++out.count;
    }
}

// A name field: cut to fit, control bytes shown as "?" so no name can carry
// a terminal control to a screen or a log.
void copy_name(char (&dst)[CALLER_NAME_SIZE], std::string_view src)
{
    const std::size_t n = src.size() < CALLER_NAME_SIZE - 1 ? src.size() : CALLER_NAME_SIZE - 1;
    for (std::size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(src[i]);
        dst[i] = c < 32 || c == 127 ? '?' : static_cast<char>(c);
    }
    dst[n] = '\0';
    // A cut may leave a trailing space; names never end in one.
    for (std::size_t i = n; i > 0 && dst[i - 1] == ' '; --i)
        dst[i - 1] = '\0';
}

// A whole decimal number (a fraction such as CHAIN.TXT's "3600.000" is
// allowed and dropped); fallback for anything else.
long whole_number(const char* text, long fallback)
{
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (end == text || errno == ERANGE)
        return fallback;
    if (*end == '.') {
        for (++end; std::isdigit(static_cast<unsigned char>(*end));)
            ++end;
    }
    return *end == '\0' ? value : fallback;
}

std::int32_t minutes_from(long minutes)
{
    if (minutes <= 0)
        return 0;  // a board that gives no time left sets no limit
    return static_cast<std::int32_t>(minutes < MOST_MINUTES ? minutes : MOST_MINUTES);
}

std::int32_t node_from(long node)
{
    return node > 0 && node <= 65535 ? static_cast<std::int32_t>(node) : 0;
}

// A descriptor number as a board writes it; -1 for anything else ("-1"
// from a board that bridges standard streams, text, a number out of range).
std::int32_t descriptor_number(const char* text)
{
    const long value = whole_number(text, -1);
    return value >= 0 && value <= 65535 && std::strchr(text, '.') == nullptr ? static_cast<std::int32_t>(value) : -1;
}

struct format {
    const char* name;
    int min_lines;  // the shortest layout boards write
    void (*read)(const lines& l, caller_record& r);
};

// 1 connection type, 2 its handle, 6 real name, 7 handle, 9 minutes left,
// 11 node.
void read_door32(const lines& l, caller_record& r)
{
    r.comm_type = static_cast<std::int32_t>(whole_number(l.at(1), 0));
    r.comm_handle = descriptor_number(l.at(2));
    copy_name(r.real_name, l.at(6));
    copy_name(r.handle, l.at(7));
    r.minutes_left = minutes_from(whole_number(l.at(9), 0));
    r.node = node_from(whole_number(l.at(11), 0));
}

// 4 node, 10 full name, 19 minutes left; 36 the alias in the 52-line layout
// (the older 31-line one has none).
void read_door_sys(const lines& l, caller_record& r)
{
    r.node = node_from(whole_number(l.at(4), 0));
    copy_name(r.real_name, l.at(10));
    copy_name(r.handle, l.at(36));
    r.minutes_left = minutes_from(whole_number(l.at(19), 0));
}

// 7 and 8 the caller's first and last name, 12 minutes left; the node is in
// the file's name.
void read_dorinfo(const lines& l, caller_record& r)
{
    char full[2 * LINE_SIZE];
    std::snprintf(full, sizeof full, "%s%s%s", l.at(7), l.at(8)[0] ? " " : "", l.at(8));
    copy_name(r.real_name, full);
    r.minutes_left = minutes_from(whole_number(l.at(12), 0));
}

// 2 alias, 3 real name, 16 seconds left, 32 node (when the board writes it).
void read_chain(const lines& l, caller_record& r)
{
    copy_name(r.handle, l.at(2));
    copy_name(r.real_name, l.at(3));
    const long seconds = whole_number(l.at(16), 0);
    r.minutes_left = minutes_from(seconds > 0 ? seconds / 60 + (seconds % 60 != 0) : 0);
    r.node = node_from(whole_number(l.at(32), 0));
}

constexpr format DOOR32_SYS{"DOOR32.SYS", 11, read_door32};
constexpr format DOOR_SYS{"DOOR.SYS", 31, read_door_sys};
constexpr format DORINFO_DEF{"DORINFO.DEF", 12, read_dorinfo};
constexpr format CHAIN_TXT{"CHAIN.TXT", 16, read_chain};

bool same_name(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// The node of "DORINFOn.DEF": 1-9, then A-Z for nodes 10 to 35; 0 for
// "DORINFO.DEF"; -1 when the name is no such file.
int dorinfo_node(std::string_view name)
{
    if (same_name(name, "DORINFO.DEF"))
        return 0;
    if (name.size() != 12 || !same_name(name.substr(0, 7), "DORINFO") || !same_name(name.substr(8), ".DEF"))
        return -1;
    const auto c = static_cast<unsigned char>(std::toupper(static_cast<unsigned char>(name[7])));
    if (c >= '1' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 10;
    return -1;
}

constexpr const char* UNKNOWN_NAME =
    "is not a dropfile name this door knows (DOOR32.SYS, DOOR.SYS, DORINFOn.DEF or CHAIN.TXT)";

// The format a path's file name calls for, or nullptr; dorinfo gets the node
// a DORINFOn.DEF name gives.
const format* format_of(const char* path, int& dorinfo)
{
    std::string_view name = path != nullptr ? path : "";
    const std::size_t slash = name.rfind('/');
    if (slash != std::string_view::npos)
        name.remove_prefix(slash + 1);
    dorinfo = dorinfo_node(name);
    return same_name(name, DOOR32_SYS.name) ? &DOOR32_SYS
           : same_name(name, DOOR_SYS.name) ? &DOOR_SYS
           : dorinfo >= 0                   ? &DORINFO_DEF
           : same_name(name, CHAIN_TXT.name) ? &CHAIN_TXT
                                              : nullptr;
}

}  // namespace

const char* dropfile_parse(const char* file_name, const char* bytes, std::size_t size, caller_record& out)
{
    int dorinfo = -1;
    const format* f = format_of(file_name, dorinfo);
    if (f == nullptr)
        return UNKNOWN_NAME;
    static lines l;  // 16 KiB: kept off the stack
    split_lines({bytes, size}, l);
    if (l.count < f->min_lines) {
        static char why[96];
        std::snprintf(why, sizeof why, "has %d lines; %s has at least %d", l.count, f->name, f->min_lines);
        return why;
    }
    caller_record r{};
    r.comm_handle = -1;
    f->read(l, r);
    if (f == &DORINFO_DEF)
        r.node = dorinfo;
    std::snprintf(r.format, sizeof r.format, "%s", f->name);
    std::memcpy(r.name, r.handle[0] != '\0' ? r.handle : r.real_name, sizeof r.name);
    if (r.name[0] == '\0')
        return "names no caller";
    out = r;
    return nullptr;
}

const char* dropfile_read(const char* path, caller_record& out)
{
    if (path == nullptr || path[0] == '\0')
        return "is not given";
    int dorinfo = -1;
    if (format_of(path, dorinfo) == nullptr)
        return UNKNOWN_NAME;
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return "cannot be opened";
    struct stat st{};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return "is not a regular file";
    }
    static char bytes[DROPFILE_MAX_BYTES];
    std::size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = read(fd, bytes + got, sizeof bytes - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            close(fd);
            return "cannot be read";
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    close(fd);
    return dropfile_parse(path, bytes, got, out);
}
