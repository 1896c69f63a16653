// What both door programs do alike around one caller's session: the time
// left and the idle limit with their warnings, and the sysop's caller log.
#pragma once

#include <cstddef>
#include <cstdint>

// Milliseconds in one door minute: 60000, unless the environment variable
// VEXON_DOOR_MINUTE_SECONDS gives a minute of that many seconds (1 to 60),
// so the limits can be tried out in seconds.
std::int64_t door_minute_ms();

enum class limit_event {
    none,
    time_warning,  // the session ends in `minutes` minutes
    idle_warning,  // no key for a while: the caller is dropped in a minute
    time_up,
    idle,
};

// The two limits of a session, on a millisecond clock that never goes back.
struct session_limits {
    std::int64_t minute_ms = 60000;
    std::int64_t end_ms = 0;        // 0: no time limit
    std::int64_t idle_ms = 0;       // 0: no idle limit
    std::int64_t last_key_ms = 0;
    int time_warned = 3;            // the last minutes-left announced (3: none yet)
    bool idle_warned = false;
};

// Starts the clocks: minutes_left 0 means no time limit, idle_minutes 0 no
// idle limit.
void limits_start(session_limits& l, std::int64_t now_ms, int minutes_left, int idle_minutes,
                  std::int64_t minute_ms);
// A key from the caller: the idle clock starts again.
void limits_key(session_limits& l, std::int64_t now_ms);
// What is due now, each warning once; minutes gets the minutes left for a
// time warning. time_up and idle stay due once reached.
limit_event limits_check(session_limits& l, std::int64_t now_ms, int* minutes);
// Milliseconds until limits_check may have something to say; -1 for never.
std::int64_t limits_next_ms(const session_limits& l, std::int64_t now_ms);

// How a session ended, as the caller log names it.
enum class session_end { quit, hang_up, time_up, idle, signal, error };
const char* session_end_word(session_end e);

// The log is rotated to "<path>.1" (one old generation) once it passes this.
inline constexpr long CALLER_LOG_LIMIT = 1L << 20;

// Appends one line, "<local time> node <n> <event> <name>", to the log at
// path in one write to a file opened for appending, so nodes writing at once
// never tear or interleave lines. Control bytes in name are shown as "?".
// event is "start" or an end such as "end (quit, 12 min)". False when the
// line could not be written (a door plays on without its log).
bool caller_log_append(const char* path, int node, const char* name, const char* event);
// The end line: reason and whole minutes used, from start_ms to now_ms.
bool caller_log_end(const char* path, int node, const char* name, session_end why, std::int64_t start_ms,
                    std::int64_t now_ms, std::int64_t minute_ms);
