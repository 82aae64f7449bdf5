#include "Alert.h"

#include <cstdio>
#include <mutex>

#include "MainQueue.h"

namespace zplat {
namespace {
std::mutex g_mutex;
AlertHook g_hook;
}  // namespace

void SetAlertHook(AlertHook hook) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_hook = std::move(hook);
}

void ShowWarningAlert(const std::string& text, const std::string& button) {
    auto show = [text, button] {
        AlertHook hook;
        {
            std::lock_guard<std::mutex> lock(g_mutex);
            hook = g_hook;
        }
        if (hook) {
            hook(text, button);
        } else {
            fprintf(stderr, "[alert] %s [%s]\n", text.c_str(), button.c_str());
        }
    };
    if (IsMainThread()) {
        show();
    } else {
        MainQueuePost(show);
    }
}

}  // namespace zplat
