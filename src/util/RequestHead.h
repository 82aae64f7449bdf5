#pragma once

// Writing a request's head for the sender, internal to the library.

#include <string>

#include <Poco/Net/HTTPRequest.h>

namespace zuzezi_zid {

// The head of `request` as the HTTP library writes it: request line, fields in their order,
// blank line. Built in one string, so that it can go out with the body's first bytes.
std::string RequestHeadText(const Poco::Net::HTTPRequest& request);

}  // namespace zuzezi_zid
