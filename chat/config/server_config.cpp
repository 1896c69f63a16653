// The saved servers file: one "label|server|port|nick|channel|tls|password"
// line per entry in the home directory.
#include "chat/config/server_config.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include "chat/config/text_util.h"

namespace {

using file_ptr = std::unique_ptr<std::FILE, int (*)(std::FILE *)>;

constexpr std::size_t CONFIG_MAX_BYTES = 256 * 1024;
constexpr int MIN_FIELDS = 6;
constexpr int MAX_FIELDS = 7;

// Splits text in place at runs of '|', ignoring empty fields the way strtok
// does. Returns the number of fields found (at most MAX_FIELDS).
int split_fields(char *text, char *fields[MAX_FIELDS])
{
    int n = 0;
    char *save = nullptr;
    for (char *tok = strtok_r(text, "|", &save); tok != nullptr && n < MAX_FIELDS;
         tok = strtok_r(nullptr, "|", &save)) {
        fields[n++] = tok;
    }
    return n;
}

int leading_number(const char *text)
{
    const long value = std::strtol(text, nullptr, 10);
    return value > 0x7fffffffL || value < -0x7fffffffL ? 0 : static_cast<int>(value);
}

// Parses one trimmed, non-empty line; false when it has fewer than six fields.
bool parse_entry(char *line, server_entry *out)
{
    char *f[MAX_FIELDS] = {};
    const int n = split_fields(line, f);
    if (n < MIN_FIELDS) {
        return false;
    }
    *out = server_entry{};
    safe_strcpy(out->label, f[0]);
    safe_strcpy(out->server, f[1]);
    out->port = leading_number(f[2]);
    safe_strcpy(out->nick, f[3]);
    safe_strcpy(out->channel, f[4]);
    out->tls = leading_number(f[5]) != 0 ? 1 : 0;
    safe_strcpy(out->password, n == MAX_FIELDS ? f[6] : "");
    return true;
}

server_entry make_entry(const char *label, const char *server, int port, const char *channel, int tls)
{
    server_entry e{};
    safe_strcpy(e.label, label);
    safe_strcpy(e.server, server);
    e.port = port;
    safe_strcpy(e.nick, "Tarnwick");
    safe_strcpy(e.channel, channel);
    e.tls = tls;
    return e;
}

bool write_entries(std::FILE *f, const server_config *store)
{
    for (int i = 0; i < store->count; ++i) {
        const server_entry &e = store->entries[i];
        if (std::fprintf(f, "%s|%s|%d|%s|%s|%d|%s\n", e.label, e.server, e.port, e.nick, e.channel, e.tls,
                         e.password) < 0) {
            return false;
        }
    }
    return true;
}

} // namespace

int config_init(server_config *store)
{
    *store = server_config{};
    const char *home = std::getenv("HOME");
    const int n = std::snprintf(store->path, sizeof store->path, "%s/%s", home != nullptr ? home : ".", CONFIG_FILE_NAME);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof store->path) {
        store->path[0] = '\0';
        return -1;
    }
    return 0;
}

void config_load(server_config *store)
{
    store->count = 0;
    std::string bytes;
    if (read_regular_file(store->path, CONFIG_MAX_BYTES, &bytes) != 0) {
        const bool absent = errno == ENOENT;
        config_default(store);
        if (absent) {
            config_save(store);
        }
        return;
    }
    std::string_view text = bytes;
    char line[512];
    while (take_line(&text, line, sizeof line)) {
        trim(line);
        server_entry e{};
        if (line[0] != '\0' && parse_entry(line, &e)) {
            config_add_or_update(store, &e);
        }
    }
    if (store->count == 0) {
        config_default(store);
    }
}

int config_save(const server_config *store)
{
    // Passwords live in this file: it is private to the user, and written
    // whole beside the old one so an interrupted save never loses it.
    if (store->path[0] == '\0') {
        return -1;
    }
    const int existing = open_regular_file(store->path);
    if (existing < 0 && errno != ENOENT) {
        return -1;
    }
    if (existing >= 0) {
        close(existing);
    }
    char temp[sizeof store->path + 8];
    std::snprintf(temp, sizeof temp, "%s.XXXXXX", store->path);
    const int fd = mkstemp(temp);
    if (fd < 0) {
        return -1;
    }
    fchmod(fd, 0600);
    file_ptr f(fdopen(fd, "w"), &std::fclose);
    if (!f) {
        close(fd);
        unlink(temp);
        return -1;
    }
    bool ok = write_entries(f.get(), store) && std::fflush(f.get()) == 0 && fsync(fd) == 0;
    ok = std::fclose(f.release()) == 0 && ok;
    if (!ok || std::rename(temp, store->path) != 0) {
        unlink(temp);
        return -1;
    }
    return 0;
}

void config_add_or_update(server_config *store, const server_entry *entry)
{
    if (store == nullptr || entry == nullptr || entry->label[0] == '\0') {
        return;
    }
    for (int i = 0; i < store->count; ++i) {
        if (equals_ignore_case(store->entries[i].label, entry->label)) {
            store->entries[i] = *entry;
            return;
        }
    }
    if (store->count < CONFIG_MAX_ENTRIES) {
        store->entries[store->count++] = *entry;
    }
}

void config_default(server_config *store)
{
    store->count = 0;
    const server_entry defaults[] = {
        make_entry("Bottomless MRC", MRC_HUB_HOST, 7000, "#lobby", 1),
        make_entry("Libera", PUBLIC_IRC_HOST, 6667, "##chat", 0),
    };
    for (const server_entry &e : defaults) {
        config_add_or_update(store, &e);
    }
}

void config_delete(server_config *store, int index)
{
    if (store == nullptr || index < 0 || index >= store->count) {
        return;
    }
    for (int i = index; i + 1 < store->count; ++i) {
        store->entries[i] = store->entries[i + 1];
    }
    --store->count;
    store->entries[store->count] = server_entry{};
}
