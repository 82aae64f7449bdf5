// Where the installer finds its own bundle and the user's folders.
//
// The bundle is the folder that holds the executable, or the folder above "Contents" when
// the executable sits in "<bundle>/Contents/MacOS". Its resources are "<bundle>/Contents/
// Resources". Environment overrides (read on every call, so tests can change them):
//   ZID_INSTALLER_BUNDLE        the bundle folder
//   ZID_INSTALLER_APPLICATIONS  the applications folder (default "/Applications")
//   ZID_INSTALLER_ACCOUNT       the storage account file (default: "zid-account.json"
//                               beside the bundle)
// The user's Library folder is "$HOME/Library".
#pragma once

#include <string>

namespace zplat {

std::string BundlePath();
std::string BundleResourcePath();
std::string HomeDirectory();
std::string UserLibraryDirectory();
std::string ApplicationsDirectory();
std::string AccountFilePath();
// The running executable's own path ("" when /proc is not there).
std::string ExecutablePath();

}  // namespace zplat
