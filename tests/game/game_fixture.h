// Shared fixture of the game's tests: a temporary working directory (the
// game keeps data/ there), a fresh profile and generator, and a door channel.
#pragma once

#include "game/rules/clock.h"
#include "game/screen/pause.h"
#include "game/rules/profile.h"
#include "game/screen/cells.h"
#include "game/screen/terminal.h"
#include "tests/support/door_channel.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

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

// Ways a file in data/ can exist and yet not be readable to the game. A file
// without read permission is one only for a user that is not root; the real
// binary's tests cover that case under root too.
struct unreadable_kind {
    const char* what;
    std::function<void(const std::string& path)> make;
};

inline std::vector<unreadable_kind> unreadable_kinds()
{
    std::vector<unreadable_kind> kinds = {
        {"a FIFO", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); }},
        {"a directory", [](const std::string& p) { ASSERT_EQ(mkdir(p.c_str(), 0755), 0); }},
    };
    if (geteuid() != 0) {
        kinds.push_back({"a file without read permission", [](const std::string& p) {
                             testsupport::write_file(p, std::string(232, 'x'));
                             ASSERT_EQ(chmod(p.c_str(), 0), 0);
                         }});
    }
    return kinds;
}
