#include "util/Md5Digest.h"

#include <stdexcept>

#include <openssl/evp.h>

#include <Poco/DigestEngine.h>

namespace zuzezi_zid {

struct Md5Digest::Context {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    ~Context() { EVP_MD_CTX_free(ctx); }
};

Md5Digest::Md5Digest() : m_ctx(new Context()) {
    if (!m_ctx->ctx || EVP_DigestInit_ex(m_ctx->ctx, EVP_md5(), nullptr) != 1) {
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

}  // namespace zuzezi_zid
