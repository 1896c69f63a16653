// The address book file.
#include "chat/ircclient/addressbook.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "chat/config/text_util.h"

void (*g_addressbook_before_rename)(const char *temp_path) = nullptr;

namespace {

constexpr std::size_t LINE_SIZE = 512;

using file_ptr = std::unique_ptr<std::FILE, int (*)(std::FILE *)>;

bool fits_in_file(const char *text)
{
    return text != nullptr && text[std::strcspn(text, "|\r\n")] == '\0';
}

// Reads one line into line; false at the end. A line longer than the buffer
// is consumed whole and comes back empty, so its tail is never read as a line.
bool read_line(std::FILE *f, char (&line)[LINE_SIZE])
{
    if (std::fgets(line, sizeof line, f) == nullptr) {
        return false;
    }
    if (std::strchr(line, '\n') == nullptr && !std::feof(f)) {
        int c = 0;
        while ((c = std::fgetc(f)) != EOF && c != '\n') {
        }
        line[0] = '\0';
    }
    line[std::strcspn(line, "\r\n")] = '\0';
    return true;
}

// Copies one "|"-separated field (empty allowed) into out, cut to its size;
// returns where the next field starts, or null after the last one.
const char *read_field(const char *p, char *out, std::size_t size)
{
    const std::size_t len = std::strcspn(p, "|");
    const std::size_t kept = len < size - 1 ? len : size - 1;
    std::memcpy(out, p, kept);
    out[kept] = '\0';
    return p[len] == '|' ? p + len + 1 : nullptr;
}

// A whole number and nothing else.
bool read_number(const char *text, std::int32_t *out)
{
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || value < INT32_MIN || value > INT32_MAX) {
        return false;
    }
    *out = static_cast<std::int32_t>(value);
    return true;
}

// Six fields, as addressbook_save writes them; a nick or channel may be
// empty, as addressbook_add lets them be, so no saved entry is ever skipped.
bool parse_entry(const char *line, addressbook_entry *e)
{
    *e = addressbook_entry{};
    char port[16];
    char ssl[16];
    const char *p = read_field(line, e->name, sizeof e->name);
    p = p != nullptr ? read_field(p, e->server, sizeof e->server) : nullptr;
    p = p != nullptr ? read_field(p, port, sizeof port) : nullptr;
    p = p != nullptr ? read_field(p, e->nick, sizeof e->nick) : nullptr;
    p = p != nullptr ? read_field(p, e->channel, sizeof e->channel) : nullptr;
    if (p == nullptr || read_field(p, ssl, sizeof ssl) != nullptr || e->name[0] == '\0' || e->server[0] == '\0') {
        return false;
    }
    std::int32_t ssl_flag = 0;
    if (!read_number(port, &e->port) || !read_number(ssl, &ssl_flag)) {
        return false;
    }
    e->use_ssl = ssl_flag != 0 ? 1 : 0;
    return true;
}

bool write_all(int fd, const std::string &data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Replaces path with data: a temporary file beside it, flushed to disk,
// then renamed over it in one step.
int replace_file(const char *path, const std::string &data)
{
    char temp[256];
    std::snprintf(temp, sizeof temp, "%s.XXXXXX", path);
    const int fd = mkostemp(temp, O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    fchmod(fd, 0644);
    bool ok = write_all(fd, data) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok && g_addressbook_before_rename != nullptr) {
        g_addressbook_before_rename(temp);
    }
    if (!ok || std::rename(temp, path) != 0) {
        unlink(temp);
        return -1;
    }
    return 0;
}

void print_rule(const char *left, const char *right)
{
    std::string line = "  ";
    line += left;
    for (int i = 0; i < 60; ++i) {
        line += "\xe2\x95\x90";   // ═
    }
    line += right;
    std::puts(line.c_str());
}

} // namespace

addressbook *addressbook_create()
{
    auto *book = new (std::nothrow) addressbook();
    if (book != nullptr) {
        addressbook_load(book);
    }
    return book;
}

