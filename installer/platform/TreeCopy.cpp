#include "TreeCopy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "FileManager.h"
#include "Log.h"
#include "TreeWalk.h"

namespace zplat {
namespace {

class TreeCopier : public TreeVisitor {
public:
    TreeCopier(const std::string& src, const std::string& dst, int dst_fd) : src_(src), dst_(dst) {
        to_.push_back(dst_fd);
    }
    ~TreeCopier() override {
        for (size_t i = 1; i < to_.size(); ++i) close(to_[i]);
    }

    bool AllCopied() const { return all_; }

    Walk Item(const WalkItem& item) override {
        const int to = to_.back();
        const std::string from_path = AppendPathComponent(src_, item.rel);
        const std::string to_path = AppendPathComponent(dst_, item.rel);
        struct stat there;
        const bool exists = fstatat(to, item.name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0;
        if (S_ISDIR(item.st.st_mode)) {
            if (!exists || !S_ISDIR(there.st_mode)) {
                // Writable until filled; its own mode goes on when it is left.
                if ((exists && !RemoveItemAt(to, item.name)) || mkdirat(to, item.name.c_str(), 0755) != 0) {
                    LogLine("Failed to copy item at path %s: %s", from_path.c_str(),
                            FileOperationError(errno, "mkdir " + to_path).description.c_str());
                    all_ = false;
                    return Walk::Next;
                }
            }
            const int fd = openat(to, item.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd < 0) {
                LogLine("Failed to copy item at path %s: %s", from_path.c_str(),
                        FileOperationError(errno, "open " + to_path).description.c_str());
                all_ = false;
                return Walk::Next;
            }
            to_.push_back(fd);
            return Walk::Enter;
        }
        if (exists && !RemoveItemAt(to, item.name)) {
            LogLine("Failed to remove existing item at path %s: %s", to_path.c_str(),
                    FileOperationError(errno, "remove " + to_path).description.c_str());
            all_ = false;
            return Walk::Next;
        }
        ErrorRecord err;
        if (!CopyItemAt(item.dir_fd, item.name, item.st, to, item.name, &err)) {
            LogLine("Failed to copy item at path %s: %s", from_path.c_str(), err.description.c_str());
            all_ = false;
        }
        return Walk::Next;
    }

    // Mode and dates last: a read-only folder must still be filled, and filling a folder
    // dates it anew.
    Walk Leave(const WalkItem& folder) override {
        const int fd = to_.back();
        const std::string to_path = AppendPathComponent(dst_, folder.rel);
        const bool top = to_.size() == 1;
        if (!top) {
            to_.pop_back();
            if (fchmod(fd, folder.st.st_mode & 0777) != 0) {
                LogLine("Failed to set the mode of %s: %s", to_path.c_str(),
                        FileOperationError(errno, "chmod " + to_path).description.c_str());
                all_ = false;
            }
        }
        const struct timespec times[2] = {folder.st.st_atim, folder.st.st_mtim};
        if (futimens(fd, times) != 0) {
            LogLine("Failed to set the dates of %s: %s", to_path.c_str(),
                    FileOperationError(errno, "futimens " + to_path).description.c_str());
            all_ = false;
        }
        if (!top) close(fd);
        return Walk::Next;
    }

    void Unreadable(const std::string& rel, const ErrorRecord& err) override {
        LogLine("Invalid path: %s (%s)", AppendPathComponent(src_, rel).c_str(), err.description.c_str());
        all_ = false;
    }

private:
    const std::string src_, dst_;
    std::vector<int> to_;  // the destination folder of each source folder walked into
    bool all_ = true;
};

}  // namespace

bool RemoveItemAt(int dir, const std::string& name) {
    if (unlinkat(dir, name.c_str(), 0) == 0) return true;
    if (errno != EISDIR) return false;
    const int fd = openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    std::vector<std::string> names;
    bool ok = ReadFolderNames(fd, &names);
    for (const std::string& n : names) ok = RemoveItemAt(fd, n) && ok;
    close(fd);
    return ok && unlinkat(dir, name.c_str(), AT_REMOVEDIR) == 0;
}

bool CopyTreeInto(const std::string& src, const std::string& dst) {
    const int dst_fd = open(dst.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dst_fd < 0) {
        LogLine("Invalid path: %s", dst.c_str());
        return false;
    }
    TreeCopier copier(src, dst, dst_fd);
    const bool walked = WalkTree(src, copier);
    close(dst_fd);
    return walked && copier.AllCopied();
}

}  // namespace zplat
