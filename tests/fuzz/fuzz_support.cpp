#include "tests/fuzz/fuzz_support.h"

#include <fcntl.h>
#include <ftw.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace fuzz {

namespace {

std::string g_scratch;

int remove_entry(const char* path, const struct stat*, int, struct FTW*)
{
    return ::remove(path);
}

void remove_scratch()
{
    if (!g_scratch.empty())
        nftw(g_scratch.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

// One CSI sequence starting at out[i] (the ESC); moves the cursor for "H".
void check_sequence(std::string_view out, std::size_t& i, const terminal_rules& rules, int& row, int& column)
{
    FUZZ_CHECK(i + 1 < out.size() && out[i + 1] == '[');
    std::size_t k = i + 2;
    int params[2] = {0, 0};
    int n = 0;
    bool private_mode = false;
    for (; k < out.size(); ++k) {
        const char c = out[k];
        if (c >= '0' && c <= '9') {
            if (n < 2 && params[n] < 10000)
                params[n] = params[n] * 10 + (c - '0');
        } else if (c == ';') {
            ++n;
        } else if (c == '?') {
            private_mode = true;
        } else {
            break;
        }
    }
    FUZZ_CHECK(k < out.size());
    const char final_byte = out[k];
    FUZZ_CHECK(final_byte >= 0x40 && final_byte <= 0x7E);
    if (final_byte == 'H' && !private_mode) {
        row = params[0] == 0 ? 1 : params[0];
        column = n >= 1 && params[1] != 0 ? params[1] : 1;
        FUZZ_CHECK(row >= 1 && row <= rules.rows);
        FUZZ_CHECK(column >= 1 && column <= rules.columns);
    }
    i = k + 1;
}

}  // namespace

// Decodes one UTF-8 sequence at out[i]; the code point, or -1 when malformed
// (overlong, a surrogate, beyond U+10FFFF, cut short).
long decode_utf8(std::string_view out, std::size_t& i)
{
    const auto b = static_cast<unsigned char>(out[i]);
    int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0 || i + static_cast<std::size_t>(extra) >= out.size())
        return -1;
    long cp = extra == 0 ? b : b & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        const auto c = static_cast<unsigned char>(out[i + static_cast<std::size_t>(k)]);
        if ((c & 0xC0) != 0x80)
            return -1;
        cp = (cp << 6) | (c & 0x3F);
    }
    static constexpr long MIN_OF[] = {0, 0x80, 0x800, 0x10000};
    if (cp < MIN_OF[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return -1;
    i += static_cast<std::size_t>(extra) + 1;
    return cp;
}

void fail(const char* what, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: broken rule: %s\n", file, line, what);
    std::fflush(stderr);
    std::abort();
}

void enter_scratch_dir()
{
    if (!g_scratch.empty())
        return;
    // In memory where the system has it: the programs fsync what they write,
    // which on a disk would cost more than the rest of an input together.
    char in_memory[] = "/dev/shm/vexon_fuzz_XXXXXX";
    char on_disk[] = "/tmp/vexon_fuzz_XXXXXX";
    const char* tmpl = mkdtemp(in_memory);
    if (!tmpl)
        tmpl = mkdtemp(on_disk);
    if (!tmpl || chdir(tmpl) != 0) {
        std::perror("scratch directory");
        std::abort();
    }
    g_scratch = tmpl;
    std::atexit(remove_scratch);
}

void write_file(const char* path, const void* data, std::size_t size)
{
    FILE* f = std::fopen(path, "wb");
    if (!f) {
        std::perror(path);
        std::abort();
    }
    if (size > 0)
        std::fwrite(data, 1, size, f);
    std::fclose(f);
}

std::string read_file(const char* path)
{
    std::string out;
    FILE* f = std::fopen(path, "rb");
    if (!f)
        return out;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
        out.append(buf, n);
    std::fclose(f);
    return out;
}

int check_terminal_stream(std::string_view out, const terminal_rules& rules)
{
    int row = 1;
    int column = 1;
    for (std::size_t i = 0; i < out.size();) {
        const auto b = static_cast<unsigned char>(out[i]);
        if (b == 0x1B) {
            check_sequence(out, i, rules, row, column);
            continue;
        }
        if (rules.line_ends && (b == '\r' || b == '\n')) {
            column = b == '\r' ? 1 : column;
            ++i;
            continue;
        }
        if (b < 32 || b == 127) {
            // Never: NUL, BS, TAB, LF, VT, FF, CR, SO, SI-free cursor and
            // character-set controls, ESC; nor any control in UTF-8 text.
            const bool glyph = rules.cp437_glyph_controls && b != 0 && !(b >= 8 && b <= 14) && b != 27;
            FUZZ_CHECK(glyph);
        }
        int width = 1;
        if (rules.utf8) {
            const long cp = decode_utf8(out, i);
            FUZZ_CHECK(cp >= 0);
            FUZZ_CHECK(!(cp >= 0x80 && cp < 0xA0));  // C1 controls
            width = rules.width_of ? rules.width_of(static_cast<std::uint32_t>(cp)) : 1;
        } else {
            ++i;
        }
        if (width > 0) {
            FUZZ_CHECK(column + width - 1 <= rules.columns);
            column += width;
        }
    }
    return column;
}

}  // namespace fuzz
