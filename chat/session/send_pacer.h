// Lines to an IRC server leave at a pace servers accept: a burst, then one
// line per interval, as long-standing clients do. A line that may not go yet
// is held here, in order, until it may. The pacer never waits itself: its
// owner asks how long until the next held line is due and waits for that in
// its own poll(). Answers to the server (PONG), the goodbye (QUIT) and, before
// registration, the registration itself are never held back.
//
// Not thread-safe: the owner guards it with the lock that guards its sends.
#pragma once

#include <cstddef>
#include <cstdint>

// The pace for new connections; tests shorten it.
struct send_pace {
    std::int32_t burst = 5;              // lines that may go at once after a quiet spell
    std::int32_t interval_ms = 2000;     // then one line per interval
};
inline send_pace g_send_pace;

inline constexpr std::size_t PACER_BYTES = 32768;   // held lines, with their CR LF

struct send_pacer {
    std::int64_t free_at_ms = 0;    // when the allowance is whole again (see pacer_take)
    std::int32_t burst = 5;
    std::int32_t interval_ms = 2000;
    char held[PACER_BYTES] = {};    // held lines, oldest first, each ending in CR LF
    std::uint32_t head = 0;
    std::uint32_t length = 0;
    std::int32_t lines = 0;
};

// The pacer's clock: monotonic milliseconds.
std::int64_t pacer_now_ms();

// Empties the pacer and takes the pace of g_send_pace (a whole burst free).
void pacer_reset(send_pacer *p);

// True for a line that is never held back: PONG and QUIT always; before
// registration also CAP, AUTHENTICATE, PASS, NICK and USER, which the server
// needs before it lets us in.
bool pacer_exempt(const char *line, std::size_t size, bool registered);

// True when a line may go now with nothing held before it.
bool pacer_may_send(const send_pacer *p, std::int64_t now_ms);

// Counts a line that went out now against the allowance.
void pacer_take(send_pacer *p, std::int64_t now_ms);

// Holds one line (its bytes and CR LF) behind those already held; false when
// there is no room for it.
bool pacer_hold(send_pacer *p, const char *wire, std::size_t size);

// Milliseconds until the oldest held line may go: 0 now, -1 when none is held.
int pacer_due_ms(const send_pacer *p, std::int64_t now_ms);

// Takes the oldest held line (with its CR LF) into out when it is due now,
// counting it against the allowance: its length, or 0 when none is due.
// out must hold PACER_BYTES.
std::size_t pacer_next(send_pacer *p, std::int64_t now_ms, char *out, std::size_t out_size);

// Held lines.
int pacer_waiting(const send_pacer *p);
