#pragma once

#include <exception>

namespace zuzezi_zid {

// Thrown by the stream copy when its transfer was cancelled; the HTTP sender
// turns it into a failed exchange.
class UserCancelException : public std::exception {
public:
    UserCancelException() = default;
};

}  // namespace zuzezi_zid
