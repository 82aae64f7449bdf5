// The save panel: a modal GTK file chooser kept above every other window. Main thread
// only, with the toolkit up.
#pragma once

#include <string>
#include <vector>

namespace zplat {

// Runs the panel with `suggested_name` in its name field, listing only files whose
// extension is one of `types` (none: every file); an existing file is replaced only when
// the user confirms it. Answers the chosen path, or "" when the user cancels, there is no
// display, or the caller is not on the main thread.
std::string RunSavePanel(const std::string& suggested_name, const std::vector<std::string>& types);

}  // namespace zplat
