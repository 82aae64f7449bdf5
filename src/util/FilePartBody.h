#pragma once

// A request body read from a range of a file as it is sent, internal to the library.

#include <cstddef>
#include <cstdint>
#include <string>

#include "util/Md5Digest.h"
#include "util/MemoryBody.h"

namespace zuzezi_zid {

// The bytes [offset, offset + size) of a file, read one piece at a time into the owner's
// buffer of kPieceBytes as the sender asks for them, each piece digested right after it is
// read: the piece is still in the processor's cache when it is hashed and when it is written
// to the connection, and a part needs no memory of its own size.
// Sent again from the start, the body reads the file again and digests only what it had not
// digested before: the MD5 stays that of the bytes first read, so a file changed in between
// shows as an ETag that does not match.
class FilePartBodyBuf : public MemoryBodyBuf {
public:
    static constexpr size_t kPieceBytes = 256 * 1024;

    FilePartBodyBuf(int fd, uint64_t offset, uint64_t size, char* piece_buffer);

    // Bytes of the range read so far in this pass.
    uint64_t Loaded() const { return m_start + static_cast<uint64_t>(egptr() - eback()); }
    // The file ended, or failed, before the whole range was read.
    bool Short() const { return m_short; }
    // MD5 of the whole range, lower-case hex; empty until every byte was read once.
    std::string Md5Hex();

protected:
    int_type underflow() override;
    pos_type seekoff(off_type off, std::ios_base::seekdir dir,
                     std::ios_base::openmode which) override;
    pos_type seekpos(pos_type pos, std::ios_base::openmode which) override;

private:
    int m_fd;
    uint64_t m_offset;
    uint64_t m_size;
    char* m_piece;
    uint64_t m_start = 0;  // where in the range the piece in the buffer starts
    uint64_t m_digested = 0;
    bool m_short = false;
    Md5Digest m_md5;
    std::string m_md5_hex;
};

}  // namespace zuzezi_zid
