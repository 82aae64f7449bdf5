// The application's delegate: makes the window and its view when launching finishes and
// hands the install run's window messages to the view.
#pragma once

#include "platform/Application.h"
#include "platform/NotificationCenter.h"

namespace zplat {
class Window;
}
class MacInstall;

class AppDelegate : public zplat::ApplicationDelegate {
public:
    AppDelegate();
    ~AppDelegate() override;

    void ApplicationDidFinishLaunching() override;
    void ApplicationWillTerminate() override;
    bool ApplicationSupportsSecureRestorableState() const { return true; }
    bool ApplicationShouldTerminateAfterLastWindowClosed() override { return true; }
    void OnFrameUserMsg(const zplat::Notification& note);

    zplat::Window* window() const { return _window; }
    MacInstall* m_view() const { return _m_view; }

private:
    zplat::Window* _window = nullptr;
    MacInstall* _m_view = nullptr;
    int m_observer = 0;
};
