#include "FileManager.h"

#include <dirent.h>
#include <stdio.h>  // renameat2
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "TreeWalk.h"

namespace fs = std::filesystem;

namespace zplat {
namespace {

void SetErr(ErrorRecord* err, int e, const std::string& what) {
    if (err) *err = FileOperationError(e, what);
}

void ListInto(const std::string& root, const std::string& rel, std::vector<std::string>* out) {
    std::string dir = rel.empty() ? root : AppendPathComponent(root, rel);
    for (const std::string& name : DirectoryEntries(dir)) {
        std::string child = rel.empty() ? name : rel + "/" + name;
        out->push_back(child);
        if (IsDirectory(AppendPathComponent(root, child))) ListInto(root, child, out);
    }
}

bool CopyRegularFileAt(int from_dir, const std::string& from, int to_dir, const std::string& to,
                       const struct stat& st, ErrorRecord* err) {
    int in = openat(from_dir, from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0) {
        SetErr(err, errno, "open " + from);
        return false;
    }
    int out = openat(to_dir, to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (out < 0) {
        SetErr(err, errno, "create " + to);
        close(in);
        return false;
    }
    char buf[65536];
    bool ok = true;
    for (;;) {
        ssize_t n = read(in, buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            SetErr(err, errno, "read " + from);
            ok = false;
            break;
        }
        ssize_t done = 0;
        while (done < n) {
            ssize_t w = write(out, buf + done, static_cast<size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                SetErr(err, errno, "write " + to);
                ok = false;
                break;
            }
            done += w;
        }
        if (!ok) break;
    }
    // Permission bits and dates travel with the file; set-id bits do not.
    if (ok && fchmod(out, st.st_mode & 0777) != 0) {
        SetErr(err, errno, "chmod " + to);
        ok = false;
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (ok && futimens(out, times) != 0) {
        SetErr(err, errno, "futimens " + to);
        ok = false;
    }
    if (close(out) != 0 && ok) {
        SetErr(err, errno, "close " + to);
        ok = false;
    }
    close(in);
    if (!ok) unlinkat(to_dir, to.c_str(), 0);
    return ok;
}

class TreeLister : public TreeVisitor {
public:
    explicit TreeLister(std::vector<TreeItem>* out) : out_(out) {}
    Walk Item(const WalkItem& item) override {
        out_->push_back(TreeItem{item.rel, item.st});
        return Walk::Enter;
    }

private:
    std::vector<TreeItem>* out_;
};

}  // namespace

ItemType ItemTypeAt(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return ItemType::None;
    if (S_ISLNK(st.st_mode)) return ItemType::Symlink;
    if (S_ISDIR(st.st_mode)) return ItemType::Directory;
    if (S_ISREG(st.st_mode)) return ItemType::File;
    return ItemType::Other;
}

bool ItemExists(const std::string& path) { return ItemTypeAt(path) != ItemType::None; }

bool FileExistsFollowing(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

bool IsDirectory(const std::string& path) { return ItemTypeAt(path) == ItemType::Directory; }

int64_t FileSize(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

std::vector<std::string> DirectoryEntries(const std::string& folder) {
    std::vector<std::string> names;
    DIR* d = opendir(folder.c_str());
    if (!d) return names;
    while (struct dirent* e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        names.emplace_back(e->d_name);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

bool ListTree(const std::string& folder, std::vector<TreeItem>* out, ErrorRecord* err) {
    out->clear();
    TreeLister lister(out);
    return WalkTree(folder, lister, false, err);
}

std::vector<std::string> Subpaths(const std::string& folder) {
    std::vector<std::string> out;
    if (IsDirectory(folder)) ListInto(folder, "", &out);
    return out;
}

bool CreateDirectory(const std::string& path, bool intermediates, ErrorRecord* err) {
    if (path.empty()) {
        SetErr(err, ENOENT, "mkdir");
        return false;
    }
    if (IsDirectory(path)) return true;
    if (intermediates) {
        std::string parent = DeletingLastPathComponent(path);
        if (!parent.empty() && parent != path && !IsDirectory(parent)) {
            if (!CreateDirectory(parent, true, err)) return false;
        }
    }
    if (mkdir(path.c_str(), 0755) != 0) {
        if (errno == EEXIST && IsDirectory(path)) return true;
        SetErr(err, errno, "mkdir " + path);
        return false;
    }
    return true;
}

bool RemoveItem(const std::string& path, ErrorRecord* err) {
    if (!ItemExists(path)) {
        SetErr(err, ENOENT, "remove " + path);
        return false;
    }
    std::error_code ec;
    fs::remove_all(fs::path(path), ec);  // does not follow links
    if (ec) {
        SetErr(err, ec.value(), "remove " + path);
        return false;
    }
    return true;
}

bool CopyItem(const std::string& from, const std::string& to, ErrorRecord* err) {
    struct stat st;
    if (lstat(from.c_str(), &st) != 0) {
        SetErr(err, errno, "stat " + from);
        return false;
    }
    return CopyItemAt(AT_FDCWD, from, st, AT_FDCWD, to, err);
}

bool CopyItemAt(int from_dir, const std::string& from, const struct stat& st, int to_dir, const std::string& to,
                ErrorRecord* err) {
    struct stat there;
    if (fstatat(to_dir, to.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0) {
        SetErr(err, EEXIST, "copy to " + to);
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        std::string target;
        if (!ReadLinkAt(from_dir, from, &target)) {
            SetErr(err, errno, "readlink " + from);
            return false;
        }
        if (symlinkat(target.c_str(), to_dir, to.c_str()) != 0) {
            SetErr(err, errno, "symlink " + to);
            return false;
        }
        return SetDatesAt(to_dir, to, st, err);
    }
    if (S_ISDIR(st.st_mode)) {
        if (mkdirat(to_dir, to.c_str(), st.st_mode & 0777) != 0) {
            SetErr(err, errno, "mkdir " + to);
            return false;
        }
        return true;
    }
    if (!S_ISREG(st.st_mode)) {
        SetErr(err, ENOTSUP, "copy " + from);
        return false;
    }
    return CopyRegularFileAt(from_dir, from, to_dir, to, st, err);
}

namespace {
MoveHook& Hook() {
    static MoveHook hook;
    return hook;
}
}  // namespace

void SetMoveHook(MoveHook hook) { Hook() = std::move(hook); }

bool MoveItem(const std::string& from, const std::string& to, ErrorRecord* err) {
    const int held = Hook() ? Hook()(from, to, false) : 0;
    if (held != 0 || rename(from.c_str(), to.c_str()) != 0) {
        SetErr(err, held != 0 ? held : errno, "rename " + from);
        return false;
    }
    return true;
}

bool ExchangeItems(const std::string& a, const std::string& b, ErrorRecord* err) {
    const int held = Hook() ? Hook()(a, b, true) : 0;
    if (held != 0 || renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) != 0) {
        SetErr(err, held != 0 ? held : errno, "exchange " + a + " and " + b);
        return false;
    }
    return true;
}

bool IsExchangeUnsupported(const ErrorRecord& err) {
    return err.domain == kPosixErrorDomain &&
           (err.code == EINVAL || err.code == ENOSYS || err.code == ENOTSUP || err.code == EOPNOTSUPP);
}

bool SetModificationDate(const std::string& path, time_t when, ErrorRecord* err) {
    struct timespec ts[2];
    ts[0].tv_sec = when;
    ts[0].tv_nsec = 0;
    ts[1] = ts[0];
    if (utimensat(AT_FDCWD, path.c_str(), ts, AT_SYMLINK_NOFOLLOW) != 0) {
        SetErr(err, errno, "utimensat " + path);
        return false;
    }
    return true;
}

bool SetDates(const std::string& to, const struct stat& st, ErrorRecord* err) {
    return SetDatesAt(AT_FDCWD, to, st, err);
}

bool SetDatesAt(int dir, const std::string& name, const struct stat& st, ErrorRecord* err) {
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    // Where the system cannot date a link itself, the link is still a good copy.
    if (utimensat(dir, name.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0 && errno != EOPNOTSUPP &&
        errno != ENOTSUP) {
        SetErr(err, errno, "utimensat " + name);
        return false;
    }
    return true;
}

bool GetModificationDate(const std::string& path, time_t* when) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return false;
    *when = st.st_mtime;
    return true;
}

bool SetPosixPermissions(const std::string& path, mode_t mode, ErrorRecord* err) {
    if (ItemTypeAt(path) == ItemType::Symlink) {
        SetErr(err, ELOOP, "chmod " + path);
        return false;
    }
    if (chmod(path.c_str(), mode) != 0) {
        SetErr(err, errno, "chmod " + path);
        return false;
    }
    return true;
}

long PosixMode(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return -1;
    return static_cast<long>(st.st_mode);
}

bool ReadLink(const std::string& path, std::string* target) { return ReadLinkAt(AT_FDCWD, path, target); }

bool ReadLinkAt(int dir, const std::string& name, std::string* target) {
    std::vector<char> buf(4096);
    for (;;) {
        ssize_t n = readlinkat(dir, name.c_str(), buf.data(), buf.size());
        if (n < 0) return false;
        if (static_cast<size_t>(n) < buf.size()) {
            target->assign(buf.data(), static_cast<size_t>(n));
            return true;
        }
        buf.resize(buf.size() * 2);
    }
}

std::string LastPathComponent(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    size_t slash = p.rfind('/');
    if (slash == std::string::npos) return p;
    if (p == "/") return p;
    return p.substr(slash + 1);
}

std::string DeletingLastPathComponent(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    size_t slash = p.rfind('/');
    if (slash == std::string::npos) return "";
    if (slash == 0) return "/";
    return p.substr(0, slash);
}

std::string AppendPathComponent(const std::string& a, const std::string& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    std::string left = a;
    while (left.size() > 1 && left.back() == '/') left.pop_back();
    size_t start = 0;
    while (start < b.size() && b[start] == '/') ++start;
    if (left == "/") return "/" + b.substr(start);
    return left + "/" + b.substr(start);
}

}  // namespace zplat
