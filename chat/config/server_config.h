// Layer chat/config, the chat program's lowest: saved servers, dropfiles, text helpers; includes only common/.
// The saved servers of the startup manager and their file in the home
// directory: one "label|server|port|nick|channel|tls|password" line each.
#pragma once

#include <climits>
#include <cstdint>

inline constexpr int CONFIG_MAX_ENTRIES = 64;
inline constexpr const char *CONFIG_FILE_NAME = ".vexon_irc_bookmarks";

// The public network a door session and the second default entry use.
inline constexpr const char *PUBLIC_IRC_HOST = "irc.libera.chat";
// The chat hub of the first default entry.
inline constexpr const char *MRC_HUB_HOST = "mrc.bottomlessabyss.net";

struct server_entry {
    char label[64];
    char server[128];
    std::int32_t port;
    char nick[64];
    char channel[64];
    std::int32_t tls;      // 1 = connect over TLS
    char password[128];    // SASL PLAIN password; empty = no SASL
};

struct server_config {
    server_entry entries[CONFIG_MAX_ENTRIES];
    std::int32_t count;
    char path[PATH_MAX];
};

// Clears the store and sets the path: $HOME/.vexon_irc_bookmarks ("." without
// HOME). Returns -1, with an empty path, when that path is too long for the
// system; it is never cut.
int config_init(server_config *store);

// Reads the file (its first 256 KiB; only a regular file is read, so a FIFO
// or a device there never blocks the start). A missing file gets the
// defaults, written at once; a file that exists but cannot be read, or one
// without a valid line, gets the defaults in memory only.
void config_load(server_config *store);

// Rewrites the file (mode 0600, through a temporary file and a rename).
// Returns 0 when written, -1 when not; the store is unchanged either way. A
// file in the way that cannot be read (another account's, or no regular
// file) is never replaced.
int config_save(const server_config *store);

// Replaces the entry whose label matches (ignoring ASCII case) in its place,
// or appends while fewer than 64 are stored. Empty labels are ignored.
void config_add_or_update(server_config *store, const server_entry *entry);

// Replaces the store's entries with the two defaults.
void config_default(server_config *store);

// Removes entry index and moves the following ones up; bad indexes are ignored.
void config_delete(server_config *store, int index);
