#include "op/StagedDownload.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <random>

#include "util/CodecUtil.h"

namespace zuzezi_zid {

namespace {

const char kTempInfix[] = ".zidtmp.";
const char kTagKey[] = "zid staged download";
const size_t kNonceHex = 16;
const size_t kCheckHex = 16;
const size_t kTagSize = sizeof(kTempInfix) - 1 + kNonceHex + kCheckHex;

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ProcFdPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// Where a chain of links ends, whether a file is there or not.
std::string LinkTarget(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        char to[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), to, sizeof(to) - 1);
        if (n <= 0) return path;
        const std::string next(to, static_cast<size_t>(n));
        path = next[0] == '/' ? next : FolderOf(path) + "/" + next;
    }
    return path;
}

// Ties a tag to the destination's whole name, so that two long names sharing the shortened
// prefix never sweep each other's files, and a name merely looking like ours is left.
std::string CheckOf(const std::string& base, const std::string& nonce) {
    return CodecUtil::HexHmacSha1(base + '\0' + nonce, kTagKey).substr(0, kCheckHex);
}

// NAME where NAME plus the tag fits the folder's limit on names, else the prefix that does,
// cut between characters.
std::string StagedPrefix(const std::string& folder, const std::string& base) {
    long max = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    if (max <= 0) max = NAME_MAX;
    const size_t room = static_cast<size_t>(max) > kTagSize ? static_cast<size_t>(max) - kTagSize : 0;
    if (base.size() <= room) return base;
    size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80) --cut;
    return base.substr(0, cut);
}

bool IsLowerHex(const std::string& s) {
    for (const char c : s) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Where the file system has no locks, no sweep can lock the file either, so it stays.
void LockForLife(int fd) {
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
}

// Removes a staged file only while holding its lock, and only if the name still is that file.
// Opened for writing: NFS grants an exclusive lock to nothing else.
void RemoveUnheld(int folder_fd, const std::string& name) {
    struct stat by_name;
    if (::fstatat(folder_fd, name.c_str(), &by_name, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(by_name.st_mode)) {
        return;
    }
    const int fd = ::openat(folder_fd, name.c_str(),
                            O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat held;
    if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::fstatat(folder_fd, name.c_str(), &by_name, AT_SYMLINK_NOFOLLOW) == 0 &&
        SameFile(held, by_name)) {
        ::unlinkat(folder_fd, name.c_str(), 0);
    }
    ::close(fd);
}

}  // namespace

StagedDownload::StagedDownload(const std::string& destination, bool unnamed)
    : m_destination(LinkTarget(destination)), m_unnamed(unnamed) {
    struct stat st;
    if (::stat(m_destination.c_str(), &st) == 0) {
        if (S_ISREG(st.st_mode)) {
            m_keep_mode = true;
            m_mode = st.st_mode & 07777;
            m_owner = st.st_uid;
        } else {
            m_staged = false;
        }
    } else if (errno != ENOENT) {
        // A link loop, a file in place of a folder: the open says so before any transfer.
        m_staged = false;
    }
}

StagedDownload::~StagedDownload() {
    if (m_staged && !m_committed && !m_temp.empty()) ::unlink(m_temp.c_str());
    if (m_keep_fd >= 0) ::close(m_keep_fd);
}

int StagedDownload::Open() {
    m_why.clear();
    if (!m_staged) return OpenInPlace(O_CREAT);
    if (!CanBeReplaced()) return -1;
    RemoveLeftovers();
    int fd = m_unnamed ? OpenUnnamed() : -1;
    if (fd < 0) fd = OpenNamed();
    if (fd >= 0) return fd;
    // A folder that takes no new file: a file the caller may write is written in place, as
    // downloads always did before they were staged.
    if (m_keep_mode && (errno == EACCES || errno == EPERM || errno == EROFS)) {
        fd = OpenInPlace(0);
        if (fd >= 0) m_staged = false;
    }
    return fd;
}

int StagedDownload::OpenInPlace(int flags) {
    return ::open(m_destination.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | flags, 0666);
}

// Over a file of another user in a sticky folder the rename would fail: said now, rather
// than after the whole transfer.
bool StagedDownload::CanBeReplaced() {
    const uid_t me = ::geteuid();
    struct stat folder;
    if (!m_keep_mode || me == 0 || m_owner == me ||
        ::stat(FolderOf(m_destination).c_str(), &folder) != 0 || !(folder.st_mode & S_ISVTX) ||
        folder.st_uid == me) {
        return true;
    }
    m_why = "the folder is sticky and the file belongs to another user, so it cannot be replaced";
    errno = EPERM;
    return false;
}

int StagedDownload::OpenUnnamed() {
#ifdef O_TMPFILE
    const int fd = ::open(FolderOf(m_destination).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) return -1;
    // Without /proc the file could never be given a name.
    const int keep = ::access(ProcFdPath(fd).c_str(), F_OK) == 0 ? ::fcntl(fd, F_DUPFD_CLOEXEC, 0)
                                                                  : -1;
    if (keep < 0) {
        ::close(fd);
        return -1;
    }
    LockForLife(keep);
    m_keep_fd = keep;
    m_nameless = true;
    m_write_path = ProcFdPath(keep);
    if (m_keep_mode) ::fchmod(fd, m_mode);
    return fd;
#else
    return -1;
#endif
}

int StagedDownload::OpenNamed() {
    for (int tries = 0; tries < 100; ++tries) {
        const std::string name = NewTempName();
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return -1;
        }
        const int keep = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (keep < 0) {
            const int saved = errno;
            ::unlink(name.c_str());
            ::close(fd);
            errno = saved;
            return -1;
        }
        LockForLife(keep);
        // A sweep that locked the file before this process did has removed it: start again.
        struct stat held, by_name;
        if (::fstat(keep, &held) != 0 || ::stat(name.c_str(), &by_name) != 0 ||
            !SameFile(held, by_name)) {
            ::close(keep);
            ::close(fd);
            continue;
        }
        m_keep_fd = keep;
        m_temp = name;
        m_write_path = name;
        if (m_keep_mode) ::fchmod(fd, m_mode);
        return fd;
    }
    errno = EEXIST;
    return -1;
}

