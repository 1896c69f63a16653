// Helpers shared by the fuzz targets. Each target defines
// LLVMFuzzerTestOneInput and checks what must hold for any input; a broken
// rule aborts with a message, which libFuzzer records as a finding and the
// corpus replay of the test suite reports as a failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#define FUZZ_CHECK(cond) ((cond) ? static_cast<void>(0) : fuzz::fail(#cond, __FILE__, __LINE__))

namespace fuzz {

[[noreturn]] void fail(const char* what, const char* file, int line);

// Makes a fresh private directory the working directory for the whole run
// and removes it at exit, so targets that read files never touch the tree.
void enter_scratch_dir();

// Targets that read and write files run in a scratch directory, entered
// before the first input (after the replay or libFuzzer read their corpus).
#define FUZZ_IN_SCRATCH_DIR()                                  \
    extern "C" int LLVMFuzzerInitialize(int*, char***)         \
    {                                                          \
        fuzz::enter_scratch_dir();                             \
        return 0;                                              \
    }

// Replaces path with exactly these bytes.
void write_file(const char* path, const void* data, std::size_t size);
// The whole file; empty when it cannot be read.
std::string read_file(const char* path);

// True when the fixed text field holds its terminating NUL.
template <std::size_t N>
bool terminated(const char (&field)[N])
{
    return ::strnlen(field, N) < N;
}

// True when the text holds no control byte (1-31, 127): names read from a
// file reach the caller's screen.
inline bool free_of_controls(const char* text)
{
    for (; *text != '\0'; ++text) {
        const auto b = static_cast<unsigned char>(*text);
        if (b < 32 || b == 127)
            return false;
    }
    return true;
}

// Decodes the UTF-8 sequence at text[i] strictly and moves i past it; the
// code point, or -1 when malformed (overlong, a surrogate, beyond U+10FFFF,
// cut short), leaving i where it was.
long decode_utf8(std::string_view text, std::size_t& i);

// What a terminal stream may hold besides escape sequences.
struct terminal_rules {
    int rows;
    int columns;
    // The text is UTF-8 (each character one cell, or as wide as width_of
    // says); otherwise each byte is one cell (code page 437).
    bool utf8 = true;
    int (*width_of)(std::uint32_t cp) = nullptr;
    // Control bytes (below 32, and 127) that may go out as cell characters:
    // the code page 437 glyphs a BBS terminal draws for them.
    bool cp437_glyph_controls = false;
    // CR and LF may end lines (exported files); otherwise they never appear.
    bool line_ends = false;
};

// Checks a byte stream written to a terminal: every ESC starts a well-formed
// CSI sequence, every cursor position lies on the screen, no character is
// drawn past the last column, no raw control byte that moves the cursor or
// starts a sequence appears, and UTF-8 text is well formed. Returns the
// cursor's column at the end.
int check_terminal_stream(std::string_view out, const terminal_rules& rules);

// Splits the input: the first byte steers the target (sizes, modes), the
// rest is the data under test.
struct steered_input {
    std::uint8_t knob;
    std::string_view data;
};
inline steered_input steer(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return {0, {}};
    return {data[0], std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1)};
}

}  // namespace fuzz
