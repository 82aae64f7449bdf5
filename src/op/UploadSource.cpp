#include "op/UploadSource.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <thread>

namespace zuzezi_zid {

namespace {

bool SameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           SameTime(a.st_mtim, b.st_mtim) && SameTime(a.st_ctim, b.st_ctim);
}

// A file's times come from the kernel's coarse clock, or whole seconds on some file systems: a
// change within the same tick as the last one before the upload began would leave them as they
// were. Once the clock has moved past them, any later change shows.
bool TimesMayRepeat(const struct stat& st) {
    timespec now {};
    if (::clock_gettime(CLOCK_REALTIME_COARSE, &now) != 0) return false;
    const bool whole_seconds = st.st_mtim.tv_nsec == 0 && st.st_ctim.tv_nsec == 0;
    for (const timespec& t : {st.st_mtim, st.st_ctim}) {
        timespec until = t;
        if (whole_seconds) until.tv_sec += 2;
        if (now.tv_sec < until.tv_sec || (now.tv_sec == until.tv_sec && now.tv_nsec <= until.tv_nsec))
            return true;
    }
    return false;
}

}  // namespace

UploadSource::~UploadSource() {
    if (m_fd >= 0) ::close(m_fd);
}

namespace {

bool RefuseUnlessRegular(const std::string& path, const struct stat& st, std::string* why) {
    if (S_ISREG(st.st_mode)) return true;
    *why = "Upload failed, " + path + " is not a regular file: its length is not known before it is read";
    return false;
}

// Not blocking: a FIFO without a writer would hold the open for ever. A regular file reads the
// same either way.
bool OpenRegular(const std::string& path, int* fd, struct stat* st, std::string* why) {
    *fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (*fd < 0 || ::fstat(*fd, st) != 0) {
        *why = "Failed to open file " + path;
        return false;
    }
    return RefuseUnlessRegular(path, *st, why);
}

}  // namespace

bool UploadSource::IsRegularFile(const std::string& path, std::string* why) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        *why = "Failed to open file " + path;
        return false;
    }
    return RefuseUnlessRegular(path, st, why);
}

bool UploadSource::Open(const std::string& path, std::string* why) {
    m_path = path;
    if (!OpenRegular(path, &m_fd, &m_stat, why)) return false;
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
    return true;
}

UploadSource::WholeRead UploadSource::ReadWhole(const std::string& path, size_t limit,
                                                Bytes* bytes, std::string* why) {
    UploadSource file;  // closes it
    if (!OpenRegular(path, &file.m_fd, &file.m_stat, why)) return WholeRead::kRefused;
    if (file.Size() > limit) return WholeRead::kTooLarge;
    // One byte more than the file had, so that the read which finds the end also shows growth.
    size_t room = static_cast<size_t>(file.Size()) + 1;
    bytes->data.reset(new char[room]);
    bytes->size = 0;
    for (;;) {
        if (bytes->size == room) {
            if (room > limit) return WholeRead::kTooLarge;
            room = std::min(limit + 1, 2 * room);
            std::unique_ptr<char[]> larger(new char[room]);
            std::memcpy(larger.get(), bytes->data.get(), bytes->size);
            bytes->data = std::move(larger);
        }
        const ssize_t n = ::read(file.m_fd, bytes->data.get() + bytes->size, room - bytes->size);
        if (n == 0) return WholeRead::kWhole;
        if (n < 0) {
            if (errno == EINTR) continue;
            *why = "Failed to read file " + path + ": " + std::strerror(errno);
            return WholeRead::kRefused;
        }
        bytes->size += static_cast<size_t>(n);
    }
}

void UploadSource::SettleTimes() {
    // At most one tick of the clock, or two seconds where times are whole seconds.
    for (int i = 0; i < 2500 && TimesMayRepeat(m_stat); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (::fstat(m_fd, &m_stat) != 0) break;
    }
}

bool UploadSource::Changed() const {
    struct stat held {}, named {};
    if (::fstat(m_fd, &held) != 0 || ::stat(m_path.c_str(), &named) != 0) return true;
    return !SameFile(held, m_stat) || !SameFile(named, m_stat);
}

std::string UploadSource::ChangedMessage() const {
    return "Upload failed, local file changed while it was uploaded: " + m_path;
}

}  // namespace zuzezi_zid
