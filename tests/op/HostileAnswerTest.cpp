// Answers a hostile or broken server may give: none may crash the client, fill
// its memory, or pass for a good download.
#include <atomic>
#include <string>

#include "OpTestSupport.h"
#include "op/BucketOp.h"
#include "response/BucketResp.h"
#include "response/SelectObjectContentResp.h"
#include "support/CannedServer.h"
#include "support/EventStreamEncoder.h"
#include "support/LogCapture.h"
#include "support/RefusingBuf.h"

using namespace zuzezi_zid;
using zid_test::CannedServer;
using zid_test::LogCapture;
using zid_test::RefusingBuf;

namespace {

std::string NestedXml(size_t depth) {
    std::string text;
    for (size_t i = 0; i < depth; ++i) text += "<a>";
    for (size_t i = 0; i < depth; ++i) text += "</a>";
    return text;
}

std::string Answer(const std::string& status_line, const std::string& headers,
                   const std::string& body) {
    return "HTTP/1.1 " + status_line + "\r\n" + headers + "Connection: close\r\n\r\n" + body;
}

std::string WithLength(const std::string& status_line, const std::string& body) {
    return Answer(status_line, "Content-Length: " + std::to_string(body.size()) + "\r\n", body);
}

class HostileAnswerTest : public zid_test::ObjectOpTest {
protected:
    void SetUp() override {
        zid_test::ObjectOpTest::SetUp();
        ClientSettings::SetLogLevel(0);  // the error lines would carry megabytes of body
    }

    void PointAt(const CannedServer& server) {
        ClientSettings::SetDestDomain(server.DestDomain());
    }

    ZidResult GetToStream(std::string* body) {
        std::ostringstream out;
        GetObjectByStreamReq req("bkt", "k", out);
        req.SetRecvTimeoutInms(5000);
        GetObjectResp resp;
        ZidResult r = m_op->GetObject(req, &resp);
        *body = out.str();
        return r;
    }

    ZidResult GetToFile() {
        GetObjectByFileReq req("bkt", "k", Local("f"));
        req.SetRecvTimeoutInms(5000);
        GetObjectByFileResp resp;
        return m_op->GetObject(req, &resp);
    }
};

}  // namespace

TEST_F(HostileAnswerTest, DeeplyNestedXmlFailsWithoutCrashing) {
    const std::string deep = NestedXml(100000);
    {
        CannedServer server(WithLength("404 Not Found", deep));
        PointAt(server);
        std::string body;
        ZidResult r = GetToStream(&body);
        EXPECT_FALSE(r.IsSucc());
        EXPECT_EQ(r.GetHttpStatus(), 404);
        EXPECT_EQ(r.GetErrorMsg(), deep);  // an unparsable error body is the message
    }
    {
        CannedServer server(WithLength("200 OK", deep));
        PointAt(server);
        GetObjectACLReq req("bkt", "k");
        GetObjectACLResp resp;
        ZidResult r = m_op->GetObjectACL(req, &resp);
        EXPECT_FALSE(r.IsSucc());
        EXPECT_EQ(r.GetHttpStatus(), 200);
        EXPECT_EQ(r.GetErrorMsg(), deep);
    }
}

// The server sends an error body without end; the client must stop reading it.
TEST_F(HostileAnswerTest, EndlessErrorBodyIsCutShort) {
    const size_t kServerGivesUpAt = 64u << 20;
    std::atomic<size_t> sent{0};
    CannedServer server([&sent, kServerGivesUpAt](Poco::Net::StreamSocket& peer) {
        sent = 0;
        if (!CannedServer::Send(peer, "HTTP/1.1 500 Internal Server Error\r\n"
                                      "Connection: close\r\n\r\n")) {
            return;
        }
        const std::string block(64 * 1024, 'e');
        while (sent < kServerGivesUpAt && CannedServer::Send(peer, block)) sent += block.size();
    });
    PointAt(server);

    std::string body;
    ZidResult got = GetToStream(&body);
    EXPECT_FALSE(got.IsSucc());
    EXPECT_EQ(got.GetHttpStatus(), 500);
    EXPECT_EQ(got.GetErrorMsg(), std::string(1 << 20, 'e'));
    EXPECT_EQ(body, "");
    // What the socket buffers held when the client hung up, far from the server's limit.
    EXPECT_LT(sent.load(), kServerGivesUpAt / 4);

    // The answer to a request with a body is read by the other form of the exchange.
    std::istringstream data("payload");
    PutObjectByStreamReq put("bkt", "k", data);
    PutObjectByStreamResp put_resp;
    ZidResult r = m_op->PutObject(put, &put_resp);
    EXPECT_FALSE(r.IsSucc());
    EXPECT_EQ(r.GetHttpStatus(), 500);
    EXPECT_EQ(r.GetErrorMsg().size(), size_t(1) << 20);
    EXPECT_LT(sent.load(), kServerGivesUpAt / 4);
}

