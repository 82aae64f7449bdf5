#include "util/Md5Digest.h"

#include <istream>
#include <stdexcept>

#include <openssl/evp.h>

#include <Poco/DigestEngine.h>

namespace zuzezi_zid {

namespace {

// Looked up once: finding the implementation anew for every digest costs more than the MD5 of
// a small body.
const EVP_MD* Md5() {
#if OPENSSL_VERSION_NUMBER >= 0x30000000L
    static const EVP_MD* const kMd5 = EVP_MD_fetch(nullptr, "MD5", nullptr);
    return kMd5;
#else
    return EVP_md5();
#endif
}

}  // namespace

struct Md5Digest::Context {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    ~Context() { EVP_MD_CTX_free(ctx); }
};

Md5Digest::Md5Digest() : m_ctx(new Context()) {
    if (!m_ctx->ctx || !Md5() || EVP_DigestInit_ex(m_ctx->ctx, Md5(), nullptr) != 1) {
        throw std::runtime_error("MD5 unavailable");
    }
}

Md5Digest::~Md5Digest() = default;

void Md5Digest::Update(const void* data, size_t size) {
    EVP_DigestUpdate(m_ctx->ctx, data, size);
}

std::string Md5Digest::HexDigest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_DigestFinal_ex(m_ctx->ctx, digest, &len);
    return Poco::DigestEngine::digestToHex(Poco::DigestEngine::Digest(digest, digest + len));
}

std::string Md5Digest::HexOf(const void* data, size_t size) {
    Md5Digest md5;
    md5.Update(data, size);
    return md5.HexDigest();
}

std::string Md5Digest::HexOfStream(std::istream& in) {
    Md5Digest md5;
    // Left as it comes: zeroing a piece costs more than digesting a small file.
    constexpr std::streamsize kPiece = 64 * 1024;
    const std::unique_ptr<char[]> piece(new char[kPiece]);
    while (in.read(piece.get(), kPiece) || in.gcount() > 0) {
        md5.Update(piece.get(), static_cast<size_t>(in.gcount()));
    }
    return md5.HexDigest();
}

}  // namespace zuzezi_zid
