// The shared hall-of-fame file: whatever it holds, the loaded table keeps at
// most ten entries in range with one per sysop, the exported bulletins hold
// no control bytes of the file's, the screen draws within its frame, and a
// player's entry is recorded into any table.
#include "game/rules/files.h"
#include "game/app/hall_of_fame_screen.h"
#include "game/rules/hall_of_fame.h"
#include "game/rules/storage.h"
#include "tests/fuzz/game_door.h"

#include <cstring>

namespace {

void check_table()
{
    FUZZ_CHECK(g_hs_count >= 0 && g_hs_count <= HS_MAX);
    for (int i = 0; i < g_hs_count; ++i) {
        const hs_entry& e = g_hs[i];
        FUZZ_CHECK(fuzz::terminated(e.sysop_name));
        FUZZ_CHECK(fuzz::terminated(e.bbs_name));
        FUZZ_CHECK(fuzz::free_of_controls(e.sysop_name) && fuzz::free_of_controls(e.bbs_name));
        FUZZ_CHECK(e.cash >= 0 && e.cash <= MAX_CASH);
        FUZZ_CHECK(e.day >= 0 && e.day <= MAX_COUNT);
        FUZZ_CHECK(e.rep >= 0 && e.rep <= 100);
        FUZZ_CHECK(e.fame >= 0 && e.fame <= 5);
        for (int j = 0; j < i; ++j)
            FUZZ_CHECK(std::strncmp(g_hs[j].sysop_name, e.sysop_name, sizeof e.sysop_name) != 0);
    }
}

void check_exports()
{
    // Boards show these files to callers as they stand.
    const std::string asc = fuzz::read_file("data/scores.asc");
    FUZZ_CHECK(asc.find('\x1b') == std::string::npos);
    const fuzz::terminal_rules bulletin{.rows = 1000, .columns = 80, .utf8 = false, .cp437_glyph_controls = false,
                                        .line_ends = true};
    fuzz::check_terminal_stream(asc, bulletin);
    fuzz::check_terminal_stream(fuzz::read_file("data/scores.ans"), bulletin);
}

}  // namespace

FUZZ_IN_SCRATCH_DIR()

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 4 * sizeof(hs_entry) * HS_MAX)
        return 0;
    ensure_data_dir();
    fuzz::game_door door;
    g_glyph_mode = glyph_mode::cp437;

    fuzz::write_file("data/topsysops.dat", data, size);
    hs_load();
    check_table();
    hs_export();
    check_exports();

    force_full_repaint();
    door.send_keys("x");
    hs_screen();
    door.check_output();

    // The player quits: the entry goes into whatever the file held.
    copy_text(g_d.user_name, "Fuzz Player");
    new_profile();
    P.cash = 5000;
    hs_record();
    hs_load();
    check_table();
    check_exports();
    bool listed = false;
    for (int i = 0; i < g_hs_count; ++i)
        listed = listed || std::strcmp(g_hs[i].sysop_name, "Fuzz Player") == 0;
    // Ten better sysops keep a newcomer out; otherwise the entry is there.
    int better = 0;
    for (int i = 0; i < g_hs_count; ++i)
        better += std::strcmp(g_hs[i].sysop_name, "Fuzz Player") != 0 ? 1 : 0;
    FUZZ_CHECK(listed || better == HS_MAX);
    std::remove("data/topsysops.dat");
    return 0;
}
