// The real installer program under the X server: its window, an install from the loopback
// storage service driven by pointer clicks, and the installed program started by Open.
// One screenshot per state is kept in the build folder (tests/window/screens).
#include <gtest/gtest.h>

#if defined(ZID_INSTALLER_EXE) && defined(ZID_HAVE_SAMPLE_PACKAGE)

#include <cairo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "LocalService.h"
#include "SamplePackage.h"
#include "WindowTestSupport.h"

namespace fs = std::filesystem;
using window_test::HaveTool;
using window_test::Near;
using window_test::Rgb;
using window_test::Shell;
using window_test::Show;

namespace {

const char* kTitle = "Mac岚帆安装";
const Rgb kButton{165, 21, 16};
const Rgb kButtonHover{125, 13, 7};
const Rgb kTrack{231, 231, 231};

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A screenshot of one window, read back as pixels.
class Shot {
public:
    explicit Shot(const std::string& png) {
        m_surface = cairo_image_surface_create_from_png(png.c_str());
        if (cairo_surface_status(m_surface) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(m_surface);
            m_surface = nullptr;
        }
    }
    ~Shot() {
        if (m_surface) cairo_surface_destroy(m_surface);
    }
    bool Ok() const { return m_surface != nullptr; }
    int Width() const { return m_surface ? cairo_image_surface_get_width(m_surface) : 0; }
    int Height() const { return m_surface ? cairo_image_surface_get_height(m_surface) : 0; }
    Rgb At(int x, int y) const {
        if (!m_surface || x >= Width() || y >= Height()) return Rgb{-1000, -1000, -1000};
        const unsigned char* d = cairo_image_surface_get_data(m_surface);
        uint32_t v = *reinterpret_cast<const uint32_t*>(d + y * cairo_image_surface_get_stride(m_surface) + x * 4);
        return Rgb{static_cast<int>((v >> 16) & 0xff), static_cast<int>((v >> 8) & 0xff), static_cast<int>(v & 0xff)};
    }
    int CountDark(int l, int t, int r, int b) const {
        return Count(l, t, r, b, [](const Rgb& c) { return c.r + c.g + c.b < 200; });
    }
    int CountLight(int l, int t, int r, int b) const {
        return Count(l, t, r, b, [](const Rgb& c) { return c.r + c.g + c.b > 450; });
    }
    int Count(int l, int t, int r, int b, const std::function<bool(const Rgb&)>& match) const {
        int n = 0;
        for (int y = t; y < b; ++y)
            for (int x = l; x < r; ++x)
                if (match(At(x, y))) ++n;
        return n;
    }

private:
    cairo_surface_t* m_surface = nullptr;
};

bool ButtonShown(const Shot& s) { return Near(s.At(204, 230), kButton, 6) || Near(s.At(204, 230), kButtonHover, 6); }
// The track above the filled part, at its far end.
bool BarShown(const Shot& s) { return Near(s.At(450, 261), kTrack, 6); }
// The light cross at the top right; not drawn while installing.
bool CloseBoxShown(const Shot& s) { return s.CountLight(483, 7, 493, 17) >= 4; }
// "Please wait" over the top band; drawn only while installing.
bool TipShown(const Shot& s) { return s.CountLight(181, 96, 381, 123) > 30; }
bool InstallingShown(const Shot& s) { return BarShown(s) && !ButtonShown(s) && TipShown(s) && !CloseBoxShown(s); }
// The failed step's name at the right of the status line, the tip gone and the close box back.
bool StepFailedShown(const Shot& s) {
    return BarShown(s) && !ButtonShown(s) && !TipShown(s) && CloseBoxShown(s) && s.CountDark(300, 234, 466, 254) > 30;
}

class InstallerProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!getenv("DISPLAY")) GTEST_SKIP() << "no display (scripts/test.sh runs the tests under Xvfb)";
        if (!HaveTool("xdotool") || !HaveTool("import")) GTEST_SKIP() << "xdotool or ImageMagick's import missing";
        root_ = fs::temp_directory_path() /
                ("zid-program-" + std::to_string(getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        bundle_ = root_ / "installer" / "Installer.app";
        ASSERT_TRUE(zid_sample::WriteRemoteObjects(pkg_, (root_ / "seed").string(), "tamberlyn-1250000000"));
        ASSERT_TRUE(zid_sample::WriteInstallerBundle(pkg_, bundle_.string()));
        for (const char* png : {"tamberlyn_bk.png", "tamberlyn_bk1.png"})
            ASSERT_TRUE(fs::exists(bundle_ / "Contents" / "Resources" / png)) << png;
        service_.Start();
        service_.Seed((root_ / "seed").string());
        fs::create_directories(root_ / "home");
        fs::create_directories(root_ / "Applications");
        std::ofstream(root_ / "account.json")
            << "{\"AppID\": 1250000000, \"AccessKey\": \"AKID\", \"SecretKey\": \"SK\", \"Bucket\": \"tamberlyn\", "
               "\"DestDomain\": \"" << service_.DestDomain() << "\", \"LogLevel\": 1}";
        shots_ = fs::path(ZID_WINDOW_ARTEFACTS);
        fs::create_directories(shots_);
    }

    void TearDown() override {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (service_.IsRunning()) service_.Stop();
        if (!root_.empty()) fs::remove_all(root_);
    }

    void Start() {
        std::string out = (root_ / "program.out").string();
        pid_ = fork();
        ASSERT_GE(pid_, 0);
        if (pid_ == 0) {
            int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, 1);
            dup2(fd, 2);
            setenv("HOME", (root_ / "home").c_str(), 1);
            setenv("ZID_INSTALLER_BUNDLE", bundle_.c_str(), 1);
            setenv("ZID_INSTALLER_APPLICATIONS", (root_ / "Applications").c_str(), 1);
            setenv("ZID_INSTALLER_ACCOUNT", (root_ / "account.json").c_str(), 1);
            execl(ZID_INSTALLER_EXE, ZID_INSTALLER_EXE, static_cast<char*>(nullptr));
            _exit(127);
        }
        window_ = Shell(std::string("timeout 20 xdotool search --sync --onlyvisible --pid ") + std::to_string(pid_) +
                      " --name '" + kTitle + "' | head -1");
        ASSERT_FALSE(window_.empty()) << "no window appeared; program said:\n" << ReadFile(root_ / "program.out");
    }

    std::unique_ptr<Shot> Screenshot(const std::string& name) {
        std::string path = (shots_ / (name + ".png")).string();
        Shell("import -window " + window_ + " png:" + path + " 2>/dev/null");
        return std::make_unique<Shot>(path);
    }

    // Screenshots until `done` holds; the last one is kept under `name`.
    std::unique_ptr<Shot> WaitFor(const std::string& name, const std::function<bool(const Shot&)>& done,
                                  int timeout_s) {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_s);
        while (std::chrono::steady_clock::now() < until) {
            auto s = Screenshot(name);
            if (s->Ok() && done(*s)) return s;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return nullptr;
    }

    void Click(int x, int y) {
        Shell("xdotool mousemove --window " + window_ + " " + std::to_string(x) + " " + std::to_string(y) +
            " click 1");
    }

    // The program's exit status, or -1 when it is still running after `timeout_s`.
    int WaitExit(int timeout_s) {
        for (int i = 0; i < timeout_s * 10; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return -1;
    }

    zid_sample::SamplePackage pkg_;
    zid_local::LocalService service_;
    fs::path root_, bundle_, shots_;
    pid_t pid_ = -1;
    std::string window_;
};

