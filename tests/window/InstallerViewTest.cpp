// The installer's view offscreen: geometry and colours of each state, hover and clicks,
// window messages, and the delegate's message channel.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <thread>

#include "AppDelegate.h"
#include "MacInstall.h"
#include "MacUtil.h"
#include "TProcess.h"
#include "UiStrings.h"
#include "UiTheme.h"
#include "WindowTestSupport.h"
#include "platform/MainQueue.h"
#include "platform/Window.h"
#include "ClientSettings.h"
#include "platform/Workspace.h"
#include "support/ScopedEnv.h"

namespace fs = std::filesystem;
using window_test::Canvas;
using window_test::Near;
using window_test::Rgb;
using window_test::Show;

namespace {

const Rgb kTop{20, 40, 80};       // background images: top band
const Rgb kBottom{240, 240, 240};  // bottom band (rows 225 and below)
const Rgb kPlainTop{60, 10, 90};   // the ready/done image's top band
const Rgb kPalette0{231, 231, 231};
const Rgb kPalette1{150, 150, 150};
const Rgb kButton{165, 21, 16};
const Rgb kButtonHover{125, 13, 7};
const Rgb kButtonOutline{217, 64, 65};
const Rgb kTrackOutline{226, 226, 226};
const Rgb kBarFill{252, 115, 115};

bool Dark(const Rgb& c) { return c.r + c.g + c.b < 200; }

class InstallerViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("zid-window-" + std::to_string(getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        bundle_ = root_ / "Installer.app";
        fs::path res = bundle_ / "Contents" / "Resources";
        for (const char* d : {"Config/PkgName/Tamberlyn", "Config/PkgNo/8001", "Config/SerDir/mac8001"})
            fs::create_directories(res / d);
        ASSERT_TRUE(window_test::WriteTwoBandPng((res / "tamberlyn_bk.png").string(), 500, 310, 225, kPlainTop,
                                                 kBottom));
        ASSERT_TRUE(window_test::WriteTwoBandPng((res / "tamberlyn_bk1.png").string(), 500, 310, 225, kTop,
                                                 kBottom));
        fs::create_directories(root_ / "home");
        fs::create_directories(root_ / "Applications");
        // A closed loopback port: a started install fails at once, without leaving the host.
        std::string account = (root_ / "account.json").string();
        FILE* f = fopen(account.c_str(), "w");
        fputs("{\"AppID\": 1250000000, \"AccessKey\": \"AKID\", \"SecretKey\": \"SK\", \"Bucket\": \"tamberlyn\", "
              "\"DestDomain\": \"127.0.0.1:1\", \"LogLevel\": 1}",
              f);
        fclose(f);
        // The view's set-up writes these process-wide settings (account file and download
        // settings); they are put back afterwards.
        saved_domain_ = zuzezi_zid::ClientSettings::GetDestDomain();
        saved_log_level_ = zuzezi_zid::ClientSettings::GetLogLevel();
        saved_threads_ = zuzezi_zid::ClientSettings::GetDownThreadPoolSize();
        saved_slice_ = zuzezi_zid::ClientSettings::GetDownSliceSize();
        env_.Set("HOME", (root_ / "home").string());
        env_.Set("ZID_INSTALLER_BUNDLE", bundle_.string());
        env_.Set("ZID_INSTALLER_APPLICATIONS", (root_ / "Applications").string());
        env_.Set("ZID_INSTALLER_ACCOUNT", account);
        zplat::MainQueueBindThisThread();
        window_ = std::make_unique<zplat::Window>(500, 310, 266);
        view_ = std::make_unique<MacInstall>(zplat::ViewRect{0, 0, 500, 310});
        window_->SetContentView(view_.get());
    }

    void TearDown() override {
        zplat::SetOpenApplicationHook(nullptr);
        view_.reset();
        window_.reset();
        fs::remove_all(root_);
        zuzezi_zid::ClientSettings::SetDestDomain(saved_domain_);
        zuzezi_zid::ClientSettings::SetLogLevel(saved_log_level_);
        zuzezi_zid::ClientSettings::SetDownThreadPoolSize(saved_threads_);
        zuzezi_zid::ClientSettings::SetDownSliceSize(saved_slice_);
    }

    // The whole window at two device pixels per point: one-point lines on whole
    // coordinates then cover whole pixels.
    std::unique_ptr<Canvas> Render() {
        auto canvas = std::make_unique<Canvas>(500, 310, 2);
        window_->RenderInto(canvas->Cr());
        return canvas;
    }

    void Move(double x, double y) { window_->HandlePointerMotion(x, y); }
    void Click(double x, double y) { window_->HandleButtonPress(x, y); }

    fs::path root_, bundle_;
    std::string saved_domain_;
    int saved_log_level_ = 0;
    unsigned saved_threads_ = 0, saved_slice_ = 0;
    zid_test::ScopedEnv env_;
    std::unique_ptr<zplat::Window> window_;
    std::unique_ptr<MacInstall> view_;
};

void ExpectRect(const D2D1_RECT_F& r, float l, float t, float rr, float b, const char* what) {
    EXPECT_EQ(r.left, l) << what;
    EXPECT_EQ(r.top, t) << what;
    EXPECT_EQ(r.right, rr) << what;
    EXPECT_EQ(r.bottom, b) << what;
}

TEST_F(InstallerViewTest, LaysOutTheFaceForItsWindow) {
    Render();  // the close box is placed by drawing
    ExpectRect(view_->ButtonRect(), 200, 202, 300, 238, "button");
    ExpectRect(view_->CorpNoRect(), 200, 142, 300, 178, "package number");
    ExpectRect(view_->InfoRect(), 32, 234, 466, 254, "status");
    ExpectRect(view_->TipRect(), 181, 96, 381, 123, "tip");
    ExpectRect(view_->CloseRect(), 484, 8, 492, 16, "close box");
    const zplat::ViewRect& bar = view_->Process()->Frame();
    EXPECT_EQ(bar.x, 34);
    EXPECT_EQ(bar.y, 260);
    EXPECT_EQ(bar.width, 434);
    EXPECT_EQ(bar.height, 15);
    EXPECT_TRUE(view_->Process()->IsHidden());
    EXPECT_EQ(view_->m_emstate(), kStateReady);
}

TEST_F(InstallerViewTest, ReadyStateDrawsBackgroundCloseBoxNumberAndButton) {
    auto c = Render();
    EXPECT_TRUE(Near(c->At(100, 50), kPlainTop)) << Show(c->At(100, 50));
    EXPECT_TRUE(Near(c->At(100, 290), kBottom)) << "background upright: " << Show(c->At(100, 290));
    // Where the two strokes of the cross meet.
    EXPECT_TRUE(Near(c->At(488, 12), kPalette0, 30)) << Show(c->At(488, 12));
    EXPECT_TRUE(Near(c->At(488, 9), kPlainTop, 3)) << "between the arms: " << Show(c->At(488, 9));
    // Button fill away from the caption and the corners; its outline on the edge.
    EXPECT_TRUE(Near(c->At(204, 230), kButton)) << Show(c->At(204, 230));
    EXPECT_TRUE(Near(c->At(250, 201.75), kButtonOutline)) << Show(c->At(250, 201.75));
    EXPECT_TRUE(Near(c->At(250, 238.25), kButtonOutline)) << Show(c->At(250, 238.25));
    EXPECT_TRUE(Near(c->At(250, 199), kPlainTop)) << Show(c->At(250, 199));
    // Caption "安装" and the package number, light text in their boxes.
    auto light = [](const Rgb& p) { return Near(p, kPalette0, 40); };
    EXPECT_GT(c->Count(210, 204, 290, 236, light), 30);
    EXPECT_GT(c->Count(200, 142, 300, 178, light), 30);
    EXPECT_EQ(c->Count(0, 60, 180, 140, light), 0);
    // No progress bar yet.
    EXPECT_TRUE(Near(c->At(100, 267), kBottom)) << Show(c->At(100, 267));
}

TEST_F(InstallerViewTest, HoverChangesCloseBoxAndButtonAndCaptionDrops) {
    Render();
    Move(488, 12);
    EXPECT_TRUE(view_->HoverClose());
    auto c = Render();
    EXPECT_TRUE(Near(c->At(488, 12), kPalette1, 30)) << Show(c->At(488, 12));
    Move(250, 220);
    EXPECT_FALSE(view_->HoverClose());
    EXPECT_TRUE(view_->MouseOver());
    auto hover = Render();
    EXPECT_TRUE(Near(hover->At(204, 230), kButtonHover)) << Show(hover->At(204, 230));
    EXPECT_TRUE(Near(hover->At(250, 201.75), kButtonOutline));
    // The caption sits one point lower under the pointer.
    Move(10, 10);
    auto normal = Render();
    auto top_of_ink = [](const Canvas& k) {
        for (double y = 202; y < 238; y += 0.5)
            for (double x = 205; x < 295; x += 0.5)
                if (Near(k.At(x, y), kPalette0, 40)) return y;
        return -1.0;
    };
    double up = top_of_ink(*normal), down = top_of_ink(*hover);
    ASSERT_GT(up, 0);
    EXPECT_EQ(down - up, 1.0);
}

TEST_F(InstallerViewTest, HitTestsCountEdgesAsInsideAndRedrawOnlyOnChange) {
    Render();
    struct Case {
        double x, y;
        bool close, button;
    } cases[] = {
        {200, 202, false, true},   {300, 238, false, true},  {250, 220, false, true},
        {199.5, 220, false, false}, {300.5, 220, false, false}, {250, 201.5, false, false}, {250, 238.5, false, false},
        {484, 8, true, false},     {492, 16, true, false},   {483.5, 12, false, false}, {488, 16.5, false, false},
    };
    for (const Case& k : cases) {
        Move(5, 300);
        int before = view_->DisplayCount();
        Move(k.x, k.y);
        EXPECT_EQ(view_->HoverClose(), k.close) << k.x << "," << k.y;
        EXPECT_EQ(view_->MouseOver(), k.button) << k.x << "," << k.y;
        EXPECT_EQ(view_->DisplayCount() - before, (k.close || k.button) ? 1 : 0) << k.x << "," << k.y;
    }
    Move(250, 220);
    int before = view_->DisplayCount();
    Move(251, 221);  // still over the button
    Move(5, 300);    // off it: one redraw
    Move(6, 301);
    EXPECT_EQ(view_->DisplayCount() - before, 1);
}

TEST_F(InstallerViewTest, MessagesDriveTheStatesAndOthersChangeNothing) {
    view_->OnUserMsg(1138, 0, 3);
    EXPECT_EQ(view_->Info(), UiStrings::StepName(3));
    EXPECT_EQ(view_->m_emstate(), kStateReady);
    view_->OnUserMsg(1131, 0, 42);
    EXPECT_EQ(view_->m_emstate(), kStateInstalling);
    EXPECT_EQ(view_->Process()->Percent(), 42);
    for (uint32_t msg : {1133u, 1134u, 1136u, 1137u, 0u, 14u, 1131u + 65536u, 4000000000u}) {
        int before = view_->DisplayCount(), bar_before = view_->Process()->DisplayCount();
        view_->OnUserMsg(msg, 0, 7);
        EXPECT_EQ(view_->m_emstate(), kStateInstalling) << msg;
        EXPECT_EQ(view_->Process()->Percent(), 42) << msg;
        EXPECT_EQ(view_->Info(), UiStrings::StepName(3)) << msg;
        EXPECT_EQ(view_->DisplayCount(), before) << msg;
        EXPECT_EQ(view_->Process()->DisplayCount(), bar_before) << msg;
    }
    view_->OnUserMsg(1135, 0, 4);
    EXPECT_EQ(view_->m_emstate(), kStateFailed);
    EXPECT_EQ(view_->Info(), L"下载运行库失败");
    view_->OnUserMsg(1132, 0, 0);
    EXPECT_EQ(view_->m_emstate(), kStateDone);
    EXPECT_TRUE(view_->Process()->IsHidden());
    // A step number outside the table shows no name instead of reading past it.
    view_->OnUserMsg(1138, 0, 14);
    EXPECT_EQ(view_->Info(), L"");
    view_->OnUserMsg(1135, 0, -1);
    EXPECT_EQ(view_->Info(), L"失败");
}

TEST_F(InstallerViewTest, PercentTextShowsThePercentItself) {
    for (int p : {0, 1, 28, 29, 56, 57, 58, 99, 100}) {
        view_->OnUserMsg(1131, 0, p);
        EXPECT_EQ(view_->PercentText(), std::to_wstring(p) + L"%") << p;
    }
}

TEST_F(InstallerViewTest, InstallingDrawsTrackFillTipAndTexts) {
    // InstallProcess itself starts a worker; the drawing is checked on the state alone.
    view_->Process()->SetHidden(false);
    view_->OnUserMsg(1138, 0, 4);
    struct Case {
        int percent;
        double filled_to;  // last filled x in window points, 0: empty track
    } cases[] = {{0, 0}, {1, 41}, {50, 251}, {99, 460}, {100, 465}, {101, 0}, {250, 0}};
    for (const Case& k : cases) {
        view_->OnUserMsg(1131, 0, k.percent);
        auto c = Render();
        EXPECT_TRUE(Near(c->At(100, 50), kTop)) << "installing background";
        // The view clips the outer half of the outline.
        EXPECT_TRUE(Near(c->At(60, 262), kPalette0)) << k.percent << " track " << Show(c->At(60, 262));
        EXPECT_TRUE(Near(c->At(150, 260.25), kTrackOutline)) << k.percent << " " << Show(c->At(150, 260.25));
        if (k.filled_to > 0) {
            EXPECT_TRUE(Near(c->At(39, 267.5), kBarFill)) << k.percent << " " << Show(c->At(39, 267.5));
            EXPECT_TRUE(Near(c->At(k.filled_to - 1.5, 267.5), kBarFill)) << k.percent;
            if (k.filled_to < 465) EXPECT_TRUE(Near(c->At(k.filled_to + 1.5, 267.5), kPalette0)) << k.percent;
        } else {
            EXPECT_EQ(c->Count(36, 262, 466, 273, [](const Rgb& p) { return Near(p, kBarFill, 20); }), 0)
                << k.percent;
        }
        // No close box while installing.
        EXPECT_TRUE(Near(c->At(488, 12), kTop)) << Show(c->At(488, 12));
    }
    auto c = Render();
    // Step name at the left, percent at the right of the status line; tip line light.
    EXPECT_GT(c->Count(32, 234, 200, 254, Dark), 20);
    EXPECT_GT(c->Count(400, 234, 466, 254, Dark), 10);
    EXPECT_EQ(c->Count(250, 234, 380, 254, Dark), 0);
    EXPECT_GT(c->Count(181, 96, 381, 123, [](const Rgb& p) { return Near(p, kPalette0, 40); }), 30);
    EXPECT_EQ(c->Count(200, 142, 300, 178, [](const Rgb& p) { return Near(p, kPalette0, 40); }), 0);
}

TEST_F(InstallerViewTest, FailedStateShowsTheStepRightAlignedAndTheCloseBox) {
    view_->Process()->SetHidden(false);
    view_->OnUserMsg(1131, 0, 30);
    view_->OnUserMsg(1135, 0, 4);
    auto c = Render();
    EXPECT_TRUE(Near(c->At(488, 12), kPalette0, 30)) << Show(c->At(488, 12));
    EXPECT_GT(c->Count(300, 234, 466, 254, Dark), 30);
    EXPECT_EQ(c->Count(32, 234, 200, 254, Dark), 0);
    // The bar stays with its last percent; no button.
    EXPECT_TRUE(Near(c->At(39, 267.5), kBarFill));
    EXPECT_TRUE(Near(c->At(204, 230), kBottom)) << Show(c->At(204, 230));
}

TEST_F(InstallerViewTest, DoneStateShowsOpenButtonWithoutBar) {
    view_->Process()->SetHidden(false);
    view_->OnUserMsg(1131, 0, 100);
    view_->OnUserMsg(1132, 0, 0);
    auto c = Render();
    EXPECT_TRUE(Near(c->At(100, 50), kPlainTop));
    EXPECT_TRUE(Near(c->At(204, 230), kButton));
    EXPECT_TRUE(Near(c->At(60, 267), kBottom)) << Show(c->At(60, 267));
    EXPECT_GT(c->Count(210, 204, 290, 236, [](const Rgb& p) { return Near(p, kPalette0, 40); }), 30);
}

TEST_F(InstallerViewTest, MissingBackgroundLeavesItUndrawnAndTheRestDrawn) {
    fs::remove(bundle_ / "Contents/Resources/tamberlyn_bk.png");
    auto c = Render();
    EXPECT_TRUE(Near(c->At(100, 50), Rgb{255, 0, 255})) << Show(c->At(100, 50));
    EXPECT_TRUE(Near(c->At(204, 230), kButton));
}

TEST_F(InstallerViewTest, CloseBoxClosesInEveryStateButWhileTheBundleIsReplaced) {
    struct Case {
        std::vector<std::pair<uint32_t, int>> messages;
        bool closes;
    } cases[] = {
        {{}, true},
        {{{1138, 4}, {1131, 40}}, true},  // not drawn while installing, still there
        {{{1131, 90}, {1138, 11}}, false},
        {{{1131, 90}, {1138, 13}}, false},
        {{{1138, 13}, {1135, 13}}, true},
        {{{1138, 13}, {1132, 0}}, true},
    };
    for (const Case& k : cases) {
        window_ = std::make_unique<zplat::Window>(500, 310, 266);
        view_ = std::make_unique<MacInstall>(zplat::ViewRect{0, 0, 500, 310});
        window_->SetContentView(view_.get());
        Render();
        for (auto& m : k.messages) view_->OnUserMsg(m.first, 0, m.second);
        Render();
        Click(484, 16);  // an edge of the box
        EXPECT_EQ(window_->IsClosed(), k.closes) << k.messages.size();
        EXPECT_EQ(window_->HandleDeleteRequest(), k.closes);
    }
}

TEST_F(InstallerViewTest, ClicksOutsideTheBoxesDoNothing) {
    Render();
    for (auto p : {std::pair<double, double>{199.5, 220}, {250, 238.5}, {483.5, 12}, {10, 300}}) {
        Click(p.first, p.second);
        EXPECT_FALSE(window_->IsClosed());
        EXPECT_EQ(view_->m_emstate(), kStateReady);
    }
}

TEST_F(InstallerViewTest, OpenLaunchesTheInstalledBundleAndCloses) {
    std::string opened;
    zplat::SetOpenApplicationHook([&](const std::string& b) {
        opened = b;
        return true;
    });
    view_->OnUserMsg(1132, 0, 0);
    Render();
    Click(300, 238);
    EXPECT_EQ(opened, (root_ / "Applications" / "Tamberlyn.app").string());
    EXPECT_TRUE(window_->IsClosed());
    EXPECT_EQ(zplat::BundleExecutable("/x/Applications/Tamberlyn.app/"), "/x/Applications/Tamberlyn.app/Contents/MacOS/Tamberlyn");
}

TEST_F(InstallerViewTest, ButtonInStatesOneAndTwoDoesNothing) {
    bool opened = false;
    zplat::SetOpenApplicationHook([&](const std::string&) { return opened = true; });
    for (uint32_t msg : {1131u, 1135u}) {
        view_->OnUserMsg(msg, 0, 5);
        int32_t state = view_->m_emstate();
        Render();
        Click(250, 220);
        EXPECT_EQ(view_->m_emstate(), state);
        EXPECT_FALSE(window_->IsClosed());
    }
    EXPECT_FALSE(opened);
}

TEST_F(InstallerViewTest, InstallStartsTheRunAndItsFailureReachesTheView) {
    Render();
    fs::create_directories(UiTheme::Settings().m_szBackupDir);
    Click(250, 220);
    EXPECT_EQ(view_->m_emstate(), kStateInstalling);
    EXPECT_FALSE(view_->Process()->IsHidden());
    EXPECT_FALSE(fs::exists(UiTheme::Settings().m_szBackupDir));
    // The delegate is not involved here: observe the channel directly.
    int token = zplat::NotificationCenter::Default().AddObserver("OnFrameUserMsg", [&](const zplat::Notification& n) {
        view_->OnUserMsg(static_cast<uint32_t>(n.userInfo.at("msg")), n.userInfo.at("w"), n.userInfo.at("l"));
    });
    bool ended = zplat::MainQueueRunUntil([&] { return view_->m_emstate() == kStateFailed; }, 30000);
    zplat::NotificationCenter::Default().RemoveObserver(token);
    ASSERT_TRUE(ended);
    EXPECT_EQ(view_->Info(), L"下载安装统计信息失败");
    // A second click on the (absent) button starts nothing.
    Click(250, 220);
    EXPECT_EQ(view_->m_emstate(), kStateFailed);
}

TEST_F(InstallerViewTest, DelegateBuildsTheWindowAndDeliversMessagesInOrder) {
    view_.reset();
    window_.reset();
    AppDelegate delegate;
    delegate.ApplicationDidFinishLaunching();
    ASSERT_NE(delegate.window(), nullptr);
    EXPECT_EQ(delegate.window()->Title(), "Mac岚帆安装");
    EXPECT_EQ(delegate.window()->Width(), 500);
    EXPECT_EQ(delegate.window()->Height(), 310);
    EXPECT_TRUE(delegate.window()->IsVisible());
    EXPECT_EQ(delegate.window()->ContentView(), delegate.m_view());
    EXPECT_TRUE(delegate.ApplicationShouldTerminateAfterLastWindowClosed());
    MacInstall* view = delegate.m_view();
    std::thread worker([] {
        for (int p = 1; p <= 60; ++p) MacUtil::PostUserMsg(1131, 0, 0, p);
        MacUtil::PostUserMsg(1138, 0, 0, 9);
        MacUtil::PostUserMsg(1136, 0, 0, 2);
        MacUtil::PostUserMsg(1135, 0, 0, 9);
    });
    std::vector<int> seen;
    int token = zplat::NotificationCenter::Default().AddObserver("OnFrameUserMsg", [&](const zplat::Notification& n) {
        if (n.userInfo.at("msg") == 1131) seen.push_back(static_cast<int>(n.userInfo.at("l")));
    });
    worker.join();
    ASSERT_TRUE(zplat::MainQueueRunUntil([&] { return view->m_emstate() == kStateFailed; }, 5000));
    zplat::NotificationCenter::Default().RemoveObserver(token);
    ASSERT_EQ(seen.size(), 60u);
    for (int i = 0; i < 60; ++i) EXPECT_EQ(seen[i], i + 1);
    EXPECT_EQ(view->Process()->Percent(), 60);
    EXPECT_EQ(view->Info(), L"安装运行库失败");
}

}  // namespace
