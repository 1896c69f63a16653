// The output buffer of the chat program: every frame is composed here and
// written to the terminal in as few writes as possible.
#pragma once

#include <cstddef>
#include <string_view>

// Where composed output goes. The default writes to standard output; tests
// point it at a function that keeps the bytes.
using out_sink = void (*)(std::string_view bytes);
void write_to_stdout(std::string_view bytes);

// Where the caller's screen is, when it is not a UTF-8 standard output: the
// door socket (telnet, so byte 255 goes out doubled) or standard output, in
// UTF-8 or code page 437.
struct out_target {
    int fd = 1;
    bool socket = false;
    bool telnet = false;
    bool cp437 = false;
};
extern out_target g_out_target;
// The sink that writes to g_out_target in its form.
void write_to_target(std::string_view bytes);
// Writes all bytes to fd unchanged; send() without SIGPIPE when it is a
// socket. False when the rest was dropped: fd is closed, took nothing for a
// second, or the program is ending (g_out_wake_fd became readable). Never
// blocks in write(): a terminal or pipe is written through a non-blocking
// description of its own, so a reader that stopped cannot hold the program.
bool write_all(int fd, std::string_view bytes, bool socket);

// A descriptor that becomes readable (and stays so) once the program must
// end, e.g. the read end of a pipe a signal handler writes to; -1 for none.
extern int g_out_wake_fd;

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
