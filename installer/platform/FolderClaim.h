// Folders held by a living process. The holder keeps a lock on the folder itself for as
// long as it holds it; the system drops the lock when the holder ends, however it ends, so
// a folder nobody holds was left by a process that no longer runs.
#pragma once

#include <functional>
#include <string>

#include "ErrorRecord.h"

namespace zplat {

class FolderClaim {
public:
    FolderClaim() = default;
    ~FolderClaim() { Release(); }
    FolderClaim(const FolderClaim&) = delete;
    FolderClaim& operator=(const FolderClaim&) = delete;

    // Creates `folder` in its existing parent and holds it. A folder of that name that
    // another process holds fails with EBUSY and is left alone; one nobody holds is taken
    // with what it holds.
    bool Claim(const std::string& folder, ErrorRecord* err = nullptr);
    void Release();
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// A lock file held by a living process, for as long as it holds it. The holder removes the
// file when it lets go; a file left by a holder that ended is taken as it is.
class FileLock {
public:
    FileLock() = default;
    ~FileLock() { Release(); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Fails with EBUSY, without waiting, when another process holds `path`.
    bool Take(const std::string& path, ErrorRecord* err = nullptr);
    void Release();

private:
    int fd_ = -1;
    std::string path_;
};

// Removes every folder in `parent` whose name `candidate` accepts and that no process
// holds (this one included), calling `removed` with each name removed.
void RemoveUnclaimedFolders(const std::string& parent, const std::function<bool(const std::string&)>& candidate,
                            const std::function<void(const std::string&)>& removed = nullptr);

}  // namespace zplat
