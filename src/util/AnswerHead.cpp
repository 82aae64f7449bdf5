#include "util/AnswerHead.h"

#include <strings.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <Poco/Exception.h>
#include <Poco/Net/MessageHeader.h>
#include <Poco/Net/NetException.h>
#include <Poco/String.h>

#include "util/HttpConnection.h"

namespace zuzezi_zid {

namespace {

using Clock = std::chrono::steady_clock;

// What a head may hold, as the HTTP library allows it.
constexpr size_t kMaxVersion = 8;
constexpr size_t kMaxStatus = 3;
constexpr size_t kMaxReason = 512;
constexpr size_t kMaxName = 256;
constexpr size_t kMaxValue = 8192;

[[noreturn]] void Malformed(const std::string& what) { throw Poco::Net::MessageException(what); }

// The head's bytes, a line at a time from what the connection holds (never past a line end,
// so no byte of the body), each wait for more ending by the deadline. A head the connection's end
// cuts short fails: taken for whole, it would frame whatever followed as its body.
class HeadBytes {
public:
    HeadBytes(HttpConnection& conn, Clock::time_point deadline)
        : m_conn(conn), m_deadline(deadline) {}

    // The first byte; false when the connection ended before it.
    bool First(int* ch) {
        if (Refill() == 0) return false;
        *ch = Next();
        return true;
    }
    int Next() {
        if (m_pos == m_end && Refill() == 0) {
            Malformed("connection ended within the answer's head");
        }
        return static_cast<unsigned char>(m_line[m_pos++]);
    }

    // With `ch` the byte last returned: appends it and the bytes after it to `out` while
    // `more` holds and `out` is shorter than `max`, a run at a time; returns the byte it
    // stopped at.
    template <typename More>
    int Take(int ch, std::string* out, size_t max, More more) {
        while (more(ch) && out->size() < max) {
            const int from = m_pos - 1;
            const int last = from + static_cast<int>(std::min<size_t>(
                                        max - out->size(), static_cast<size_t>(m_end - from)));
            int to = from + 1;
            while (to < last && more(static_cast<unsigned char>(m_line[to]))) ++to;
            out->append(m_line + from, static_cast<size_t>(to - from));
            m_pos = to;
            ch = Next();
        }
        return ch;
    }

private:
    int Refill() {
        m_conn.WaitNoLaterThan(m_deadline);
        const int n = m_conn.GetLine(&m_line);
        m_pos = 0;
        m_end = n > 0 ? n : 0;
        return m_end;
    }

