#pragma once

// Writing a request's head for the sender, internal to the library.

#include <cstdint>
#include <map>
#include <string>

#include <Poco/Net/HTTPRequest.h>

namespace zuzezi_zid {

// The head of `request` as the HTTP library writes it: request line, fields in their order,
// blank line. Built in one string, so that it can go out with the body's first bytes.
std::string RequestHeadText(const Poco::Net::HTTPRequest& request);

// A field name or method: one or more token characters.
bool IsHeaderToken(const std::string& text);
// A field value: no control byte but tab (a CR or LF would start a line of its own).
bool IsHeaderValue(const std::string& text);

// Why a request may not go out with these fields; empty when it may. Every name must be a token
// and every value free of control bytes but tab, whoever set it. The body's framing is the
// sender's: "Transfer-Encoding", "Connection" and "Expect" may not be given, "Host" and
// "Content-Length" at most once each however spelt (a repeat must agree), and a
// "Content-Length" must be the body's length when it is known (`body_size`, else null).
std::string RequestFieldFault(const std::string& method,
                              const std::map<std::string, std::string>& fields,
                              const uint64_t* body_size);

// Whether the sender writes at most one field of this name: "Host" and "Content-Length".
bool IsSingleField(const std::string& name);

// Why a request may not carry these credentials (their id and token travel in its head);
// empty when they are fine.
std::string CredentialFault(const std::string& access_key, const std::string& security_token);

}  // namespace zuzezi_zid
