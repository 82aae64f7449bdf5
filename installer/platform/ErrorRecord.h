// An error as the installer reports it beside a boolean result: domain, code, text.
#pragma once

#include <string>

namespace zplat {

constexpr const char* kPosixErrorDomain = "NSPOSIXErrorDomain";
constexpr const char* kCocoaErrorDomain = "NSCocoaErrorDomain";
// Cocoa's code for "no space left" on file operations.
constexpr long kCocoaErrorOutOfSpace = 640;

struct ErrorRecord {
    std::string domain;
    long code = 0;
    std::string description;  // empty when the error carries none

    bool operator==(const ErrorRecord& o) const {
        return domain == o.domain && code == o.code && description == o.description;
    }
};

// Domain POSIX, the given errno, an optional description.
ErrorRecord PosixError(int err, const std::string& description = "");
// A failed file operation as Cocoa reports it: 640 for ENOSPC, else POSIX.
ErrorRecord FileOperationError(int err, const std::string& what);

}  // namespace zplat
