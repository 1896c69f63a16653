// Small text helpers shared by the chat program: bounded copies into fixed
// fields, trimming, prefix tests, clock text, file probes and sleeping.
#pragma once

#include <cstddef>
#include <cstdint>

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

// 1 when path names a file that opens for reading, else 0.
int file_exists(const char *path);

// Sleeps for the given number of milliseconds (nothing for 0 or less).
void msleep(int milliseconds);
