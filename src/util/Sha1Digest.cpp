#include "util/Sha1Digest.h"

#include <algorithm>
#include <cstring>

namespace zuzezi_zid {

namespace {

inline uint32_t Rol(uint32_t v, int n) { return (v << n) | (v >> (32 - n)); }

inline void PutBigEndian(uint32_t v, unsigned char* out) {
    out[0] = static_cast<unsigned char>(v >> 24);
    out[1] = static_cast<unsigned char>(v >> 16);
    out[2] = static_cast<unsigned char>(v >> 8);
    out[3] = static_cast<unsigned char>(v);
}

}  // namespace

void Sha1Digest::Init() {
    m_state[0] = 0x67452301;
    m_state[1] = 0xEFCDAB89;
    m_state[2] = 0x98BADCFE;
    m_state[3] = 0x10325476;
    m_state[4] = 0xC3D2E1F0;
    m_len_low = 0;
    m_len_high = 0;
    m_waiting = 0;
    std::memset(m_block, 0, sizeof(m_block));
}

namespace {

inline uint32_t Choose(uint32_t b, uint32_t c, uint32_t d) { return d ^ (b & (c ^ d)); }
inline uint32_t Parity(uint32_t b, uint32_t c, uint32_t d) { return b ^ c ^ d; }
inline uint32_t Majority(uint32_t b, uint32_t c, uint32_t d) { return (b & c) | (d & (b | c)); }

// Five steps, the working words taking each other's roles in turn, so that after the fifth
// each is back in its own and no step moves a word: a signature hashes every request.
template <uint32_t (*F)(uint32_t, uint32_t, uint32_t)>
inline void FiveSteps(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e,
                      const uint32_t* w, uint32_t k) {
    e += Rol(a, 5) + F(b, c, d) + k + w[0];
    b = Rol(b, 30);
    d += Rol(e, 5) + F(a, b, c) + k + w[1];
    a = Rol(a, 30);
    c += Rol(d, 5) + F(e, a, b) + k + w[2];
    e = Rol(e, 30);
    b += Rol(c, 5) + F(d, e, a) + k + w[3];
    d = Rol(d, 30);
    a += Rol(b, 5) + F(c, d, e) + k + w[4];
    c = Rol(c, 30);
}

}  // namespace

void Sha1Digest::Transform() {
    uint32_t w[80];
    for (int i = 0; i < 16; ++i) {
        w[i] = (static_cast<uint32_t>(m_block[4 * i]) << 24) |
               (static_cast<uint32_t>(m_block[4 * i + 1]) << 16) |
               (static_cast<uint32_t>(m_block[4 * i + 2]) << 8) |
               static_cast<uint32_t>(m_block[4 * i + 3]);
    }
    for (int i = 16; i < 80; ++i) {
        w[i] = Rol(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    }
    uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3], e = m_state[4];
    for (int i = 0; i < 20; i += 5) FiveSteps<Choose>(a, b, c, d, e, w + i, 0x5A827999);
    for (int i = 20; i < 40; i += 5) FiveSteps<Parity>(a, b, c, d, e, w + i, 0x6ED9EBA1);
    for (int i = 40; i < 60; i += 5) FiveSteps<Majority>(a, b, c, d, e, w + i, 0x8F1BBCDC);
    for (int i = 60; i < 80; i += 5) FiveSteps<Parity>(a, b, c, d, e, w + i, 0xCA62C1D6);
    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
    m_state[4] += e;
}

void Sha1Digest::Update(const void* data, int len) {
    if (len <= 0) {
        return;
    }
    const unsigned char* p = static_cast<const unsigned char*>(data);
    size_t n = static_cast<size_t>(len);
    const uint32_t old_low = m_len_low;
    m_len_low += static_cast<uint32_t>(n) << 3;
    if (m_len_low < old_low) {
        ++m_len_high;
    }
    m_len_high += static_cast<uint32_t>(n >> 29);

    if (m_waiting > 0) {
        const size_t take = std::min(static_cast<size_t>(64 - m_waiting), n);
        std::memcpy(m_block + m_waiting, p, take);
        m_waiting += static_cast<int>(take);
        p += take;
        n -= take;
        if (m_waiting < 64) {
            return;
        }
        Transform();
        m_waiting = 0;
    }
    while (n >= 64) {
        std::memcpy(m_block, p, 64);
        Transform();
        p += 64;
        n -= 64;
    }
    std::memcpy(m_block, p, n);
    m_waiting = static_cast<int>(n);
}

void Sha1Digest::Final(unsigned char out[20]) {
    m_block[m_waiting++] = 0x80;
    if (m_waiting > 56) {
        std::memset(m_block + m_waiting, 0, 64 - m_waiting);
        Transform();
        m_waiting = 0;
    }
    std::memset(m_block + m_waiting, 0, 56 - m_waiting);
    PutBigEndian(m_len_high, m_block + 56);
    PutBigEndian(m_len_low, m_block + 60);
    Transform();
    for (int i = 0; i < 5; ++i) {
        PutBigEndian(m_state[i], out + 4 * i);
    }
}

std::string Sha1Digest::HexDigest() {
    static const char kHex[] = "0123456789abcdef";
    unsigned char digest[20];
    Final(digest);
    std::string hex(40, '0');
    for (int i = 0; i < 20; ++i) {
        hex[2 * i] = kHex[digest[i] >> 4];
        hex[2 * i + 1] = kHex[digest[i] & 0x0F];
    }
    return hex;
}

}  // namespace zuzezi_zid
