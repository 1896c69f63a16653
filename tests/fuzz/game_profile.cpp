// A profile file as the player's own board and as a rival: every field the
// game uses is brought into range where the file is read, and the console
// and statistics screens draw the board within the screen, with nothing
// from the file reaching the caller's terminal as a control sequence.
#include "game/rules/catalogs.h"
#include "game/app/console_loop.h"
#include "game/rules/files.h"
#include "game/rules/storage.h"
#include "game/tools/console.h"
#include "tests/fuzz/game_door.h"

#include <cstring>

namespace {

template <typename Row, std::size_t N>
bool row_of(std::int32_t v, const std::array<Row, N>&)
{
    return v >= 0 && v < static_cast<std::int32_t>(N);
}

template <typename Row, std::size_t N>
bool bits_of(std::uint32_t set, const std::array<Row, N>&)
{
    return N >= 32 || (set >> N) == 0;
}

void check_profile(const profile& p)
{
    FUZZ_CHECK(fuzz::terminated(p.sysop_name));
    FUZZ_CHECK(fuzz::terminated(p.bbs_name));
    FUZZ_CHECK(fuzz::free_of_controls(p.sysop_name) && fuzz::free_of_controls(p.bbs_name));
    FUZZ_CHECK(row_of(p.cpu, CPUS));
    FUZZ_CHECK(row_of(p.ram, RAMS));
    FUZZ_CHECK(row_of(p.hdd, HDDS));
    FUZZ_CHECK(row_of(p.modem, MODEMS));
    FUZZ_CHECK(row_of(p.monitor, MONITORS));
    FUZZ_CHECK(row_of(p.fido_tier, FIDO));
    FUZZ_CHECK(row_of(p.inet_tier, INET));
    FUZZ_CHECK(bits_of(p.peripherals, PERIS));
    FUZZ_CHECK(bits_of(p.doors, DOORS));
    FUZZ_CHECK(bits_of(p.cdroms, CDROMS));
    FUZZ_CHECK(bits_of(p.bbs_software, BBS_SW));
    FUZZ_CHECK(bits_of(p.dark_goods, DARK_GOODS));
    FUZZ_CHECK(bits_of(p.protection, PROTECT_SW));
    for (std::int32_t v : {p.rep, p.heat, p.hack_skill, p.hw_health})
        FUZZ_CHECK(v >= 0 && v <= 100);
    for (std::uint8_t h : p.protect_health)
        FUZZ_CHECK(h <= 100);
    FUZZ_CHECK(p.nodes >= 1 && p.nodes <= MAX_NODES);
    FUZZ_CHECK(p.fame >= 0 && p.fame <= 5);
    FUZZ_CHECK(p.cash >= 0 && p.cash <= MAX_CASH);
    for (std::int32_t v : {p.warez, p.total_callers, p.callers_yesterday, p.turns_used, p.hacked_while_away})
        FUZZ_CHECK(v >= 0 && v <= MAX_COUNT);
    FUZZ_CHECK(p.day <= static_cast<std::uint32_t>(MAX_COUNT));
}

}  // namespace

FUZZ_IN_SCRATCH_DIR()

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 4096)
        return 0;
    ensure_data_dir();
    fuzz::game_door door;
    g_glyph_mode = glyph_mode::cp437;

    // The player's own file.
    copy_text(g_d.user_name, "Fuzz Player");
    fuzz::write_file("data/sysop_fuzzplayer.dat", data, size);
    std::memset(&P, 0xA5, sizeof P);
    if (load_profile() == 1) {
        check_profile(P);
        FUZZ_CHECK(P.turns_per_day >= 1 && P.turns_per_day <= 100);
        FUZZ_CHECK(P.difficulty >= 0 && P.difficulty <= 2);
        FUZZ_CHECK(disk_pct() >= 0 && disk_pct() <= 100);
        FUZZ_CHECK(protect_shed_pct() >= 0 && protect_shed_pct() <= 80);
        force_full_repaint();
        render_console();
        door.check_output();
        door.send_keys("x");
        stats_screen();
        door.check_output();
    }
    std::remove("data/sysop_fuzzplayer.dat");

    // The same bytes as another player's file.
    new_profile();
    fuzz::write_file("data/sysop_rival.dat", data, size);
    scan_rivals();
    FUZZ_CHECK(g_rival_count >= 0 && g_rival_count <= 1);
    for (int i = 0; i < g_rival_count; ++i) {
        const rival& r = g_rivals[i];
        check_profile(r.record);
        FUZZ_CHECK(std::strcmp(r.path, "data/sysop_rival.dat") == 0);
        FUZZ_CHECK(r.difficulty >= 15 && r.difficulty <= 95);
        FUZZ_CHECK(r.steal_cash >= 50 && r.steal_warez >= 1 && r.heat_gain >= 0);
    }
    std::remove("data/sysop_rival.dat");
    return 0;
}
