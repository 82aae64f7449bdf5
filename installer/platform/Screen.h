// The pointer and the screens: cursor shape, pointer position and the monitors' work
// areas. Coordinates are the X screen's: origin at its top-left corner, y downward.
// Queries run on the main thread with the toolkit up; elsewhere they answer nothing.
#pragma once

#include <vector>

namespace zplat {

enum class CursorShape { Arrow, ResizeLeftRight };

// Any thread: applied on the main thread to every visible window of ours.
void SetCursorShape(CursorShape shape);

struct ScreenPoint {
    double x, y;
};
struct ScreenRect {
    double left, top, right, bottom;
};

bool PointerLocation(ScreenPoint* out);
int ScreenCount();
// The monitor whose work area holds the point; otherwise the nearest one when asked,
// else the primary one. -1 without a display.
int ScreenAt(ScreenPoint point, bool nearest);
// The choice itself, over given work areas: the one holding the point; otherwise the
// nearest one when asked, else `primary` (the first when that is no index). -1 for none.
int PickScreen(const std::vector<ScreenRect>& areas, int primary, ScreenPoint point, bool nearest);
// The work area (the monitor less panels and docks); false for an unknown index.
bool ScreenWorkArea(int index, ScreenRect* out);

}  // namespace zplat
