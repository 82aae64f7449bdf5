#pragma once

#include <algorithm>
#include <cstddef>
#include <streambuf>

namespace zid_test {

// An output that takes `limit` bytes and then refuses every write, as a full disk would.
class RefusingBuf : public std::streambuf {
public:
    explicit RefusingBuf(size_t limit) : m_limit(limit) {}
    size_t Taken() const { return m_taken; }

protected:
    std::streamsize xsputn(const char*, std::streamsize n) override {
        const std::streamsize take =
            std::min(n, static_cast<std::streamsize>(m_limit - m_taken));
        m_taken += static_cast<size_t>(take);
        return take;
    }
    int_type overflow(int_type c) override {
        if (m_taken >= m_limit) return traits_type::eof();
        ++m_taken;
        return traits_type::not_eof(c);
    }

private:
    size_t m_limit;
    size_t m_taken = 0;
};

}  // namespace zid_test