TEST_F(InstallerProgramTest, InstallsFromTheServiceAndOpensTheInstalledProgram) {
    // Hold the application package back until the installing state has been seen.
    zid_local::Fault slow;
    slow.kind = zid_local::FaultKind::Stall;
    slow.stallMs = 60000;
    slow.chunkBytes = 0;  // one wait before each answer
    slow.method = "GET";
    slow.keySubstring = "/fix/";
    slow.times = -1;
    service_.AddFault(slow);
    Start();

    EXPECT_EQ(Shell("xdotool getwindowname " + window_), kTitle);
    std::string geometry = Shell("xdotool getwindowgeometry " + window_);
    EXPECT_NE(geometry.find("Geometry: 500x310"), std::string::npos) << geometry;
    int screen_w = 0, screen_h = 0;
    ASSERT_EQ(sscanf(Shell("xdotool getdisplaygeometry").c_str(), "%d %d", &screen_w, &screen_h), 2);
    std::string centred = "Position: " + std::to_string((screen_w - 500) / 2) + "," + std::to_string((screen_h - 310) / 2);
    EXPECT_NE(geometry.find(centred), std::string::npos) << geometry;
    // No title bar (Motif hints: decorations field set, no decorations) and a fixed size.
    if (HaveTool("xprop")) {
        EXPECT_NE(Shell("xprop -id " + window_ + " _MOTIF_WM_HINTS").find("= 0x2, 0x0"), std::string::npos);
        std::string hints = Shell("xprop -id " + window_ + " WM_NORMAL_HINTS");
        EXPECT_NE(hints.find("minimum size: 500 by 310"), std::string::npos) << hints;
        EXPECT_NE(hints.find("maximum size: 500 by 310"), std::string::npos) << hints;
    }
    auto ready = Screenshot("state0-ready");
    ASSERT_TRUE(ready->Ok());
    EXPECT_EQ(ready->Width(), 500);
    EXPECT_EQ(ready->Height(), 310);
    EXPECT_TRUE(Near(ready->At(204, 230), kButton, 6)) << Show(ready->At(204, 230));
    EXPECT_FALSE(BarShown(*ready));

    Click(250, 220);
    auto installing = WaitFor("state1-installing", InstallingShown, 30);
    ASSERT_NE(installing, nullptr) << "the installing state never showed";
    EXPECT_GT(installing->CountDark(32, 234, 466, 254), 20) << "status and percent text";
    EXPECT_FALSE(StepFailedShown(*installing)) << "the failed state's check must not take the installing state";
    service_.ClearFaults();

    auto done = WaitFor("state3-done", [](const Shot& s) { return ButtonShown(s) && !BarShown(s); }, 120);
    ASSERT_NE(done, nullptr) << "the install did not finish; program said:\n" << ReadFile(root_ / "program.out");

    fs::path app = root_ / "Applications" / "Tamberlyn.app" / "Contents";
    EXPECT_TRUE(fs::status(app / "MacOS" / "Tamberlyn").permissions() != fs::perms::none);
    EXPECT_TRUE((fs::status(app / "MacOS" / "Tamberlyn").permissions() & fs::perms::owner_exec) != fs::perms::none);
    EXPECT_TRUE(fs::is_symlink(app / "MacOS" / "run"));
    EXPECT_EQ(ReadFile(app / "Resources" / "data.bin"), zid_sample::BigEntryContent(pkg_.bigEntryBytes));
    std::string update = ReadFile(app / "config" / "update.ini");
    EXPECT_NE(update.find("cur=" + pkg_.fixVersion), std::string::npos) << update;

    Click(250, 220);  // Open
    EXPECT_EQ(WaitExit(20), 0) << "the window should close and the program end";
    std::string said;
    for (int i = 0; i < 100 && said.find("started") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        said = ReadFile(root_ / "program.out");
    }
    EXPECT_NE(said.find(pkg_.pkgName + " " + pkg_.fixVersion + " started"), std::string::npos) << said;
}

