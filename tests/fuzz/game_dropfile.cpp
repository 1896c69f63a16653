// The game's DOOR32.SYS reader: any file leaves a terminated user name free
// of control bytes, a socket only for a telnet connection with a usable
// handle, and a save-file name inside data/.
#include "game/rules/storage.h"
#include "tests/fuzz/fuzz_support.h"

#include <cctype>
#include <cstring>

FUZZ_IN_SCRATCH_DIR()

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 16384)
        return 0;
    fuzz::write_file("DOOR32.SYS", data, size);
    g_d = door_info{};
    g_d.socket = -1;
    parse_dropfile("DOOR32.SYS");
    FUZZ_CHECK(fuzz::terminated(g_d.user_name));
    FUZZ_CHECK(fuzz::free_of_controls(g_d.user_name));
    if (g_d.use_socket) {
        FUZZ_CHECK(g_d.comm_type == 2);
        FUZZ_CHECK(g_d.socket > 0);
    } else {
        FUZZ_CHECK(g_d.socket == -1);
    }

    char path[128];
    profile_path(path, sizeof path);
    const std::size_t len = std::strlen(path);
    FUZZ_CHECK(std::strncmp(path, "data/sysop_", 11) == 0);
    FUZZ_CHECK(len > 15 && len <= 11 + 39 + 4 && std::strcmp(path + len - 4, ".dat") == 0);
    for (std::size_t i = 11; i + 4 < len; ++i)
        FUZZ_CHECK(std::isdigit(static_cast<unsigned char>(path[i])) || std::islower(static_cast<unsigned char>(path[i])));
    return 0;
}
