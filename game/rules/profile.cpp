#include "game/rules/profile.h"

#include "game/rules/catalogs.h"

#include <bit>
#include <cstring>

profile P{};
door_info g_d{"Sysop", 0, -1, 0};
std::uint32_t g_rng = RNG_INITIAL;

std::uint32_t rng_draw(std::uint32_t n)
{
    g_rng = g_rng * 1103515245u + 12345u;
    return n == 0 ? 0 : (g_rng >> 16) % n;
}

int count_bits(std::uint32_t set, int width)
{
    std::uint32_t mask = width >= 32 ? ~0u : ((1u << width) - 1u);
    return std::popcount(set & mask);
}

std::int32_t disk_used_total()
{
    std::int32_t used = 1 + 2 * count_bits(P.doors, static_cast<int>(DOORS.size()));
    for (std::size_t i = 0; i < CDROMS.size(); ++i) {
        if (has_bit(P.cdroms, static_cast<int>(i)))
            used += CDROMS[i].disk_mb;
    }
    used += 5 * count_bits(P.bbs_software, static_cast<int>(BBS_SW.size()));
    used += 3 * count_bits(P.protection, static_cast<int>(PROTECT_SW.size()));
    used += P.warez / 2;
    return used;
}

std::int32_t disk_pct()
{
    std::int64_t mb = table_row(HDDS, P.hdd).megabytes;
    std::int64_t pct = static_cast<std::int64_t>(disk_used_total()) * 100 / mb;
    return static_cast<std::int32_t>(pct > 100 ? 100 : pct);
}

std::int32_t protect_shed_pct()
{
    std::int32_t shed = 0;
    for (std::size_t i = 0; i < PROTECT_SW.size(); ++i) {
        if (!has_bit(P.protection, static_cast<int>(i)))
            continue;
        std::int32_t health = P.protect_health[i] > 100 ? 100 : P.protect_health[i];
        shed += health * PROTECT_SW[i].shed_pct / 100;
    }
    return shed > 80 ? 80 : shed;
}

void protection_take_damage(int amount)
{
    int owned[PROTECT_SW.size()];
    std::uint32_t count = 0;
    for (std::size_t i = 0; i < PROTECT_SW.size(); ++i) {
        if (has_bit(P.protection, static_cast<int>(i)))
            owned[count++] = static_cast<int>(i);
    }
    if (count == 0)
        return;
    int row = count == 1 ? owned[0] : owned[rng_draw(count)];
    int health = P.protect_health[row] - amount;
    P.protect_health[row] = static_cast<std::uint8_t>(health < 0 ? 0 : (health > 255 ? 255 : health));
}

void copy_text(char* dst, std::size_t size, std::string_view src)
{
    if (!dst || size == 0)
        return;
    std::size_t n = src.size() < size - 1 ? src.size() : size - 1;
    std::memcpy(dst, src.data(), n);
    dst[n] = '\0';
}

void replace_control_bytes(char* text, std::size_t size)
{
    for (std::size_t i = 0; i < size && text[i] != '\0'; ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c < 32 || c == 127)
            text[i] = '?';
    }
}
