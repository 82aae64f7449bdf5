#include "ServiceAuth.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/md5.h>
#include <openssl/sha.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <set>

namespace zid_local {
namespace auth {

namespace {

// Slice-by-8: eight bytes per step, so the service hashes an upload faster than a client sends it
// and a benchmark against it measures the client.
using CrcTables = std::array<std::array<uint64_t, 256>, 8>;

const CrcTables& CrcTable() {
    static const CrcTables tables = [] {
        CrcTables t{};
        const uint64_t poly = 0xC96C5795D7870F42ULL;  // ECMA-182, reflected
        for (uint64_t i = 0; i < 256; ++i) {
            uint64_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ poly : c >> 1;
            t[0][i] = c;
        }
        for (size_t k = 1; k < 8; ++k)
            for (size_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
        return t;
    }();
    return tables;
}

std::string Hex(const unsigned char* p, size_t n) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    out.reserve(n * 2);
    for (size_t i = 0; i < n; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

std::vector<std::string> Split(const std::string& s, char sep) {
    std::vector<std::string> out;
    size_t start = 0;
    while (true) {
        size_t pos = s.find(sep, start);
        out.push_back(s.substr(start, pos == std::string::npos ? std::string::npos : pos - start));
        if (pos == std::string::npos) break;
        start = pos + 1;
    }
    return out;
}

SignCheck Deny(const std::string& code, const std::string& message) {
    SignCheck c;
    c.code = code;
    c.message = message;
    return c;
}

bool ParseUint(const std::string& s, uint64_t* v) {
    if (s.empty() || s.size() > 20) return false;
    for (char ch : s)
        if (!std::isdigit(static_cast<unsigned char>(ch))) return false;
    *v = std::strtoull(s.c_str(), nullptr, 10);
    return true;
}

}  // namespace

uint64_t Crc64(const void* data, size_t len, uint64_t crc) {
    const auto& t = CrcTable();
    const unsigned char* p = static_cast<const unsigned char*>(data);
    crc = ~crc;
    for (; len >= 8; len -= 8, p += 8) {
        uint64_t w;
        std::memcpy(&w, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
        w = __builtin_bswap64(w);
#endif
        crc ^= w;
        crc = t[7][crc & 0xFF] ^ t[6][(crc >> 8) & 0xFF] ^ t[5][(crc >> 16) & 0xFF] ^
              t[4][(crc >> 24) & 0xFF] ^ t[3][(crc >> 32) & 0xFF] ^ t[2][(crc >> 40) & 0xFF] ^
              t[1][(crc >> 48) & 0xFF] ^ t[0][crc >> 56];
    }
    for (; len > 0; --len, ++p) crc = t[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

namespace {

uint64_t Gf2Times(const uint64_t* mat, uint64_t vec) {
    uint64_t sum = 0;
    for (; vec; vec >>= 1, ++mat)
        if (vec & 1) sum ^= *mat;
    return sum;
}

void Gf2Square(uint64_t* square, const uint64_t* mat) {
    for (int n = 0; n < 64; ++n) square[n] = Gf2Times(mat, mat[n]);
}

}  // namespace

// Appending lenB zero bytes is a linear map on the CRC register: apply it by repeated
// squaring of the one-zero-bit operator, then add B's own CRC.
uint64_t Crc64Combine(uint64_t crcA, uint64_t crcB, uint64_t lenB) {
    if (lenB == 0) return crcA;
    uint64_t even[64], odd[64];
    odd[0] = 0xC96C5795D7870F42ULL;  // the reflected ECMA polynomial
    for (int n = 1; n < 64; ++n) odd[n] = 1ULL << (n - 1);
    Gf2Square(even, odd);  // two zero bits
    Gf2Square(odd, even);  // four zero bits
    for (;;) {
        Gf2Square(even, odd);
        if (lenB & 1) crcA = Gf2Times(even, crcA);
        lenB >>= 1;
        if (lenB == 0) break;
        Gf2Square(odd, even);
        if (lenB & 1) crcA = Gf2Times(odd, crcA);
        lenB >>= 1;
        if (lenB == 0) break;
    }
    return crcA ^ crcB;
}

std::string Md5Raw(const std::string& data) {
    unsigned char d[MD5_DIGEST_LENGTH];
    unsigned int n = 0;
    EVP_Digest(data.data(), data.size(), d, &n, EVP_md5(), nullptr);
    return std::string(reinterpret_cast<char*>(d), n);
}

std::string Md5Hex(const std::string& data) {
    std::string raw = Md5Raw(data);
    return Hex(reinterpret_cast<const unsigned char*>(raw.data()), raw.size());
}

std::string Sha1Hex(const std::string& data) {
    unsigned char d[SHA_DIGEST_LENGTH];
    unsigned int n = 0;
    EVP_Digest(data.data(), data.size(), d, &n, EVP_sha1(), nullptr);
    return Hex(d, n);
}

std::string HmacSha1Hex(const std::string& key, const std::string& message) {
    unsigned char d[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    HMAC(EVP_sha1(), key.data(), static_cast<int>(key.size()),
         reinterpret_cast<const unsigned char*>(message.data()), message.size(), d, &n);
    return Hex(d, n);
}

std::string Base64(const std::string& bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&out[0]),
                            reinterpret_cast<const unsigned char*>(bytes.data()),
                            static_cast<int>(bytes.size()));
    out.resize(n);
    return out;
}

std::string PercentEncode(const std::string& text) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        }
    }
    return out;
}

bool PercentDecode(const std::string& text, std::string* out) {
    out->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            *out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return false;
        auto hex = [](char c) -> int {
            if (c >= '0' && c <= '9') return c - '0';
            if (c >= 'a' && c <= 'f') return c - 'a' + 10;
            if (c >= 'A' && c <= 'F') return c - 'A' + 10;
            return -1;
        };
        int hi = hex(text[i + 1]), lo = hex(text[i + 2]);
        if (hi < 0 || lo < 0) return false;
        *out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

std::string Lower(std::string text) {
    for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

SignCheck CheckSignature(const SignInput& in, const std::map<std::string, std::string>& credentials) {
    if (in.authorization.empty())
        return Deny("AccessDenied", "Request has no signature (Authorization header or sign parameter).");

    std::map<std::string, std::string> fields;
    for (const auto& piece : Split(in.authorization, '&')) {
        size_t eq = piece.find('=');
        if (eq == std::string::npos) return Deny("AccessDenied", "Malformed signature field: " + piece);
        fields[piece.substr(0, eq)] = piece.substr(eq + 1);
    }
    for (const char* name : {"q-sign-algorithm", "q-ak", "q-sign-time", "q-key-time", "q-header-list",
                             "q-url-param-list", "q-signature"}) {
        if (!fields.count(name)) return Deny("AccessDenied", std::string("Signature lacks ") + name + ".");
    }
    if (fields["q-sign-algorithm"] != "sha1")
        return Deny("AccessDenied", "Unsupported signature algorithm: " + fields["q-sign-algorithm"]);

    auto cred = credentials.find(fields["q-ak"]);
    if (cred == credentials.end())
        return Deny("InvalidAccessKeyId", "The access key id does not exist: " + fields["q-ak"]);

    auto window = Split(fields["q-sign-time"], ';');
    uint64_t start = 0, end = 0;
    if (window.size() != 2 || !ParseUint(window[0], &start) || !ParseUint(window[1], &end) || end < start)
        return Deny("AccessDenied", "Malformed q-sign-time: " + fields["q-sign-time"]);
    if (static_cast<int64_t>(end) < in.now) return Deny("AccessDenied", "Request has expired");
    // A little clock skew is normal between hosts; more means a broken start time.
    if (static_cast<int64_t>(start) > in.now + 900)
        return Deny("RequestTimeTooSkewed", "The difference between the request time and the server's time is too large.");

    // Headers: the names listed, looked up case-insensitively among those that arrived.
    std::map<std::string, std::string> signedHeaders;
    const std::string& headerList = fields["q-header-list"];
    if (!headerList.empty()) {
        for (const auto& name : Split(headerList, ';')) {
            if (name.empty() || name != Lower(name))
                return Deny("SignatureDoesNotMatch", "Malformed q-header-list: " + headerList);
            bool found = false;
            for (const auto& h : in.headers) {
                if (Lower(h.first) == name) {
                    signedHeaders[name] = PercentEncode(h.second);
                    found = true;
                    break;
                }
            }
            if (!found) return Deny("SignatureDoesNotMatch", "Signed header is missing: " + name);
        }
    }

    // Parameters: every one that arrived must be signed, except the presigned signature itself.
    std::map<std::string, std::string> arrived;
    for (const auto& p : in.params) {
        if (p.first == "sign") continue;
        arrived[Lower(PercentEncode(p.first))] = PercentEncode(p.second);
    }
    std::set<std::string> listed;
    const std::string& paramList = fields["q-url-param-list"];
    if (!paramList.empty())
        for (const auto& name : Split(paramList, ';')) listed.insert(name);
    // A temporary token may ride along a presigned URL unsigned, as it may in a header.
    for (auto it = arrived.begin(); it != arrived.end();) {
        if (!listed.count(it->first) && it->first == "x-zid-security-token") it = arrived.erase(it);
        else ++it;
    }
    for (const auto& p : arrived)
        if (!listed.count(p.first))
            return Deny("SignatureDoesNotMatch", "Query parameter is not signed: " + p.first);
    for (const auto& name : listed)
        if (!arrived.count(name))
            return Deny("SignatureDoesNotMatch", "Signed query parameter is missing: " + name);

    auto join = [](const std::map<std::string, std::string>& m) {
        std::string kv;
        for (const auto& e : m) {
            if (!kv.empty()) kv += '&';
            kv += e.first + "=" + e.second;
        }
        return kv;
    };
    std::string path = in.path.empty() ? "/" : in.path;
    std::string format = Lower(in.method) + "\n" + path + "\n" + join(arrived) + "\n" +
                         join(signedHeaders) + "\n";
    std::string toSign = "sha1\n" + fields["q-sign-time"] + "\n" + Sha1Hex(format) + "\n";
    std::string signKey = HmacSha1Hex(cred->second, fields["q-key-time"]);
    std::string expected = HmacSha1Hex(signKey, toSign);
    if (expected != fields["q-signature"]) {
        return Deny("SignatureDoesNotMatch",
                    "The calculated signature does not match the one provided. FormatString: " + format);
    }
    SignCheck ok;
    ok.ok = true;
    ok.status = 200;
    return ok;
}

}  // namespace auth
}  // namespace zid_local
