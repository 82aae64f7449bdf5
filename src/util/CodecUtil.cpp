#include "util/CodecUtil.h"

#include <Poco/HMACEngine.h>
#include <Poco/MD5Engine.h>
#include <Poco/SHA1Engine.h>

namespace zuzezi_zid {

namespace {

const char kHexUpper[] = "0123456789ABCDEF";

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.' || c == '~';
}

std::string PercentEncode(const std::string& s, bool keep_slash) {
    std::string out;
    out.reserve(s.size());
    for (const char ch : s) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (IsUnreserved(c) || (keep_slash && c == '/')) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(kHexUpper[c >> 4]);
            out.push_back(kHexUpper[c & 0x0F]);
        }
    }
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string CodecUtil::EncodePath(const std::string& s) { return PercentEncode(s, true); }

std::string CodecUtil::EncodeValue(const std::string& s) { return PercentEncode(s, false); }

std::string CodecUtil::Base64Encode(const std::string& bytes) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out(4 * ((bytes.size() + 2) / 3), '=');
    size_t pos = 0;
    uint32_t acc = 0;
    int bits = 0;
    for (const char ch : bytes) {
        acc = (acc << 8) | static_cast<unsigned char>(ch);
        bits += 8;
        while (bits >= 6) {
            bits -= 6;
            out[pos++] = kAlphabet[(acc >> bits) & 0x3F];
        }
    }
    if (bits > 0) {
        out[pos++] = kAlphabet[(acc << (6 - bits)) & 0x3F];
    }
    return out;
}

std::string CodecUtil::HexHmacSha1(const std::string& message, const std::string& key) {
    static const char kHexLower[] = "0123456789abcdef";
    Poco::HMACEngine<Poco::SHA1Engine> hmac(key);
    hmac.update(message);
    const Poco::DigestEngine::Digest& digest = hmac.digest();
    // Written at once: every request signs, and the library's writer goes a character at a time.
    std::string hex(2 * digest.size(), '0');
    for (size_t i = 0; i < digest.size(); ++i) {
        hex[2 * i] = kHexLower[digest[i] >> 4];
        hex[2 * i + 1] = kHexLower[digest[i] & 0x0F];
    }
    return hex;
}

std::string CodecUtil::Md5Bytes(const std::string& bytes) {
    Poco::MD5Engine md5;
    md5.update(bytes);
    const Poco::DigestEngine::Digest& d = md5.digest();
    return std::string(d.begin(), d.end());
}

std::string CodecUtil::HexDecode(const std::string& hex) {
    if (hex.size() % 2 != 0) {
        return std::string();
    }
    std::string out(hex.size() / 2, '\0');
    for (size_t i = 0; i < out.size(); ++i) {
        const int hi = HexValue(hex[2 * i]);
        const int lo = HexValue(hex[2 * i + 1]);
        if (hi < 0 || lo < 0) {
            return std::string();
        }
        out[i] = static_cast<char>((hi << 4) | lo);
    }
    return out;
}

size_t CodecUtil::HexEncodeUpper(const unsigned char* in, size_t len, char* out) {
    for (size_t i = 0; i < len; ++i) {
        out[2 * i] = kHexUpper[in[i] >> 4];
        out[2 * i + 1] = kHexUpper[in[i] & 0x0F];
    }
    return len;
}

}  // namespace zuzezi_zid
