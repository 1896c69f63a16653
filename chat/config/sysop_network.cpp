// Layer chat/config, the chat program's lowest: saved servers, dropfiles, text helpers; includes only common/.
// The sysop's door network: options, the sysop file and their defaults.
#include "chat/config/sysop_network.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "chat/config/text_util.h"

namespace {

constexpr std::size_t SYSOP_FILE_MAX_BYTES = 64 * 1024;
constexpr const char *CALLERS_DIR_NAME = ".vexon_irc_callers";

using setter = bool (*)(sysop_network *, const char *value, char *why, std::size_t why_size);

bool parse_flag(const char *value, std::int32_t *out)
{
    for (const char *yes : {"yes", "on", "true", "1"}) {
        if (equals_ignore_case(value, yes)) {
            *out = 1;
            return true;
        }
    }
    for (const char *no : {"no", "off", "false", "0"}) {
        if (equals_ignore_case(value, no)) {
            *out = 0;
            return true;
        }
    }
    return false;
}

// Copies a text value that must fit whole: a cut host or password would
// quietly be another one.
template <std::size_t N>
bool set_text(char (&field)[N], const char *value, const char *what, char *why, std::size_t why_size)
{
    if (value[0] == '\0' || std::strlen(value) >= N) {
        std::snprintf(why, why_size, "%s must be 1 to %zu characters", what, N - 1);
        return false;
    }
    safe_strcpy(field, value);
    return true;
}

bool set_server(sysop_network *n, const char *v, char *why, std::size_t size)
{
    return set_text(n->server, v, "server", why, size);
}

bool set_channel(sysop_network *n, const char *v, char *why, std::size_t size)
{
    return set_text(n->channel, v, "channel", why, size);
}

bool set_password(sysop_network *n, const char *v, char *why, std::size_t size)
{
    if (v[0] == '\0') {
        n->password[0] = '\0';
        return true;
    }
    return set_text(n->password, v, "password", why, size);
}

bool set_port(sysop_network *n, const char *v, char *why, std::size_t size)
{
    char *end = nullptr;
    errno = 0;
    const long port = std::strtol(v, &end, 10);
    if (errno != 0 || end == v || *end != '\0' || port < 1 || port > 65535) {
        std::snprintf(why, size, "port must be a number from 1 to 65535, not \"%s\"", v);
        return false;
    }
    n->port = static_cast<std::int32_t>(port);
    return true;
}

template <std::int32_t sysop_network::*Field>
bool set_flag(sysop_network *n, const char *v, char *why, std::size_t size)
{
    if (!parse_flag(v, &(n->*Field))) {
        std::snprintf(why, size, "\"%s\" is neither yes nor no", v);
        return false;
    }
    return true;
}

bool set_saved_servers(sysop_network *n, const char *v, char *why, std::size_t size)
{
    if (equals_ignore_case(v, "off")) {
        n->saved_off = 1;
        return true;
    }
    n->saved_off = 0;
    return set_text(n->saved_dir, v, "saved-servers", why, size);
}

template <std::int32_t sysop_network::*Field, std::int32_t Value>
bool set_to(sysop_network *n, const char *, char *, std::size_t)
{
    n->*Field = Value;
    return true;
}

struct option_row {
    const char *name;   // the option without "--", and the key in the sysop file
    bool takes_value;
    setter set;
};

// Keys of the sysop file, which are also options taking a value.
constexpr option_row FILE_KEYS[] = {
    {"server", true, set_server},
    {"port", true, set_port},
    {"tls", true, set_flag<&sysop_network::tls>},
    {"channel", true, set_channel},
    {"password", true, set_password},
    {"lock", true, set_flag<&sysop_network::lock>},
    {"callers-choose-server", true, set_flag<&sysop_network::callers_choose_server>},
    {"saved-servers", true, set_saved_servers},
};

// Options of the command line.
constexpr option_row OPTIONS[] = {
    {"server", true, set_server},
    {"port", true, set_port},
    {"tls", false, set_to<&sysop_network::tls, 1>},
    {"no-tls", false, set_to<&sysop_network::tls, 0>},
    {"channel", true, set_channel},
    {"password", true, set_password},
    {"lock", false, set_to<&sysop_network::lock, 1>},
    {"callers-choose-server", false, set_to<&sysop_network::callers_choose_server, 1>},
    {"saved-servers", true, set_saved_servers},
    {"no-saved-servers", false, set_to<&sysop_network::saved_off, 1>},
    {"config", true, nullptr},   // read before the others
};

// The row argv[i] names, with its value and how many arguments it takes.
const option_row *match_option(int argc, char **argv, int i, const char **value, int *used)
{
    const char *arg = argv[i];
    if (std::strncmp(arg, "--", 2) != 0) {
        return nullptr;
    }
    const std::string_view body{arg + 2};
    for (const option_row &row : OPTIONS) {
        const std::string_view name{row.name};
        if (body == name) {
            if (!row.takes_value) {
                *value = "";
                *used = 1;
                return &row;
            }
            *value = i + 1 < argc ? argv[i + 1] : nullptr;
            *used = 2;
            return &row;
        }
        if (row.takes_value && body.size() > name.size() && body.substr(0, name.size()) == name &&
            body[name.size()] == '=') {
            *value = arg + 2 + name.size() + 1;
            *used = 1;
            return &row;
        }
    }
    return nullptr;
}

// "key = value" lines; "#" starts a comment line.
int read_sysop_file(const char *path, sysop_network *net, char *why, std::size_t why_size)
{
    std::string bytes;
    if (read_regular_file(path, SYSOP_FILE_MAX_BYTES, &bytes) != 0) {
        std::snprintf(why, why_size, "Cannot read %s: %s", path, std::strerror(errno));
        return -1;
    }
    std::string_view text = bytes;
    char line[1024];
    for (int number = 1; take_line(&text, line, sizeof line); ++number) {
        trim(line);
        if (line[0] == '\0' || line[0] == '#') {
            continue;
        }
        char *equals = std::strchr(line, '=');
        if (equals == nullptr) {
            std::snprintf(why, why_size, "%s:%d: expected key = value", path, number);
            return -1;
        }
        *equals = '\0';
        char *value = equals + 1;
        trim(line);
        trim(value);
        const option_row *row = nullptr;
        for (const option_row &key : FILE_KEYS) {
            if (equals_ignore_case(line, key.name)) {
                row = &key;
            }
        }
        char reason[192] = "";
        if (row == nullptr) {
            std::snprintf(why, why_size, "%s:%d: unknown key \"%s\"", path, number, line);
            return -1;
        }
        if (!row->set(net, value, reason, sizeof reason)) {
            std::snprintf(why, why_size, "%s:%d: %s", path, number, reason);
            return -1;
        }
    }
    return 0;
}

} // namespace

