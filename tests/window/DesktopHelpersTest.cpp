// The installer's desktop helpers against the real X server: the save panel driven with
// xdotool, cursor changes seen by another X client, the pointer position after xdotool
// moves it, and the screen's frame as the X server reports it.
#include <gtest/gtest.h>

#include <gtk/gtk.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "MacUtil.h"
#include "WindowTestSupport.h"
#include "platform/CodePage.h"
#include "platform/FileManager.h"
#include "platform/MainQueue.h"
#include "support/LocalServiceFixture.h"
#include "support/ScopedEnv.h"

// Xlib's macros (None, Status, ...) last, after every header of ours.
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>
#include <gdk/gdkx.h>

using window_test::HaveTool;
using window_test::Shell;

namespace {

class DesktopHelpersTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!getenv("DISPLAY")) GTEST_SKIP() << "no display (scripts/test.sh runs the tests under Xvfb)";
        if (!HaveTool("xdotool")) GTEST_SKIP() << "xdotool missing";
        dir_ = zid_test::MakeTempFolder("zid-desktop");
        // GTK's per-user files (recent files, settings) go to the test's folder.
        env_.Set("HOME", dir_ + "/home");
        env_.Set("XDG_DATA_HOME", dir_ + "/home/data");
        env_.Set("XDG_CONFIG_HOME", dir_ + "/home/config");
        env_.Set("XDG_CACHE_HOME", dir_ + "/home/cache");
        env_.Set("NO_AT_BRIDGE", "1");
        env_.Set("GSETTINGS_BACKEND", "memory");
        zplat::MainQueueBindThisThread();
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
        GtkSettings* settings = gtk_settings_get_default();
        g_object_get(settings, "gtk-recent-files-enabled", &saved_recent_, nullptr);
        g_object_set(settings, "gtk-recent-files-enabled", FALSE, nullptr);
        x_ = XOpenDisplay(nullptr);
        ASSERT_NE(x_, nullptr);
    }

    void TearDown() override {
        if (window_) gtk_widget_destroy(window_);
        zplat::MainQueueDrain();
        if (x_) XCloseDisplay(x_);
        if (gtk_settings_get_default()) {
            g_object_set(gtk_settings_get_default(), "gtk-recent-files-enabled", saved_recent_, nullptr);
        }
        if (!dir_.empty()) zplat::RemoveItem(dir_);
    }

    // The X server's own answers, asked over a connection of the test's own.
    void DisplaySize(int* w, int* h) {
        Screen* s = DefaultScreenOfDisplay(x_);
        *w = WidthOfScreen(s);
        *h = HeightOfScreen(s);
    }

    std::string CursorNameUnderPointer() {
        XFixesCursorImage* image = XFixesGetCursorImage(x_);
        std::string name = image && image->name ? image->name : "";
        if (image) XFree(image);
        return name;
    }

    // A plain window of ours, on screen, with the pointer over it.
    void ShowWindowUnderPointer() {
        window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_default_size(GTK_WINDOW(window_), 300, 200);
        gtk_widget_show_all(window_);
        ASSERT_TRUE(zplat::MainQueueRunUntil(
            [&] {
                GdkWindow* g = gtk_widget_get_window(window_);
                return g && gdk_window_is_viewable(g);
            },
            10000));
        const unsigned long xid = GDK_WINDOW_XID(gtk_widget_get_window(window_));
        Shell("timeout 10 xdotool mousemove --sync --window " + std::to_string(xid) + " 150 100");
    }

    std::string dir_;
    zid_test::ScopedEnv env_;
    gboolean saved_recent_ = TRUE;
    Display* x_ = nullptr;
    GtkWidget* window_ = nullptr;
};

TEST_F(DesktopHelpersTest, CursorChangesReachTheXServer) {
    ShowWindowUnderPointer();
    auto shows = [&](const std::string& name) {
        return zplat::MainQueueRunUntil([&] { return CursorNameUnderPointer() == name; }, 10000);
    };
    ASSERT_NE(CursorNameUnderPointer(), "ew-resize");
    MacUtil::PushResizeLeftRightCursor();
    EXPECT_TRUE(shows("ew-resize"));
    MacUtil::PushArrowCursor();
    EXPECT_TRUE(shows("default"));
    // A worker's change waits for the main thread.
    std::thread([] { MacUtil::PushResizeLeftRightCursor(); }).join();
    EXPECT_EQ(CursorNameUnderPointer(), "default");
    EXPECT_TRUE(shows("ew-resize"));
}

