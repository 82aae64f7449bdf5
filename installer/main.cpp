// zid-installer: the installer's window. No command-line options.
#include <cstdio>
#include <unistd.h>

#include "AppDelegate.h"
#include "platform/Application.h"

int main(int argc, char** argv) {
    AppDelegate* delegate = new AppDelegate;
    zplat::Application::Shared().SetDelegate(delegate);
    int status = zplat::Application::Shared().Run(argc, argv);
    fflush(stdout);
    fflush(stderr);
    // The install worker is never joined and may still be running: leave without running
    // static destructors under its feet.
    _exit(status);
}
