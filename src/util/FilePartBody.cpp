#include "util/FilePartBody.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace zuzezi_zid {

FilePartBodyBuf::FilePartBodyBuf(int fd, uint64_t offset, uint64_t size, char* piece_buffer)
    : MemoryBodyBuf(piece_buffer, 0), m_fd(fd), m_offset(offset), m_size(size), m_piece(piece_buffer) {}

std::string FilePartBodyBuf::Md5Hex() {
    if (m_md5_hex.empty() && m_digested == m_size) m_md5_hex = m_md5.HexDigest();
    return m_md5_hex;
}

FilePartBodyBuf::int_type FilePartBodyBuf::underflow() {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    const uint64_t at = Loaded();
    if (m_short || at == m_size) return traits_type::eof();
    const size_t want = static_cast<size_t>(std::min<uint64_t>(kPieceBytes, m_size - at));
    ssize_t n;
    do {
        n = ::pread(m_fd, m_piece, want, static_cast<off_t>(m_offset + at));
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        m_short = true;
        return traits_type::eof();
    }
    const uint64_t end = at + static_cast<uint64_t>(n);
    if (end > m_digested && at <= m_digested) {
        m_md5.Update(m_piece + (m_digested - at), static_cast<size_t>(end - m_digested));
        m_digested = end;
    }
    m_start = at;
    setg(m_piece, m_piece, m_piece + n);
    return traits_type::to_int_type(*gptr());
}

FilePartBodyBuf::pos_type FilePartBodyBuf::seekoff(off_type off, std::ios_base::seekdir dir,
                                                   std::ios_base::openmode which) {
    if (!(which & std::ios_base::in)) return pos_type(off_type(-1));
    const off_type here = static_cast<off_type>(m_start + static_cast<uint64_t>(gptr() - eback()));
    const off_type base = dir == std::ios_base::beg   ? 0
                          : dir == std::ios_base::cur ? here
                                                      : static_cast<off_type>(m_size);
    const off_type pos = base + off;
    if (pos < 0 || pos > static_cast<off_type>(m_size)) return pos_type(off_type(-1));
    if (pos != here) {
        // Read again from there on the next request for bytes.
        m_start = static_cast<uint64_t>(pos);
        m_short = false;
        setg(m_piece, m_piece, m_piece);
    }
    return pos_type(pos);
}

FilePartBodyBuf::pos_type FilePartBodyBuf::seekpos(pos_type pos, std::ios_base::openmode which) {
    return seekoff(off_type(pos), std::ios_base::beg, which);
}

}  // namespace zuzezi_zid
