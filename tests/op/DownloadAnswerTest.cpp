// A download takes only the answer it asked for: the whole object in a 200, or the asked range in
// a 206 whose Content-Range names that range; the object's CRC-64 is one decimal value or fails.
#include <sstream>
#include <string>

#include "OpTestSupport.h"
#include "support/CannedServer.h"
#include "util/Crc64Util.h"

using namespace zuzezi_zid;
using zid_test::CannedServer;

namespace {

const char kCrcName[] = "x-zid-hash-crc64ecma";

std::string Answer(const std::string& status_line, const std::string& headers,
                   const std::string& body) {
    return "HTTP/1.1 " + status_line + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n" + headers + "Connection: close\r\n\r\n" + body;
}

std::string CrcOf(const std::string& data) {
    return std::to_string(Crc64Util::Update(0, data.data(), data.size()));
}

class DownloadAnswerTest : public zid_test::ObjectOpTest {
protected:
    void SetUp() override {
        zid_test::ObjectOpTest::SetUp();
        ClientSettings::SetLogLevel(0);
        m_path = Local("f");
        WriteFile(m_path, "precious");
    }

    void PointAt(const CannedServer& server) { ClientSettings::SetDestDomain(server.DestDomain()); }

    ZidResult GetToFile(const std::string& range = "") {
        GetObjectByFileReq req("bkt", "k", m_path);
        if (!range.empty()) req.AddHeader("Range", range);
        req.SetRecvTimeoutInms(5000);
        GetObjectByFileResp resp;
        return m_op->GetObject(req, &resp);
    }

    ZidResult GetToStream(const std::string& range, std::string* body) {
        std::ostringstream out;
        GetObjectByStreamReq req("bkt", "k", out);
        if (!range.empty()) req.AddHeader("Range", range);
        req.SetRecvTimeoutInms(5000);
        GetObjectResp resp;
        ZidResult r = m_op->GetObject(req, &resp);
        *body = out.str();
        return r;
    }

    // A multi-threaded download against a server answering the HEAD with head_fields and each
    // slice with the matching 206 of `data`.
    ZidResult MultiGet(const std::string& data, const std::string& head_fields) {
        CannedServer server([&](Poco::Net::StreamSocket& peer, std::string head) {
            while (!head.empty()) {
                std::string reply;
                if (head.compare(0, 5, "HEAD ") == 0) {
                    reply = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(data.size()) +
                            "\r\nETag: \"e\"\r\n" + head_fields + "\r\n";
                } else {
                    const size_t at = head.find("Range: bytes=");
                    const unsigned long long first = std::stoull(head.substr(at + 13));
                    const unsigned long long last =
                        std::stoull(head.substr(head.find('-', at + 13) + 1));
                    const std::string part = data.substr(first, last - first + 1);
                    reply = "HTTP/1.1 206 Partial Content\r\nContent-Length: " +
                            std::to_string(part.size()) + "\r\nContent-Range: bytes " +
                            std::to_string(first) + "-" + std::to_string(last) + "/" +
                            std::to_string(data.size()) + "\r\n" + head_fields + "\r\n" + part;
                }
                if (!CannedServer::Send(peer, reply)) return;
                head = CannedServer::ReadHead(peer);
            }
        });
        return MultiGetFrom(server);
    }

    ZidResult MultiGetFrom(const CannedServer& server) {
        PointAt(server);
        GetObjectByFileReq req("bkt", "k", m_path);
        req.SetRecvTimeoutInms(5000);
        GetObjectByFileResp resp;
        return m_op->MultiGetObject(req, &resp);
    }

    std::string m_path;
};

}  // namespace

// Whatever the server sends with it, an answer that is not the object fails the download and
// leaves the user's file as it was.
TEST_F(DownloadAnswerTest, AnAnswerThatIsNotTheObjectFailsAndKeepsTheFile) {
    const std::string lies = "ETag: \"00000000000000000000000000000000\"\r\n" +
                             std::string(kCrcName) + ": 1\r\n";
    for (const char* status : {"201 Created", "203 Non-Authoritative Information",
                               "204 No Content", "208 Already Reported", "220 X", "240 X",
                               "284 X"}) {
        SCOPED_TRACE(status);
        CannedServer server(Answer(status, lies, "hello"));
        PointAt(server);
        ZidResult r = GetToFile();
        EXPECT_FALSE(r.IsSucc());
        EXPECT_FALSE(r.GetErrorMsg().empty());
        EXPECT_EQ(ReadFile(m_path), "precious");
    }
    // Half the object, as a 206 to a GET that asked for all of it.
    const std::string half(50000, 'h');
    CannedServer partial(
        Answer("206 Partial Content", "Content-Range: bytes 0-49999/100000\r\n", half));
    PointAt(partial);
    ZidResult r = GetToFile();
    EXPECT_FALSE(r.IsSucc());
    EXPECT_EQ(ReadFile(m_path), "precious");
    std::string body;
    EXPECT_FALSE(GetToStream("", &body).IsSucc());
    EXPECT_EQ(body, "");
}