TEST_F(DesktopHelpersTest, PointerPositionFollowsXdotool) {
    int w = 0, h = 0;
    DisplaySize(&w, &h);
    const struct {
        int x, y;
    } points[] = {{123, 217}, {w - 1, h - 1}, {0, 0}, {w / 2 + 7, h / 3}};
    for (const auto& p : points) {
        SCOPED_TRACE(std::to_string(p.x) + "," + std::to_string(p.y));
        Shell("timeout 10 xdotool mousemove --sync " + std::to_string(p.x) + " " + std::to_string(p.y));
        D2D1_POINT_2F at = MacUtil::MouseLocation();
        EXPECT_EQ(at.x, p.x);
        EXPECT_EQ(at.y, p.y);
    }
}

TEST_F(DesktopHelpersTest, ScreenFrameIsTheXServers) {
    int w = 0, h = 0;
    DisplaySize(&w, &h);
    const int screen = MacUtil::ScreenForPoint(D2D1_POINT_2F{10, 10}, false);
    ASSERT_GE(screen, 0);
    D2D1_RECT_F f = MacUtil::ScreenVisibleFrame(screen);
    EXPECT_EQ(f.left, 0);
    EXPECT_EQ(f.top, 0);
    EXPECT_EQ(f.right, w);
    EXPECT_EQ(f.bottom, h);
    // Off every screen: the nearest one when asked, else the main one (both the only one).
    EXPECT_EQ(MacUtil::ScreenForPoint(D2D1_POINT_2F{w + 100.0f, h + 100.0f}, true), screen);
    EXPECT_EQ(MacUtil::ScreenForPoint(D2D1_POINT_2F{-50, -50}, false), screen);
    D2D1_RECT_F none = MacUtil::ScreenVisibleFrame(99);
    EXPECT_EQ(none.right - none.left, 0);
    // Toolkit queries belong to the main thread: a worker gets no answer.
    int from_worker = 0;
    std::thread([&] { from_worker = MacUtil::ScreenForPoint(D2D1_POINT_2F{10, 10}, false); }).join();
    EXPECT_EQ(from_worker, -1);
}

std::wstring Wide(const std::string& s) {
    std::wstring w;
    zplat::BytesToWide(s, 65001, &w);
    return w;
}

// Calls `act` on the visible file chooser of this process, every 20 ms until it answers
// true; inside the panel's own loop, from a GLib timer.
class PanelScript {
public:
    explicit PanelScript(std::function<bool(GtkFileChooserDialog*)> act) : act_(std::move(act)) {
        id_ = g_timeout_add(20, Tick, this);
    }
    ~PanelScript() {
        if (!done_) g_source_remove(id_);
    }
    bool Done() const { return done_; }

private:
    static gboolean Tick(gpointer self) {
        auto* script = static_cast<PanelScript*>(self);
        GList* toplevels = gtk_window_list_toplevels();
        for (GList* l = toplevels; l && !script->done_; l = l->next) {
            if (GTK_IS_FILE_CHOOSER_DIALOG(l->data) && gtk_widget_get_visible(GTK_WIDGET(l->data)))
                script->done_ = script->act_(GTK_FILE_CHOOSER_DIALOG(l->data));
        }
        g_list_free(toplevels);
        return script->done_ ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
    }

    std::function<bool(GtkFileChooserDialog*)> act_;
    guint id_ = 0;
    bool done_ = false;
};

// Plays xdotool commands into one panel from a thread of its own (the panel's loop runs on
// the main thread meanwhile), once the panel shows `folder`. The panel is named by its own X
// window, taken from the dialog once it is mapped, so no other window of the process can
// take the keys. A slow panel (under a sanitizer) may drop keys that arrive while it
// settles: the commands are played again, on a fresh focus, until the panel has answered.
class PanelTypist {
public:
    PanelTypist(std::vector<std::string> commands, const std::string& folder)
        : locate_([this, folder](GtkFileChooserDialog* d) {
              GtkWidget* w = GTK_WIDGET(d);
              if (!gtk_widget_get_mapped(w) || !gtk_widget_get_window(w)) return false;
              char* shown = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(d));
              const bool there = shown && folder == shown;
              g_free(shown);
              if (!there) {
                  gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(d), folder.c_str());
                  return false;  // the folder loads on a later turn of the loop
              }
              xid_ = gdk_x11_window_get_xid(gtk_widget_get_window(w));
              return true;
          }),
          thread_([this, commands = std::move(commands)] { Play(commands); }) {}

    ~PanelTypist() { Answered(); }

    // The panel has answered: the typist stops replaying and ends.
    void Answered() {
        answered_ = true;
        if (thread_.joinable()) thread_.join();
    }

