// The installed programs: `cmake --install` of this build into a temporary
// prefix (or the prefix named by VEXON_INSTALLED_PREFIX, as the fresh-clone
// check in tools/check-install.sh gives), then the installed game played as
// a door through the installed launcher.
#include "tests/support/door_call.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

using namespace std::chrono_literals;

TEST(game_install, InstalledGamePlaysAsADoorThroughTheInstalledLauncher)
{
    testsupport::temp_dir dir;
    std::string prefix = dir.file("prefix");
    if (const char* given = std::getenv("VEXON_INSTALLED_PREFIX"); given != nullptr && given[0] != '\0') {
        prefix = given;
    } else {
        const std::string install = std::string("'") + CMAKE_COMMAND_PATH + "' --install '" + BUILD_DIR_PATH +
                                    "' --prefix '" + prefix + "' >/dev/null";
        ASSERT_EQ(std::system(install.c_str()), 0) << install;
    }
    for (const char* program : {"sysopsim", "ircdoor", "door_launcher"})
        EXPECT_EQ(access((prefix + "/bin/" + program).c_str(), X_OK), 0) << program;
    EXPECT_NE(testsupport::read_file(prefix + "/share/doc/vexon/README.md").find("VEXON SIMS"), std::string::npos);

    const std::string board_dir = dir.file("board");
    ASSERT_EQ(mkdir(board_dir.c_str(), 0755), 0);
    testsupport::door_launcher board({prefix + "/bin/door_launcher", "--game", prefix + "/bin/sysopsim", "--dir",
                                      board_dir, "--port", "0", "--user", "Grace Hopper"});
    const int port = board.port();
    ASSERT_GT(port, 0);
    testsupport::door_caller caller(port);
    ASSERT_TRUE(caller.wait_for_text("[1] New BBS")) << caller.screen().dump();
    caller.send("1");
    ASSERT_TRUE(caller.wait_for_text("Welcome!")) << caller.screen().dump();
    caller.send(" ");
    ASSERT_TRUE(caller.wait_for_text("VEXON SIMS - BBS CONSOLE")) << caller.screen().dump();
    EXPECT_TRUE(caller.screen().contains("Your BBS:  Grace Hopper's Haven"));
    caller.hang_up();
    const auto ended = board.wait_line("ended", 5s);
    ASSERT_TRUE(ended);
    EXPECT_NE(ended->find("with status 0"), std::string::npos) << *ended;
    // The new board was saved in the shared directory's data/.
    EXPECT_EQ(testsupport::read_file(board_dir + "/data/sysop_gracehopper.dat").size(), 232u);
}
