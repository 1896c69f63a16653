// The session log: a private, append-only text file without secrets.
#include <cctype>
#include <cstdarg>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

#include "chat/config/text_util.h"
#include "chat/ircclient/client_internal.h"

namespace {

constexpr const char *MASK = "****";

void write_local_time(std::FILE *f, const char *format)
{
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    char text[64] = "";
    if (localtime_r(&now, &parts) != nullptr) {
        std::strftime(text, sizeof text, format, &parts);
    }
    std::fputs(text, f);
}

bool word_is(const char *word, std::size_t len, const char *name)
{
    return std::strlen(name) == len && strncasecmp(word, name, len) == 0;
}

// True when target names NickServ ("NickServ" or "NickServ@services.host").
bool is_nickserv(const char *target, std::size_t len)
{
    const char *at = static_cast<const char *>(std::memchr(target, '@', len));
    return word_is(target, at != nullptr ? static_cast<std::size_t>(at - target) : len, "NickServ");
}

// Keeps the first word of a text to services and masks the rest.
void mask_after_first_word(const char *text, char *out, std::size_t size)
{
    const std::size_t word = std::strcspn(text, " ");
    if (text[word] == '\0') {
        safe_strcpy(out, text, size);
        return;
    }
    std::snprintf(out, size, "%.*s %s", static_cast<int>(word), text, MASK);
}

} // namespace

void client_mask_text(const char *target, const char *text, char *out, std::size_t size)
{
    if (is_nickserv(target, std::strlen(target))) {
        mask_after_first_word(text, out, size);
    } else {
        safe_strcpy(out, text, size);
    }
}

void client_mask_secrets(const char *line, char *out, std::size_t size)
{
    safe_strcpy(out, line, size);
    const std::size_t cmd_len = std::strcspn(line, " ");
    const char *rest = line[cmd_len] == ' ' ? line + cmd_len + 1 : nullptr;
    if (rest == nullptr) {
        return;
    }
    if (word_is(line, cmd_len, "PASS") || word_is(line, cmd_len, "OPER") || word_is(line, cmd_len, "AUTHENTICATE")) {
        std::snprintf(out, size, "%.*s %s", static_cast<int>(cmd_len), line, MASK);
    } else if (word_is(line, cmd_len, "NICKSERV") || word_is(line, cmd_len, "NS")) {
        char masked[600];
        mask_after_first_word(rest + (rest[0] == ':' ? 1 : 0), masked, sizeof masked);
        std::snprintf(out, size, "%.*s %s", static_cast<int>(cmd_len), line, masked);
    } else if (word_is(line, cmd_len, "PRIVMSG") || word_is(line, cmd_len, "NOTICE")) {
        const std::size_t target_len = std::strcspn(rest, " ");
        const char *text = std::strstr(rest, " :");
        if (text != nullptr && is_nickserv(rest, target_len)) {
            char masked[600];
            mask_after_first_word(text + 2, masked, sizeof masked);
            std::snprintf(out, size, "%.*s :%s", static_cast<int>(text - line), line, masked);
        }
    }
}

int irc_logger_init(irc_logger *log, const char *path)
{
    if (log == nullptr || path == nullptr) {
        return -1;
    }
    const std::lock_guard<std::mutex> guard(log->lock);
    if (log->file != nullptr) {
        std::fclose(log->file);
    }
    log->file = nullptr;
    log->enabled = 0;
    safe_strcpy(log->path, path);
    // Private from the start: the log holds the conversations.
    const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) {
        return -1;
    }
    log->file = fdopen(fd, "a");
    if (log->file == nullptr) {
        close(fd);
        return -1;
    }
    log->enabled = 1;
    std::fputs("\n=== Session started ", log->file);
    write_local_time(log->file, "%Y-%m-%d %H:%M:%S");
    std::fputs(" ===\n", log->file);
    std::fflush(log->file);
    return 0;
}

void irc_logger_write(irc_logger *log, const char *format, ...)
{
    if (log == nullptr || format == nullptr) {
        return;
    }
    const std::lock_guard<std::mutex> guard(log->lock);
    if (log->enabled == 0 || log->file == nullptr) {
        return;
    }
    write_local_time(log->file, "[%H:%M:%S] ");
    va_list args;
    va_start(args, format);
    std::vfprintf(log->file, format, args);
    va_end(args);
    std::fflush(log->file);
}

void irc_logger_cleanup(irc_logger *log)
{
    if (log == nullptr) {
        return;
    }
    const std::lock_guard<std::mutex> guard(log->lock);
    if (log->file != nullptr) {
        std::fputs("=== Session ended ===\n\n", log->file);
        std::fclose(log->file);
        log->file = nullptr;
    }
    log->enabled = 0;
}
