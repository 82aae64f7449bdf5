#include "ZipFacadeEntryStream.h"

#include <algorithm>
#include <cstring>

#include "ZipFacadeCentral.h"

namespace zipfacade {
namespace {

constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kInputChunk = 64 * 1024;

}  // namespace

EntryStream::~EntryStream() { Close(); }

int EntryStream::Open(const std::string& path, uint64_t localHeaderAt, const unz_file_info64& info) {
    if (info.flag & 1) return UNZ_PARAMERROR;
    if (info.compression_method != 0 && info.compression_method != Z_DEFLATED) return UNZ_BADZIPFILE;
    deflated_ = info.compression_method == Z_DEFLATED;
    if (!deflated_ && info.compressed_size != info.uncompressed_size) return UNZ_BADZIPFILE;

    file_ = fopen(path.c_str(), "rb");
    if (!file_) return UNZ_ERRNO;
    unsigned char head[kLocalHeaderSize];
    if (fseeko(file_, static_cast<off_t>(localHeaderAt), SEEK_SET) != 0 || fread(head, 1, sizeof head, file_) != sizeof head) {
        return UNZ_ERRNO;
    }
    if (memcmp(head, "PK\x03\x04", 4) != 0 || Le(&head[8], 2) != info.compression_method) return UNZ_BADZIPFILE;
    // The local name and extra field may differ in length from the central ones.
    const uint64_t data_at = localHeaderAt + kLocalHeaderSize + Le(&head[26], 2) + Le(&head[28], 2);
    if (fseeko(file_, static_cast<off_t>(data_at), SEEK_SET) != 0) return UNZ_ERRNO;

    expectedCrc_ = static_cast<uint32_t>(info.crc);
    compressedLeft_ = info.compressed_size;
    uncompressedSize_ = info.uncompressed_size;
    crc_ = crc32(0L, Z_NULL, 0);
    if (deflated_) {
        input_.resize(kInputChunk);
        if (inflateInit2(&z_, -MAX_WBITS) != Z_OK) return UNZ_INTERNALERROR;
        inflating_ = true;
    } else {
        ended_ = compressedLeft_ == 0;
    }
    return UNZ_OK;
}

int EntryStream::Read(void* buffer, unsigned size) {
    if (!file_) return UNZ_PARAMERROR;
    if (failed_ != 0) return failed_;
    const int n = deflated_ ? ReadDeflated(static_cast<unsigned char*>(buffer), size)
                            : ReadStored(static_cast<unsigned char*>(buffer), size);
    if (n < 0) failed_ = n;
    return n;
}

int EntryStream::ReadStored(unsigned char* out, unsigned size) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(size, compressedLeft_));
    if (n == 0) return 0;
    if (fread(out, 1, n, file_) != n) return UNZ_ERRNO;
    compressedLeft_ -= n;
    produced_ += n;
    crc_ = crc32(crc_, out, static_cast<uInt>(n));
    ended_ = compressedLeft_ == 0;
    return static_cast<int>(n);
}

int EntryStream::ReadDeflated(unsigned char* out, unsigned size) {
    z_.next_out = out;
    z_.avail_out = size;
    while (z_.avail_out > 0 && !ended_) {
        if (z_.avail_in == 0 && compressedLeft_ > 0) {
            const size_t want = static_cast<size_t>(std::min<uint64_t>(input_.size(), compressedLeft_));
            if (fread(input_.data(), 1, want, file_) != want) return UNZ_ERRNO;
            compressedLeft_ -= want;
            z_.next_in = input_.data();
            z_.avail_in = static_cast<uInt>(want);
        }
        const int r = inflate(&z_, Z_NO_FLUSH);
        if (r == Z_STREAM_END) {
            // The stream must take up exactly the compressed size.
            if (compressedLeft_ != 0 || z_.avail_in != 0) return Z_DATA_ERROR;
            ended_ = true;
        } else if (r != Z_OK) {
            // Z_BUF_ERROR here: the compressed data ran out before the stream ended.
            return r == Z_MEM_ERROR ? Z_MEM_ERROR : Z_DATA_ERROR;
        }
    }
    const unsigned n = size - z_.avail_out;
    produced_ += n;
    if (produced_ > uncompressedSize_ || (ended_ && produced_ != uncompressedSize_)) return Z_DATA_ERROR;
    crc_ = crc32(crc_, out, n);
    return static_cast<int>(n);
}

int EntryStream::Close() {
    const int result = ended_ && failed_ == 0 && crc_ != expectedCrc_ ? UNZ_CRCERROR : UNZ_OK;
    if (inflating_) inflateEnd(&z_);
    inflating_ = false;
    if (file_) fclose(file_);
    file_ = nullptr;
    return result;
}

}  // namespace zipfacade
