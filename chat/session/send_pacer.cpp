// The send pacer: an allowance of lines that refills at one line per
// interval, up to a burst.
#include "chat/session/send_pacer.h"

#include <cstring>
#include <ctime>
#include <strings.h>

namespace {

bool command_is(const char *line, std::size_t size, const char *name)
{
    const std::size_t n = std::strlen(name);
    return size >= n && strncasecmp(line, name, n) == 0 && (size == n || line[n] == ' ' || line[n] == '\r');
}

std::int64_t burst_span_ms(const send_pacer *p)
{
    return static_cast<std::int64_t>(p->burst > 1 ? p->burst - 1 : 0) * p->interval_ms;
}

} // namespace

std::int64_t pacer_now_ms()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void pacer_reset(send_pacer *p)
{
    p->free_at_ms = 0;
    p->burst = g_send_pace.burst > 0 ? g_send_pace.burst : 1;
    p->interval_ms = g_send_pace.interval_ms > 0 ? g_send_pace.interval_ms : 0;
    p->head = 0;
    p->length = 0;
    p->lines = 0;
}

bool pacer_exempt(const char *line, std::size_t size, bool registered)
{
    // A line may come with a source prefix; the command is the word after it.
    while (size > 0 && *line == ' ') {
        ++line;
        --size;
    }
    if (command_is(line, size, "PONG") || command_is(line, size, "QUIT")) {
        return true;
    }
    if (registered) {
        return false;
    }
    static constexpr const char *REGISTRATION[] = {"CAP", "AUTHENTICATE", "PASS", "NICK", "USER"};
    for (const char *name : REGISTRATION) {
        if (command_is(line, size, name)) {
            return true;
        }
    }
    return false;
}

// The allowance is kept as the time at which it is whole again: each line
// moves that time one interval on (from now at the earliest), and a line may
// go while that time lies less than a burst of intervals ahead.
bool pacer_may_send(const send_pacer *p, std::int64_t now_ms)
{
    return p->free_at_ms - now_ms <= burst_span_ms(p);
}

void pacer_take(send_pacer *p, std::int64_t now_ms)
{
    p->free_at_ms = (p->free_at_ms > now_ms ? p->free_at_ms : now_ms) + p->interval_ms;
}

bool pacer_hold(send_pacer *p, const char *wire, std::size_t size)
{
    if (size == 0 || size > PACER_BYTES - p->length) {
        return false;
    }
    if (p->head + p->length + size > PACER_BYTES) {
        std::memmove(p->held, p->held + p->head, p->length);
        p->head = 0;
    }
    std::memcpy(p->held + p->head + p->length, wire, size);
    p->length += static_cast<std::uint32_t>(size);
    ++p->lines;
    return true;
}

int pacer_due_ms(const send_pacer *p, std::int64_t now_ms)
{
    if (p->lines == 0) {
        return -1;
    }
    const std::int64_t wait = p->free_at_ms - now_ms - burst_span_ms(p);
    return wait <= 0 ? 0 : wait > 0x7fffffff ? 0x7fffffff : static_cast<int>(wait);
}

std::size_t pacer_next(send_pacer *p, std::int64_t now_ms, char *out, std::size_t out_size)
{
    if (pacer_due_ms(p, now_ms) != 0) {
        return 0;
    }
    const char *start = p->held + p->head;
    const void *end = std::memchr(start, '\n', p->length);
    const std::size_t size = end != nullptr ? static_cast<std::size_t>(static_cast<const char *>(end) - start) + 1
                                            : p->length;
    if (size > out_size) {
        return 0;
    }
    std::memcpy(out, start, size);
    p->head += static_cast<std::uint32_t>(size);
    p->length -= static_cast<std::uint32_t>(size);
    --p->lines;
    if (p->length == 0) {
        p->head = 0;
    }
    pacer_take(p, now_ms);
    return size;
}

int pacer_waiting(const send_pacer *p)
{
    return p->lines;
}
