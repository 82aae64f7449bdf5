#include "op/StagedDownload.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace zuzezi_zid {

namespace {

std::atomic<unsigned> g_temp_counter{0};

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
    if (m_staged && !m_committed && !m_temp.empty()) ::unlink(m_temp.c_str());
}

int StagedDownload::Open() {
    if (!m_staged) return ::open(m_destination.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0755);
    for (int tries = 0; tries < 100; ++tries) {
        std::string name = m_destination + ".zidtmp." + std::to_string(::getpid()) + "." +
                           std::to_string(g_temp_counter.fetch_add(1));
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0755);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return -1;
        }
        m_temp = name;
        if (m_keep_mode) ::fchmod(fd, m_mode);
        return fd;
    }
    errno = EEXIST;
    return -1;
}

bool StagedDownload::Commit() {
    if (!m_staged) return true;
    if (m_temp.empty()) {
        errno = ENOENT;
        return false;
    }
    if (::rename(m_temp.c_str(), m_destination.c_str()) != 0) return false;
    m_committed = true;
    return true;
}

}  // namespace zuzezi_zid
