// One entry's data read straight from the archive file, for entries whose sizes or offset
// minizip cannot see (see ZipFacadeCentral.h): stored entries are copied, deflated ones
// inflated, and the CRC-32 and both sizes are checked as minizip checks its own.
#pragma once

#include <unzip.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace zipfacade {

class EntryStream {
public:
    EntryStream() = default;
    ~EntryStream();
    EntryStream(const EntryStream&) = delete;
    EntryStream& operator=(const EntryStream&) = delete;

    // `info` carries the entry's true sizes. UNZ_OK, or a minizip error code: encrypted
    // entries (this build has no decryption) and methods other than stored and deflate
    // are refused.
    int Open(const std::string& path, uint64_t localHeaderAt, const unz_file_info64& info);
    // As unzReadCurrentFile: bytes given, 0 at the end of the data, negative on a failure
    // (UNZ_ERRNO when the archive cannot be read, Z_DATA_ERROR when the data is corrupt or
    // disagrees with the sizes).
    int Read(void* buffer, unsigned size);
    // UNZ_CRCERROR when all the data was read and its CRC-32 differs, else UNZ_OK.
    int Close();

private:
    int ReadStored(unsigned char* out, unsigned size);
    int ReadDeflated(unsigned char* out, unsigned size);

    FILE* file_ = nullptr;
    bool deflated_ = false;
    bool inflating_ = false;  // inflateInit2 succeeded
    bool ended_ = false;  // all the data was given
    int failed_ = 0;      // the failure every later read repeats
    uint32_t expectedCrc_ = 0;
    uint64_t compressedLeft_ = 0;
    uint64_t uncompressedSize_ = 0;
    uint64_t produced_ = 0;
    uLong crc_ = 0;
    z_stream z_ = {};
    std::vector<unsigned char> input_;
};

}  // namespace zipfacade
