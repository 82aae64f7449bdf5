#pragma once

#include <cstddef>
#include <string>

namespace zuzezi_zid {

class CodecUtil {
public:
    CodecUtil() = delete;

    // Percent-encoding; "/" kept.
    static std::string EncodePath(const std::string& s);
    // Percent-encoding; "/" encoded too.
    static std::string EncodeValue(const std::string& s);
    static std::string Base64Encode(const std::string& bytes);
    // 40 lower-case hex characters.
    static std::string HexHmacSha1(const std::string& message, const std::string& key);
    // The 16 raw digest bytes.
    static std::string Md5Bytes(const std::string& bytes);
    // Empty on odd length or a character that is not a hex digit.
    static std::string HexDecode(const std::string& hex);
    // Writes 2 * len characters to out; returns len.
    static size_t HexEncodeUpper(const unsigned char* in, size_t len, char* out);
};

}  // namespace zuzezi_zid