TEST_F(HostileAnswerTest, BodyThatEndsOtherwiseThanItsFramingFails) {
    const std::string hundred(100, 'x');
    const std::string chunked = "Transfer-Encoding: chunked\r\n";
    struct Case {
        const char* name;
        std::string reply;
    };
    const Case cases[] = {
        {"chunked garbage", Answer("200 OK", chunked, "zzzz\r\nhello\r\n0\r\n\r\n")},
        {"chunk cut short", Answer("200 OK", chunked, "100000\r\n" + hundred)},
        {"no last chunk", Answer("200 OK", chunked, "5\r\nhello\r\n")},
        {"chunk longer than its size", Answer("200 OK", chunked, "3\r\nhello\r\n0\r\n\r\n")},
        {"negative length", Answer("200 OK", "Content-Length: -5\r\n", hundred)},
        {"unparsable length", Answer("200 OK", "Content-Length: 1x\r\n", hundred)},
        {"overflowing length",
         Answer("200 OK", "Content-Length: 18446744073709551611\r\n", hundred)},
        {"fewer bytes than the length", Answer("200 OK", "Content-Length: 200\r\n", hundred)},
    };
    for (const auto& c : cases) {
        CannedServer server(c.reply);
        PointAt(server);
        std::string body;
        ZidResult to_stream = GetToStream(&body);
        EXPECT_FALSE(to_stream.IsSucc()) << c.name << ": " << body.size() << " bytes";
        EXPECT_FALSE(to_stream.GetErrorMsg().empty()) << c.name;
        ZidResult to_file = GetToFile();
        EXPECT_FALSE(to_file.IsSucc()) << c.name;
    }

    // Sound chunked framing, with an extension and a trailer, still passes.
    CannedServer good(Answer("200 OK", chunked, "5;ext=1\r\nhello\r\n0\r\nX-T: v\r\n\r\n"));
    PointAt(good);
    std::string body;
    ZidResult r = GetToStream(&body);
    EXPECT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(body, "hello");
    r = GetToFile();
    EXPECT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(ReadFile(Local("f")), "hello");
}

TEST_F(HostileAnswerTest, HeadWithAnImpossibleLengthFails) {
    for (const char* length : {"-5", "18446744073709551611", "99999999999999999999", "5x"}) {
        CannedServer server(
            Answer("200 OK", std::string("Content-Length: ") + length + "\r\nETag: \"e\"\r\n", ""));
        PointAt(server);
        HeadObjectReq req("bkt", "k");
        HeadObjectResp resp;
        ZidResult r = m_op->HeadObject(req, &resp);
        EXPECT_FALSE(r.IsSucc()) << length << " read as " << resp.GetContentLength();
    }
    CannedServer sound(Answer("200 OK", "Content-Length: 9223372036854775807\r\n", ""));
    PointAt(sound);
    HeadObjectReq req("bkt", "k");
    HeadObjectResp resp;
    ZidResult r = m_op->HeadObject(req, &resp);
    EXPECT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(resp.GetContentLength(), 9223372036854775807ull);
}

// A destination that stops taking bytes fails the download, with the MD5 check or without.
TEST_F(HostileAnswerTest, RefusedWritesFailTheDownload) {
    Service().PutObject(StoreBucket(), "k", RandomBytes(100000));
    for (bool check_md5 : {true, false}) {
        RefusingBuf buf(1000);
        std::ostream out(&buf);
        GetObjectByStreamReq req("bkt", "k", out);
        req.SetCheckMD5(check_md5);
        GetObjectResp resp;
        ZidResult r = m_op->GetObject(req, &resp);
        EXPECT_FALSE(r.IsSucc()) << "md5 check " << check_md5;
        EXPECT_NE(r.GetErrorMsg().find("write"), std::string::npos) << r.GetErrorMsg();
        EXPECT_EQ(buf.Taken(), 1000u);
    }
}

// What one exchange writes to the log at the default level is bounded by the number of
// lines, whatever the size of the body each line quotes.
TEST_F(HostileAnswerTest, APageWithAnUnknownFieldPerEntryLogsBoundedLines) {
    std::string page = "<ListBucketResult><Name>bkt</Name><IsTruncated>false</IsTruncated>";
    for (int i = 0; i < 1000; ++i) {
        page += "<Contents><Key>key/" + std::to_string(i) + "</Key><Size>1</Size>"
                "<Colour>" + std::string(40, 'c') + "</Colour></Contents>";
    }
    page += "</ListBucketResult>";
    CannedServer server(WithLength("200 OK", page));
    PointAt(server);
    LogCapture log;  // level 4, the default
    BucketOp op(m_config);
    GetBucketResp listing;
    ZidResult r = op.GetBucket(GetBucketReq("bkt"), &listing, false);
    ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(1000u, listing.GetContents().size());

    const std::string quoted = page.substr(0, 1024) + "...(" + std::to_string(page.size()) + " bytes)";
    EXPECT_EQ(1000u, log.Count({"[WARN]", "field_name=Colour, xml_body=" + quoted + "\n"}));
    size_t logged = 0;
    for (const auto& line : log.All()) logged += line.size();
    // Whole quotes would be a thousand times the page.
    EXPECT_LT(logged, 1500u * 1000u) << page.size() << "-byte page";

    // A select stream's Records payload, quoted in a debug line.
    log.Clear();
    const std::string records(1 << 20, 'r');
    SelectObjectContentResp select;
    ASSERT_TRUE(select.ParseFromXmlString(zid_test::EsEvent("Records", records, "application/octet-stream") +
                                          zid_test::EsEvent("End")));
    EXPECT_EQ(1u, log.Count({"[DBG]", "payload:" + records.substr(0, 1024) + "...(1048576 bytes)\n"}));
    for (const auto& line : log.All()) EXPECT_LT(line.size(), 1300u);
}
