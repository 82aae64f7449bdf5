// The processor type as the installer names it: "arm64" for 64-bit ARM, else the kernel's
// name ("x86_64", ...). ZID_INSTALLER_MACHINE overrides it (tests, the demo).
#pragma once

#include <string>

namespace zplat {

std::string MachineType();

}  // namespace zplat
