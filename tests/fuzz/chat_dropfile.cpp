// The chat program's dropfile readers, DOOR32.SYS and DOOR.SYS: whatever a
// board leaves, a loaded file gives terminated names and a door session
// whose nick a server accepts.
#include "chat/config/dropfile.h"
#include "tests/fuzz/fuzz_support.h"

#include <cstdio>
#include <cstring>

namespace {

void check_loaded(const dropfile_info& info, const server_entry& settings, const char* kind)
{
    FUZZ_CHECK(info.valid == 1);
    FUZZ_CHECK(std::strcmp(info.kind, kind) == 0);
    FUZZ_CHECK(fuzz::terminated(info.real_name) && fuzz::terminated(info.user_name));
    FUZZ_CHECK(fuzz::terminated(settings.nick));
    const char* nick = settings.nick;
    FUZZ_CHECK(nick[0] != '\0');
    FUZZ_CHECK(!(nick[0] >= '0' && nick[0] <= '9') && nick[0] != '-');
    for (const char* p = nick; *p; ++p) {
        const char c = *p;
        FUZZ_CHECK((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                   std::strchr("[]\\`_^{|}-", c) != nullptr);
    }
    FUZZ_CHECK(settings.port == 6667 && settings.tls == 0 && settings.password[0] == '\0');
}

}  // namespace

FUZZ_IN_SCRATCH_DIR()

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 65536)
        return 0;
    for (const char* name : {"DOOR32.SYS", "DOOR.SYS"}) {
        fuzz::write_file(name, data, size);
        dropfile_info info{};
        server_entry settings{};
        std::snprintf(settings.label, sizeof settings.label, "unchanged");
        if (dropfile_load(name, &info, &settings) == 0)
            check_loaded(info, settings, std::strcmp(name, "DOOR.SYS") == 0 ? "DOOR" : "DOOR32");
        else
            FUZZ_CHECK(info.valid == 0 && std::strcmp(settings.label, "unchanged") == 0);
        std::remove(name);
    }
    return 0;
}
