#include "AppDelegate.h"

#include "MacInstall.h"
#include "platform/Window.h"

namespace {
constexpr unsigned kStyleMask = 266;  // closable, resizable, textured; no title bar
constexpr const char* kTitle = "Mac岚帆安装";

int64_t Field(const zplat::Notification& note, const char* key) {
    auto it = note.userInfo.find(key);
    return it == note.userInfo.end() ? 0 : it->second;
}
}  // namespace

AppDelegate::AppDelegate() = default;

AppDelegate::~AppDelegate() {
    if (m_observer) zplat::NotificationCenter::Default().RemoveObserver(m_observer);
    delete _window;
    delete _m_view;
}

void AppDelegate::ApplicationDidFinishLaunching() {
    _window = new zplat::Window(500, 310, kStyleMask);
    _window->SetTitle(kTitle);
    _window->Center();
    _window->MakeKeyAndOrderFront();
    _m_view = new MacInstall(zplat::ViewRect{0, 0, 500, 310});
    _window->SetContentView(_m_view);
    m_observer = zplat::NotificationCenter::Default().AddObserver(
        "OnFrameUserMsg", [this](const zplat::Notification& note) { OnFrameUserMsg(note); });
}

void AppDelegate::ApplicationWillTerminate() {}

void AppDelegate::OnFrameUserMsg(const zplat::Notification& note) {
    if (!_m_view) return;
    _m_view->OnUserMsg(static_cast<uint32_t>(static_cast<int32_t>(Field(note, "msg"))), Field(note, "w"),
                       Field(note, "l"));
}
