#include "game/rules/files.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

// A name nobody can guess ahead: whoever can write to data/ could otherwise
// plant a symlink there that the write would follow out of the directory.
std::uint64_t unguessable()
{
    std::uint64_t v = 0;
    if (getrandom(&v, sizeof v, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof v))
        return v;
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (static_cast<std::uint64_t>(ts.tv_nsec) << 20) ^ static_cast<std::uint64_t>(ts.tv_sec) ^
           (static_cast<std::uint64_t>(getpid()) << 44) ^ reinterpret_cast<std::uintptr_t>(&v);
}

// Creates a new temporary file beside path; its descriptor, or -1. The
// name is written to tmp.
int create_temp_beside(const char* path, char* tmp, std::size_t size)
{
    // The name starts with a dot next to the target, so no scan of the
    // directory mistakes it for a real file.
    const char* slash = std::strrchr(path, '/');
    const int dir_len = slash ? static_cast<int>(slash - path + 1) : 0;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int n = std::snprintf(tmp, size, "%.*s.%s.%016llx", dir_len, path, slash ? slash + 1 : path,
                                    static_cast<unsigned long long>(unguessable()));
        if (n <= 0 || static_cast<std::size_t>(n) >= size)
            return -1;
        // O_EXCL with O_NOFOLLOW: never an existing file, never through a link.
        const int fd = open(tmp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

}  // namespace

// Modes leave group and other access to the umask, so a sysop whose nodes
// run as several accounts of one group can share data/ (umask 007).
void ensure_data_dir()
{
    mkdir("data", 0777);
}

bool write_file_atomic(const char* path, const void* data, std::size_t len)
{
    char tmp[512];
    const int fd = create_temp_beside(path, tmp, sizeof tmp);
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
    // rename replaces a symlink at path by the file; it never writes through it.
    if (ok && std::rename(tmp, path) != 0)
        ok = false;
    if (!ok)
        unlink(tmp);
    return ok;
}