std::string StagedDownload::NewTempName() const {
    const std::string folder = FolderOf(m_destination);
    const std::string base = BaseNameOf(m_destination);
    std::random_device random;
    char nonce[kNonceHex + 1];
    std::snprintf(nonce, sizeof(nonce), "%08x%08x", random(), random());
    return folder + "/" + StagedPrefix(folder, base) + kTempInfix + nonce + CheckOf(base, nonce);
}

void StagedDownload::RemoveLeftovers() const {
    const std::string folder = FolderOf(m_destination);
    const std::string base = BaseNameOf(m_destination);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    const std::string prefix = StagedPrefix(folder, base) + kTempInfix;
    while (const struct dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() != prefix.size() + kNonceHex + kCheckHex ||
            name.compare(0, prefix.size(), prefix) != 0) {
            continue;
        }
        const std::string nonce = name.substr(prefix.size(), kNonceHex);
        if (IsLowerHex(nonce) && name.compare(prefix.size() + kNonceHex, kCheckHex,
                                              CheckOf(base, nonce)) == 0) {
            RemoveUnheld(::dirfd(dir), name);
        }
    }
    ::closedir(dir);
}

bool StagedDownload::LinkUnnamed() {
    const std::string from = ProcFdPath(m_keep_fd);
    if (::linkat(AT_FDCWD, from.c_str(), AT_FDCWD, m_destination.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return true;
    }
    if (errno != EEXIST) return false;
    // Only a name can be renamed over an existing file; a process killed between the link
    // and the rename leaves that name to the next sweep.
    for (int tries = 0; tries < 100 && m_temp.empty(); ++tries) {
        const std::string name = NewTempName();
        if (::linkat(AT_FDCWD, from.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            m_temp = name;
        } else if (errno != EEXIST) {
            return false;
        }
    }
    if (m_temp.empty()) {
        errno = EEXIST;
        return false;
    }
    return ::rename(m_temp.c_str(), m_destination.c_str()) == 0;
}

bool StagedDownload::Commit() {
    if (!m_staged) return true;
    if (m_nameless) {
        if (!LinkUnnamed()) return false;
    } else if (m_temp.empty()) {
        errno = ENOENT;
        return false;
    } else if (::rename(m_temp.c_str(), m_destination.c_str()) != 0) {
        return false;
    }
    m_committed = true;
    return true;
}

}  // namespace zuzezi_zid
