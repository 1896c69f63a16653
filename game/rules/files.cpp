#include "game/rules/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

// Modes leave group and other access to the umask, so a sysop whose nodes
// run as several accounts of one group can share data/ (umask 007).
void ensure_data_dir()
{
    mkdir("data", 0777);
}

bool write_file_atomic(const char* path, const void* data, std::size_t len)
{
    // The temporary name starts with a dot next to the target, so no scan of
    // the directory mistakes it for a real file.
    char tmp[512];
    const char* slash = std::strrchr(path, '/');
    int dir_len = slash ? static_cast<int>(slash - path + 1) : 0;
    int n = std::snprintf(tmp, sizeof tmp, "%.*s.%s.tmp%ld", dir_len, path, slash ? slash + 1 : path,
                          static_cast<long>(getpid()));
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof tmp)
        return false;

    int fd = open(tmp, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    const auto* p = static_cast<const unsigned char*>(data);
    std::size_t left = len;
    bool ok = true;
    while (left > 0) {
        ssize_t w = write(fd, p, left);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            ok = false;
            break;
        }
        p += w;
        left -= static_cast<std::size_t>(w);
    }
    if (ok && fsync(fd) != 0)
        ok = false;
    if (close(fd) != 0)
        ok = false;
    if (ok && std::rename(tmp, path) != 0)
        ok = false;
    if (!ok)
        std::remove(tmp);
    return ok;
}
