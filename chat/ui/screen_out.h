// The output buffer of the chat program: every frame is composed here and
// written to the terminal in as few writes as possible.
#pragma once

#include <cstddef>
#include <string_view>

// Where composed output goes. The default writes to standard output; tests
// point it at a function that keeps the bytes.
using out_sink = void (*)(std::string_view bytes);
void write_to_stdout(std::string_view bytes);

class out_buffer {
public:
    static constexpr std::size_t capacity = 64 * 1024;

    void put(std::string_view text);
    // Formats with snprintf; a result longer than 1 KiB is cut.
    [[gnu::format(printf, 2, 3)]] void putf(const char* format, ...);
    // "\e[row;colH", both counted from 1.
    void move(int row, int column);
    // n spaces.
    void spaces(int n);
    void flush();

    out_sink sink = write_to_stdout;

private:
    char bytes_[capacity]{};
    std::size_t length_ = 0;
};

// The one output buffer of the program.
extern out_buffer g_out;
