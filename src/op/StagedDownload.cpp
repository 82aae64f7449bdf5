#include "op/StagedDownload.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace zuzezi_zid {

namespace {

std::atomic<unsigned> g_temp_counter{0};

const char kTempInfix[] = ".zidtmp.";

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

// The pid of a staged file named prefix + "<pid>.<n>", or 0 when the name is not one.
pid_t PidOfTempName(const std::string& name, const std::string& prefix) {
    if (name.compare(0, prefix.size(), prefix) != 0) return 0;
    const char* digits = name.c_str() + prefix.size();
    char* end = nullptr;
    errno = 0;
    const long pid = std::strtol(digits, &end, 10);
    if (errno != 0 || end == digits || *end != '.' || pid <= 0 || pid > INT_MAX) return 0;
    const char* count = end + 1;
    if (*count == '\0') return 0;
    for (const char* c = count; *c; ++c) {
        if (*c < '0' || *c > '9') return 0;
    }
    return static_cast<pid_t>(pid);
}

}  // namespace

StagedDownload::StagedDownload(const std::string& destination) : m_destination(destination) {
    struct stat st;
    if (::lstat(destination.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(destination.c_str(), resolved)) m_destination = resolved;
    }
    if (::stat(m_destination.c_str(), &st) == 0) {
        if (S_ISREG(st.st_mode)) {
            m_keep_mode = true;
            m_mode = st.st_mode & 07777;
        } else {
            m_staged = false;
        }
    }
}

StagedDownload::~StagedDownload() {
    if (m_unnamed_fd >= 0) ::close(m_unnamed_fd);
    if (m_staged && !m_committed && !m_temp.empty()) ::unlink(m_temp.c_str());
}

int StagedDownload::Open() {
    if (!m_staged) return ::open(m_destination.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0755);
    RemoveLeftovers();
    const int fd = OpenUnnamed();
    return fd >= 0 ? fd : OpenNamed();
}

int StagedDownload::OpenUnnamed() {
#ifdef O_TMPFILE
    const int fd = ::open(FolderOf(m_destination).c_str(), O_TMPFILE | O_WRONLY, 0755);
    if (fd < 0) return -1;
    // Without /proc the file could never be given a name.
    const int keep = ::access(ProcFdPath(fd).c_str(), F_OK) == 0 ? ::fcntl(fd, F_DUPFD_CLOEXEC, 0)
                                                                  : -1;
    if (keep < 0) {
        ::close(fd);
        return -1;
    }
    m_unnamed_fd = keep;
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
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0755);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return -1;
        }
        m_temp = name;
        m_write_path = name;
        if (m_keep_mode) ::fchmod(fd, m_mode);
        return fd;
    }
    errno = EEXIST;
    return -1;
}

std::string StagedDownload::NewTempName() const {
    return m_destination + kTempInfix + std::to_string(::getpid()) + "." +
           std::to_string(g_temp_counter.fetch_add(1));
}

void StagedDownload::RemoveLeftovers() const {
    const std::string folder = FolderOf(m_destination);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    const std::string prefix = BaseNameOf(m_destination) + kTempInfix;
    while (const struct dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        const pid_t pid = PidOfTempName(name, prefix);
        // A pid that runs may be a download of this name in another process: leave it.
        if (pid != 0 && pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH) {
            ::unlink((folder + "/" + name).c_str());
        }
    }
    ::closedir(dir);
}

bool StagedDownload::LinkUnnamed() {
    const std::string from = ProcFdPath(m_unnamed_fd);
    // Straight to the destination when the name is free; otherwise beside it, then over it.
    if (::linkat(AT_FDCWD, from.c_str(), AT_FDCWD, m_destination.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return true;
    }
    if (errno != EEXIST) return false;
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
    if (m_unnamed_fd >= 0) {
        if (!LinkUnnamed()) return false;
        m_committed = true;
        return true;
    }
    if (m_temp.empty()) {
        errno = ENOENT;
        return false;
    }
    if (::rename(m_temp.c_str(), m_destination.c_str()) != 0) return false;
    m_committed = true;
    return true;
}

}  // namespace zuzezi_zid
