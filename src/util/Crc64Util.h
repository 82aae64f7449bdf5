#pragma once

#include <cstddef>
#include <cstdint>

namespace zuzezi_zid {

// CRC-64/XZ (ECMA-182, reflected). The value of empty data is 0, so calls chain.
class Crc64Util {
public:
    Crc64Util() = delete;

    static uint64_t Update(uint64_t crc, const void* data, size_t len);
    // CRC of A followed by B, from the CRCs of A and B and B's length.
    static uint64_t Combine(uint64_t crc_a, uint64_t crc_b, uint64_t len_b);

    // The portable table path, whatever the CPU offers.
    static uint64_t UpdateTable(uint64_t crc, const void* data, size_t len);
    // True when Update runs on carry-less multiplication.
    static bool UsesClmul();
};

}  // namespace zuzezi_zid
