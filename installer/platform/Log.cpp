#include "Log.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace zplat {

void LogLine(const char* fmt, ...) {
    char buf[4096];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    std::string line(buf);
    line += '\n';
    fputs(line.c_str(), stderr);  // one call per line keeps threads' lines whole
}

}  // namespace zplat
