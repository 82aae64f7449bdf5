#include "Screen.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "Log.h"
#include "MainQueue.h"
#include "Toplevel.h"

namespace zplat {
namespace {

GdkDisplay* MainThreadDisplay() {
    if (!IsMainThread()) {
        LogLine("screen queries belong to the main thread");
        return nullptr;
    }
    return gdk_display_get_default();
}

GdkCursor* NamedCursor(GdkDisplay* display, CursorShape shape) {
    const bool arrow = shape == CursorShape::Arrow;
    GdkCursor* c = gdk_cursor_new_from_name(display, arrow ? "default" : "ew-resize");
    // Without a cursor theme the X server's own font cursors still exist.
    if (!c) c = gdk_cursor_new_for_display(display, arrow ? GDK_LEFT_PTR : GDK_SB_H_DOUBLE_ARROW);
    return c;
}

void ApplyCursor(CursorShape shape) {
    GdkDisplay* display = gdk_display_get_default();
    if (!display) return;
    GdkCursor* cursor = NamedCursor(display, shape);
    for (GtkWindow* w : VisibleToplevels()) {
        if (GdkWindow* gw = gtk_widget_get_window(GTK_WIDGET(w))) gdk_window_set_cursor(gw, cursor);
    }
    if (cursor) g_object_unref(cursor);
    gdk_display_flush(display);
}

double DistanceToRect(const GdkRectangle& r, double x, double y) {
    double dx = std::max({static_cast<double>(r.x) - x, 0.0, x - (r.x + r.width)});
    double dy = std::max({static_cast<double>(r.y) - y, 0.0, y - (r.y + r.height)});
    return std::hypot(dx, dy);
}

}  // namespace

void SetCursorShape(CursorShape shape) {
    if (IsMainThread()) {
        ApplyCursor(shape);
    } else {
        MainQueuePost([shape] { ApplyCursor(shape); });
    }
}

bool PointerLocation(ScreenPoint* out) {
    GdkDisplay* display = MainThreadDisplay();
    if (!display || !out) return false;
    GdkSeat* seat = gdk_display_get_default_seat(display);
    GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr;
    if (!pointer) return false;
    int x = 0, y = 0;
    gdk_device_get_position(pointer, nullptr, &x, &y);
    *out = ScreenPoint{static_cast<double>(x), static_cast<double>(y)};
    return true;
}

int ScreenCount() {
    GdkDisplay* display = MainThreadDisplay();
    return display ? gdk_display_get_n_monitors(display) : 0;
}

int ScreenAt(ScreenPoint point, bool nearest) {
    GdkDisplay* display = MainThreadDisplay();
    if (!display) return -1;
    const int n = gdk_display_get_n_monitors(display);
    if (n <= 0) return -1;
    int best = -1;
    double best_distance = std::numeric_limits<double>::infinity();
    for (int i = 0; i < n; ++i) {
        GdkRectangle area;
        gdk_monitor_get_workarea(gdk_display_get_monitor(display, i), &area);
        double d = DistanceToRect(area, point.x, point.y);
        // Half-open, so a point on an edge two monitors share belongs to one of them only.
        if (point.x >= area.x && point.x < area.x + area.width && point.y >= area.y &&
            point.y < area.y + area.height)
            return i;
        if (d < best_distance) {
            best_distance = d;
            best = i;
        }
    }
    if (nearest) return best;
    GdkMonitor* primary = gdk_display_get_primary_monitor(display);
    for (int i = 0; primary && i < n; ++i) {
        if (gdk_display_get_monitor(display, i) == primary) return i;
    }
    return 0;
}

bool ScreenWorkArea(int index, ScreenRect* out) {
    GdkDisplay* display = MainThreadDisplay();
    if (!display || !out || index < 0 || index >= gdk_display_get_n_monitors(display)) return false;
    GdkRectangle area;
    gdk_monitor_get_workarea(gdk_display_get_monitor(display, index), &area);
    *out = ScreenRect{static_cast<double>(area.x), static_cast<double>(area.y),
                      static_cast<double>(area.x + area.width), static_cast<double>(area.y + area.height)};
    return true;
}

}  // namespace zplat
