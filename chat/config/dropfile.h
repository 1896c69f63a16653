// Door dropfiles a BBS leaves for the caller: DOOR32.SYS and DOOR.SYS. Reading
// one turns the working connection settings into a door session.
#pragma once

#include <cstddef>
#include <cstdint>

#include "chat/config/server_config.h"

struct dropfile_info {
    std::int32_t valid;        // 1 after a successful load
    char real_name[64];
    char user_name[64];        // the caller's name as the BBS gives it
    char kind[32];             // "DOOR32" or "DOOR"
    std::int32_t comm_type;    // DOOR32.SYS line 1; 0 for DOOR.SYS
    std::int32_t comm_handle;  // DOOR32.SYS line 2 (the socket); -1 when none or not a number
};

// Finds a dropfile: explicit_path when it is a regular file that opens, else
// the first of DOOR32.SYS, door32.sys, DOOR.SYS, door.sys in the working
// directory that is. Returns 1 with the path in out_path, or 0; -1 when
// explicit_path does not fit in out_size bytes (it is never cut).
int dropfile_detect(const char *explicit_path, char *out_path, std::size_t out_size);

// Reads path as DOOR32.SYS when its file name is that (any case), otherwise as
// DOOR.SYS. Returns 0 when read; -1 leaves info and settings unchanged.
int dropfile_load(const char *path, dropfile_info *info, server_entry *settings);
int load_door32(const char *path, dropfile_info *info, server_entry *settings);
int load_door(const char *path, dropfile_info *info, server_entry *settings);

// Derives a nick a server accepts from a caller's name: spaces become "_",
// characters not allowed in nicks are dropped, a leading digit or "-" gets a
// "_" in front, and an empty result becomes "BBSUser". out is always filled.
void nick_from_caller_name(const char *name, char *out, std::size_t size);
