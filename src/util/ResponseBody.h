#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <streambuf>
#include <string>
#include <vector>

namespace zuzezi_zid {

// Reads one response body off the connection the way its head frames it, and
// notices a body that ends otherwise: the HTTP library's own body streams end
// quietly on a bad chunk header or a connection that closes early.
class ResponseBodyBuf : public std::streambuf {
public:
    enum class Framing { kNone, kLength, kChunked, kUntilClose };

    // Reads bytes that follow the response head; 0 when the connection has ended.
    using RawRead = std::function<int(char*, int)>;

    ResponseBodyBuf(RawRead raw, Framing framing, uint64_t length = 0);

    // Framing from the head: a Content-Length that is not a plain non-negative
    // number is refused (false, with the reason).
    static bool FramingOf(bool has_body, bool chunked, const std::string* content_length,
                          Framing* framing, uint64_t* length, std::string* reason);

    uint64_t Received() const { return m_received; }
    // After the body was read to its end: rethrows what stopped it early.
    void RethrowIfBroken() const;

protected:
    int_type underflow() override;

private:
    bool Fill();
    int NextByte();
    std::string ReadLine();
    void ReadChunkHeader();
    void Expose(size_t limit);

    RawRead m_raw;
    Framing m_framing;
    uint64_t m_length;
    uint64_t m_left;  // of the length, or of the current chunk
    uint64_t m_received = 0;
    bool m_done = false;
    bool m_first_chunk = true;
    std::vector<char> m_buffer;
    size_t m_pos = 0;
    size_t m_end = 0;
    std::exception_ptr m_broken;
};

}  // namespace zuzezi_zid
