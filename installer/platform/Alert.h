// The warning alert. The window installs the real dialog; until then (and headless) the
// text goes to standard error. Safe from any thread: the hook always runs on the main
// thread, so a worker never shows a dialog itself.
#pragma once

#include <functional>
#include <string>

namespace zplat {

using AlertHook = std::function<void(const std::string& text, const std::string& button)>;

// An empty hook restores the standard-error fallback.
void SetAlertHook(AlertHook hook);
void ShowWarningAlert(const std::string& text, const std::string& button);

}  // namespace zplat
