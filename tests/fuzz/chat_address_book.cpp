// The address book file: whatever it holds, the book keeps at most 50
// entries whose texts the file can hold, and saving and loading again gives
// the same book.
#include "chat/ircclient/addressbook.h"
#include "tests/fuzz/fuzz_support.h"

#include <cstdio>
#include <cstring>

namespace {

void check_book(const addressbook& b)
{
    FUZZ_CHECK(b.count >= 0 && b.count <= ADDRESSBOOK_MAX);
    for (int i = 0; i < b.count; ++i) {
        const addressbook_entry& e = b.entries[i];
        for (const char* f : {e.name, e.server, e.nick, e.channel})
            FUZZ_CHECK(std::strpbrk(f, "|\r\n") == nullptr);
        FUZZ_CHECK(fuzz::terminated(e.name) && fuzz::terminated(e.server) && fuzz::terminated(e.nick) &&
                   fuzz::terminated(e.channel));
        FUZZ_CHECK(e.name[0] != '\0');
    }
}

bool same_books(const addressbook& a, const addressbook& b)
{
    if (a.count != b.count)
        return false;
    for (int i = 0; i < a.count; ++i) {
        const addressbook_entry& x = a.entries[i];
        const addressbook_entry& y = b.entries[i];
        if (std::strcmp(x.name, y.name) != 0 || std::strcmp(x.server, y.server) != 0 || x.port != y.port ||
            std::strcmp(x.nick, y.nick) != 0 || std::strcmp(x.channel, y.channel) != 0 || x.use_ssl != y.use_ssl)
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
    fuzz::write_file(ADDRESSBOOK_FILE, data, size);
    static auto* book = new addressbook;
    static auto* again = new addressbook;
    *book = addressbook{};
    FUZZ_CHECK(addressbook_load(book) == 0);
    check_book(*book);
    FUZZ_CHECK(addressbook_save(book) == 0);
    *again = addressbook{};
    FUZZ_CHECK(addressbook_load(again) == 0);
    FUZZ_CHECK(same_books(*book, *again));
    std::remove(ADDRESSBOOK_FILE);
    return 0;
}
