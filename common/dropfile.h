// The caller a board hands to a door, read from any of the common dropfiles:
// DOOR32.SYS, DOOR.SYS, DORINFOn.DEF and CHAIN.TXT, chosen by the file's name.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t CALLER_NAME_SIZE = 64;

// What a door knows of its caller. Names are trimmed, cut to 63 bytes and
// carry no control bytes (each became "?").
struct caller_record {
    char handle[CALLER_NAME_SIZE];     // the caller's alias; empty when the format or board gives none
    char real_name[CALLER_NAME_SIZE];  // the name the caller registered with
    char name[CALLER_NAME_SIZE];       // what a door calls the caller: the handle, else the real name
    char format[16];                   // "DOOR32.SYS", "DOOR.SYS", "DORINFO.DEF" or "CHAIN.TXT"
    std::int32_t node;                 // 0 when the file does not say
    std::int32_t minutes_left;         // 0 when the file does not say (no limit)
    std::int32_t comm_type;            // DOOR32.SYS line 1 (2 = telnet socket); 0 for standard streams
    std::int32_t comm_handle;          // DOOR32.SYS line 2; -1 when none or not a descriptor number
};

// More than any real dropfile holds; a longer file is read this far only.
inline constexpr std::size_t DROPFILE_MAX_BYTES = 65536;

// Reads the dropfile at path into out. Returns nullptr when read, else why
// not, as a text to show the sysop ("is not a dropfile name this door
// knows", "cannot be read", "has too few lines for DOOR.SYS", "names no
// caller"); out is then left unchanged. Only a regular file is read, without
// waiting, so a FIFO or a device named by mistake cannot hang the start.
const char* dropfile_read(const char* path, caller_record& out);

// The same from the file's bytes, with its name choosing the format.
const char* dropfile_parse(const char* file_name, const char* bytes, std::size_t size, caller_record& out);
