// Small text helpers shared by the chat program: bounded copies into fixed
// fields, trimming, prefix tests, clock text, file probes and sleeping.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Copies at most size - 1 bytes of src and a terminating NUL into dst. A null
// src counts as empty; a null dst or a size of 0 does nothing.
void safe_strcpy(char *dst, const char *src, std::size_t size);

// The same for a fixed text field, whose size the compiler knows.
template <std::size_t N>
void safe_strcpy(char (&dst)[N], const char *src)
{
    safe_strcpy(dst, src, N);
}

// Removes leading and trailing white space in place; null is ignored.
void trim(char *text);

// 1 when text begins with prefix, else 0 (also when either is null).
int starts_with(const char *text, const char *prefix);

// 1 when a and b are equal ignoring ASCII case, else 0 (also when either is null).
int equals_ignore_case(const char *a, const char *b);

// Local time of seconds as "%H:%M:%S", or "00:00:00" when it cannot be converted.
void format_time(char *out, std::size_t size, std::int64_t seconds);

// Opens path for reading when it names a regular file: the open never waits
// (a FIFO or a device is refused, not waited on). The descriptor, or -1 with
// errno set (ENOENT when there is no such file, EINVAL when it is no regular file).
int open_regular_file(const char *path);

// Reads at most max_bytes from the start of the regular file path into out.
// 0 when read; -1 with errno set as by open_regular_file, or by the read.
int read_regular_file(const char *path, std::size_t max_bytes, std::string *out);

// Takes the next line of text the way fgets takes it from a stream: at most
// size - 1 bytes, up to and including a line feed, NUL-terminated in out.
// False when text is used up.
bool take_line(std::string_view *text, char *out, std::size_t size);

// 1 when path names a regular file that opens for reading, else 0.
int file_exists(const char *path);

// Sleeps for the given number of milliseconds (nothing for 0 or less).
void msleep(int milliseconds);