TEST_F(InstallerProgramTest, FailedStepShowsItsNameAndTheCloseBoxEndsTheProgram) {
    service_.DeleteObject("tamberlyn-1250000000", pkg_.serDir + "/fix/" + pkg_.fixVersion + ".zip");
    Start();
    Click(250, 220);
    // The bar keeps its last percent.
    auto failed = WaitFor("state2-failed", StepFailedShown, 60);
    ASSERT_NE(failed, nullptr) << ReadFile(root_ / "program.out");
    EXPECT_FALSE(fs::exists(root_ / "Applications" / "Tamberlyn.app"));
    Click(488, 12);
    EXPECT_EQ(WaitExit(20), 0);
}

TEST_F(InstallerProgramTest, ClosingWhileDownloadingEndsTheProgramAtOnce) {
    zid_local::Fault slow;
    slow.kind = zid_local::FaultKind::Stall;
    slow.stallMs = 20000;
    slow.method = "GET";
    slow.keySubstring = "/fix/";
    slow.times = -1;
    service_.AddFault(slow);
    Start();
    Click(250, 220);
    ASSERT_NE(WaitFor("state1-closing", InstallingShown, 30), nullptr);
    // The close box is not drawn while installing, but it is still there.
    Click(488, 12);
    EXPECT_EQ(WaitExit(5), 0) << "the worker is still waiting on the stalled download";
    EXPECT_FALSE(fs::exists(root_ / "Applications" / "Tamberlyn.app"));
}

