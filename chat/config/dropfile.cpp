// Door dropfiles: DOOR32.SYS and DOOR.SYS, read into a door session.
#include "chat/config/dropfile.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "chat/config/text_util.h"

namespace {

constexpr int DOOR32_MAX_LINES = 16;
constexpr int DOOR32_MIN_LINES = 5;
constexpr int DOOR_MAX_LINES = 64;
constexpr int DOOR_MIN_LINES = 10;
constexpr int DOOR_FULL_NAME_LINE = 10;
constexpr int DOOR_HANDLE_LINE = 36;   // the alias in the common 52-line layout
// More than any real dropfile holds; a longer file is read this far only.
constexpr std::size_t DROPFILE_MAX_BYTES = 65536;

constexpr const char *STANDARD_NAMES[] = {"DOOR32.SYS", "door32.sys", "DOOR.SYS", "door.sys"};

// A descriptor number as a board writes it; -1 for anything else ("-1"
// from a board that bridges standard streams, text, a number out of range).
std::int32_t descriptor_number(const char *text)
{
    char *end = nullptr;
    const long value = std::strtol(text, &end, 10);
    const bool number = end != text && *end == '\0';
    return number && value >= 0 && value <= 65535 ? static_cast<std::int32_t>(value) : -1;
}

struct dropfile_lines {
    char line[DOOR_MAX_LINES][256];
    int count;
};

// Reads one line into buf, cut to fit; the rest of a longer line is skipped,
// so the lines after it keep their numbers. False at the end of the file.
bool read_line(std::string_view *text, char *buf, std::size_t size)
{
    if (!take_line(text, buf, size)) {
        return false;
    }
    if (std::strchr(buf, '\n') == nullptr) {
        const std::size_t lf = text->find('\n');
        text->remove_prefix(lf == std::string_view::npos ? text->size() : lf + 1);
    }
    return true;
}

// Reads at most max lines, each trimmed and cut to 255 bytes. False when the
// file is no regular file, does not open or has fewer than min.
bool read_lines(const char *path, int max, int min, dropfile_lines *out)
{
    std::string bytes;
    if (read_regular_file(path, DROPFILE_MAX_BYTES, &bytes) != 0) {
        return false;
    }
    std::string_view text = bytes;
    out->count = 0;
    while (out->count < max && read_line(&text, out->line[out->count], sizeof out->line[0])) {
        trim(out->line[out->count]);
        ++out->count;
    }
    return out->count >= min;
}

void start_info(dropfile_info *info, const char *kind)
{
    *info = dropfile_info{};
    info->valid = 1;
    safe_strcpy(info->kind, kind);
}

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
    if (explicit_path != nullptr && explicit_path[0] != '\0' && file_exists(explicit_path) != 0) {
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

int dropfile_load(const char *path, dropfile_info *info, server_entry *settings)
{
    if (path == nullptr) {
        return -1;
    }
    const char *slash = std::strrchr(path, '/');
    const char *name = slash != nullptr ? slash + 1 : path;
    return equals_ignore_case(name, "DOOR32.SYS") ? load_door32(path, info, settings) : load_door(path, info, settings);
}

int load_door32(const char *path, dropfile_info *info, server_entry *settings)
{
    dropfile_lines lines;
    if (!read_lines(path, DOOR32_MAX_LINES, DOOR32_MIN_LINES, &lines)) {
        return -1;
    }
    start_info(info, "DOOR32");
    info->comm_type = static_cast<std::int32_t>(std::strtol(lines.line[0], nullptr, 10));
    info->comm_handle = descriptor_number(lines.line[1]);
    safe_strcpy(info->user_name, lines.count == DOOR32_MIN_LINES ? "BBSUser" : lines.line[5]);
    safe_strcpy(info->real_name, info->user_name);
    apply_door_settings(info, settings);
    return 0;
}

int load_door(const char *path, dropfile_info *info, server_entry *settings)
{
    dropfile_lines lines;
    if (!read_lines(path, DOOR_MAX_LINES, DOOR_MIN_LINES, &lines)) {
        return -1;
    }
    start_info(info, "DOOR");
    const char *full_name = lines.line[DOOR_FULL_NAME_LINE - 1];
    const char *handle = lines.line[DOOR_HANDLE_LINE - 1];
    const bool has_handle = lines.count >= DOOR_HANDLE_LINE && handle[0] != '\0';
    safe_strcpy(info->real_name, full_name);
    safe_strcpy(info->user_name, has_handle ? handle : full_name);
    apply_door_settings(info, settings);
    return 0;
}
