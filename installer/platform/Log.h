// The installer's own log lines (standard error, one line per call).
#pragma once

namespace zplat {

void LogLine(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace zplat
