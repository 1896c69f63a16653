// Conveniences on top of a client: bookmarks in an address book, nick
// completion from the last names reply, and the history of sent lines.
#include <cstdlib>
#include <cstring>

#include "chat/config/text_util.h"
#include "chat/ircclient/addressbook.h"
#include "chat/ircclient/client_internal.h"

namespace {

int find_bookmark(const addressbook *book, const char *name)
{
    if (book == nullptr || name == nullptr) {
        return -1;
    }
    for (int i = 0; i < book->count; ++i) {
        if (std::strcmp(book->entries[i].name, name) == 0) {
            return i;
        }
    }
    return -1;
}

} // namespace

int irc_bookmark_add(irc_client *client, addressbook *book, const char *name)
{
    if (client == nullptr || book == nullptr || name == nullptr) {
        return -1;
    }
    addressbook_entry e{};
    {
        const std::lock_guard<std::mutex> guard(client->lock);
        if (client->saved_server[0] == '\0') {
            return -1;
        }
        safe_strcpy(e.server, client->saved_server);
        e.port = client->saved_port;
        safe_strcpy(e.nick, client->saved_nick);
        safe_strcpy(e.channel, client->saved_channel);
        e.use_ssl = client->saved_tls;
    }
    return addressbook_add(book, name, e.server, e.port, e.nick, e.channel, e.use_ssl);
}

int irc_bookmark_remove(addressbook *book, const char *name)
{
    const int index = find_bookmark(book, name);
    return index < 0 ? -1 : addressbook_remove(book, index);
}

int irc_bookmark_get(addressbook *book, const char *name, addressbook_entry *out)
{
    const int index = find_bookmark(book, name);
    return index < 0 ? -1 : addressbook_get(book, index, out);
}

char *irc_tab_complete(irc_client *client, const char *prefix, int index)
{
    if (client == nullptr || prefix == nullptr || index < 0) {
        return nullptr;
    }
    const std::size_t length = std::strlen(prefix);
    const std::lock_guard<std::mutex> guard(client->lock);
    for (int i = 0; i < client->name_count; ++i) {
        const char *nick = client->names[i].nick;
        if (strncasecmp(nick, prefix, length) == 0 && index-- == 0) {
            return strdup(nick);
        }
    }
    return nullptr;
}

void irc_add_to_history(irc_client *client, const char *line)
{
    if (client == nullptr || line == nullptr || line[0] == '\0') {
        return;
    }
    const std::lock_guard<std::mutex> guard(client->lock);
    int slot = 0;
    if (client->history_count < IRC_HISTORY_LINES) {
        slot = (client->history_first + client->history_count++) % IRC_HISTORY_LINES;
    } else {
        slot = client->history_first;
        client->history_first = (client->history_first + 1) % IRC_HISTORY_LINES;
    }
    safe_strcpy(client->history[slot], line);
}

int irc_history_count(irc_client *client)
{
    if (client == nullptr) {
        return 0;
    }
    const std::lock_guard<std::mutex> guard(client->lock);
    return client->history_count;
}

int irc_history_get(irc_client *client, int index, char *out, std::size_t size)
{
    if (client == nullptr || out == nullptr) {
        return -1;
    }
    const std::lock_guard<std::mutex> guard(client->lock);
    if (index < 0 || index >= client->history_count) {
        return -1;
    }
    const int slot = (client->history_first + client->history_count - 1 - index) % IRC_HISTORY_LINES;
    safe_strcpy(out, client->history[slot], size);
    return 0;
}
