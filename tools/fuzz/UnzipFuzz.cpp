// libFuzzer target: the unzip as the install run calls it, on arbitrary bytes, into a
// destination of its own deep inside a sandbox folder. Aborts when anything appears in the
// sandbox outside the destination, when something outside it changes, when a link inside
// leads outside, or when a failed run reports no error.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "ZipFacade.h"
#include "platform/TreeCopy.h"
#include "platform/TreeWalk.h"

namespace {

// Climbing names that get past the checks land in these folders, where they show.
constexpr int kDepth = 16;
constexpr const char* kSentinel = "sentinel.txt";
constexpr const char* kSentinelText = "outside the destination";
constexpr time_t kSentinelDate = 1000000000;

int g_report_fd = 2;  // stderr as it was before libFuzzer may have closed it

[[noreturn]] void Escape(const char* fmt, ...) {
    char buf[PATH_MAX * 3];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    dprintf(g_report_fd, "unzip fuzz: %s\n", buf);
    abort();
}

std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d)) {
            if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.insert(e->d_name);
        }
        closedir(d);
    }
    return names;
}

struct Sandbox {
    std::string base;  // the folder given to the run: nothing may appear in it but `top`
    std::set<std::string> inBase;  // what it held before
    std::string top;
    std::vector<std::string> chain;  // top, then each folder down to the destination's parent
    std::string archive;
    std::string dest;
};

const Sandbox& TheSandbox() {
    static const Sandbox box = [] {
        Sandbox s;
        const char* given = getenv("ZID_FUZZ_SANDBOX");
        const char* tmp = getenv("TMPDIR");
        std::string where = given ? given : tmp ? tmp : "/tmp";
        char resolved[PATH_MAX];
        if (!realpath(where.c_str(), resolved)) Escape("no folder %s", where.c_str());
        s.base = resolved;
        s.inBase = Names(s.base);
        std::string pattern = s.base + "/zid-unzip-fuzz-XXXXXX";
        if (!mkdtemp(&pattern[0])) Escape("cannot make a folder in %s", s.base.c_str());
        s.top = pattern;
        if (chmod(s.top.c_str(), 0755) != 0) Escape("cannot set up %s", s.top.c_str());
        std::string folder = s.top;
        for (int i = 0; i < kDepth; ++i) {
            s.chain.push_back(folder);
            folder += "/d" + std::to_string(i);
            if (mkdir(folder.c_str(), 0755) != 0 || chmod(folder.c_str(), 0755) != 0) Escape("cannot make %s", folder.c_str());
        }
        s.chain.push_back(folder);
        s.archive = s.top + "/in.zip";
        s.dest = folder + "/dest";
        const std::string sentinel = s.top + "/" + kSentinel;
        if (FILE* f = fopen(sentinel.c_str(), "w")) {
            fputs(kSentinelText, f);
            fclose(f);
        }
        const timespec times[2] = {{kSentinelDate, 0}, {kSentinelDate, 0}};
        if (chmod(sentinel.c_str(), 0640) != 0 || utimensat(AT_FDCWD, sentinel.c_str(), times, 0) != 0) {
            Escape("cannot set up %s", sentinel.c_str());
        }
        return s;
    }();
    return box;
}

