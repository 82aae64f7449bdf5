#include "PathBeneath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <vector>

#include "FileManager.h"

namespace zplat {
namespace {

// Like the kernel's own bound on links followed for one path.
constexpr int kMaxLinks = 40;
// A folder that keeps changing under the walk is given up on.
constexpr int kMaxRetries = 8;

void Split(const std::string& path, std::deque<std::string>* out, bool front) {
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t slash = path.find('/', pos);
        if (slash == std::string::npos) slash = path.size();
        if (slash > pos) parts.push_back(path.substr(pos, slash - pos));
        pos = slash + 1;
    }
    if (front) {
        out->insert(out->begin(), parts.begin(), parts.end());
    } else {
        out->insert(out->end(), parts.begin(), parts.end());
    }
}

// The open folders from the root down; each one below the root with the name that led
// to it.
class Walk {
public:
    ~Walk() {
        for (int fd : m_fds) close(fd);
    }
    void Start(int root_fd) { m_fds.push_back(root_fd); }
    int Top() const { return m_fds.back(); }
    bool AtRoot() const { return m_fds.size() == 1; }
    void Push(int fd, const std::string& name) {
        m_fds.push_back(fd);
        m_names.push_back(name);
    }
    void Pop() {
        close(m_fds.back());
        m_fds.pop_back();
        m_names.pop_back();
    }
    std::string Path(const std::string& root) const {
        std::string p = root;
        for (const std::string& n : m_names) p = AppendPathComponent(p, n);
        return p;
    }

private:
    std::vector<int> m_fds;
    std::vector<std::string> m_names;
};

bool Fail(int err, const std::string& what, ErrorRecord* error) {
    if (error) *error = PosixError(err, what + ": " + strerror(err));
    errno = err;
    return false;
}

// Walks to the folder that holds the last item of `rel` and leaves it on top of `walk`;
// `last` gets the item's name (empty when `rel` names `root` itself). Links met as the
// last item are followed unless `follow_last` is false.
bool WalkToParent(const std::string& root, const std::string& rel, bool make_folders, bool follow_last,
                  Walk* walk, std::string* last, ErrorRecord* error) {
    // The system reads a name only up to a NUL: "..\0" would be taken for "..".
    if (root.find('\0') != std::string::npos || rel.find('\0') != std::string::npos) {
        return Fail(EINVAL, "a name below " + root.substr(0, root.find('\0')) + " holds a NUL byte", error);
    }
    int root_fd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root_fd < 0) return Fail(errno, "open " + root, error);
    walk->Start(root_fd);
    std::deque<std::string> todo;
    Split(rel, &todo, false);
    // Retries are counted for the name being looked at, not for the whole path: a deep
    // path of missing folders needs one look again per folder it makes.
    int links = 0, retries = 0;
    last->clear();
    while (!todo.empty()) {
        std::string name = todo.front();
        todo.pop_front();
        if (name == ".") continue;
        if (name == "..") {
            if (walk->AtRoot()) return Fail(EXDEV, "\"" + rel + "\" leads above " + root, error);
            walk->Pop();
            retries = 0;
            continue;
        }
        struct stat st;
        if (fstatat(walk->Top(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) return Fail(errno, "stat " + AppendPathComponent(walk->Path(root), name), error);
            if (todo.empty()) {
                *last = name;
                return true;
            }
            if (!make_folders) return Fail(ENOENT, AppendPathComponent(walk->Path(root), name), error);
            if (mkdirat(walk->Top(), name.c_str(), 0755) != 0 && errno != EEXIST) {
                return Fail(errno, "mkdir " + AppendPathComponent(walk->Path(root), name), error);
            }
            todo.push_front(name);  // look again at what is there now
            if (++retries > kMaxRetries) return Fail(EAGAIN, AppendPathComponent(walk->Path(root), name), error);
            continue;
        }
        if (S_ISLNK(st.st_mode)) {
            if (todo.empty() && !follow_last) {
                *last = name;
                return true;
            }
            if (++links > kMaxLinks) return Fail(ELOOP, "\"" + rel + "\" below " + root, error);
            std::vector<char> buf(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
            ssize_t n = readlinkat(walk->Top(), name.c_str(), buf.data(), buf.size());
            if (n < 0) return Fail(errno, "readlink " + AppendPathComponent(walk->Path(root), name), error);
            if (static_cast<size_t>(n) >= buf.size()) {  // changed since the stat: look again
                todo.push_front(name);
                if (++retries > kMaxRetries) return Fail(EAGAIN, AppendPathComponent(walk->Path(root), name), error);
                continue;
            }
            std::string target(buf.data(), static_cast<size_t>(n));
            if (target.empty() || target[0] == '/') {
                return Fail(EXDEV, AppendPathComponent(walk->Path(root), name) + " points to \"" + target + "\"", error);
            }
            Split(target, &todo, true);
            retries = 0;
            continue;
        }
        if (todo.empty()) {
            *last = name;
            return true;
        }
        if (!S_ISDIR(st.st_mode)) return Fail(ENOTDIR, AppendPathComponent(walk->Path(root), name), error);
        int fd = openat(walk->Top(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            if (errno != ELOOP && errno != ENOTDIR && errno != ENOENT) {
                return Fail(errno, "open " + AppendPathComponent(walk->Path(root), name), error);
            }
            todo.push_front(name);  // replaced since the stat: look again
            if (++retries > kMaxRetries) return Fail(EAGAIN, AppendPathComponent(walk->Path(root), name), error);
            continue;
        }
        walk->Push(fd, name);
        retries = 0;
    }
    return true;
}

}  // namespace

bool ResolveBeneath(const std::string& root, const std::string& rel, bool make_folders, std::string* resolved,
                    ErrorRecord* error) {
    Walk walk;
    std::string last;
    if (!WalkToParent(root, rel, make_folders, true, &walk, &last, error)) return false;
    if (resolved) *resolved = last.empty() ? walk.Path(root) : AppendPathComponent(walk.Path(root), last);
    return true;
}

int OpenParentBeneath(const std::string& root, const std::string& rel, bool make_folders, std::string* last,
                      std::string* resolved, ErrorRecord* error) {
    Walk walk;
    if (!WalkToParent(root, rel, make_folders, false, &walk, last, error)) return -1;
    int fd = fcntl(walk.Top(), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        Fail(errno, "dup " + walk.Path(root), error);
        return -1;
    }
    if (resolved) *resolved = walk.Path(root);
    return fd;
}

int OpenBeneath(const std::string& root, const std::string& rel, int flags, mode_t mode, ErrorRecord* error) {
    Walk walk;
    std::string last;
    const bool follow_last = (flags & O_NOFOLLOW) == 0;
    if (!WalkToParent(root, rel, (flags & O_CREAT) != 0, follow_last, &walk, &last, error)) return -1;
    if (last.empty()) {
        Fail(EISDIR, "\"" + rel + "\" names " + root, error);
        return -1;
    }
    int fd = openat(walk.Top(), last.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) Fail(errno, "open " + AppendPathComponent(walk.Path(root), last), error);
    return fd;
}

}  // namespace zplat
