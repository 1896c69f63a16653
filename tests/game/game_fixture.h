// Shared fixture of the game's tests: a temporary working directory (the
// game keeps data/ there), a fresh profile and generator, and a door channel.
#pragma once

#include "game/core/clock.h"
#include "game/core/profile.h"
#include "game/screen/cells.h"
#include "game/screen/terminal.h"
#include "tests/support/door_channel.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

class game_test : public ::testing::Test {
protected:
    game_test() : cwd_(dir_.path())
    {
        std::memset(&P, 0, sizeof P);
        g_rng = RNG_INITIAL;
        g_glyph_mode = glyph_mode::cp437;
        copy_text(g_d.user_name, "Sysop");
        clear_back();
        force_full_repaint();
        g_clock_hook = nullptr;
        g_sleep_hook = nullptr;
    }
    ~game_test() override
    {
        g_clock_hook = nullptr;
        g_sleep_hook = nullptr;
    }

    // A fresh terminal fed with everything sent so far.
    std::unique_ptr<vt::vt_screen> screen() { return door.screen(); }

    testsupport::temp_dir dir_;
    testsupport::scoped_chdir cwd_;
    testsupport::door_channel door;
};
