#include "ErrorRecord.h"

#include <cerrno>
#include <cstring>

namespace zplat {

ErrorRecord PosixError(int err, const std::string& description) {
    return ErrorRecord{kPosixErrorDomain, err, description};
}

ErrorRecord FileOperationError(int err, const std::string& what) {
    std::string text = what + ": " + std::strerror(err);
    if (err == ENOSPC) return ErrorRecord{kCocoaErrorDomain, kCocoaErrorOutOfSpace, text};
    return ErrorRecord{kPosixErrorDomain, err, text};
}

}  // namespace zplat
