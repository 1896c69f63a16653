// String utilities.
#include "chat/ircclient/string_util.h"

#include <cstdlib>
#include <cstring>

#include "chat/config/text_util.h"

namespace {

char *copy_of(const char *text, std::size_t length)
{
    auto *copy = static_cast<char *>(std::malloc(length + 1));
    if (copy != nullptr) {
        std::memcpy(copy, text, length);
        copy[length] = '\0';
    }
    return copy;
}

} // namespace

void string_trim(char *text)
{
    trim(text);
}

int string_split(const char *text, char separator, char **pieces, int max)
{
    if (text == nullptr || pieces == nullptr || max < 1) {
        return 0;
    }
    int count = 0;
    for (const char *start = text; count < max;) {
        const char *end = std::strchr(start, separator);
        const std::size_t length = end != nullptr ? static_cast<std::size_t>(end - start) : std::strlen(start);
        pieces[count] = copy_of(start, length);
        if (pieces[count] == nullptr) {
            break;
        }
        ++count;
        if (end == nullptr) {
            break;
        }
        start = end + 1;
    }
    return count;
}

char *string_replace(const char *text, const char *from, const char *to)
{
    if (text == nullptr || from == nullptr || to == nullptr) {
        return nullptr;
    }
    const std::size_t from_len = std::strlen(from);
    if (from_len == 0) {
        return copy_of(text, std::strlen(text));
    }
    const std::size_t to_len = std::strlen(to);
    std::size_t count = 0;
    for (const char *p = std::strstr(text, from); p != nullptr; p = std::strstr(p + from_len, from)) {
        ++count;
    }
    const std::size_t text_len = std::strlen(text);
    auto *result = static_cast<char *>(std::malloc(text_len - count * from_len + count * to_len + 1));
    if (result == nullptr) {
        return nullptr;
    }
    char *out = result;
    const char *in = text;
    for (const char *p = std::strstr(in, from); p != nullptr; p = std::strstr(in, from)) {
        std::memcpy(out, in, static_cast<std::size_t>(p - in));
        out += p - in;
        std::memcpy(out, to, to_len);
        out += to_len;
        in = p + from_len;
    }
    std::memcpy(out, in, std::strlen(in) + 1);
    return result;
}
