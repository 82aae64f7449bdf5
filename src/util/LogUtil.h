#pragma once

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
};

}  // namespace zuzezi_zid

// fmt is the message text only (a string literal); the prefix "tag:function(line) "
// and the newline are added here. Nothing is formatted when the level is off.
#define ZID_LOG_AT_LEVEL(level, fmt, ...) ZID_LOG_NAMED(level, __func__, fmt, ##__VA_ARGS__)

// As above, with the function name given (for code that logs under one public name).
#define ZID_LOG_NAMED(level, func_name, fmt, ...)                                                \
    do {                                                                                         \
        const int zid_log_level_ = (level);                                                      \
        if (::zuzezi_zid::ClientSettings::GetLogLevel() >= zid_log_level_) {                     \
            const int zid_log_out_ = ::zuzezi_zid::ClientSettings::GetLogOutType();              \
            if (zid_log_out_ == 1) {                                                             \
                ::zuzezi_zid::LogUtil::WriteToStdout("%s:%s(%d) " fmt "\n",                      \
                                                     ::zuzezi_zid::LogUtil::Tag(zid_log_level_), \
                                                     func_name, __LINE__, ##__VA_ARGS__);        \
            } else if (zid_log_out_ == 2) {                                                      \
                ::zuzezi_zid::LogUtil::WriteToSystemLog(                                         \
                    zid_log_level_, "%s:%s(%d) " fmt "\n",                                       \
                    ::zuzezi_zid::LogUtil::Tag(zid_log_level_), func_name, __LINE__,             \
                    ##__VA_ARGS__);                                                              \
            }                                                                                    \
            ::zuzezi_zid::LogCallback zid_log_cb_ =                                              \
                ::zuzezi_zid::ClientSettings::GetLogCallback();                                  \
            if (zid_log_cb_) {                                                                   \
                zid_log_cb_(::zuzezi_zid::LogUtil::FormatForCallback(                            \
                    zid_log_level_, "%s:%s(%d) " fmt "\n", __FILE__, func_name, __LINE__,        \
                    ##__VA_ARGS__));                                                             \
            }                                                                                    \
        }                                                                                        \
    } while (0)

#define ZID_LOG_ERR(fmt, ...) ZID_LOG_AT_LEVEL(1, fmt, ##__VA_ARGS__)
#define ZID_LOG_WARN(fmt, ...) ZID_LOG_AT_LEVEL(2, fmt, ##__VA_ARGS__)
#define ZID_LOG_INFO(fmt, ...) ZID_LOG_AT_LEVEL(3, fmt, ##__VA_ARGS__)
#define ZID_LOG_DBG(fmt, ...) ZID_LOG_AT_LEVEL(4, fmt, ##__VA_ARGS__)
