// The modes of what the game creates in data/ come from the umask, so the
// nodes of a board that run as several accounts of one group (umask 007,
// as the README sets up) can all read the boards and take the locks.
#include "game/rules/files.h"
#include "game/rules/hall_of_fame.h"
#include "game/rules/storage.h"
#include "tests/game/game_fixture.h"

#include <sys/stat.h>

using shared_data_dir = game_test;

namespace {

unsigned mode_of(const char* path)
{
    struct stat st{};
    return stat(path, &st) == 0 ? st.st_mode & 07777u : 0u;
}

}  // namespace

TEST_F(shared_data_dir, FilesFollowTheUmaskSoAGroupOfNodesShareThem)
{
    const mode_t saved = umask(007);
    new_profile();
    save_profile();
    { data_lock lock("data/sysop_sysop.lock"); }
    umask(saved);
    EXPECT_EQ(mode_of("data"), 0770u);
    EXPECT_EQ(mode_of("data/sysop_sysop.dat"), 0660u);
    EXPECT_EQ(mode_of("data/sysop_sysop.lock"), 0660u);
}