    HttpConnection& m_conn;
    Clock::time_point m_deadline;
    const char* m_line = nullptr;
    int m_pos = 0;
    int m_end = 0;
};

bool IsSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool NotLineEnd(int c) { return c != '\r' && c != '\n'; }

// The byte after ch. A CR ends a line only with the line feed after it: a bare one would end
// the head where a server or proxy reading it otherwise sees the next field.
int After(HeadBytes& in, int ch) {
    const int next = in.Next();
    if (ch == '\r' && next != '\n') Malformed("bare CR in the answer's head");
    return next;
}

bool IsControl(unsigned char c) { return (c < 0x20 && c != '\t') || c == 0x7f; }

// Fields that decide how the body is framed, whether the connection is kept, or which bytes a
// download takes: read as they come, never as encoded words.
bool IsRawField(const std::string& name) {
    static const char* const kRaw[] = {"Content-Length", "Transfer-Encoding", "Connection",
                                       "Keep-Alive",     "Trailer",           "Upgrade",
                                       "Content-Range"};
    for (const char* raw : kRaw) {
        if (strcasecmp(name.c_str(), raw) == 0) return true;
    }
    return false;
}

// An encoded word is decoded for the application, unless that would hand it a control byte.
void DecodeField(const std::string& name, std::string* value) {
    if (IsRawField(name)) return;
    std::string decoded = Poco::Net::MessageHeader::decodeWord(*value);
    if (std::none_of(decoded.begin(), decoded.end(),
                     [](char c) { return IsControl(static_cast<unsigned char>(c)); })) {
        value->swap(decoded);
    }
}

// Fields that vouch for which bytes the body holds: a second value that differs leaves the
// answer meaning two things, and whichever were believed the other could be the truth. Their
// index in a head's record of them, or -1.
int SingleValued(const std::string& name) {
    if (name.size() == 13 && strcasecmp(name.c_str(), "Content-Range") == 0) return 0;
    if (name.size() == 20 && strcasecmp(name.c_str(), "x-zid-hash-crc64ecma") == 0) return 1;
    return -1;
}

bool IsKnownVersion(const std::string& version) {
    return version == "HTTP/1.1" || version == "HTTP/1.0";
}

// Three digits from 100 to 599: anything else names no status the exchange can act on.
bool IsStatusCode(const std::string& status) {
    return status.size() == 3 && status[0] >= '1' && status[0] <= '5' &&
           std::all_of(status.begin(), status.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The rest of a field's line and its folded lines; the first byte after them is returned.
int FieldValue(HeadBytes& in, int ch, std::string* value) {
    const char* too_long = "Field value too long/no CRLF found";
    for (;;) {
        ch = in.Take(ch, value, kMaxValue, NotLineEnd);
        if (ch == '\r') ch = in.Next();
        if (ch != '\n') Malformed(too_long);
        ch = in.Next();
        if (ch != ' ' && ch != '\t') return ch;
        too_long = "Folded field value too long/no CRLF found";
    }
}

}  // namespace

// Read as the HTTP library reads a head, but straight from the connection's bytes: its parser
// takes a stream, a virtual call a byte, and takes a head cut short for a whole one.
bool ReadAnswerHead(HttpConnection& conn, Poco::Net::HTTPResponse& response,
                    Clock::time_point deadline) {
    conn.Session().flushRequest();  // a chunked request's last chunk goes out here
    response.clear();
    HeadBytes in(conn, deadline);
    int ch = 0;
    if (!in.First(&ch)) return false;
    while (IsSpace(ch)) ch = After(in, ch);

    const auto word = [](int c) { return !IsSpace(c); };
    std::string version;
    ch = in.Take(ch, &version, kMaxVersion, word);
    if (!IsSpace(ch) || !IsKnownVersion(version)) Malformed("Invalid HTTP version string");
    while (IsSpace(ch)) ch = After(in, ch);
    std::string status;
    ch = in.Take(ch, &status, kMaxStatus, word);
    if (!IsSpace(ch) || !IsStatusCode(status)) Malformed("Invalid HTTP status code");
    while (IsSpace(ch) && NotLineEnd(ch)) ch = in.Next();
    std::string reason;
    ch = in.Take(ch, &reason, kMaxReason, NotLineEnd);
    if (!IsSpace(ch)) Malformed("HTTP reason string too long");
    if (ch == '\r') ch = in.Next();
    if (ch != '\n') Malformed("Unterminated HTTP response line");

    const int limit = response.getFieldLimit();
    int fields = 0;
    std::string name;
    std::string value;
    bool seen[2] = {false, false};
    std::string first[2];
    ch = in.Next();
    while (NotLineEnd(ch)) {
        if (limit > 0 && fields == limit) Malformed("Too many header fields");
        name.clear();
        value.clear();
        ch = in.Take(ch, &name, kMaxName, [](int c) { return c != ':' && NotLineEnd(c); });
        if (ch == '\r') ch = After(in, ch);
        if (ch == '\n') {  // a line without a colon is passed over
            ch = in.Next();
            continue;
        }
        if (ch != ':') Malformed("Field name too long/no colon found");
        ch = in.Next();
        while (IsSpace(ch) && NotLineEnd(ch)) ch = in.Next();
        ch = FieldValue(in, ch, &value);
        Poco::trimRightInPlace(value);
        if (value.find("=?") != std::string::npos) DecodeField(name, &value);
        const int single = SingleValued(name);
        if (single >= 0) {
            if (seen[single] && first[single] != value) {
                Malformed("conflicting values of " + name + " in the answer: [" + first[single] +
                          "] and [" + value + "]");
            }
            seen[single] = true;
            first[single] = value;
        }
        response.add(name, value);
        ++fields;
    }
    if (ch == '\r') ch = After(in, ch);  // the blank line
    response.setVersion(version);
    response.setStatus(status);
    response.setReason(reason);
    return true;
}

ResponseBodyBuf::Framing FramingOfHead(const Poco::Net::HTTPResponse& response, bool has_body,
                                       uint64_t* length, bool* plain_codings) {
    const auto it = response.find("Content-Length");
    if (has_body && it != response.end()) {
        // Two framings of one body are a split answer waiting to happen: which bytes belong
        // to the next answer depends on which one is believed.
        if (response.has("Transfer-Encoding")) {
            throw Poco::Net::MessageException(
                "response has both Content-Length and Transfer-Encoding");
        }
        for (auto other = it; other != response.end(); ++other) {
            if (Poco::icompare(other->first, "Content-Length") == 0 &&
                other->second != it->second) {
                throw Poco::Net::MessageException(
                    "conflicting Content-Length values in response: [" + it->second + "] and [" +
                    other->second + "]");
            }
        }
    }
    std::vector<std::string> fields;
    for (const auto& h : response) {
        if (Poco::icompare(h.first, "Transfer-Encoding") == 0) fields.push_back(h.second);
    }
    const std::vector<std::string> codings = ResponseBodyBuf::TransferCodings(fields);
    // Anything but a lone "chunked" is rare enough that the connection is not worth keeping.
    *plain_codings = codings.empty() || (codings.size() == 1 && codings[0] == "chunked");
    ResponseBodyBuf::Framing framing = ResponseBodyBuf::Framing::kNone;
    std::string reason;
    if (!ResponseBodyBuf::FramingOf(has_body, codings,
                                    it == response.end() ? nullptr : &it->second, &framing,
                                    length, &reason)) {
        throw Poco::Net::MessageException(reason);
    }
    return framing;
}

}  // namespace zuzezi_zid
