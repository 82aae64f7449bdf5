#pragma once

// A request body read from a range of a file as it is sent, internal to the library.

#include <cstddef>
#include <cstdint>
#include <string>

#include "util/Md5Digest.h"
#include "util/MemoryBody.h"

namespace zuzezi_zid {

// The bytes [offset, offset + size) of a file, read into the owner's buffer one piece at a
// time as the sender asks for them, each piece digested right after it is read: the piece is
// still in the processor's cache when it is hashed and when it is written to the connection,
// instead of the whole part passing through memory three times. What was read stays in the
// buffer, so a request sent again sends the same bytes without reading the file again.
class FilePartBodyBuf : public MemoryBodyBuf {
public:
    FilePartBodyBuf(int fd, uint64_t offset, unsigned char* buffer, uint64_t size);

    uint64_t Loaded() const { return m_loaded; }
    // The file ended, or failed, before the whole range was read.
    bool Short() const { return m_short; }
    bool Complete() const { return m_loaded == m_size; }
    // MD5 of the whole range, lower-case hex; only once Complete().
    std::string Md5Hex();

protected:
    int_type underflow() override;

private:
    int m_fd;
    uint64_t m_offset;
    char* m_buffer;
    uint64_t m_size;
    uint64_t m_loaded = 0;
    bool m_short = false;
    Md5Digest m_md5;
    std::string m_md5_hex;
};

}  // namespace zuzezi_zid
