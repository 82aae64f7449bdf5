#include "util/LogUtil.h"

#include <syslog.h>

#include <cstdarg>
#include <ctime>
#include <sstream>
#include <vector>

namespace zuzezi_zid {

namespace {

std::string VFormat(const char* fmt, va_list args) {
    std::vector<char> buf(1024);
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        const int n = vsnprintf(buf.data(), buf.size(), fmt, copy);
        va_end(copy);
        if (n < 0) {
            // An encoding error does not go away with a bigger buffer.
            return std::string();
        }
        if (static_cast<size_t>(n) < buf.size()) {
            return std::string(buf.data(), static_cast<size_t>(n));
        }
        buf.resize(static_cast<size_t>(n) + 1);
    }
}

}  // namespace

int LogUtil::SystemLogPriority(int level) {
    switch (level) {
        case 1: return LOG_ERR;
        case 2: return LOG_WARNING;
        case 3: return LOG_INFO;
        default: return LOG_DEBUG;
    }
}

const char* LogUtil::Tag(int level) {
    switch (level) {
        case 1: return "[ERR] ";
        case 2: return "[WARN] ";
        case 3: return "[INFO] ";
        case 4: return "[DBG] ";
        default: return "[CRIT]";
    }
}

std::string LogUtil::MakeLinePrefix(int level) {
    const time_t now = time(nullptr);
    struct tm local;
    char buf[64] = {0};
    if (localtime_r(&now, &local)) {
        strftime(buf, sizeof(buf), "%Y-%m-%d %H:%M:%S", &local);
    }
    return std::string(buf) + " " + Tag(level);
}

std::string LogUtil::FormatForCallback(int level, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const std::string text = VFormat(fmt, args);
    va_end(args);
    std::ostringstream os;
    os << MakeLinePrefix(level) << text;
    return os.str();
}

void LogUtil::WriteToSystemLog(int level, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const std::string text = VFormat(fmt, args);
    va_end(args);
    syslog(SystemLogPriority(level), "%s", text.c_str());
}

void LogUtil::WriteToStdout(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    vfprintf(stdout, fmt, args);
    va_end(args);
}

std::string LogUtil::QuoteBody(const std::string& body) {
    if (body.size() <= kQuoteLimit) {
        return body;
    }
    size_t cut = kQuoteLimit;
    // Back off over continuation bytes to the start of the character the limit splits.
    for (size_t back = 0; back < 4 && cut > 0 &&
                          (static_cast<unsigned char>(body[cut]) & 0xC0) == 0x80;
         ++back) {
        --cut;
    }
    return body.substr(0, cut) + "...(" + std::to_string(body.size()) + " bytes)";
}

std::string LogUtil::Format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const std::string text = VFormat(fmt, args);
    va_end(args);
    return text;
}

}  // namespace zuzezi_zid