TEST_F(DownloadAnswerTest, ARangedGetTakesOnlyTheRangeItAskedFor) {
    struct Case {
        const char* range;
        std::string reply;
        bool taken;
    };
    const std::string ten = "0123456789";
    const Case cases[] = {
        {"bytes=2-5", Answer("206 Partial Content", "Content-Range: bytes 2-5/10\r\n", "2345"), true},
        {"bytes=6-", Answer("206 Partial Content", "Content-Range: bytes 6-9/10\r\n", "6789"), true},
        {"bytes=-3", Answer("206 Partial Content", "Content-Range: bytes 7-9/10\r\n", "789"), true},
        {"bytes=8-100", Answer("206 Partial Content", "Content-Range: bytes 8-9/10\r\n", "89"), true},
        {"bytes=0-", Answer("200 OK", "", ten), true},
        {"bytes=0-99", Answer("200 OK", "", ten), true},
        {"bytes=2-5", Answer("206 Partial Content", "Content-Range: bytes 3-6/10\r\n", "3456"), false},
        {"bytes=2-5", Answer("206 Partial Content", "", "2345"), false},
        {"bytes=2-5", Answer("206 Partial Content", "Content-Range: bytes 2-5\r\n", "2345"), false},
        {"bytes=2-5", Answer("206 Partial Content", "Content-Range: bytes 2-5/x\r\n", "2345"), false},
        {"bytes=2-5", Answer("206 Partial Content", "Content-Range: bytes +2-5/10\r\n", "2345"), false},
        {"bytes=2-5", Answer("206 Partial Content", "Content-Range: bytes 2-5/10\r\n"
                                                    "Content-Range: bytes 3-6/10\r\n", "2345"), false},
        {"bytes=6-", Answer("206 Partial Content", "Content-Range: bytes 6-8/10\r\n", "678"), false},
        {"bytes=2-5", Answer("200 OK", "", ten), false},  // the whole object, not the range
        {"bytes=1-", Answer("200 OK", "", ten), false},
        {"bytes=2-5", Answer("203 Non-Authoritative Information", "", "2345"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.range) + " answered " + c.reply.substr(0, 40));
        CannedServer server(c.reply);
        PointAt(server);
        std::string body;
        ZidResult r = GetToStream(c.range, &body);
        EXPECT_EQ(r.IsSucc(), c.taken) << r.GetErrorMsg();
        if (!c.taken) EXPECT_EQ(body, "") << "the bytes of an answer not taken reached the stream";
        WriteFile(m_path, "precious");
        r = GetToFile(c.range);
        EXPECT_EQ(r.IsSucc(), c.taken) << r.GetErrorMsg();
        if (!c.taken) EXPECT_EQ(ReadFile(m_path), "precious");
    }
}

// A slice is taken only from a 206 naming exactly that slice of an object of the measured size.
TEST_F(DownloadAnswerTest, ASliceIsTakenOnlyFromTheAnswerNamingIt) {
    const std::string data = RandomBytes(10000, 3);
    const struct {
        const char* name;
        std::string content_range;
    } cases[] = {{"no total", "bytes 0-9999"},
                 {"another total", "bytes 0-9999/20000"},
                 {"signed first byte", "bytes +0-9999/10000"},
                 {"trailing bytes", "bytes 0-9999/10000x"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CannedServer server([&](Poco::Net::StreamSocket& peer, std::string head) {
            while (!head.empty()) {
                std::string reply =
                    head.compare(0, 5, "HEAD ") == 0
                        ? "HTTP/1.1 200 OK\r\nContent-Length: 10000\r\nETag: \"e\"\r\n\r\n"
                        : "HTTP/1.1 206 Partial Content\r\nContent-Length: 10000\r\n"
                          "Content-Range: " + c.content_range + "\r\n\r\n" + data;
                if (!CannedServer::Send(peer, reply)) return;
                head = CannedServer::ReadHead(peer);
            }
        });
        ZidResult r = MultiGetFrom(server);
        EXPECT_FALSE(r.IsSucc());
        EXPECT_EQ(ReadFile(m_path), "precious");
    }
}

// A CRC-64 that is not one decimal 64-bit value, or two that differ, cannot vouch for the body:
// the download fails, on the single GET and the multi-threaded one alike.
TEST_F(DownloadAnswerTest, AMalformedOrConflictingCrcFailsTheDownload) {
    const std::string data = "the object's bytes";
    const std::string crc = CrcOf(data);
    const std::string name = std::string(kCrcName) + ": ";
    const struct {
        const char* what;
        std::string fields;
        bool taken;
    } cases[] = {
        {"sound", name + crc + "\r\n", true},
        {"the same twice", name + crc + "\r\n" + name + crc + "\r\n", true},
        {"absent", "", true},
        {"signed", name + "+" + crc + "\r\n", false},
        {"negative", name + "-1\r\n", false},
        {"hexadecimal", name + "0x1f\r\n", false},
        {"past 64 bits", name + "18446744073709551616\r\n", false},
        {"two values in one", name + crc + ", " + crc + "\r\n", false},
        {"empty", name + "\r\n", false},
        {"a second that differs", name + crc + "\r\n" + name + "1\r\n", false},
        {"a first that differs", name + "1\r\n" + name + crc + "\r\n", false},
        {"a second spelled otherwise", name + crc + "\r\nX-Zid-Hash-Crc64ecma: 1\r\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        {
            CannedServer server(Answer("200 OK", c.fields, data));
            PointAt(server);
            WriteFile(m_path, "precious");
            ZidResult r = GetToFile();
            EXPECT_EQ(r.IsSucc(), c.taken) << r.GetErrorMsg();
            EXPECT_EQ(ReadFile(m_path), c.taken ? data : "precious");
        }
        WriteFile(m_path, "precious");
        ZidResult r = MultiGet(data, c.fields);
        EXPECT_EQ(r.IsSucc(), c.taken) << r.GetErrorMsg();
        EXPECT_EQ(ReadFile(m_path), c.taken ? data : "precious");
    }
}
