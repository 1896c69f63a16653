// The saved servers file: whatever it holds, the store keeps at most 64
// entries with terminated fields, saving and loading again gives the same
// store (where the format can hold its values), and the startup manager
// draws it as text within the screen.
#include "chat/config/server_config.h"
#include "chat/ui/display_text.h"
#include "chat/ui/screen_out.h"
#include "chat/ui/ui.h"
#include "tests/fuzz/chat_screen.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

std::string g_screen;

void keep_output(std::string_view bytes)
{
    g_screen.append(bytes);
}

void check_store(const server_config& c)
{
    FUZZ_CHECK(c.count >= 1 && c.count <= CONFIG_MAX_ENTRIES);
    for (int i = 0; i < c.count; ++i) {
        const server_entry& e = c.entries[i];
        FUZZ_CHECK(fuzz::terminated(e.label) && fuzz::terminated(e.server) && fuzz::terminated(e.nick) &&
                   fuzz::terminated(e.channel) && fuzz::terminated(e.password));
        FUZZ_CHECK(e.label[0] != '\0');
        FUZZ_CHECK(e.tls == 0 || e.tls == 1);
        // A field holding the separator or a line end would split the entry
        // when the file is written back.
        for (const char* f : {e.label, e.server, e.nick, e.channel, e.password})
            FUZZ_CHECK(std::strpbrk(f, "|\n") == nullptr);
    }
}

// The file format cannot hold an empty field (runs of separators count as
// one) nor white space at a line's ends, which reading trims; any other
// entry must come back from a save as it was.
bool fits_the_format(const server_entry& e)
{
    const auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    const std::size_t pw = std::strlen(e.password);
    return e.server[0] && e.nick[0] && e.channel[0] && !space(e.label[0]) && (pw == 0 || !space(e.password[pw - 1]));
}

bool same_entries(const server_config& a, const server_config& b)
{
    if (a.count != b.count)
        return false;
    for (int i = 0; i < a.count; ++i) {
        const server_entry& x = a.entries[i];
        const server_entry& y = b.entries[i];
        if (std::strcmp(x.label, y.label) != 0 || std::strcmp(x.server, y.server) != 0 || x.port != y.port ||
            std::strcmp(x.nick, y.nick) != 0 || std::strcmp(x.channel, y.channel) != 0 || x.tls != y.tls ||
            std::strcmp(x.password, y.password) != 0)
            return false;
    }
    return true;
}

}  // namespace

FUZZ_IN_SCRATCH_DIR()

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 65536)
        return 0;
    static auto* store = new server_config;
    static auto* again = new server_config;
    fuzz::write_file("bookmarks", data, size);
    *store = server_config{};
    std::snprintf(store->path, sizeof store->path, "bookmarks");
    config_load(store);
    check_store(*store);

    FUZZ_CHECK(config_save(store) == 0);
    *again = server_config{};
    std::snprintf(again->path, sizeof again->path, "bookmarks");
    config_load(again);
    bool all_fit = true;
    for (int i = 0; i < store->count; ++i)
        all_fit = all_fit && fits_the_format(store->entries[i]);
    if (all_fit)
        FUZZ_CHECK(same_entries(*store, *again));
    else
        check_store(*again);

    // The startup manager with every entry chosen in turn would be slow; the
    // last one and the form loaded from it show the longest texts as well.
    ui_state ui{};
    ui.size = {24, 80};
    ui.startup_mode = 1;
    ui.selection = store->count - 1;
    ui.settings = store->entries[ui.selection];
    g_screen.clear();
    g_out.sink = keep_output;
    draw_frame(&ui);
    draw_startup(&ui, store);
    g_out.flush();
    fuzz::check_chat_frame(g_screen, 24, 80, 1 + size % 64);
    return 0;
}
