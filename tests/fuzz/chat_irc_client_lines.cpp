// What an IRC server sends to the client library, fed through its listening
// thread (line cutting and handling) over a socket: every reply the library
// sends is one well-formed protocol line, the names handed to the host stay
// within their bounds, and the parser's pieces lie within the line.
#include "chat/ircclient/client_internal.h"
#include "chat/ircclient/irc_message.h"
#include "tests/fuzz/fuzz_support.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace {

void on_message(irc_client*, const char* target, const char* sender, const char* text)
{
    FUZZ_CHECK(target != nullptr && sender != nullptr && text != nullptr);
}

void on_names(irc_client*, const char* channel, const irc_name_entry* entries, int count)
{
    FUZZ_CHECK(channel != nullptr);
    FUZZ_CHECK(count >= 0 && count <= IRC_MAX_NAMES);
    for (int i = 0; i < count; ++i) {
        FUZZ_CHECK(fuzz::terminated(entries[i].nick) && entries[i].nick[0] != '\0');
        FUZZ_CHECK(std::strchr("@+%~& ", entries[i].mode) != nullptr);
    }
}

void on_text(irc_client*, const char* text)
{
    FUZZ_CHECK(text != nullptr);
}

void on_ctcp(irc_client*, const char* nick, const char* command, const char* text)
{
    FUZZ_CHECK(nick != nullptr && command != nullptr && text != nullptr);
}

// Lines the library sent: CR LF lines of at most 510 bytes without NUL, CR
// or LF inside.
void check_sent(std::string_view sent)
{
    while (!sent.empty()) {
        const std::size_t end = sent.find("\r\n");
        FUZZ_CHECK(end != std::string_view::npos);
        const std::string_view line = sent.substr(0, end);
        FUZZ_CHECK(line.size() <= IRC_LINE_MAX);
        FUZZ_CHECK(line.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos);
        sent.remove_prefix(end + 2);
    }
}

// Each line on its own through the parser.
void check_parser(std::string_view stream)
{
    static irc_message m;
    while (!stream.empty()) {
        const std::size_t end = std::min(stream.find('\n'), stream.size());
        std::string line(stream.substr(0, end));
        stream.remove_prefix(std::min(end + 1, stream.size()));
        if (line.find('\0') != std::string::npos)
            continue;
        if (!irc_parse_message(line.c_str(), &m))
            continue;
        FUZZ_CHECK(m.param_count >= 0 && m.param_count <= IRC_MAX_PARAMS);
        FUZZ_CHECK(m.command != nullptr && m.command[0] != '\0');
        FUZZ_CHECK(fuzz::terminated(m.nick));
        const char* lo = m.buffer;
        const char* hi = m.buffer + sizeof m.buffer;
        for (int i = 0; i < m.param_count; ++i)
            FUZZ_CHECK(m.params[i] >= lo && m.params[i] < hi);
        FUZZ_CHECK(m.command >= lo && m.command < hi);
        FUZZ_CHECK(irc_param(m, IRC_MAX_PARAMS + 3) != nullptr && irc_trailing(m) != nullptr);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 65536)
        return 0;
    const std::string_view stream(reinterpret_cast<const char*>(data), size);
    check_parser(stream);

    irc_client* client = irc_client_create();
    FUZZ_CHECK(client != nullptr);
    irc_client_enable_reconnect(client, 0);
    irc_set_message_callback(client, on_message);
    irc_set_names_callback(client, on_names);
    irc_set_status_callback(client, on_text);
    irc_set_ctcp_callback(client, on_ctcp);

    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, sv) != 0) {
        irc_client_destroy(client);
        return 0;
    }
    int buffer = 1 << 20;
    for (int fd : sv) {
        setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    }
    {
        // Connected and registering, as after irc_client_connect; no other
        // thread runs.
        const std::lock_guard<std::mutex> guard(client->lock);
        std::snprintf(client->nick, sizeof client->nick, "fuzzer");
        std::snprintf(client->channel, sizeof client->channel, "#fuzz");
        std::snprintf(client->server, sizeof client->server, "irc.example.net");
        client->port = 6667;
        client->connected = 1;
        client->running = 1;
        client->socket = sv[0];
    }
    for (std::size_t done = 0; done < stream.size();) {
        const ssize_t n = send(sv[1], stream.data() + done, stream.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    shutdown(sv[1], SHUT_WR);
    client_listen_thread(client, sv[0], nullptr);

    std::string sent;
    char buf[65536];
    for (ssize_t n; (n = recv(sv[1], buf, sizeof buf, MSG_DONTWAIT)) > 0;)
        sent.append(buf, static_cast<std::size_t>(n));
    check_sent(sent);
    {
        const std::lock_guard<std::mutex> guard(client->lock);
        FUZZ_CHECK(fuzz::terminated(client->nick) && client->nick[0] != '\0');
        FUZZ_CHECK(fuzz::terminated(client->channel));
        FUZZ_CHECK(client->name_count >= 0 && client->name_count <= IRC_MAX_NAMES);
        client->socket = -1;  // closed below, not by the library
        client->connected = 0;
    }
    close(sv[0]);
    close(sv[1]);
    irc_client_destroy(client);
    return 0;
}
