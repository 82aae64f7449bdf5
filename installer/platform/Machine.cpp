#include "Machine.h"

#include <sys/utsname.h>

#include <cstdlib>

namespace zplat {

std::string MachineType() {
    if (const char* env = std::getenv("ZID_INSTALLER_MACHINE")) {
        if (*env) return env;
    }
    struct utsname u;
    if (uname(&u) != 0) return "";
    std::string m = u.machine;
    if (m == "aarch64" || m == "arm64") return "arm64";
    return m;
}

}  // namespace zplat
