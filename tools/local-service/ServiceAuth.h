// Checksums and the signature check of the loopback service. Written apart from the client on
// purpose: a test that passes because both sides share one mistake would prove nothing.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace zid_local {
namespace auth {

uint64_t Crc64(const void* data, size_t len, uint64_t crc = 0);
// The CRC-64 of A followed by B, from the CRC of each and B's length.
uint64_t Crc64Combine(uint64_t crcA, uint64_t crcB, uint64_t lenB);
std::string Md5Hex(const std::string& data);
std::string Md5Raw(const std::string& data);
std::string Sha1Hex(const std::string& data);
std::string HmacSha1Hex(const std::string& key, const std::string& message);
std::string Base64(const std::string& bytes);
// Letters, digits and "-_.~" stay; everything else becomes %XX (upper case).
std::string PercentEncode(const std::string& text);
// "%XX" decoded; "+" stays "+". Returns false on a broken escape.
bool PercentDecode(const std::string& text, std::string* out);
std::string Lower(std::string text);

struct SignInput {
    std::string method;
    std::string path;   // decoded path
    std::map<std::string, std::string> params;  // decoded query parameters
    std::vector<std::pair<std::string, std::string>> headers;  // as they arrived
    std::string authorization;  // "Authorization" header or "sign" parameter
    int64_t now = 0;
};

struct SignCheck {
    bool ok = false;
    int status = 403;
    std::string code;
    std::string message;
};

// Recomputes the signature from what arrived and compares it with the one carried.
SignCheck CheckSignature(const SignInput& in, const std::map<std::string, std::string>& credentials);

}  // namespace auth
}  // namespace zid_local