private:
    // Polls every 20 ms for at most `seconds`; true once `ready` holds.
    template <typename Ready>
    static bool WaitFor(Ready ready, gint64 seconds) {
        const gint64 until = g_get_monotonic_time() + seconds * G_USEC_PER_SEC;
        while (!ready() && g_get_monotonic_time() < until) g_usleep(20 * 1000);
        return ready();
    }

    void Play(const std::vector<std::string>& commands) {
        if (!WaitFor([this] { return xid_ != 0 || answered_; }, 30) || answered_) return;
        const std::string window = std::to_string(xid_);
        for (int round = 0; round < 3; ++round) {
            Shell("timeout 20 xdotool windowfocus --sync " + window);
            for (const std::string& c : commands) Shell("timeout 20 xdotool " + c);
            if (WaitFor([this] { return answered_.load(); }, 10)) return;
        }
    }

    std::atomic<unsigned long> xid_{0};
    std::atomic<bool> answered_{false};
    PanelScript locate_;
    std::thread thread_;
};

TEST_F(DesktopHelpersTest, SavePanelDrivenWithXdotool) {
    // The panel shows an empty folder and only a name is typed: GTK's location entry then has
    // nothing to complete (its completion of a typed path loses strings, which the leak
    // check of the sanitizer run would report).
    const std::string folder = dir_ + "/empty";
    ASSERT_TRUE(zplat::CreateDirectory(folder, false));
    const std::string chosen = folder + "/chosen.txt";
    const struct {
        std::vector<std::string> commands;
        std::wstring answer;
    } cases[] = {
        {{"key --clearmodifiers ctrl+a", "type --delay 5 chosen.txt", "key Return"}, Wide(chosen)},
        {{"key Escape"}, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.commands.back());
        // Should the keys go astray, the panel is cancelled after a while instead of
        // hanging the test, which then fails on the answer.
        PanelScript watchdog([started = g_get_monotonic_time()](GtkFileChooserDialog* d) {
            if (g_get_monotonic_time() - started < 60 * G_USEC_PER_SEC) return false;
            gtk_dialog_response(GTK_DIALOG(d), GTK_RESPONSE_CANCEL);
            return true;
        });
        PanelTypist typist(c.commands, folder);
        std::wstring got = MacUtil::RunSavePanel("suggested.txt", {"txt"});
        typist.Answered();
        EXPECT_FALSE(watchdog.Done());
        EXPECT_EQ(got, c.answer);
    }
    EXPECT_FALSE(zplat::ItemExists(chosen));  // the panel only chooses
}

TEST_F(DesktopHelpersTest, SavePanelOffersTheNameAndTypesAndAnswersThePath) {
    std::string shown_name;
    bool modal = false, txt = false, csv = false, png = true;
    PanelScript answer([&](GtkFileChooserDialog* d) {
        GtkFileChooser* chooser = GTK_FILE_CHOOSER(d);
        char* folder = gtk_file_chooser_get_current_folder(chooser);
        const bool there = folder && dir_ == folder;
        g_free(folder);
        if (!there) {
            gtk_file_chooser_set_current_folder(chooser, dir_.c_str());
            return false;  // the folder loads on a later turn of the loop
        }
        char* name = gtk_file_chooser_get_current_name(chooser);
        shown_name = name ? name : "";
        g_free(name);
        modal = gtk_window_get_modal(GTK_WINDOW(d));
        if (GtkFileFilter* filter = gtk_file_chooser_get_filter(chooser)) {
            auto passes = [filter](const char* file) {
                GtkFileFilterInfo info = {};
                info.contains = GTK_FILE_FILTER_DISPLAY_NAME;
                info.display_name = file;
                return gtk_file_filter_filter(filter, &info) != FALSE;
            };
            txt = passes("notes.txt");
            csv = passes("table.csv");
            png = passes("image.png");
        }
        gtk_dialog_response(GTK_DIALOG(d), GTK_RESPONSE_ACCEPT);
        return true;
    });
    std::wstring got = MacUtil::RunSavePanel("报告 1.txt", {"txt", "csv"});
    EXPECT_TRUE(answer.Done());
    EXPECT_EQ(shown_name, "报告 1.txt");
    EXPECT_TRUE(modal);
    EXPECT_TRUE(txt);
    EXPECT_TRUE(csv);
    EXPECT_FALSE(png);
    EXPECT_EQ(got, Wide(dir_ + "/报告 1.txt"));

    // Off the main thread no panel opens.
    std::wstring from_worker = L"x";
    std::thread([&] { from_worker = MacUtil::RunSavePanel("a.txt", {}); }).join();
    EXPECT_EQ(from_worker, L"");
}

}  // namespace
