#include "TreeWalk.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace zplat {

bool ReadFolderNames(int fd, std::vector<std::string>* names) {
    const int copy = dup(fd);
    DIR* d = copy < 0 ? nullptr : fdopendir(copy);
    if (!d) {
        if (copy >= 0) close(copy);
        return false;
    }
    rewinddir(d);  // the offset is shared with `fd`
    errno = 0;
    while (struct dirent* e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names->emplace_back(e->d_name);
        errno = 0;
    }
    const int e = errno;
    closedir(d);
    errno = e;
    std::sort(names->begin(), names->end());
    return e == 0;
}

namespace {

class Walker {
public:
    Walker(TreeVisitor& visitor, bool reverse) : visitor_(visitor), reverse_(reverse) {}

    bool Run(const std::string& root, ErrorRecord* err) {
        WalkItem top;
        top.dir_fd = AT_FDCWD;
        top.name = root;
        if (lstat(root.c_str(), &top.st) != 0) {
            Fail("", errno, "stat " + root);
        } else if (!S_ISDIR(top.st.st_mode)) {
            Fail("", ENOTDIR, "walk " + root);
        } else if ((top.fd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)) < 0) {
            Fail("", errno, "open " + root);
        } else {
            Folder(top.fd, "", root);
            if (!stopped_) stopped_ = visitor_.Leave(top) == Walk::Stop;
            close(top.fd);
        }
        if (failed_ && err) *err = first_;
        return !failed_ && !stopped_;
    }

private:
    void Fail(const std::string& rel, int e, const std::string& what) {
        const ErrorRecord rec = FileOperationError(e, what);
        if (!failed_) first_ = rec;
        failed_ = true;
        visitor_.Unreadable(rel, rec);
    }

    void Folder(int fd, const std::string& rel, const std::string& root) {
        std::vector<std::string> names;
        if (!ReadFolderNames(fd, &names)) {
            Fail(rel, errno, "list " + (rel.empty() ? root : rel));
            return;
        }
        if (reverse_) std::reverse(names.begin(), names.end());
        for (const std::string& name : names) {
            if (stopped_) return;
            WalkItem item;
            item.dir_fd = fd;
            item.name = name;
            item.rel = rel.empty() ? name : rel + "/" + name;
            if (fstatat(fd, name.c_str(), &item.st, AT_SYMLINK_NOFOLLOW) != 0) {
                Fail(item.rel, errno, "stat " + item.rel);
                continue;
            }
            if (S_ISDIR(item.st.st_mode)) {
                item.fd = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (item.fd < 0) {
                    Fail(item.rel, errno, "open " + item.rel);
                    continue;
                }
            }
            const Walk w = visitor_.Item(item);
            if (w == Walk::Stop) {
                stopped_ = true;
            } else if (w == Walk::Enter && item.fd >= 0) {
                Folder(item.fd, item.rel, root);
                if (!stopped_) stopped_ = visitor_.Leave(item) == Walk::Stop;
            }
            if (item.fd >= 0) close(item.fd);
        }
    }

    TreeVisitor& visitor_;
    const bool reverse_;
    bool failed_ = false, stopped_ = false;
    ErrorRecord first_;
};

}  // namespace

bool WalkTree(const std::string& root, TreeVisitor& visitor, bool reverse, ErrorRecord* err) {
    return Walker(visitor, reverse).Run(root, err);
}

}  // namespace zplat
