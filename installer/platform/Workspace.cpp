#include "Workspace.h"

#include <gio/gio.h>

#include <mutex>

#include "Log.h"

namespace zplat {
namespace {
std::mutex g_mutex;
OpenHook g_hook;
}  // namespace

void SetOpenApplicationHook(OpenHook hook) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_hook = std::move(hook);
}

std::string BundleExecutable(const std::string& bundle) {
    std::string b = bundle;
    while (b.size() > 1 && b.back() == '/') b.pop_back();
    std::string name = b.substr(b.find_last_of('/') + 1);
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".app") == 0) name.resize(name.size() - 4);
    return b + "/Contents/MacOS/" + name;
}

bool OpenApplication(const std::string& bundle) {
    OpenHook hook;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        hook = g_hook;
    }
    if (hook) return hook(bundle);
    std::string exe = BundleExecutable(bundle);
    gchar* argv[] = {const_cast<gchar*>(exe.c_str()), nullptr};
    GError* error = nullptr;
    // Without DO_NOT_REAP the child is detached by a double fork: it survives us.
    gboolean ok = g_spawn_async(nullptr, argv, nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, nullptr, &error);
    if (!ok) {
        LogLine("cannot start %s: %s", exe.c_str(), error ? error->message : "unknown error");
        if (error) g_error_free(error);
        return false;
    }
    return true;
}

bool OpenUri(const std::string& uri) {
    return g_app_info_launch_default_for_uri(uri.c_str(), nullptr, nullptr) != FALSE;
}

}  // namespace zplat
