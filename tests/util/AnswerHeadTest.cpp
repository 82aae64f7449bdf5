// The sender reads answer heads itself, straight from the session's buffer. It must read every
// head as the HTTP library's own parser does, take no byte after it, and refuse a head that
// the connection's end cut short (which the library would take for a whole one).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <Poco/Net/HTTPResponse.h>
#include <Poco/Net/MessageHeader.h>
#include <Poco/String.h>
#include <Poco/Net/NetException.h>

#include "util/AnswerHead.h"
#include "util/HttpConnection.h"

using namespace zuzezi_zid;

namespace {

// A connection holding `bytes`, handing them out at most `piece` at a time.
class BytesConnection final : public HttpConnection {
public:
    BytesConnection(std::string bytes, size_t piece) : m_bytes(std::move(bytes)), m_piece(piece) {}

    Poco::Net::HTTPClientSession& Session() override { return m_session; }
    void ClearNetworkError() override {}

    // What a body's reader would get after the head.
    std::string Rest() {
        std::string out;
        char piece[1024];
        for (int n; (n = ReadRaw(piece, sizeof piece)) > 0;) out.append(piece, n);
        return out;
    }

protected:
    int SessionRead(char* buffer, int length) override {
        const size_t n = std::min({static_cast<size_t>(length), m_piece, m_bytes.size() - m_pos});
        m_bytes.copy(buffer, n, m_pos);
        m_pos += n;
        return static_cast<int>(n);
    }
    int SessionBuffered() const override { return 1; }  // never waits
    bool SessionPeek() override { return m_pos < m_bytes.size(); }
    void SessionConnect() override {}

private:
    Poco::Net::HTTPClientSession m_session;
    std::string m_bytes;
    size_t m_piece;
    size_t m_pos = 0;
};

using Fields = std::vector<std::pair<std::string, std::string>>;

struct Read {
    enum Outcome { kHead, kNoMessage, kFailed } outcome = kFailed;
    std::string head;  // version, status and reason
    Fields fields;
    std::string rest;  // what is left after the head
    bool cut_short = false;  // the library's parser took every byte: it ran into their end
};

std::string Shown(const Poco::Net::HTTPResponse& r) {
    return r.getVersion() + "|" + std::to_string(r.getStatus()) + "|" + r.getReason();
}

Fields FieldsOf(const Poco::Net::HTTPResponse& r) { return Fields(r.begin(), r.end()); }

// Fields that frame the body, keep the connection or choose a download's bytes.
bool IsFramingField(const std::string& name) {
    for (const char* raw : {"Content-Length", "Transfer-Encoding", "Connection", "Keep-Alive",
                            "Trailer", "Upgrade", "Content-Range"}) {
        if (Poco::icompare(name, raw) == 0) return true;
    }
    return false;
}

bool HoldsControl(const std::string& value) {
    return std::any_of(value.begin(), value.end(), [](char c) {
        return (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f;
    });
}

// What the library takes and ours refuses on purpose: a CR without its line feed within the
// head, a version other than HTTP/1.0 or HTTP/1.1, a status outside 100-599, a field naming the
// body's bytes given twice with different values.
bool RefusedOnPurpose(const std::string& bytes, const Read& lib) {
    if (lib.outcome != Read::kHead) return false;
    for (const auto& a : lib.fields) {
        for (const auto& b : lib.fields) {
            if (Poco::icompare(a.first, b.first) == 0 && a.second != b.second &&
                (Poco::icompare(a.first, "Content-Range") == 0 ||
                 Poco::icompare(a.first, "x-zid-hash-crc64ecma") == 0)) {
                return true;
            }
        }
    }
    const std::string head = bytes.substr(0, bytes.size() - lib.rest.size());
    for (size_t at = head.find('\r'); at != std::string::npos; at = head.find('\r', at + 1)) {
        if (at + 1 >= head.size() || head[at + 1] != '\n') return true;
    }
    const std::string version = lib.head.substr(0, lib.head.find('|'));
    const int status = std::stoi(lib.head.substr(version.size() + 1));
    return (version != "HTTP/1.0" && version != "HTTP/1.1") || status < 100 || status > 599;
}

// Ours keeps a field's encoded words where the library decodes them into a framing field or
// into a control byte; every other field is the same.
void ExpectSameFields(const Fields& own, const Fields& lib) {
    ASSERT_EQ(own.size(), lib.size());
    for (size_t i = 0; i < own.size(); ++i) {
        EXPECT_EQ(own[i].first, lib[i].first);
        if (own[i].second == lib[i].second) continue;
        EXPECT_TRUE(IsFramingField(own[i].first) || HoldsControl(lib[i].second))
            << own[i].first << ": [" << own[i].second << "] against [" << lib[i].second << "]";
        EXPECT_EQ(Poco::Net::MessageHeader::decodeWord(own[i].second), lib[i].second)
            << "not the field as it came";
    }
}

Read ByTheLibrary(const std::string& bytes) {
    Read r;
    std::istringstream in(bytes);
    Poco::Net::HTTPResponse response;
    try {
        response.read(in);
        r.outcome = Read::kHead;
        r.head = Shown(response);
        r.fields = FieldsOf(response);
    } catch (const Poco::Net::NoMessageException&) {
        r.outcome = Read::kNoMessage;
    } catch (const Poco::Exception&) {
    }
    in.clear();
    const auto at = in.tellg();
    r.rest = at < 0 ? std::string() : bytes.substr(static_cast<size_t>(at));
    r.cut_short = r.rest.empty();
    return r;
}

Read OurOwn(const std::string& bytes, size_t piece) {
    Read r;
    BytesConnection conn(bytes, piece);
    Poco::Net::HTTPResponse response;
    try {
        if (ReadAnswerHead(conn, response, std::chrono::steady_clock::now() +
                                               std::chrono::seconds(60))) {
            r.outcome = Read::kHead;
            r.head = Shown(response);
            r.fields = FieldsOf(response);
        } else {
            r.outcome = Read::kNoMessage;
        }
    } catch (const Poco::Exception&) {
    }
    r.rest = conn.Rest();
    return r;
}

// Ours against the library's, for a head handed out in pieces of every size that matters.
void ExpectReadAsTheLibraryDoes(const std::string& bytes) {
    const Read lib = ByTheLibrary(bytes);
    for (const size_t piece : {size_t{1}, size_t{2}, size_t{7}, size_t{4096}}) {
        SCOPED_TRACE("piece " + std::to_string(piece));
        const Read own = OurOwn(bytes, piece);
        if (lib.outcome == Read::kHead && lib.cut_short) {
            EXPECT_EQ(own.outcome, Read::kFailed) << "a head cut short was taken: " << own.head;
            continue;
        }
        if (RefusedOnPurpose(bytes, lib)) {
            EXPECT_EQ(own.outcome, Read::kFailed) << "taken: " << own.head;
            continue;
        }
        ASSERT_EQ(own.outcome, lib.outcome) << own.head;
        if (lib.outcome == Read::kHead) {
            EXPECT_EQ(own.head, lib.head);
            ExpectSameFields(own.fields, lib.fields);
            EXPECT_EQ(own.rest, lib.rest) << "bytes after the head were taken, or left";
        }
    }
}

std::string Escaped(const std::string& s) {
    std::string out;
    for (const char c : s) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else out += c;
    }
    return out;
}

// After each head: a body, the next answer, and a last byte no head can end at, so that a
// parser that took it ran into the end of the bytes.
const char kBody[] = "BODY\r\n\r\nHTTP/1.1 200 OK\r\n\r\nX";

}  // namespace

