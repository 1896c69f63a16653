#include "game/rules/clock.h"

#include <ctime>

std::int64_t (*g_clock_hook)() = nullptr;
std::int64_t (*g_monotonic_hook)() = nullptr;

std::int64_t now_seconds()
{
    if (g_clock_hook)
        return g_clock_hook();
    return static_cast<std::int64_t>(std::time(nullptr));
}

std::int32_t real_day()
{
    constexpr std::int64_t SECONDS_PER_DAY = 86400;
    return static_cast<std::int32_t>(now_seconds() / SECONDS_PER_DAY);
}

std::int64_t monotonic_ms()
{
    if (g_monotonic_hook)
        return g_monotonic_hook();
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}
