// The service's CRC-64 works eight bytes at a time; a bitwise loop is the reference it must match
// on every length and alignment, since a slip in one table shows only for some inputs.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "LocalService.h"
#include "ServiceAuth.h"

namespace {

uint64_t BitwiseCrc64(const std::string& data, uint64_t crc = 0) {
    crc = ~crc;
    for (unsigned char b : data) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0xC96C5795D7870F42ULL : crc >> 1;
    }
    return ~crc;
}

std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(gen() & 0xFF);
    return s;
}

TEST(ServiceChecksumTest, Crc64KnownValues) {
    EXPECT_EQ(zid_local::LocalService::Crc64(""), 0u);
    EXPECT_EQ(zid_local::LocalService::Crc64("123456789"), 0x995DC9BBDF1939FAULL);
    EXPECT_EQ(zid_local::LocalService::Crc64(std::string(1 << 20, '\0')), BitwiseCrc64(std::string(1 << 20, '\0')));
}

TEST(ServiceChecksumTest, Crc64MatchesBitwiseOnEveryLengthAndAlignment) {
    const std::string data = RandomBytes(80, 7);
    for (size_t offset = 0; offset < 8; ++offset) {
        for (size_t len = 0; offset + len <= data.size(); ++len) {
            std::string piece = data.substr(offset, len);
            ASSERT_EQ(zid_local::LocalService::Crc64(piece), BitwiseCrc64(piece))
                << "offset " << offset << " length " << len;
        }
    }
}

TEST(ServiceChecksumTest, Crc64ContinuesAcrossPieces) {
    const std::string data = RandomBytes((1 << 20) + 13, 11);
    const uint64_t whole = BitwiseCrc64(data);
    EXPECT_EQ(zid_local::LocalService::Crc64(data), whole);
    for (size_t cut : {size_t{1}, size_t{7}, size_t{8}, size_t{4099}, data.size() - 3}) {
        uint64_t first = zid_local::LocalService::Crc64(data.substr(0, cut));
        EXPECT_EQ(zid_local::LocalService::Crc64(data.substr(cut), first), whole) << "cut at " << cut;
    }
}

// A completed upload's CRC is made from its parts' CRCs without reading the bytes again.
TEST(ServiceChecksumTest, Crc64OfJoinedPiecesFromTheirCrcs) {
    const std::string data = RandomBytes((1 << 20) + 13, 12);
    const uint64_t whole = BitwiseCrc64(data);
    for (size_t cut : {size_t{0}, size_t{1}, size_t{7}, size_t{8}, size_t{4099}, data.size() - 3, data.size()}) {
        const std::string a = data.substr(0, cut), b = data.substr(cut);
        EXPECT_EQ(zid_local::auth::Crc64Combine(BitwiseCrc64(a), BitwiseCrc64(b), b.size()), whole)
            << "cut at " << cut;
    }
}

}  // namespace
