#include "util/PipelinedMd5.h"

namespace zuzezi_zid {

namespace {

// Below this a body is digested inline: a thread costs more than it saves on a short answer.
const uint64_t kThreadFrom = 1024 * 1024;
// Pieces handed over but not yet digested, at most: enough to ride out the jitter of either
// side, and a bound on the memory of copied pieces.
const size_t kDepth = 4;

}  // namespace

PipelinedMd5::PipelinedMd5() : m_ring(kDepth) {}

PipelinedMd5::~PipelinedMd5() { Stop(); }

char* PipelinedMd5::Buffer(size_t size) {
    WaitForRoom();
    std::vector<char>& buffer = m_ring[m_added % kDepth].copy;
    if (buffer.size() < size) {
        buffer.resize(size);
    }
    return buffer.data();
}

void PipelinedMd5::Add(const char* data, size_t size, bool stays) {
    if (size == 0) {
        return;
    }
    if (!m_worker.joinable()) {
        if (m_inline_bytes < kThreadFrom) {
            m_inline_bytes += size;
            m_md5.Update(data, size);
            return;
        }
        m_worker = std::thread(&PipelinedMd5::Work, this);
    }
    WaitForRoom();
    // The slot is free: the worker has done with it and does not look at it until it is added.
    Piece& piece = m_ring[m_added % kDepth];
    if (stays) {
        piece.data = data;
    } else {
        piece.copy.assign(data, data + size);
        piece.data = piece.copy.data();
    }
    piece.size = size;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_added;
    }
    m_queued.notify_one();
}

std::string PipelinedMd5::HexDigest() {
    if (m_worker.joinable()) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_done.wait(lock, [this] { return m_digested == m_added; });
        }
        Stop();
    }
    return m_md5.HexDigest();
}

void PipelinedMd5::WaitForRoom() {
    if (m_worker.joinable()) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_done.wait(lock, [this] { return m_added - m_digested < kDepth; });
    }
}

void PipelinedMd5::Work() {
    for (;;) {
        const Piece* piece = nullptr;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_queued.wait(lock, [this] { return m_stop || m_digested < m_added; });
            // Stopped early (the copy failed): what is left is not wanted.
            if (m_stop) {
                return;
            }
            piece = &m_ring[m_digested % kDepth];
        }
        m_md5.Update(piece->data, piece->size);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_digested;
        }
        m_done.notify_one();
    }
}

void PipelinedMd5::Stop() {
    if (!m_worker.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_queued.notify_one();
    m_worker.join();
}

}  // namespace zuzezi_zid