int addressbook_load(addressbook *book)
{
    if (book == nullptr) {
        return -1;
    }
    file_ptr f(std::fopen(ADDRESSBOOK_FILE, "r"), &std::fclose);
    if (!f) {
        return 0;
    }
    book->count = 0;
    char line[LINE_SIZE];
    while (book->count < ADDRESSBOOK_MAX && read_line(f.get(), line)) {
        if (parse_entry(line, &book->entries[book->count])) {
            ++book->count;
        }
    }
    return 0;
}

int addressbook_save(const addressbook *book)
{
    if (book == nullptr) {
        return -1;
    }
    std::string data;
    char line[LINE_SIZE];
    for (int i = 0; i < book->count && i < ADDRESSBOOK_MAX; ++i) {
        const addressbook_entry &e = book->entries[i];
        std::snprintf(line, sizeof line, "%s|%s|%d|%s|%s|%d\n", e.name, e.server, e.port, e.nick, e.channel,
                      e.use_ssl);
        data += line;
    }
    return replace_file(ADDRESSBOOK_FILE, data);
}

int addressbook_add(addressbook *book, const char *name, const char *server, int port, const char *nick,
                    const char *channel, int use_ssl)
{
    if (book == nullptr || book->count >= ADDRESSBOOK_MAX || !fits_in_file(name) || !fits_in_file(server) ||
        !fits_in_file(nick) || !fits_in_file(channel) || name[0] == '\0' || server[0] == '\0') {
        return -1;
    }
    addressbook_entry e{};
    safe_strcpy(e.name, name);
    for (int i = 0; i < book->count; ++i) {
        if (std::strcmp(book->entries[i].name, e.name) == 0) {
            return -1;
        }
    }
    safe_strcpy(e.server, server);
    e.port = port;
    safe_strcpy(e.nick, nick);
    safe_strcpy(e.channel, channel);
    e.use_ssl = use_ssl != 0 ? 1 : 0;
    const int index = book->count++;
    book->entries[index] = e;
    addressbook_save(book);
    return index;
}

int addressbook_remove(addressbook *book, int index)
{
    if (book == nullptr || index < 0 || index >= book->count) {
        return -1;
    }
    for (int i = index; i + 1 < book->count; ++i) {
        book->entries[i] = book->entries[i + 1];
    }
    --book->count;
    book->entries[book->count] = addressbook_entry{};
    addressbook_save(book);
    return 0;
}

int addressbook_get(const addressbook *book, int index, addressbook_entry *out)
{
    if (book == nullptr || out == nullptr || index < 0 || index >= book->count) {
        return -1;
    }
    *out = book->entries[index];
    return 0;
}

void addressbook_list(const addressbook *book)
{
    if (book == nullptr || book->count == 0) {
        std::fputs("  No address book entries\n", stdout);
        return;
    }
    std::fputs("\n", stdout);
    print_rule("\xe2\x95\x94", "\xe2\x95\x97");   // ╔ ╗
    std::fputs("  \xe2\x95\x91                    Address Book Entries                    \xe2\x95\x91\n", stdout);
    print_rule("\xe2\x95\xa0", "\xe2\x95\xa3");   // ╠ ╣
    for (int i = 0; i < book->count; ++i) {
        const addressbook_entry &e = book->entries[i];
        std::printf("  \xe2\x95\x91 [%2d] %-17s %s:%d\n", i, e.name, e.server, e.port);
        std::printf("  \xe2\x95\x91      Nick: %-16s Channel: %s\n", e.nick, e.channel);
        if (e.use_ssl != 0) {
            std::fputs("  \xe2\x95\x91      SSL/TLS: Yes\n", stdout);
        }
    }
    print_rule("\xe2\x95\x9a", "\xe2\x95\x9d");   // ╚ ╝
}

void addressbook_destroy(addressbook *book)
{
    if (book != nullptr) {
        addressbook_save(book);
        delete book;
    }
}
