#include "util/ResponseBody.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <limits>

#include <Poco/Net/NetException.h>

namespace zuzezi_zid {

namespace {

const size_t kBufferSize = 64 * 1024;
// One read off the connection; larger requests are split.
const size_t kMaxRead = 1024 * 1024;
// A chunk header or trailer line longer than this is not an answer worth reading.
const size_t kMaxLine = 8192;
// A trailer holds no more fields than a head may.
const int kMaxTrailerFields = 100;

[[noreturn]] void Broken(const std::string& why) { throw Poco::Net::MessageException(why); }

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

ResponseBodyBuf::ResponseBodyBuf(RawRead raw, Framing framing, uint64_t length)
    : m_raw(std::move(raw)),
      m_framing(framing),
      m_length(length),
      m_left(framing == Framing::kLength ? length : 0) {}

std::vector<std::string> ResponseBodyBuf::TransferCodings(const std::vector<std::string>& fields) {
    std::vector<std::string> codings;
    for (const std::string& field : fields) {
        size_t start = 0;
        while (start <= field.size()) {
            size_t end = field.find(',', start);
            if (end == std::string::npos) end = field.size();
            std::string coding = field.substr(start, end - start);
            coding = coding.substr(0, coding.find(';'));
            const size_t first = coding.find_first_not_of(" \t");
            if (first != std::string::npos) {
                coding = coding.substr(first, coding.find_last_not_of(" \t") - first + 1);
                std::transform(coding.begin(), coding.end(), coding.begin(), [](unsigned char c) {
                    return static_cast<char>(std::tolower(c));
                });
                codings.push_back(coding);  // empty list elements are allowed and mean nothing
            }
            start = end + 1;
        }
    }
    return codings;
}

bool ResponseBodyBuf::FramingOf(bool has_body, const std::vector<std::string>& codings,
                                const std::string* content_length, Framing* framing,
                                uint64_t* length, std::string* reason) {
    *length = 0;
    bool chunked = false;
    if (has_body) {
        // The request asked for no coding: one the server applied anyway cannot be undone, and
        // "chunked" is the framing only as the last one (applied once).
        for (size_t i = 0; i < codings.size(); ++i) {
            if (codings[i] == "identity") continue;
            if (codings[i] == "chunked" && i + 1 == codings.size()) {
                chunked = true;
                continue;
            }
            *reason = "unsupported transfer coding in response: [" + codings[i] + "]";
            return false;
        }
    }
    if (content_length) {
        // Digits only, and no more than a signed 64-bit length holds: "-5" must not become 2^64-5.
        const std::string& text = *content_length;
        bool valid = !text.empty() && text.size() <= 19 &&
                     std::all_of(text.begin(), text.end(),
                                 [](char c) { return c >= '0' && c <= '9'; });
        if (valid) {
            const unsigned long long value = std::stoull(text);
            valid = value <= static_cast<unsigned long long>(std::numeric_limits<int64_t>::max());
            *length = value;
        }
        if (!valid) {
            *reason = "invalid Content-Length in response: [" + text + "]";
            return false;
        }
    }
    if (!has_body) {
        *framing = Framing::kNone;
    } else if (chunked) {
        *framing = Framing::kChunked;
    } else if (content_length) {
        *framing = Framing::kLength;
    } else {
        *framing = Framing::kUntilClose;
    }
    return true;
}

void ResponseBodyBuf::RethrowIfBroken() const {
    if (m_broken) {
        std::rethrow_exception(m_broken);
    }
}

bool ResponseBodyBuf::Fill() {
    if (m_pos < m_end) {
        return true;
    }
    if (m_buffer.empty()) {
        m_buffer.resize(kBufferSize);
    }
    const int n = m_in_trailer && m_read_by
                      ? m_read_by(m_buffer.data(), static_cast<int>(m_buffer.size()),
                                  m_trailer_deadline)
                      : m_raw(m_buffer.data(), static_cast<int>(m_buffer.size()));
    m_pos = 0;
    m_end = n > 0 ? static_cast<size_t>(n) : 0;
    return n > 0;
}

int ResponseBodyBuf::NextByte() {
    return Fill() ? static_cast<unsigned char>(m_buffer[m_pos++]) : -1;
}

size_t ResponseBodyBuf::Pull(char* dst, size_t max) {
    if (m_pos < m_end) {
        const size_t n = std::min(max, m_end - m_pos);
        std::memcpy(dst, m_buffer.data() + m_pos, n);
        m_pos += n;
        return n;
    }
    const int n = m_raw(dst, static_cast<int>(std::min<size_t>(max, kMaxRead)));
    return n > 0 ? static_cast<size_t>(n) : 0;
}

std::string ResponseBodyBuf::ReadLine() {
    std::string line;
    for (;;) {
        const int c = NextByte();
        if (c < 0) {
            Broken("chunked response body ended before its last chunk");
        }
        if (c == '\n') {
            break;
        }
        if (line.size() >= kMaxLine) {
            Broken("chunked response body has a line longer than " + std::to_string(kMaxLine));
        }
        line += static_cast<char>(c);
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

void ResponseBodyBuf::ReadChunkHeader() {
    // Each chunk's data ends with its own line break.
    if (!m_first_chunk && !ReadLine().empty()) {
        Broken("chunk of the response body is longer than its size");
    }
    m_first_chunk = false;
    const std::string line = ReadLine();
    uint64_t size = 0;
    size_t digits = 0;
    for (; digits < line.size() && HexValue(line[digits]) >= 0; ++digits) {
        if (size > (std::numeric_limits<uint64_t>::max() >> 4)) {
            Broken("chunk size too large in response body: [" + line + "]");
        }
        size = size * 16 + static_cast<uint64_t>(HexValue(line[digits]));
    }
    const char after = digits < line.size() ? line[digits] : ';';
    if (digits == 0 || (after != ';' && after != ' ' && after != '\t')) {
        Broken("malformed chunk header in response body: [" + line.substr(0, 64) + "]");
    }
    if (size == 0) {
        // The last chunk; the trailer section ends with an empty line.
        m_in_trailer = true;
        m_trailer_deadline = std::chrono::steady_clock::now() + m_trailer_time;
        for (int fields = 0; !ReadLine().empty(); ++fields) {
            if (fields == kMaxTrailerFields) {
                Broken("chunked response body has more than " +
                       std::to_string(kMaxTrailerFields) + " trailer fields");
            }
        }
        m_done = true;
        return;
    }
    m_left = size;
}

size_t ResponseBodyBuf::ReadSome(char* dst, size_t max) {
    if (m_done || max == 0) {
        return 0;
    }
    size_t n = 0;
    switch (m_framing) {
        case Framing::kNone:
            m_done = true;
            return 0;
        case Framing::kUntilClose:
            n = Pull(dst, max);
            if (n == 0) {
                m_done = true;
            }
            break;
        case Framing::kLength:
            if (m_left == 0) {
                m_done = true;
                return 0;
            }
            n = Pull(dst, static_cast<size_t>(std::min<uint64_t>(m_left, max)));
            if (n == 0) {
                Broken("response body ended after " + std::to_string(m_received) + " of " +
                       std::to_string(m_length) + " bytes");
            }
            m_left -= n;
            break;
        case Framing::kChunked:
            if (m_left == 0) {
                ReadChunkHeader();
                if (m_done) {
                    return 0;
                }
            }
            n = Pull(dst, static_cast<size_t>(std::min<uint64_t>(m_left, max)));
            if (n == 0) {
                Broken("chunked response body ended before its last chunk");
            }
            m_left -= n;
            break;
    }
    m_received += n;
    return n;
}

bool ResponseBodyBuf::Complete() {
    if (m_broken || gptr() < egptr()) {
        return false;
    }
    if (!m_done && (m_framing == Framing::kNone ||
                    (m_framing == Framing::kLength && m_left == 0))) {
        m_done = true;
    }
    return m_done && m_framing != Framing::kUntilClose && m_pos == m_end;
}

std::streamsize ResponseBodyBuf::xsgetn(char* s, std::streamsize n) {
    std::streamsize done = std::min<std::streamsize>(n, egptr() - gptr());
    if (done > 0) {
        std::memcpy(s, gptr(), static_cast<size_t>(done));
        gbump(static_cast<int>(done));
    }
    while (done < n && !m_broken) {
        try {
            const size_t got = ReadSome(s + done, static_cast<size_t>(n - done));
            if (got == 0) {
                break;
            }
            done += static_cast<std::streamsize>(got);
        } catch (...) {
            // The stream reading this buffer would swallow the exception; keep it for the caller.
            m_broken = std::current_exception();
        }
    }
    return done;
}

ResponseBodyBuf::int_type ResponseBodyBuf::underflow() {
    if (gptr() < egptr()) {
        return traits_type::to_int_type(*gptr());
    }
    if (m_broken) {
        return traits_type::eof();
    }
    if (m_get.empty()) {
        m_get.resize(kBufferSize);
    }
    size_t n = 0;
    try {
        n = ReadSome(m_get.data(), m_get.size());
    } catch (...) {
        m_broken = std::current_exception();
    }
    if (n == 0) {
        return traits_type::eof();
    }
    setg(m_get.data(), m_get.data(), m_get.data() + n);
    return traits_type::to_int_type(*gptr());
}

}  // namespace zuzezi_zid
