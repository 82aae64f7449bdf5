#pragma once

#include <cstdint>
#include <streambuf>

namespace zuzezi_zid {

// Hands every byte written on to another buffer and keeps the CRC-64 of what that buffer took,
// so a body can be checked while it is written instead of read back afterwards. It buffers
// nothing itself: large writes reach the target in one piece.
class Crc64StreamBuf : public std::streambuf {
public:
    explicit Crc64StreamBuf(std::streambuf* target) : m_target(target) {}

    uint64_t Crc() const { return m_crc; }

protected:
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int_type overflow(int_type c) override;
    int sync() override;

private:
    std::streambuf* m_target;
    uint64_t m_crc = 0;
};

}  // namespace zuzezi_zid
