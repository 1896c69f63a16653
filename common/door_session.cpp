#include "common/door_session.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

std::int64_t door_minute_ms()
{
    const char* seconds = std::getenv("VEXON_DOOR_MINUTE_SECONDS");
    if (seconds == nullptr)
        return 60000;
    char* end = nullptr;
    const long s = std::strtol(seconds, &end, 10);
    return end != seconds && *end == '\0' && s >= 1 && s <= 60 ? s * 1000 : 60000;
}

namespace {

// The idle warning comes a minute before the drop; with an idle limit of a
// minute or less, half-way.
std::int64_t idle_warning_after(const session_limits& l)
{
    return l.idle_ms > 2 * l.minute_ms ? l.idle_ms - l.minute_ms : l.idle_ms / 2;
}

}  // namespace

void limits_start(session_limits& l, std::int64_t now_ms, int minutes_left, int idle_minutes,
                  std::int64_t minute_ms)
{
    l = session_limits{};
    l.minute_ms = minute_ms > 0 ? minute_ms : 60000;
    l.end_ms = minutes_left > 0 ? now_ms + minutes_left * l.minute_ms : 0;
    l.idle_ms = idle_minutes > 0 ? idle_minutes * l.minute_ms : 0;
    l.last_key_ms = now_ms;
}

void limits_key(session_limits& l, std::int64_t now_ms)
{
    l.last_key_ms = now_ms;
    l.idle_warned = false;
}

limit_event limits_check(session_limits& l, std::int64_t now_ms, int* minutes)
{
    if (l.end_ms != 0) {
        const std::int64_t left = l.end_ms - now_ms;
        if (left <= 0)
            return limit_event::time_up;
        for (int m = 1; m <= 2; ++m) {
            if (left <= m * l.minute_ms && l.time_warned > m) {
                l.time_warned = m;
                if (minutes)
                    *minutes = m;
                return limit_event::time_warning;
            }
        }
    }
    if (l.idle_ms != 0) {
        const std::int64_t quiet = now_ms - l.last_key_ms;
        if (quiet >= l.idle_ms)
            return limit_event::idle;
        if (quiet >= idle_warning_after(l) && !l.idle_warned) {
            l.idle_warned = true;
            return limit_event::idle_warning;
        }
    }
    return limit_event::none;
}

std::int64_t limits_next_ms(const session_limits& l, std::int64_t now_ms)
{
    std::int64_t next = -1;
    auto consider = [&](std::int64_t at) {
        const std::int64_t in = at > now_ms ? at - now_ms : 0;
        if (next < 0 || in < next)
            next = in;
    };
    if (l.end_ms != 0) {
        consider(l.end_ms);
        for (int m = 1; m <= 2; ++m) {
            if (l.time_warned > m)
                consider(l.end_ms - m * l.minute_ms);
        }
    }
    if (l.idle_ms != 0) {
        consider(l.last_key_ms + l.idle_ms);
        if (!l.idle_warned)
            consider(l.last_key_ms + idle_warning_after(l));
    }
    return next;
}

const char* session_end_word(session_end e)
{
    switch (e) {
    case session_end::quit: return "quit";
    case session_end::hang_up: return "hang-up";
    case session_end::time_up: return "time up";
    case session_end::idle: return "idle";
    case session_end::signal: return "signal";
    case session_end::error: return "error";
    }
    return "error";
}

namespace {

constexpr int ROTATE_LOCK_TRIES = 50;
constexpr int ROTATE_LOCK_PAUSE_MS = 10;

// Moves a log past its limit to "<path>.1". Under a lock on the old file, and
// only while path still names that file: two nodes that both saw it full
// rotate it once, not the fresh log over the old one.
void rotate_if_full(const char* path, int fd)
{
    struct stat st{};
    if (fstat(fd, &st) != 0 || st.st_size < CALLER_LOG_LIMIT)
        return;
    int tries = 0;
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || ++tries >= ROTATE_LOCK_TRIES)
            return;
        poll(nullptr, 0, ROTATE_LOCK_PAUSE_MS);
    }
    struct stat now{};
    char old[4096];
    const int n = std::snprintf(old, sizeof old, "%s.1", path);
    if (stat(path, &now) == 0 && now.st_ino == st.st_ino && now.st_dev == st.st_dev && n > 0 &&
        static_cast<std::size_t>(n) < sizeof old)
        std::rename(path, old);
    flock(fd, LOCK_UN);
}

int open_log(const char* path)
{
    return open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
}

}  // namespace

bool caller_log_append(const char* path, int node, const char* name, const char* event)
{
    if (path == nullptr || path[0] == '\0')
        return false;
    char shown[64];
    std::size_t n = 0;
    for (const char* p = name != nullptr ? name : ""; *p != '\0' && n + 1 < sizeof shown; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        shown[n++] = c < 32 || c == 127 ? '?' : static_cast<char>(c);
    }
    shown[n] = '\0';

    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
    char line[256];
    int len = std::snprintf(line, sizeof line, "%s node %d %s %s\n", when, node, event, shown);
    if (len <= 0)
        return false;
    if (static_cast<std::size_t>(len) >= sizeof line) {
        len = static_cast<int>(sizeof line - 1);
        line[len - 1] = '\n';
    }

    int fd = open_log(path);
    if (fd < 0)
        return false;
    struct stat st{};
    if (fstat(fd, &st) == 0 && st.st_size >= CALLER_LOG_LIMIT) {
        rotate_if_full(path, fd);
        close(fd);
        fd = open_log(path);
        if (fd < 0)
            return false;
    }
    // One write of a whole line to a file opened for appending lands whole,
    // after every line other nodes wrote before it.
    ssize_t w;
    do {
        w = write(fd, line, static_cast<std::size_t>(len));
    } while (w < 0 && errno == EINTR);
    close(fd);
    return w == len;
}

bool caller_log_end(const char* path, int node, const char* name, session_end why, std::int64_t start_ms,
                    std::int64_t now_ms, std::int64_t minute_ms)
{
    const std::int64_t used = minute_ms > 0 && now_ms > start_ms ? (now_ms - start_ms) / minute_ms : 0;
    char event[64];
    std::snprintf(event, sizeof event, "end (%s, %lld min)", session_end_word(why), static_cast<long long>(used));
    return caller_log_append(path, node, name, event);
}
