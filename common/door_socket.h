// The caller's connection a board hands to a door by descriptor number.
#pragma once

// True when fd is an open, connected stream socket: what a DOOR32.SYS of
// connection type 2 must name before a door talks on it (a stale number may
// name a file, a pipe or nothing at all).
bool is_connected_stream_socket(int fd);
