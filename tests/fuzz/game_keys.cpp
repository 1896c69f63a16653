// The game's key decoder over the door socket: whatever bytes a caller
// sends, each read yields a byte value or a cursor key, the input is read to
// its end, and the caller's hang-up ends the reading.
#include "tests/fuzz/game_door.h"

#include <algorithm>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // What one socket buffer holds, so the whole input is there at once.
    if (size > 65536)
        return 0;
    fuzz::game_door door;
    door.send_keys({reinterpret_cast<const char*>(data), size});
    door.hang_up();
    std::vector<int> keys;
    bool hung_up = false;
    try {
        for (std::size_t i = 0; i <= size; ++i)
            keys.push_back(read_key_block());
    } catch (const fuzz::caller_hung_up&) {
        hung_up = true;
    }
    // Every key costs at least one byte, so the hang-up comes before the
    // reads run out; a key from nothing (or a timeout) would show here.
    FUZZ_CHECK(hung_up);
    FUZZ_CHECK(keys.size() <= size);
    for (int k : keys)
        FUZZ_CHECK((k >= 0 && k <= 255) || (k >= GKEY_LEFT && k <= GKEY_DOWN));
    // Without a byte that starts a sequence (ESC, CR, the PC prefixes 0 and
    // 224, a telnet command's IAC) or asks for a redraw (Ctrl-L, Ctrl-R, which
    // no screen sees), every byte is a key of its own, in order.
    const bool plain = std::none_of(data, data + size, [](std::uint8_t b) {
        return b == 27 || b == 13 || b == 0 || b == 224 || b == 255 || b == 12 || b == 18;
    });
    if (plain) {
        FUZZ_CHECK(keys.size() == size);
        for (std::size_t i = 0; i < size; ++i)
            FUZZ_CHECK(keys[i] == data[i]);
    }
    return 0;
}
