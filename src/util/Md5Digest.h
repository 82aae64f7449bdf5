#pragma once

#include <cstddef>
#include <iosfwd>
#include <memory>
#include <string>

namespace zuzezi_zid {

// MD5 over bytes that arrive piece by piece, by OpenSSL: several times faster than the HTTP
// library's own, which matters for bodies of gigabytes. Throws std::runtime_error when OpenSSL
// cannot provide it.
class Md5Digest {
public:
    Md5Digest();
    ~Md5Digest();
    Md5Digest(const Md5Digest&) = delete;
    Md5Digest& operator=(const Md5Digest&) = delete;

    void Update(const void* data, size_t size);
    // 32 lower-case hex characters; once per object.
    std::string HexDigest();

    static std::string HexOf(const void* data, size_t size);
    // Of what the stream holds from where it stands to its end; it is left at its end.
    static std::string HexOfStream(std::istream& in);

private:
    struct Context;
    std::unique_ptr<Context> m_ctx;
};

}  // namespace zuzezi_zid
