#pragma once

// What a download may take from an answer, decided in one place for every download path;
// internal to the library.

#include <cstdint>
#include <map>
#include <string>

namespace zuzezi_zid {

// A download's bytes come only from a 200 for the whole object, or from a 206 whose
// Content-Range is exactly the range the request's Range header asked for (`range`, empty when
// it asks for the whole object). A 200 to a ranged request is taken only when that range covers
// the whole object, of `object_size` when the caller knows it, else of the 200's length. A
// Range that is not one byte range the code can read is answered as a server that ignores it
// would: a 200 is taken, a 206 cannot be checked and is not.
// Empty when the answer is the bytes asked for; otherwise why it is not.
std::string WhyNotTheBytesAsked(int status, const std::map<std::string, std::string>& answer,
                                const std::string& range, uint64_t object_size = UINT64_MAX);

// The request's Range header, empty when it has none.
std::string RangeAsked(const std::map<std::string, std::string>& request_headers);

// The object's CRC-64 the service sends in "x-zid-hash-crc64ecma": malformed unless it is one
// decimal 64-bit value (an answer giving two that differ fails as it is read).
enum class ObjectCrc64 { kAbsent, kValue, kMalformed };
ObjectCrc64 ReadObjectCrc64(const std::map<std::string, std::string>& answer, uint64_t* value,
                            std::string* text);

}  // namespace zuzezi_zid
