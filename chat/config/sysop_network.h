// Layer chat/config, the chat program's lowest: saved servers, dropfiles, text helpers; includes only common/.
// What the sysop decides for door callers: the network a door session uses,
// whether callers may change it or the channel, and where callers' saved
// servers live. Set by command-line options and an optional sysop file.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>

#include "chat/config/server_config.h"

struct sysop_network {
    char server[128];
    std::int32_t port;
    std::int32_t tls;
    char channel[64];
    char password[128];
    std::int32_t lock;                   // the channel is fixed too
    std::int32_t callers_choose_server;  // callers get the whole form back
    std::int32_t saved_off;              // callers have no saved servers
    char saved_dir[PATH_MAX];            // one file per caller in here
};

// The defaults: the public network of the door session, port 6667, no TLS,
// "##chat", no password; saved servers in $HOME/.vexon_irc_callers.
void sysop_network_defaults(sysop_network *net);

// Reads the options this module owns from the command line into net: first
// the file named by --config (keys server, port, tls, channel, password,
// lock, callers-choose-server, saved-servers), then the options themselves,
// which win: --server HOST, --port N, --tls, --no-tls, --channel NAME,
// --password TEXT, --lock, --callers-choose-server, --saved-servers DIR,
// --no-saved-servers (each "--name VALUE" may also be "--name=VALUE").
// Other arguments are left alone. 0, or -1 with a reason in why.
int sysop_network_read(int argc, char **argv, sysop_network *net, char *why, std::size_t why_size);

// True when argv[i] is one of the options above; *used is how many
// arguments it takes (1 or 2).
bool sysop_network_option(int argc, char **argv, int i, int *used);

// Puts the sysop's network into a door session's settings: server, port,
// TLS, channel and password (the nick and label stay).
void sysop_network_apply(const sysop_network *net, server_entry *settings);
