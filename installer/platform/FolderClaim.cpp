#include "FolderClaim.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "FileManager.h"
#include "TreeCopy.h"
#include "TreeWalk.h"

namespace zplat {
namespace {

// The parent's own lock, held while a folder in it is made and locked or looked at for
// removal: a folder is never seen between its creation and its holder's lock.
class ParentLock {
public:
    explicit ParentLock(const std::string& parent) {
        fd_ = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ < 0) return;
        while (flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                close(fd_);
                fd_ = -1;
                return;
            }
        }
    }
    ~ParentLock() {
        if (fd_ >= 0) close(fd_);  // closing drops the lock
    }
    int fd() const { return fd_; }

private:
    int fd_ = -1;
};

// The folder `name` of `dir`, opened and locked by this descriptor; -1 with errno when it
// cannot be opened, or EWOULDBLOCK when someone else holds it.
int OpenLocked(int dir, const std::string& name) {
    const int fd = openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return -1;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        close(fd);
        errno = e;
        return -1;
    }
    return fd;
}

bool Fail(int e, const std::string& folder, ErrorRecord* err) {
    if (err) *err = FileOperationError(e, "claim " + folder);
    return false;
}

}  // namespace

bool FolderClaim::Claim(const std::string& folder, ErrorRecord* err) {
    Release();
    const std::string parent = DeletingLastPathComponent(folder), name = LastPathComponent(folder);
    ParentLock lock(parent.empty() ? "." : parent);
    if (lock.fd() < 0) return Fail(errno, folder, err);
    if (mkdirat(lock.fd(), name.c_str(), 0755) != 0 && errno != EEXIST) return Fail(errno, folder, err);
    // One already there is taken as it is when its holder is gone.
    fd_ = OpenLocked(lock.fd(), name);
    return fd_ >= 0 || Fail(errno == EWOULDBLOCK ? EBUSY : errno, folder, err);
}

void FolderClaim::Release() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

bool FileLock::Take(const std::string& path, ErrorRecord* err) {
    Release();
    for (;;) {
        const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) return Fail(errno, path, err);
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int e = errno;
            close(fd);
            return Fail(e == EWOULDBLOCK ? EBUSY : e, path, err);
        }
        // The holder before may have removed the file between the open and the lock: a lock
        // on a file no longer under that name holds nothing.
        struct stat held, named;
        if (fstat(fd, &held) == 0 && lstat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino) {
            fd_ = fd;
            path_ = path;
            return true;
        }
        close(fd);
    }
}

void FileLock::Release() {
    if (fd_ < 0) return;
    unlink(path_.c_str());  // while still held, so no one takes the name being removed
    close(fd_);
    fd_ = -1;
}

void RemoveUnclaimedFolders(const std::string& parent, const std::function<bool(const std::string&)>& candidate,
                            const std::function<void(const std::string&)>& removed) {
    ParentLock lock(parent);
    std::vector<std::string> names;
    if (lock.fd() < 0 || !ReadFolderNames(lock.fd(), &names)) return;
    for (const std::string& name : names) {
        if (!candidate(name)) continue;
        const int fd = OpenLocked(lock.fd(), name);
        if (fd < 0) continue;  // held, or not a folder
        const bool gone = RemoveItemAt(lock.fd(), name);
        close(fd);
        if (gone && removed) removed(name);
    }
}

}  // namespace zplat
