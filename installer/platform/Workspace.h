// Opening an installed application bundle: runs "<bundle>/Contents/MacOS/<name>", where
// <name> is the bundle's folder name without ".app", detached from the installer so it
// outlives it. A hook replaces the launch (tests).
#pragma once

#include <functional>
#include <string>

namespace zplat {

using OpenHook = std::function<bool(const std::string& bundle)>;

// An empty hook restores the real launch.
void SetOpenApplicationHook(OpenHook hook);
std::string BundleExecutable(const std::string& bundle);
// False when the program could not be started.
bool OpenApplication(const std::string& bundle);
// An address in the desktop's default handler (the browser for web addresses).
bool OpenUri(const std::string& uri);

}  // namespace zplat
