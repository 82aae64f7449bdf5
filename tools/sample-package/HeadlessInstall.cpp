// zid-install-headless: runs the installer's engine without a window, through the same
// message channel, and prints every message. Exit status 0 when the install finished,
// 1 when a step failed, 2 on time-out.
//   zid-install-headless [--timeout SECONDS]
// The bundle, applications folder and account come from the ZID_INSTALLER_* variables.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "IClient.h"
#include "MacUtil.h"
#include "UiStrings.h"
#include "UiTheme.h"
#include "platform/CodePage.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"

namespace {
std::string Utf8(const wchar_t* w) {
    std::string s;
    zplat::WideToBytes(w, 65001, &s);
    return s;
}
}  // namespace

int main(int argc, char** argv) {
    int timeout_s = 300;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--timeout" && i + 1 < argc) timeout_s = atoi(argv[++i]);
    }
    zplat::MainQueueBindThisThread();
    int outcome = -1;
    int last_percent = -1;
    zplat::NotificationCenter::Default().AddObserver("OnFrameUserMsg", [&](const zplat::Notification& n) {
        int64_t msg = n.userInfo.at("msg"), l = n.userInfo.at("l");
        if (msg == kMsgProgress) {
            if (l != last_percent) printf("  progress %lld%%\n", static_cast<long long>(l));
            last_percent = static_cast<int>(l);
        } else if (msg == kMsgStepStarted) {
            printf("step %lld: %s\n", static_cast<long long>(l), Utf8(UiStrings::StepName(static_cast<int>(l))).c_str());
        } else if (msg == kMsgStepFailed) {
            printf("step %lld failed: %s%s\n", static_cast<long long>(l),
                   Utf8(UiStrings::StepName(static_cast<int>(l))).c_str(), Utf8(UiStrings::Message(6)).c_str());
            outcome = 1;
        } else if (msg == kMsgFinished) {
            printf("install finished\n");
            outcome = 0;
        }
        fflush(stdout);
    });

    // Lives as long as the process, like the window's: the install thread is never joined.
    static IClient* const engine = new IClient;
    engine->InitOssAccount();
    engine->InitOssClient();
    const InstallSettings& s = UiTheme::Settings();
    MacUtil::MakeDirsForPath(s.m_szTempDir.c_str());
    printf("package %s (%s), bucket %s, staging %s\ninstalling into %s/%s\n", s.m_szPkgName.c_str(),
           s.m_szPkgNo.c_str(), engine->Bucket().c_str(), s.m_szTempDir.c_str(), s.m_szAppDir.c_str(),
           s.m_szAppName.c_str());
    if (!StartInstallThread(engine)) {
        fprintf(stderr, "cannot start the install thread\n");
        return 1;
    }
    if (!zplat::MainQueueRunUntil([&] { return outcome >= 0; }, timeout_s * 1000)) {
        fprintf(stderr, "the install did not end within %d s\n", timeout_s);
        return 2;
    }
    return outcome;
}
