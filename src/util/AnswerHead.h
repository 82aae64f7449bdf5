#pragma once

// Reading an answer's head off a connection of the sender, internal to the library.

#include <chrono>
#include <cstdint>

#include <Poco/Net/HTTPResponse.h>

#include "util/ResponseBody.h"

namespace zuzezi_zid {

class HttpConnection;

// Reads the next head of an answer into response, and not one byte after it. Every wait for
// bytes ends by the deadline, with Poco::TimeoutException, however the server spaces them.
// Returns false when the connection ended before the head's first byte; throws
// Poco::Net::MessageException for a head malformed or cut short by the connection's end.
bool ReadAnswerHead(HttpConnection& conn, Poco::Net::HTTPResponse& response,
                    std::chrono::steady_clock::time_point deadline);

// How the head frames the body that follows it. Throws Poco::Net::MessageException when the
// framing cannot be trusted. *plain_codings is false for transfer codings other than a lone
// "chunked".
ResponseBodyBuf::Framing FramingOfHead(const Poco::Net::HTTPResponse& response, bool has_body,
                                       uint64_t* length, bool* plain_codings);

}  // namespace zuzezi_zid
