// The caller's connection a board hands to a door by descriptor number.
#pragma once

// Why fd cannot be a door's connection to its caller: "is not open", "is not
// a socket", "is not a stream socket" or "is not connected"; nullptr when it
// is an open, connected stream socket. A stale number in a dropfile may name
// a file, a pipe, a listening socket or nothing at all.
const char* stream_socket_problem(int fd);
