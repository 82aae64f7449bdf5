// The application's own top-level windows, for dialogs that need a parent and for
// window-wide settings such as the cursor. Main thread only.
#pragma once

#include <vector>

typedef struct _GtkWindow GtkWindow;

namespace zplat {

std::vector<GtkWindow*> VisibleToplevels();
// The last visible one the toolkit lists, or null.
GtkWindow* DialogParent();

}  // namespace zplat
