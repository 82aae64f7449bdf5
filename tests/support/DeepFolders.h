// A chain of folders deeper than any path the system takes (PATH_MAX), made and read by
// descriptors only. Header-only.
#pragma once

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace zid_test {

constexpr int kDeepLevels = 18;

// 18 names of 250 bytes: their path is past PATH_MAX (4096) from the ninth level on.
inline std::string DeepName(int level) { return std::string(250, static_cast<char>('a' + level % 26)); }

// The deepest folder of the chain below `root`, opened; with `create`, missing levels are
// made. -1 when a level is missing or cannot be made.
inline int OpenDeepBottom(const std::string& root, bool create) {
    int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; fd >= 0 && level < kDeepLevels; ++level) {
        const std::string name = DeepName(level);
        if (create) mkdirat(fd, name.c_str(), 0755);
        const int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        close(fd);
        fd = next;
    }
    return fd;
}

inline bool WriteAt(int dir, const char* name, const std::string& bytes, mode_t mode = 0644) {
    const int fd = openat(dir, name, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) return false;
    const bool ok = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    return close(fd) == 0 && ok;
}

// The file's bytes, or "<missing>" when it cannot be opened.
inline std::string ReadAt(int dir, const char* name) {
    const int fd = openat(dir, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return "<missing>";
    std::string out;
    char buf[4096];
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
    close(fd);
    return out;
}

}  // namespace zid_test
