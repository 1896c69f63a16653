// The caller's connection a board hands to a door by descriptor number.
#pragma once

// Why fd cannot be a door's connection to its caller: "is not open", "is not
// a socket", "is not a stream socket" or "is not connected"; nullptr when it
// is an open, connected stream socket. A stale number in a dropfile may name
// a file, a pipe, a listening socket or nothing at all.
const char* stream_socket_problem(int fd);

// Turns on TCP keepalive with short intervals, so a caller whose line died
// without a word (a dropped modem bridge, a NAT that forgot the connection)
// is noticed within about two door minutes (door_minute_ms): the first probe
// after a minute of silence, then six more a sixth of a minute apart, and
// data unacknowledged for two minutes ends the connection too. False when fd
// is no TCP socket (a socket pair, a pipe), which needs none.
bool enable_keepalive(int fd);
