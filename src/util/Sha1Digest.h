#pragma once

#include <cstdint>
#include <string>

namespace zuzezi_zid {

// SHA-1 over bytes in memory; one object per digest.
class Sha1Digest {
public:
    Sha1Digest() { Init(); }

    void Init();
    void Update(const void* data, int len);
    void Final(unsigned char out[20]);
    // Runs Final; 40 lower-case hex characters.
    std::string HexDigest();
    static std::string Name() { return "SHA-1"; }

private:
    void Transform();

    uint32_t m_state[5];
    uint32_t m_len_low;
    uint32_t m_len_high;
    unsigned char m_block[64];
    int m_waiting;
};

}  // namespace zuzezi_zid
