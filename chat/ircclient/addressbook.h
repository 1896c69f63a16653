// A small address book of IRC servers for host programs, kept in the file
// ".vexon_addressbook" in the working directory, one
// "name|server|port|nick|channel|use_ssl" line per entry.
#pragma once

#include <cstdint>

inline constexpr int ADDRESSBOOK_MAX = 50;
inline constexpr const char *ADDRESSBOOK_FILE = ".vexon_addressbook";

struct addressbook_entry {
    char name[64];       // the key, unique regardless of case
    char server[128];
    std::int32_t port;
    char nick[64];
    char channel[64];
    std::int32_t use_ssl;   // 1 = TLS
};

struct addressbook {
    addressbook_entry entries[ADDRESSBOOK_MAX];
    std::int32_t count;   // 0..50
};

// A new book filled from the file, or null when memory is short.
addressbook *addressbook_create();
// Reads the file (0; -1 for a missing book). A missing file leaves the book
// as it is; otherwise the book holds the file's well-formed lines (six
// fields; only the nick and channel may be empty), at most 50.
int addressbook_load(addressbook *book);
// Rewrites the file whole, through a temporary file and a rename, so an
// interrupted save leaves the previous file as it was. 0 or -1.
int addressbook_save(const addressbook *book);
// Adds an entry and saves: its index, or -1 when the book is full, a text is
// missing or holds "|", CR or LF (the file could not keep it), the name or
// server is empty, or the name is taken exactly (a name differing only in
// case is another entry). An empty nick or channel is kept and read back.
int addressbook_add(addressbook *book, const char *name, const char *server, int port, const char *nick,
                    const char *channel, int use_ssl);
// Removes the entry at index (later ones move up) and saves. 0 or -1.
int addressbook_remove(addressbook *book, int index);
// Copies the entry at index into out. 0 or -1.
int addressbook_get(const addressbook *book, int index, addressbook_entry *out);
// Prints the entries as a boxed list on standard output.
void addressbook_list(const addressbook *book);
// Saves and frees the book.
void addressbook_destroy(addressbook *book);

// Called with the temporary file's path after it was written and flushed,
// just before it replaces the book's file; tests stop a save there.
extern void (*g_addressbook_before_rename)(const char *temp_path);
