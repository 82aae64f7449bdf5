/// @file
/// UserCancelException, which carries the cancellation of a transfer out of a stream copy.
#pragma once

#include <exception>

#include "zid/ZidExport.h"

namespace zuzezi_zid {

/// Thrown by the stream copy when its transfer was cancelled; the HTTP sender turns it
/// into a failed exchange ("Request canceled by user", status -1), so a caller of the
/// facade never sees it.
class ZID_API UserCancelException : public std::exception {
public:
    /// An exception with the default what() text.
    UserCancelException() = default;
};

}  // namespace zuzezi_zid