TEST_F(InstallerProgramTest, StagingFolderThatCannotBeMadeShowsTheWarningDialog) {
    fs::create_directories(root_ / "home");
    std::ofstream(root_ / "home" / "Library") << "a file where the Library folder should be";
    Start();
    std::string dialog;
    for (int i = 0; i < 100 && dialog.empty(); ++i) {
        std::istringstream ids(Shell("xdotool search --onlyvisible --pid " + std::to_string(pid_) + " 2>/dev/null"));
        for (std::string id; ids >> id;)
            if (id != window_) dialog = id;
        if (dialog.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_FALSE(dialog.empty()) << "no dialog; program said:\n" << ReadFile(root_ / "program.out");
    Shell("import -window " + dialog + " png:" + (shots_ / "alert.png").string() + " 2>/dev/null");
    Shot alert((shots_ / "alert.png").string());
    ASSERT_TRUE(alert.Ok());
    const Rgb face = alert.At(4, 4);
    // Where the dialog lies over the window's dark top band, in window coordinates.
    int dx = 0, dy = 0, wx = 0, wy = 0, w = 0, h = 0;
    std::string g = Shell("xdotool getwindowgeometry " + dialog);
    ASSERT_EQ(sscanf(g.substr(g.find("Position: ")).c_str(), "Position: %d,%d", &dx, &dy), 2) << g;
    ASSERT_EQ(sscanf(g.substr(g.find("Geometry: ")).c_str(), "Geometry: %dx%d", &w, &h), 2) << g;
    std::string gw = Shell("xdotool getwindowgeometry " + window_);
    ASSERT_EQ(sscanf(gw.substr(gw.find("Position: ")).c_str(), "Position: %d,%d", &wx, &wy), 2) << gw;
    const int left = std::max(0, dx - wx), top = std::max(0, dy - wy);
    const int right = std::min(500, dx - wx + w), bottom = std::min(225, dy - wy + h);
    ASSERT_LT(left, right);
    ASSERT_LT(top, bottom);
    auto dialog_pixels = [&](const Shot& s) {
        return s.Count(left, top, right, bottom, [&](const Rgb& c) { return Near(c, face, 3); });
    };
    // Its one button fills the bottom row of the dialog.
    Shell("xdotool mousemove --window " + dialog + " " + std::to_string(w / 2) + " " + std::to_string(h - 15) +
          " click 1");
    for (int i = 0; i < 50; ++i) {
        std::string left_over = Shell("xdotool search --onlyvisible --pid " + std::to_string(pid_) + " 2>/dev/null");
        if (left_over.find(dialog) == std::string::npos) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(Shell("xdotool search --onlyvisible --pid " + std::to_string(pid_) + " 2>/dev/null").find(dialog),
              std::string::npos)
        << "the dialog's button dismisses it";
    // Set-up goes on: the window shows its ready face where the dialog was, and closes as usual.
    auto ready = WaitFor("state0-after-alert",
                         [&](const Shot& s) { return ButtonShown(s) && dialog_pixels(s) == 0; }, 20);
    ASSERT_NE(ready, nullptr) << "the window was not drawn again after the dialog";
    Click(488, 12);
    EXPECT_EQ(WaitExit(20), 0);
}

}  // namespace

#endif
