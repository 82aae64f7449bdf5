#include "Durability.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "FileManager.h"

namespace zplat {
namespace {

SyncHook& Hook() {
    static SyncHook hook;
    return hook;
}

}  // namespace

void SetSyncHook(SyncHook hook) { Hook() = std::move(hook); }

bool SyncItem(const std::string& path, ErrorRecord* err) {
    // Non-blocking, so that a FIFO in the tree cannot hang the open.
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (err) *err = FileOperationError(errno, "open " + path);
        return false;
    }
    int e = 0;
    if (Hook()) {
        e = Hook()(path, fd);
    } else if (fsync(fd) != 0) {
        e = errno;
    }
    close(fd);
    if (e != 0) {
        if (err) *err = FileOperationError(e, "fsync " + path);
        return false;
    }
    return true;
}

bool SyncTree(const std::string& root, ErrorRecord* err) {
    std::vector<std::string> items = Subpaths(root);
    // Reversed, the listing names every folder after what it holds.
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        const std::string path = AppendPathComponent(root, *it);
        const ItemType type = ItemTypeAt(path);
        if (type != ItemType::File && type != ItemType::Directory) continue;
        if (!SyncItem(path, err)) return false;
    }
    return SyncItem(root, err);
}

}  // namespace zplat
