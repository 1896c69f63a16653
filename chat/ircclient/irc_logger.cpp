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

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

// One word of a line: where it starts and how long it is.
struct word {
    const char *start;
    std::size_t len;
};

// The next word at or after p (skipping any run of white space).
word next_word(const char *p)
{
    while (is_space(*p)) {
        ++p;
    }
    std::size_t len = 0;
    while (p[len] != '\0' && !is_space(p[len])) {
        ++len;
    }
    return {p, len};
}

// A services name ("NickServ", "chanserv@services.example"): ends in "Serv".
bool is_service(const char *name, std::size_t len)
{
    const char *at = static_cast<const char *>(std::memchr(name, '@', len));
    const std::size_t nick = at != nullptr ? static_cast<std::size_t>(at - name) : len;
    return nick >= 4 && strncasecmp(name + nick - 4, "serv", 4) == 0;
}

// Password commands go to services under many names ("Q@CServe...",
// "X@channels..."), but never to a channel.
bool is_channel(const char *name)
{
    return name[0] == '#' || name[0] == '&' || name[0] == '+' || name[0] == '!';
}

// A comma-separated target list naming at least one service.
bool names_a_service(word targets)
{
    const char *p = targets.start;
    const char *end = targets.start + targets.len;
    while (p < end) {
        const char *comma = static_cast<const char *>(std::memchr(p, ',', static_cast<std::size_t>(end - p)));
        const char *stop = comma != nullptr ? comma : end;
        if (is_service(p, static_cast<std::size_t>(stop - p))) {
            return true;
        }
        p = stop + 1;
    }
    return false;
}

// The services' commands that carry a password somewhere after their name.
bool is_secret_command(word w)
{
    static constexpr const char *SECRET[] = {"IDENTIFY", "ID",    "REGISTER", "GHOST",     "RECOVER",  "RELEASE",
                                             "REGAIN",   "LOGIN", "AUTH",     "RESETPASS", "SETPASS", "SENDPASS"};
    for (const char *name : SECRET) {
        if (word_is(w.start, w.len, name)) {
            return true;
        }
    }
    return false;
}

// The short forms of the services that servers offer as commands.
bool is_service_command(word w)
{
    static constexpr const char *ALIASES[] = {"NICKSERV", "NS", "CHANSERV", "CS", "OPERSERV", "OS", "HOSTSERV",
                                              "HS",       "MEMOSERV", "MS", "BOTSERV", "BS", "IDENTIFY", "LOGIN"};
    for (const char *name : ALIASES) {
        if (word_is(w.start, w.len, name)) {
            return true;
        }
    }
    return false;
}

// Writes head (the bytes before text) and text, keeping only text's first
// word when masked.
void write_masked(const char *head, std::size_t head_len, const char *text, bool masked, char *out, std::size_t size)
{
    const word first = next_word(text);
    const char *after = first.start + first.len;
    if (!masked || next_word(after).len == 0) {
        std::snprintf(out, size, "%.*s%s", static_cast<int>(head_len), head, text);
        return;
    }
    std::snprintf(out, size, "%.*s%.*s %s", static_cast<int>(head_len), head,
                  static_cast<int>(after - text), text, MASK);
}

} // namespace

void client_mask_text(const char *target, const char *text, char *out, std::size_t size)
{
    const word targets{target, std::strlen(target)};
    write_masked("", 0, text, names_a_service(targets) || (!is_channel(target) && is_secret_command(next_word(text))),
                 out, size);
}

// Reads the line as a server would: any white space between words, an
// optional source prefix, then the command and its parameters.
void client_mask_secrets(const char *line, char *out, std::size_t size)
{
    safe_strcpy(out, line, size);
    word command = next_word(line);
    if (command.len > 0 && command.start[0] == ':') {
        command = next_word(command.start + command.len);
    }
    const char *rest = command.start + command.len;
    if (command.len == 0 || next_word(rest).len == 0) {
        return;
    }
    if (word_is(command.start, command.len, "PASS") || word_is(command.start, command.len, "OPER") ||
        word_is(command.start, command.len, "AUTHENTICATE")) {
        std::snprintf(out, size, "%.*s %s", static_cast<int>(rest - line), line, MASK);
    } else if (is_service_command(command)) {
        // "NS IDENTIFY pw", "CS IDENTIFY #chan pw", "IDENTIFY pw": the
        // first word stays, the rest is secret.
        const word first = next_word(rest);
        const char *text = first.start[0] == ':' ? first.start + 1 : first.start;
        if (word_is(command.start, command.len, "IDENTIFY") || word_is(command.start, command.len, "LOGIN")) {
            std::snprintf(out, size, "%.*s%s", static_cast<int>(first.start - line), line, MASK);
        } else {
            write_masked(line, static_cast<std::size_t>(text - line), text, true, out, size);
        }
    } else if (word_is(command.start, command.len, "PRIVMSG") || word_is(command.start, command.len, "NOTICE") ||
               word_is(command.start, command.len, "SQUERY")) {
        const word targets = next_word(rest);
        const char *after_targets = targets.start + targets.len;
        const word first = next_word(after_targets);
        if (first.len == 0) {
            return;
        }
        // The text is the trailing parameter, or else the next word (the
        // server ignores what follows it; masked all the same).
        const char *text = first.start[0] == ':' ? first.start + 1 : first.start;
        const bool secret = word_is(command.start, command.len, "SQUERY") || names_a_service(targets) ||
                            (!is_channel(targets.start) && is_secret_command(next_word(text)));
        write_masked(line, static_cast<std::size_t>(text - line), text, secret, out, size);
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
