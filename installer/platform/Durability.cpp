#include "Durability.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "FileManager.h"
#include "TreeWalk.h"

namespace zplat {
namespace {

SyncHook& Hook() {
    static SyncHook hook;
    return hook;
}

// Flushes the open item `fd`, naming it `path` to the hook and in `err`.
bool SyncDescriptor(const std::string& path, int fd, ErrorRecord* err) {
    int e = 0;
    if (Hook()) {
        e = Hook()(path, fd);
    } else if (fsync(fd) != 0) {
        e = errno;
    }
    if (e != 0) {
        if (err) *err = FileOperationError(e, "fsync " + path);
        return false;
    }
    return true;
}

// Walked in reverse name order, each folder flushed once left: the same order as the
// reversed deep listing, every folder after what it holds.
class TreeSyncer : public TreeVisitor {
public:
    TreeSyncer(const std::string& root, ErrorRecord* err) : root_(root), err_(err) {}
    Walk Item(const WalkItem& item) override {
        if (S_ISDIR(item.st.st_mode)) return Walk::Enter;
        if (!S_ISREG(item.st.st_mode)) return Walk::Next;  // links ride with their folder
        const std::string path = AppendPathComponent(root_, item.rel);
        // Non-blocking, so that an item swapped for a FIFO cannot hang the open.
        const int fd = openat(item.dir_fd, item.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            if (err_) *err_ = FileOperationError(errno, "open " + path);
            return Walk::Stop;
        }
        const bool ok = SyncDescriptor(path, fd, err_);
        close(fd);
        return ok ? Walk::Next : Walk::Stop;
    }
    Walk Leave(const WalkItem& folder) override {
        return SyncDescriptor(AppendPathComponent(root_, folder.rel), folder.fd, err_) ? Walk::Next : Walk::Stop;
    }

private:
    const std::string root_;
    ErrorRecord* err_;
};

}  // namespace

void SetSyncHook(SyncHook hook) { Hook() = std::move(hook); }

bool SyncItem(const std::string& path, ErrorRecord* err) {
    // Non-blocking, so that a FIFO in the tree cannot hang the open.
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (err) *err = FileOperationError(errno, "open " + path);
        return false;
    }
    const bool ok = SyncDescriptor(path, fd, err);
    close(fd);
    return ok;
}

bool SyncTree(const std::string& root, ErrorRecord* err) {
    TreeSyncer syncer(root, err);
    ErrorRecord walk;
    if (WalkTree(root, syncer, true, &walk)) return true;
    // A stop carries the syncer's own reason; anything else is the walk's.
    if (err && walk.code != 0) *err = walk;
    return false;
}

}  // namespace zplat
