#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "ClientSettings.h"

namespace zuzezi_zid {

class LogUtil {
public:
    LogUtil() = delete;

    // "[ERR] ", "[WARN] ", "[INFO] ", "[DBG] ", or "[CRIT]" for anything else.
    static const char* Tag(int level);
    // Local time "%Y-%m-%d %H:%M:%S", a blank and the level's tag.
    static std::string MakeLinePrefix(int level);
    static std::string FormatForCallback(int level, const char* fmt, ...)
        __attribute__((format(printf, 2, 3)));
    static void WriteToSystemLog(int level, const char* fmt, ...)
        __attribute__((format(printf, 2, 3)));
    // syslog priority of a level: ERR, WARNING, INFO, DEBUG (the raw numbers 1..4
    // would mean ALERT..ERR to syslog).
    static int SystemLogPriority(int level);
    static void WriteToStdout(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
    // printf-style expansion into a string.
    static std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
    // What a log line quotes of a body: its first kQuoteLimit bytes (never half a UTF-8
    // character) and then its total length, or a short body whole. The server decides how
    // long a body is, and a parser may quote it once per element.
    static std::string QuoteBody(const std::string& body);
    static constexpr size_t kQuoteLimit = 1024;
};

// Where a statement stands, for code that logs on behalf of its caller.
struct LogSite {
    const char* file;
    const char* func;
    int line;
};

}  // namespace zuzezi_zid

#define ZID_LOG_SITE ::zuzezi_zid::LogSite{__FILE__, __func__, __LINE__}

// fmt is the message text only (a string literal); the prefix "tag:function(line) "
// and the newline are added here. Nothing is formatted when the level is off.
#define ZID_LOG_AT_LEVEL(level, fmt, ...) ZID_LOG_NAMED(level, __func__, fmt, ##__VA_ARGS__)

// As above, with the function name given (for code that logs under one public name).
#define ZID_LOG_NAMED(level, func_name, fmt, ...) \
    ZID_LOG_FROM(level, __FILE__, func_name, __LINE__, fmt, ##__VA_ARGS__)

// As above, on behalf of the statement at site (a LogSite).
#define ZID_LOG_AT_SITE(level, site, fmt, ...) \
    ZID_LOG_FROM(level, (site).file, (site).func, (site).line, fmt, ##__VA_ARGS__)

#define ZID_LOG_FROM(level, file_name, func_name, line_no, fmt, ...)                             \
    do {                                                                                         \
        const int zid_log_level_ = (level);                                                      \
        if (::zuzezi_zid::ClientSettings::GetLogLevel() >= zid_log_level_) {                     \
            const int zid_log_out_ = ::zuzezi_zid::ClientSettings::GetLogOutType();              \
            if (zid_log_out_ == 1) {                                                             \
                ::zuzezi_zid::LogUtil::WriteToStdout("%s:%s(%d) " fmt "\n",                      \
                                                     ::zuzezi_zid::LogUtil::Tag(zid_log_level_), \
                                                     func_name, line_no, ##__VA_ARGS__);         \
            } else if (zid_log_out_ == 2) {                                                      \
                ::zuzezi_zid::LogUtil::WriteToSystemLog(                                         \
                    zid_log_level_, "%s:%s(%d) " fmt "\n",                                       \
                    ::zuzezi_zid::LogUtil::Tag(zid_log_level_), func_name, line_no,              \
                    ##__VA_ARGS__);                                                              \
            }                                                                                    \
            ::zuzezi_zid::LogCallback zid_log_cb_ =                                              \
                ::zuzezi_zid::ClientSettings::GetLogCallback();                                  \
            if (zid_log_cb_) {                                                                   \
                zid_log_cb_(::zuzezi_zid::LogUtil::FormatForCallback(                            \
                    zid_log_level_, "%s:%s(%d) " fmt "\n", file_name, func_name, line_no,        \
                    ##__VA_ARGS__));                                                             \
            }                                                                                    \
        }                                                                                        \
    } while (0)

#define ZID_LOG_ERR(fmt, ...) ZID_LOG_AT_LEVEL(1, fmt, ##__VA_ARGS__)
#define ZID_LOG_WARN(fmt, ...) ZID_LOG_AT_LEVEL(2, fmt, ##__VA_ARGS__)
#define ZID_LOG_INFO(fmt, ...) ZID_LOG_AT_LEVEL(3, fmt, ##__VA_ARGS__)
#define ZID_LOG_DBG(fmt, ...) ZID_LOG_AT_LEVEL(4, fmt, ##__VA_ARGS__)
