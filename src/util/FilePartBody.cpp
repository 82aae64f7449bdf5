#include "util/FilePartBody.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace zuzezi_zid {

namespace {

// Small enough to stay in a core's own cache from the read to the socket, large enough for
// few system calls; the sender writes pieces of the same size.
const uint64_t kPiece = 256 * 1024;

}  // namespace

FilePartBodyBuf::FilePartBodyBuf(int fd, uint64_t offset, unsigned char* buffer, uint64_t size)
    : MemoryBodyBuf(reinterpret_cast<const char*>(buffer), 0),
      m_fd(fd),
      m_offset(offset),
      m_buffer(reinterpret_cast<char*>(buffer)),
      m_size(size) {}

std::string FilePartBodyBuf::Md5Hex() {
    if (m_md5_hex.empty() && Complete()) m_md5_hex = m_md5.HexDigest();
    return m_md5_hex;
}

FilePartBodyBuf::int_type FilePartBodyBuf::underflow() {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    if (m_short || Complete()) return traits_type::eof();
    const size_t want = static_cast<size_t>(std::min(kPiece, m_size - m_loaded));
    ssize_t n;
    do {
        n = ::pread(m_fd, m_buffer + m_loaded, want, static_cast<off_t>(m_offset + m_loaded));
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        m_short = true;
        return traits_type::eof();
    }
    m_md5.Update(m_buffer + m_loaded, static_cast<size_t>(n));
    m_loaded += static_cast<uint64_t>(n);
    setg(m_buffer, gptr(), m_buffer + m_loaded);
    return traits_type::to_int_type(*gptr());
}

}  // namespace zuzezi_zid
