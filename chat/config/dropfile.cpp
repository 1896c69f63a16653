// Door dropfiles read into a door session.
#include "chat/config/dropfile.h"

#include <cstring>

#include "chat/config/text_util.h"

namespace {

constexpr const char *STANDARD_NAMES[] = {"DOOR32.SYS", "door32.sys", "DOOR.SYS", "door.sys"};

bool nick_char(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           std::strchr("[]\\`_^{|}-", c) != nullptr;
}

void apply_door_settings(const dropfile_info *info, server_entry *settings)
{
    *settings = server_entry{};
    safe_strcpy(settings->label, "BBS Door Session");
    safe_strcpy(settings->server, PUBLIC_IRC_HOST);
    settings->port = 6667;
    nick_from_caller_name(info->user_name, settings->nick, sizeof settings->nick);
    safe_strcpy(settings->channel, "##chat");
}

} // namespace

void nick_from_caller_name(const char *name, char *out, std::size_t size)
{
    if (out == nullptr || size == 0) {
        return;
    }
    std::size_t n = 0;
    for (const char *p = name != nullptr ? name : ""; *p != '\0' && n + 1 < size; ++p) {
        const char c = *p == ' ' ? '_' : *p;
        if (!nick_char(c)) {
            continue;
        }
        if (n == 0 && ((c >= '0' && c <= '9') || c == '-')) {
            out[n++] = '_';
            if (n + 1 >= size) {
                break;
            }
        }
        out[n++] = c;
    }
    out[n] = '\0';
    if (n == 0) {
        safe_strcpy(out, "BBSUser", size);
    }
}

int dropfile_detect(const char *explicit_path, char *out_path, std::size_t out_size)
{
    // A cut path could name another file: a path that does not fit is refused.
    if (explicit_path != nullptr && std::strlen(explicit_path) >= out_size) {
        return -1;
    }
    // A dropfile the board names is the one: should it be missing or no
    // dropfile, the caller must hear so, not reach another file or local mode.
    if (explicit_path != nullptr && explicit_path[0] != '\0') {
        safe_strcpy(out_path, explicit_path, out_size);
        return 1;
    }
    for (const char *name : STANDARD_NAMES) {
        if (file_exists(name) != 0) {
            safe_strcpy(out_path, name, out_size);
            return 1;
        }
    }
    return 0;
}

int dropfile_load(const char *path, dropfile_info *info, server_entry *settings, const char **why)
{
    caller_record caller{};
    const char *problem = dropfile_read(path, caller);
    if (why != nullptr) {
        *why = problem;
    }
    if (problem != nullptr) {
        return -1;
    }
    *info = dropfile_info{};
    info->valid = 1;
    info->caller = caller;
    safe_strcpy(info->real_name, caller.real_name);
    safe_strcpy(info->user_name, caller.name);
    const char *dot = std::strchr(caller.format, '.');
    const std::size_t kind_length = dot != nullptr ? static_cast<std::size_t>(dot - caller.format) : 0;
    std::memcpy(info->kind, caller.format, kind_length);
    info->kind[kind_length] = '\0';
    info->comm_type = caller.comm_type;
    info->comm_handle = caller.comm_handle;
    apply_door_settings(info, settings);
    return 0;
}
