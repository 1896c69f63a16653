// The chat program's key decoder, fed what a caller types in pieces of any
// size: every key is a byte value or a known key code, no input is held
// forever, and plain text comes through byte for byte.
#include "chat/ui/keys.h"
#include "tests/fuzz/fuzz_support.h"

#include <algorithm>
#include <vector>

namespace {

bool known_key(int k)
{
    return (k > 0 && k <= 255) || (k >= KEY_ENTER && k <= KEY_END) || k == KEY_IGNORED || key_is_char(k);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 16384)
        return 0;
    const auto [knob, input] = fuzz::steer(data, size);
    const std::size_t piece = 1 + knob % 17;  // how much one read brings
    key_decoder d;
    std::vector<int> keys;
    std::string_view rest = input;
    while (!rest.empty()) {
        const std::size_t fitted = d.feed(rest.substr(0, std::min(piece, rest.size())));
        rest.remove_prefix(fitted);
        for (int k = d.next(true); k != KEY_NONE; k = d.next(true))
            keys.push_back(k);
        // A full buffer must give way, or the reader could never feed more.
        FUZZ_CHECK(fitted > 0 || d.space() > 0);
        if (fitted == 0) {
            for (int k = d.next(false); k != KEY_NONE; k = d.next(false))
                keys.push_back(k);
        }
        FUZZ_CHECK(keys.size() <= input.size());
    }
    // The reader waits in vain for more: everything held settles.
    for (int k = d.next(false); k != KEY_NONE; k = d.next(false)) {
        keys.push_back(k);
        FUZZ_CHECK(keys.size() <= input.size());
    }
    FUZZ_CHECK(!d.has_input());
    for (int k : keys)
        FUZZ_CHECK(known_key(k));

    const bool plain = std::all_of(input.begin(), input.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b >= 32 && b != 127;
    });
    if (plain) {
        FUZZ_CHECK(keys.size() == input.size());
        for (std::size_t i = 0; i < keys.size(); ++i)
            FUZZ_CHECK(keys[i] == static_cast<unsigned char>(input[i]));
    }
    return 0;
}