// The folder at the absolute path `at` (its segments), opened from the root one segment at
// a time: a path longer than the system takes still opens. -1 when any part is missing or
// no folder.
int OpenFolder(const std::vector<std::string>& at) {
    int fd = open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (size_t i = 0; fd >= 0 && i < at.size(); ++i) {
        const int next = openat(fd, at[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        close(fd);
        fd = next;
    }
    return fd;
}

std::string Joined(const std::vector<std::string>& at) {
    std::string path;
    for (const std::string& seg : at) path += "/" + seg;
    return path.empty() ? "/" : path;
}

// Where `path` leads when every link on the way is followed, as the system would follow
// them; parts that do not exist are taken as written. Each link is read relative to its
// folder's descriptor.
std::vector<std::string> Resolve(const std::string& path) {
    std::vector<std::string> todo;  // segments still to walk, the next one last
    auto push = [&todo](const std::string& p) {
        std::vector<std::string> segs;
        for (size_t pos = 0; pos <= p.size();) {
            size_t slash = p.find('/', pos);
            if (slash == std::string::npos) slash = p.size();
            segs.push_back(p.substr(pos, slash - pos));
            pos = slash + 1;
        }
        todo.insert(todo.end(), segs.rbegin(), segs.rend());
    };
    push(path);
    std::vector<std::string> at;  // empty is the root
    for (int hops = 0; !todo.empty();) {
        const std::string seg = todo.back();
        todo.pop_back();
        if (seg.empty() || seg == ".") continue;
        if (seg == "..") {
            if (!at.empty()) at.pop_back();
            continue;
        }
        const int dir = hops < 40 ? OpenFolder(at) : -1;
        struct stat st;
        if (dir >= 0 && fstatat(dir, seg.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
            ++hops;
            char target[PATH_MAX + 1];
            const ssize_t n = readlinkat(dir, seg.c_str(), target, PATH_MAX);
            close(dir);
            if (n < 0) Escape("cannot read the link %s/%s", Joined(at).c_str(), seg.c_str());
            const std::string t(target, static_cast<size_t>(n));
            if (!t.empty() && t[0] == '/') at.clear();
            push(t);
            continue;
        }
        if (dir >= 0) close(dir);
        at.push_back(seg);
    }
    return at;
}

bool Inside(const std::vector<std::string>& at, const std::vector<std::string>& folder) {
    return at.size() >= folder.size() && std::equal(folder.begin(), folder.end(), at.begin());
}

// Every link below `dest` leads to `dest` or below it.
class LinkCheck : public zplat::TreeVisitor {
public:
    explicit LinkCheck(const std::string& dest) : dest_(dest), inside_(Resolve(dest)) {}

    zplat::Walk Item(const zplat::WalkItem& item) override {
        if (S_ISDIR(item.st.st_mode)) return zplat::Walk::Enter;
        if (S_ISLNK(item.st.st_mode)) {
            const std::vector<std::string> to = Resolve(dest_ + "/" + item.rel);
            if (!Inside(to, inside_)) {
                Escape("the link %s/%s leads to %s, outside the destination", dest_.c_str(), item.rel.c_str(),
                       Joined(to).c_str());
            }
        }
        return zplat::Walk::Next;
    }
    void Unreadable(const std::string& rel, const zplat::ErrorRecord& err) override {
        if (!rel.empty()) Escape("cannot look at %s/%s: %s", dest_.c_str(), rel.c_str(), err.description.c_str());
    }

private:
    std::string dest_;
    std::vector<std::string> inside_;
};

void CheckLinks(const std::string& dest) {
    struct stat st;
    if (lstat(dest.c_str(), &st) != 0) return;  // a failed run may leave no destination
    LinkCheck check(dest);
    zplat::WalkTree(dest, check);
}

void CheckSandbox(const Sandbox& s) {
    const std::set<std::string> base = Names(s.base);
    const std::string top = s.top.substr(s.base.size() + 1);
    if (base.count(top) == 0) Escape("the sandbox folder went away");
    for (const std::string& name : base) {
        if (name != top && s.inBase.count(name) == 0) {
            Escape("%s/%s appeared outside the sandbox", s.base.c_str(), name.c_str());
        }
    }
    for (size_t i = 0; i < s.chain.size(); ++i) {
        struct stat st;
        if (lstat(s.chain[i].c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || (st.st_mode & 07777) != 0755) {
            Escape("%s is no longer the folder it was", s.chain[i].c_str());
        }
        std::set<std::string> expected = {i + 1 < s.chain.size() ? "d" + std::to_string(i) : "dest"};
        if (i == 0) expected.insert({"in.zip", kSentinel});
        const std::set<std::string> found = Names(s.chain[i]);
        for (const std::string& name : found) {
            if (expected.count(name) == 0) Escape("%s/%s appeared outside the destination", s.chain[i].c_str(), name.c_str());
        }
    }
    const std::string sentinel = s.top + "/" + kSentinel;
    struct stat st;
    char text[64] = {};
    FILE* f = fopen(sentinel.c_str(), "r");
    const size_t n = f ? fread(text, 1, sizeof text - 1, f) : 0;
    if (f) fclose(f);
    if (lstat(sentinel.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & 07777) != 0640 ||
        st.st_mtime != kSentinelDate || std::string(text, n) != kSentinelText) {
        Escape("%s outside the destination was changed", sentinel.c_str());
    }
    if (lstat(s.dest.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) Escape("the destination is no longer a folder");
    CheckLinks(s.dest);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Before libFuzzer closes stderr (-close_fd_mask=2) to silence the unzip's log lines.
    g_report_fd = dup(2);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Sandbox& s = TheSandbox();
    if (FILE* f = fopen(s.archive.c_str(), "wb")) {
        if (fwrite(data, 1, size, f) != size) Escape("cannot write %s", s.archive.c_str());
        fclose(f);
    } else {
        Escape("cannot write %s", s.archive.c_str());
    }
    zplat::ErrorRecord error;
    const bool ok = ZipFacade::UnzipFileAtPath(s.archive, s.dest, true, "", &error);
    if (!ok && error.domain.empty()) Escape("the unzip failed without an error record");
    CheckSandbox(s);
    // By descriptors: the tree may be deeper than a path can name.
    const std::string parent = s.chain.back();
    const int fd = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || (fstatat(fd, "dest", &st, AT_SYMLINK_NOFOLLOW) == 0 && !zplat::RemoveItemAt(fd, "dest"))) {
        Escape("cannot remove %s: %s", s.dest.c_str(), strerror(errno));
    }
    close(fd);
    return 0;
}
