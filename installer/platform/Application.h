// The application object: starts the toolkit, hands the delegate its launch, runs the
// main loop (the same GLib loop the main-thread queue posts to) and ends it.
#pragma once

typedef struct _GMainLoop GMainLoop;

namespace zplat {

class Window;

class ApplicationDelegate {
public:
    virtual ~ApplicationDelegate() = default;
    virtual void ApplicationDidFinishLaunching() {}
    virtual void ApplicationWillTerminate() {}
    virtual bool ApplicationShouldTerminateAfterLastWindowClosed() { return false; }
};

class Application {
public:
    static Application& Shared();

    void SetDelegate(ApplicationDelegate* delegate) { m_delegate = delegate; }
    ApplicationDelegate* Delegate() const { return m_delegate; }

    // Opens the display (false without one), then runs until Terminate. Returns the exit
    // status: 0, or 1 when there is no display.
    int Run(int argc, char** argv);
    void Terminate();
    // True once the toolkit is up: windows made from then on are real ones.
    bool HasDisplay() const { return m_display; }

    void WindowDidClose(Window* window);

private:
    Application() = default;
    ApplicationDelegate* m_delegate = nullptr;
    bool m_display = false;
    bool m_running = false;
    GMainLoop* m_loop = nullptr;
};

}  // namespace zplat
