#pragma once

#include <chrono>
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

    // Reads as RawRead does, each wait ending by the deadline (Poco::TimeoutException past it).
    using RawReadBy = std::function<int(char*, int, std::chrono::steady_clock::time_point)>;
    // A chunked body's trailer then comes whole within `within` of its last chunk, or the body
    // is broken: each of its waits alone may not pass the time-out, while lines keep coming.
    void BoundTrailer(RawReadBy read_by, std::chrono::microseconds within) {
        m_read_by = std::move(read_by);
        m_trailer_time = within;
    }

    // The transfer codings of all Transfer-Encoding fields of a head, as one list in the order
    // applied: lower case, without parameters.
    static std::vector<std::string> TransferCodings(const std::vector<std::string>& fields);

    // Framing from the head: a Content-Length that is not a plain non-negative number, or a
    // coding other than a final "chunked" (which frames) and "identity", is refused (false, with
    // the reason).
    static bool FramingOf(bool has_body, const std::vector<std::string>& codings,
                          const std::string* content_length, Framing* framing, uint64_t* length,
                          std::string* reason);

    uint64_t Received() const { return m_received; }
    // After the body was read to its end: rethrows what stopped it early.
    void RethrowIfBroken() const;
    // True when the body ended as its framing says and nothing after it was read: the
    // connection is then at the start of the next answer.
    bool Complete();

protected:
    int_type underflow() override;
    // Large reads go from the connection straight into the caller's memory.
    std::streamsize xsgetn(char* s, std::streamsize n) override;

private:
    // Up to max body bytes into dst; 0 at the end of the body. Throws when the body is broken.
    size_t ReadSome(char* dst, size_t max);
    // Up to max bytes off the connection, buffered ones first; 0 when it has ended.
    size_t Pull(char* dst, size_t max);
    bool Fill();
    int NextByte();
    std::string ReadLine();
    void ReadChunkHeader();

    RawRead m_raw;
    Framing m_framing;
    uint64_t m_length;
    uint64_t m_left;  // of the length, or of the current chunk
    uint64_t m_received = 0;
    bool m_done = false;
    bool m_first_chunk = true;
    std::vector<char> m_buffer;  // read ahead for chunk headers
    size_t m_pos = 0;
    size_t m_end = 0;
    std::vector<char> m_get;  // behind single-character reads
    RawReadBy m_read_by;
    std::chrono::microseconds m_trailer_time{0};
    bool m_in_trailer = false;
    std::chrono::steady_clock::time_point m_trailer_deadline;
    std::exception_ptr m_broken;
};

// A destination that takes a body straight into its own memory, so the body is not copied
// through an intermediate buffer.
class DirectSinkBuf : public std::streambuf {
public:
    // Where the next bytes go and how many fit there; 0 when full (then they are written the
    // usual way).
    virtual size_t Room(char** at) = 0;
    // n bytes were put where Room said.
    virtual void Commit(size_t n) = 0;
};

}  // namespace zuzezi_zid