TEST(AnswerHeadTest, HeadsAreReadAsTheHttpLibraryReadsThem) {
    const std::string long_value(9000, 'v');
    const std::string long_name(300, 'n');
    std::string many_fields = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 101; ++i) many_fields += "F" + std::to_string(i) + ": x\r\n";
    many_fields += "\r\n";
    const std::vector<std::string> heads = {
        "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nETag: \"abc\"\r\n\r\n",
        "HTTP/1.1 204 No Content\r\n\r\n",
        "HTTP/1.0 404 Not Found\n\n",  // bare line feeds
        "HTTP/1.1 200\r\n\r\n",       // no reason
        "HTTP/1.1 200 \r\n\r\n",
        "  HTTP/1.1   200   Very  OK  \r\nA:b\r\n\r\n",
        "HTTP/1.1 200 OK\r\nA:   spaced   \r\nB:\r\nC: \t\r\n\r\n",
        "HTTP/1.1 200 OK\r\nFolded: one\r\n two\r\n\tthree\r\nNext: x\r\n\r\n",
        "HTTP/1.1 200 OK\r\nno colon here\r\nA: b\r\n\r\n",
        "HTTP/1.1 200 OK\r\nSame: 1\r\nsame: 2\r\nOther: 3\r\nSAME: 4\r\n\r\n",
        "HTTP/1.1 200 OK\r\nX-Meta: =?utf-8?Q?caf=C3=A9?=\r\nY: a=b?c\r\nZ: ?= =\r\n\r\n",
        "HTTP/1.1 200 OK\r\nCR: a\rb\r\n\r\n",
        "HTTP/1.1 200 OK\r\n\rjunk\n",  // the blank line read up to its line feed
        "HTTP/1.1 200 OK\r\nLong: " + long_value + "\r\n\r\n",
        "HTTP/1.1 200 OK\r\nLong: " + std::string(8192, 'v') + "\r\n\r\n",
        "HTTP/1.1 200 OK\r\n" + long_name + ": x\r\n\r\n",
        "HTTP/1.1 200 OK\r\nF: " + std::string(8000, 'a') + "\r\n " + std::string(500, 'b') +
            "\r\n\r\n",
        "HTTP/1.1 200 " + std::string(600, 'r') + "\r\n\r\n",
        many_fields,
        "HTTP/1.1 2000 OK\r\n\r\n",
        "HTTP/1.1 abc OK\r\n\r\n",
        "HTTP/1.1.1.1.1 200 OK\r\n\r\n",
        "HTTP/1.1 200 OK\rX\r\n\r\n",
        "\r\n\r\nHTTP/1.1 200 OK\r\n\r\n",
        "",
        "   ",  // only white space, then the end
    };
    for (const std::string& head : heads) {
        SCOPED_TRACE(Escaped(head.substr(0, 120)));
        ExpectReadAsTheLibraryDoes(head + kBody);
    }
}

