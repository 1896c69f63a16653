// Small text helpers shared by the chat program.
#include "chat/config/text_util.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Locale-independent: labels and file names compare the same everywhere.
char ascii_lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

void safe_strcpy(char *dst, const char *src, std::size_t size)
{
    if (dst == nullptr || size == 0) {
        return;
    }
    const std::size_t n = src == nullptr ? 0 : strnlen(src, size - 1);
    if (n > 0) {
        std::memmove(dst, src, n);
    }
    dst[n] = '\0';
}

void trim(char *text)
{
    if (text == nullptr) {
        return;
    }
    std::size_t len = std::strlen(text);
    while (len > 0 && std::isspace(static_cast<unsigned char>(text[len - 1])) != 0) {
        --len;
    }
    std::size_t start = 0;
    while (start < len && std::isspace(static_cast<unsigned char>(text[start])) != 0) {
        ++start;
    }
    std::memmove(text, text + start, len - start);
    text[len - start] = '\0';
}

int starts_with(const char *text, const char *prefix)
{
    if (text == nullptr || prefix == nullptr) {
        return 0;
    }
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0 ? 1 : 0;
}

int equals_ignore_case(const char *a, const char *b)
{
    if (a == nullptr || b == nullptr) {
        return 0;
    }
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (ascii_lower(*a) != ascii_lower(*b)) {
            return 0;
        }
    }
    return *a == *b ? 1 : 0;
}

void format_time(char *out, std::size_t size, std::int64_t seconds)
{
    if (out == nullptr || size == 0) {
        return;
    }
    const auto t = static_cast<std::time_t>(seconds);
    std::tm parts{};
    if (localtime_r(&t, &parts) == nullptr || std::strftime(out, size, "%H:%M:%S", &parts) == 0) {
        std::snprintf(out, size, "%s", "00:00:00");
    }
}

int open_regular_file(const char *path)
{
    if (path == nullptr || path[0] == '\0') {
        errno = ENOENT;
        return -1;
    }
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

int read_regular_file(const char *path, std::size_t max_bytes, std::string *out)
{
    const int fd = open_regular_file(path);
    if (fd < 0) {
        return -1;
    }
    out->assign(max_bytes, '\0');
    std::size_t got = 0;
    while (got < max_bytes) {
        const ssize_t n = read(fd, out->data() + got, max_bytes - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            const int error = errno;
            close(fd);
            errno = error;
            return -1;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    close(fd);
    out->resize(got);
    return 0;
}

bool take_line(std::string_view *text, char *out, std::size_t size)
{
    if (text->empty() || size < 2) {
        return false;
    }
    const std::size_t lf = text->find('\n');
    std::size_t n = lf == std::string_view::npos ? text->size() : lf + 1;
    n = n < size - 1 ? n : size - 1;
    std::memcpy(out, text->data(), n);
    out[n] = '\0';
    text->remove_prefix(n);
    return true;
}

int file_exists(const char *path)
{
    const int fd = open_regular_file(path);
    if (fd < 0) {
        return 0;
    }
    close(fd);
    return 1;
}

void msleep(int milliseconds)
{
    if (milliseconds <= 0) {
        return;
    }
    timespec left{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}
