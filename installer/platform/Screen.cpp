#include "Screen.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

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

int PickScreen(const std::vector<ScreenRect>& areas, int primary, ScreenPoint point, bool nearest) {
    int best = -1;
    double best_distance = std::numeric_limits<double>::infinity();
    for (size_t i = 0; i < areas.size(); ++i) {
        const ScreenRect& a = areas[i];
        // Half-open, so a point on an edge two monitors share belongs to one of them only.
        if (point.x >= a.left && point.x < a.right && point.y >= a.top && point.y < a.bottom) {
            return static_cast<int>(i);
        }
        const double dx = std::max({a.left - point.x, 0.0, point.x - a.right});
        const double dy = std::max({a.top - point.y, 0.0, point.y - a.bottom});
        const double d = std::hypot(dx, dy);
        if (d < best_distance) {
            best_distance = d;
            best = static_cast<int>(i);
        }
    }
    if (nearest || areas.empty()) return best;
    return primary >= 0 && primary < static_cast<int>(areas.size()) ? primary : 0;
}

int ScreenAt(ScreenPoint point, bool nearest) {
    GdkDisplay* display = MainThreadDisplay();
    if (!display) return -1;
    std::vector<ScreenRect> areas;
    int primary = -1;
    GdkMonitor* primary_monitor = gdk_display_get_primary_monitor(display);
    for (int i = 0; i < gdk_display_get_n_monitors(display); ++i) {
        ScreenRect r;
        ScreenWorkArea(i, &r);
        areas.push_back(r);
        if (gdk_display_get_monitor(display, i) == primary_monitor) primary = i;
    }
    return PickScreen(areas, primary, point, nearest);
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
