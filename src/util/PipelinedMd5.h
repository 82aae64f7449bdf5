#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "util/Md5Digest.h"

namespace zuzezi_zid {

// The MD5 of a body that is being copied, digested on a second thread so that its cost
// overlaps the copy instead of adding to it. Pieces are digested in the order they come; the
// caller waits only when the worker is a few pieces behind. A small body never starts the
// thread: its pieces are digested where they arrive. The worker is stopped and joined when
// the object goes, whether or not the digest was asked for.
class PipelinedMd5 {
public:
    PipelinedMd5();
    ~PipelinedMd5();
    PipelinedMd5(const PipelinedMd5&) = delete;
    PipelinedMd5& operator=(const PipelinedMd5&) = delete;

    // Room for the next piece, of size bytes: read into it and Add it as staying, and it is not
    // written again before the worker is done with it. Waits while the worker is behind.
    char* Buffer(size_t size);
    // stays: the bytes are left as they are until HexDigest returns, so the worker reads them
    // where they are; otherwise they are copied first and the caller may reuse its buffer.
    void Add(const char* data, size_t size, bool stays);
    // Waits for every piece; 32 lower-case hex characters; once.
    std::string HexDigest();

private:
    struct Piece {
        std::vector<char> copy;
        const char* data = nullptr;
        size_t size = 0;
    };

    void WaitForRoom();
    void Work();
    void Stop();

    Md5Digest m_md5;
    uint64_t m_inline_bytes = 0;
    std::vector<Piece> m_ring;  // piece i sits at i % size
    std::mutex m_mutex;
    std::condition_variable m_queued;  // the worker waits for a piece or the stop
    std::condition_variable m_done;    // the caller waits for room or the end
    uint64_t m_added = 0;              // pieces handed over
    uint64_t m_digested = 0;
    bool m_stop = false;
    std::thread m_worker;
};

}  // namespace zuzezi_zid