TEST(AnswerHeadTest, AHeadCutShortByTheConnectionsEndIsRefused) {
    const std::vector<std::string> cut = {
        "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n",  // no blank line
        "HTTP/1.1 200 OK\r\nContent-Length: 4",       // mid-field
        "HTTP/1.1 200 OK\r\nContent-",
        "HTTP/1.1 200 OK\r\n",
        "HTTP/1.1 200 OK\r\n\r",
        "HTTP/1.1 200 OK",
        "HTTP/1.1 200 OK\r\nFolded: a\r\n b",
    };
    for (const std::string& bytes : cut) {
        SCOPED_TRACE(Escaped(bytes));
        for (const size_t piece : {size_t{1}, size_t{4096}}) {
            BytesConnection conn(bytes, piece);
            Poco::Net::HTTPResponse response;
            EXPECT_THROW(ReadAnswerHead(conn, response, std::chrono::steady_clock::now() +
                                                            std::chrono::seconds(60)),
                         Poco::Net::MessageException);
        }
    }
    BytesConnection nothing("", 4096);
    Poco::Net::HTTPResponse response;
    EXPECT_FALSE(ReadAnswerHead(nothing, response,
                                std::chrono::steady_clock::now() + std::chrono::seconds(60)));
}

// Heads changed byte by byte from real ones, over the bytes a head's syntax turns on.
TEST(AnswerHeadTest, ChangedHeadsAreReadAsTheHttpLibraryReadsThem) {
    const std::vector<std::string> seeds = {
        "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nx-zid-request-id: r-1\r\n\r\n",
        "HTTP/1.1 100 Continue\r\n\r\n",
        "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-3/9\r\nA: =?b?=\r\n\r\n",
    };
    const std::string alphabet = " \t\r\n:=?aZ1/.";
    std::mt19937 rng(20261211);
    for (int round = 0; round < 3000; ++round) {
        std::string head = seeds[static_cast<size_t>(round) % seeds.size()];
        const int changes = 1 + static_cast<int>(rng() % 4);
        for (int c = 0; c < changes; ++c) {
            const size_t at = rng() % (head.size() + 1);
            const char byte = alphabet[rng() % alphabet.size()];
            switch (rng() % 3) {
                case 0: head.insert(at, 1, byte); break;
                case 1: if (at < head.size()) head.erase(at, 1); break;
                default: if (at < head.size()) head[at] = byte; break;
            }
        }
        SCOPED_TRACE(Escaped(head));
        ExpectReadAsTheLibraryDoes(head + kBody);
        if (HasFailure()) break;
    }
}