void sysop_network_defaults(sysop_network *net)
{
    *net = sysop_network{};
    safe_strcpy(net->server, PUBLIC_IRC_HOST);
    net->port = 6667;
    safe_strcpy(net->channel, "##chat");
    const char *home = std::getenv("HOME");
    std::snprintf(net->saved_dir, sizeof net->saved_dir, "%s/%s", home != nullptr ? home : ".", CALLERS_DIR_NAME);
}

bool sysop_network_option(int argc, char **argv, int i, int *used)
{
    const char *value = nullptr;
    return match_option(argc, argv, i, &value, used) != nullptr;
}

int sysop_network_read(int argc, char **argv, sysop_network *net, char *why, std::size_t why_size)
{
    // The file first, wherever --config stands, so options always win.
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 1; i < argc;) {
            const char *value = nullptr;
            int used = 1;
            const option_row *row = match_option(argc, argv, i, &value, &used);
            if (row == nullptr) {
                ++i;
                continue;
            }
            if (value == nullptr) {
                std::snprintf(why, why_size, "--%s needs a value", row->name);
                return -1;
            }
            const bool is_config = row->set == nullptr;
            if (pass == 0 && is_config && read_sysop_file(value, net, why, why_size) != 0) {
                return -1;
            }
            char reason[192] = "";
            if (pass == 1 && !is_config && !row->set(net, value, reason, sizeof reason)) {
                std::snprintf(why, why_size, "--%s: %s", row->name, reason);
                return -1;
            }
            i += used;
        }
    }
    return 0;
}

void sysop_network_apply(const sysop_network *net, server_entry *settings)
{
    safe_strcpy(settings->server, net->server);
    settings->port = net->port;
    settings->tls = net->tls;
    safe_strcpy(settings->channel, net->channel);
    safe_strcpy(settings->password, net->password);
}
