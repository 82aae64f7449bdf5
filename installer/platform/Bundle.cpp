#include "Bundle.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "FileManager.h"

namespace zplat {

namespace {
std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}
}  // namespace

std::string ExecutablePath() {
    std::vector<char> buf(4096);
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) return "";
    return std::string(buf.data(), static_cast<size_t>(n));
}

std::string BundlePath() {
    std::string env = Env("ZID_INSTALLER_BUNDLE");
    if (!env.empty()) return env;
    std::string dir = DeletingLastPathComponent(ExecutablePath());
    if (EndsWith(dir, "/Contents/MacOS")) {
        return dir.substr(0, dir.size() - std::string("/Contents/MacOS").size());
    }
    return dir;
}

std::string BundleResourcePath() {
    return BundlePath() + "/Contents/Resources";
}

std::string HomeDirectory() {
    std::string home = Env("HOME");
    if (!home.empty()) return home;
    if (struct passwd* pw = getpwuid(getuid())) {
        if (pw->pw_dir) return pw->pw_dir;
    }
    return "";
}

std::string UserLibraryDirectory() {
    std::string home = HomeDirectory();
    if (home.empty()) return "";
    return AppendPathComponent(home, "Library");
}

std::string ApplicationsDirectory() {
    std::string env = Env("ZID_INSTALLER_APPLICATIONS");
    return env.empty() ? std::string("/Applications") : env;
}

std::string AccountFilePath() {
    std::string env = Env("ZID_INSTALLER_ACCOUNT");
    if (!env.empty()) return env;
    return AppendPathComponent(DeletingLastPathComponent(BundlePath()), "zid-account.json");
}

}  // namespace zplat