// Where the library is lenient and that would move framing or hand on bytes, the head fails.
TEST(AnswerHeadTest, HeadsTheLibraryTakesAndThatCouldSplitAnAnswerAreRefused) {
    const std::vector<std::string> refused = {
        "HTTP/1.1 200 OK\r\n\rjunk\n",              // a bare CR taken for the blank line
        "HTTP/1.1 200 OK\r\nA\rB: x\r\n\r\n",       // in a name
        "HTTP/1.1\r200 OK\r\n\r\n",                 // between version and status
        "\rHTTP/1.1 200 OK\r\n\r\n",                // before the status line
        "HTTP/1.1 000 OK\r\n\r\n",
        "HTTP/1.1 099 OK\r\n\r\n",
        "HTTP/1.1 600 OK\r\n\r\n",
        "HTTP/1.1 +20 OK\r\n\r\n",
        "HTTP/1.1 -1 OK\r\n\r\n",
        "FOO 200 OK\r\n\r\n",
        "HTTP/2.0 200 OK\r\n\r\n",
        "HTTP/1.2 200 OK\r\n\r\n",
        "http/1.1 200 OK\r\n\r\n",
        "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-3/9\r\n"
        "content-range: bytes 4-7/9\r\n\r\n",
        "HTTP/1.1 200 OK\r\nx-zid-hash-crc64ecma: 1\r\nX-Zid-Hash-Crc64ecma: 2\r\n\r\n",
    };
    for (const std::string& head : refused) {
        SCOPED_TRACE(Escaped(head));
        for (const size_t piece : {size_t{1}, size_t{4096}}) {
            BytesConnection conn(head + kBody, piece);
            Poco::Net::HTTPResponse response;
            EXPECT_THROW(ReadAnswerHead(conn, response, std::chrono::steady_clock::now() +
                                                            std::chrono::seconds(60)),
                         Poco::Net::MessageException);
        }
    }
}

TEST(AnswerHeadTest, EncodedWordsNeverFrameNorHandOnControlBytes) {
    const struct {
        const char* field;
        const char* read_as;
    } cases[] = {
        {"Transfer-Encoding: =?utf-8?q?chunked?=", "=?utf-8?q?chunked?="},
        {"transfer-encoding: =?utf-8?q?chunked?=", "=?utf-8?q?chunked?="},
        {"Content-Length: =?5", "=?5"},
        {"Content-Length: =?utf-8?q?5?=", "=?utf-8?q?5?="},
        {"Connection: =?utf-8?q?close?=", "=?utf-8?q?close?="},
        {"Content-Range: =?utf-8?q?bytes_0-3/9?=", "=?utf-8?q?bytes_0-3/9?="},
        {"X-A: =?utf-8?q?a=0D=0AX-B:_1?=", "=?utf-8?q?a=0D=0AX-B:_1?="},
        {"X-A: =?utf-8?q?a=00b?=", "=?utf-8?q?a=00b?="},
        {"X-A: =?utf-8?q?a=7Fb?=", "=?utf-8?q?a=7Fb?="},
        {"X-Meta: =?utf-8?Q?caf=C3=A9?=", "caf\xC3\xA9"},  // still decoded for the application
        {"X-Tab: =?utf-8?q?a=09b?=", "a\tb"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        BytesConnection conn(std::string("HTTP/1.1 200 OK\r\n") + c.field + "\r\n\r\n", 4096);
        Poco::Net::HTTPResponse response;
        ASSERT_TRUE(ReadAnswerHead(conn, response,
                                   std::chrono::steady_clock::now() + std::chrono::seconds(60)));
        ASSERT_EQ(response.size(), 1u);
        EXPECT_EQ(response.begin()->second, c.read_as);
    }
}
