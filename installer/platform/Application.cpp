#include "Application.h"

#include <gtk/gtk.h>

#include <cstdio>

#include "AlertDialog.h"
#include "MainQueue.h"

namespace zplat {

Application& Application::Shared() {
    static Application app;
    return app;
}

int Application::Run(int argc, char** argv) {
    MainQueueBindThisThread();
    if (!gtk_init_check(&argc, &argv)) {
        fprintf(stderr, "cannot open the display (is DISPLAY set?)\n");
        return 1;
    }
    m_display = true;
    InstallDialogAlert();
    m_loop = g_main_loop_new(nullptr, FALSE);
    m_running = true;
    if (m_delegate) m_delegate->ApplicationDidFinishLaunching();
    if (m_running) g_main_loop_run(m_loop);
    if (m_delegate) m_delegate->ApplicationWillTerminate();
    g_main_loop_unref(m_loop);
    m_loop = nullptr;
    return 0;
}

void Application::Terminate() {
    m_running = false;
    if (m_loop) g_main_loop_quit(m_loop);
}

void Application::WindowDidClose(Window*) {
    // One window in this program: its closing is the last one.
    if (m_delegate && m_delegate->ApplicationShouldTerminateAfterLastWindowClosed()) Terminate();
}

}  // namespace zplat
