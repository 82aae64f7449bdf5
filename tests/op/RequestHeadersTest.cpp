// Whatever sets a header, the caller, the credentials or the client's own part requests, a
// request whose head would carry a line nobody wrote, or a second framing, never leaves.
#include <functional>
#include <sstream>
#include <string>

#include <Poco/String.h>

#include "OpTestSupport.h"
#include "request/ObjectReq.h"
#include "support/LogCapture.h"
#include "response/ObjectResp.h"

using namespace zuzezi_zid;

namespace zid_test {
namespace {

class HeadInjectionTest : public ObjectOpTest {
protected:
    void SetUp() override {
        ObjectOpTest::SetUp();
        m_copy_part = ClientSettings::GetUploadCopyPartSize();
    }
    void TearDown() override {
        ClientSettings::SetUploadCopyPartSize(m_copy_part);
        ObjectOpTest::TearDown();
    }

    // A copy the client makes in parts (five of them), with the caller's headers.
    ZidResult CopyInParts(const std::string& name, const std::string& value) {
        Service().PutObject(StoreBucket(), "huge", "real bytes");
        Service().SetReportedSize(StoreBucket(), "huge", 5368709120ULL);
        ClientSettings::SetUploadCopyPartSize(1ULL << 30);
        CopyReq req("bkt", "dst");
        req.SetXZidCopySource(ClientSettings::BuildBucketHost(kAppId, "ap-test", "bkt", false) +
                              "/huge");
        if (!name.empty()) req.AddHeader(name, value);
        CopyResp resp;
        return m_op->Copy(req, &resp);
    }

    ZidResult Put10(const std::string& name, const std::string& value) {
        std::istringstream in("0123456789");
        PutObjectByStreamReq req("bkt", "k", in);
        req.AddHeader(name, value);
        PutObjectByStreamResp resp;
        return m_op->PutObject(req, &resp);
    }

    // Whether any request that reached the service carries a line named `name`.
    static bool Arrived(const std::string& name) {
        for (const auto& r : Service().Requests()) {
            for (const auto& h : r.headers) {
                if (Poco::icompare(h.first, name) == 0) return true;
            }
        }
        return false;
    }

private:
    uint64_t m_copy_part = 0;
};

TEST_F(HeadInjectionTest, ACopySourceConditionCannotAddALineToThePartCopies) {
    ZidResult r = CopyInParts("x-zid-copy-source-If-Match", "\"abc\"\r\nX-Injected-Copy: 1");
    EXPECT_FALSE(r.IsSucc());
    EXPECT_NE(r.GetErrorMsg().find("x-zid-copy-source-If-Match"), std::string::npos)
        << r.GetErrorMsg();
    EXPECT_FALSE(Arrived("X-Injected-Copy"));
    EXPECT_EQ(CountRequests("PUT", "partNumber"), 0u);
    EXPECT_EQ(Service().OpenUploadCount(StoreBucket()), 0u);
    EXPECT_FALSE(Service().GetObject(StoreBucket(), "dst").has_value());

    // Without it the same copy goes through in parts.
    Service().Clear();
    r = CopyInParts("", "");
    EXPECT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(CountRequests("PUT", "partNumber"), 5u);
}

TEST_F(HeadInjectionTest, CredentialsThatWouldSplitTheHeadAreRefused) {
    struct Case {
        const char* name;
        std::string access_key;
        std::string token;
        const char* message_part;
    } cases[] = {
        {"token", kAccessKey, "tok\r\nX-Injected: 1", "security token"},
        {"access key id", "AKID\r\nX-Injected: 1", "", "access key id"},
        {"NUL in the token", kAccessKey, std::string("tok\0x", 5), "security token"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Service().Clear();
        {
            LogCapture log;
            m_config->SetCredentials(c.access_key, kSecretKey, c.token);
            EXPECT_TRUE(log.Contains("SetCredentials: the " + std::string(c.message_part)));
        }
        ZidResult put = Put10("x-zid-meta-a", "1");
        EXPECT_FALSE(put.IsSucc());
        EXPECT_NE(put.GetErrorMsg().find(c.message_part), std::string::npos) << put.GetErrorMsg();
        ZidResult copy = CopyInParts("", "");
        EXPECT_FALSE(copy.IsSucc());
        EXPECT_FALSE(Arrived("X-Injected"));
        EXPECT_EQ(CountRequests("PUT"), 0u);
        // Clean credentials serve again.
        m_config->SetCredentials(kAccessKey, kSecretKey, "");
        EXPECT_TRUE(Put10("x-zid-meta-a", "1").IsSucc());
    }
}

TEST_F(HeadInjectionTest, TheBodysFramingIsTheClients) {
    struct Case {
        const char* name;
        const char* value;
        bool refused;
    } cases[] = {
        {"Transfer-Encoding", "chunked", true},
        {"transfer-encoding", "chunked", true},
        {"Connection", "close", true},
        {"Expect", "100-continue", true},
        {"X Bad", "1", true},
        {"X-Ctl", "a\x01" "b", true},
        {"X-Del", "a\x7f", true},
        {"x-zid-meta-tab", "a\tb", false},
        // The client's own value replaces these; what callers have always had.
        {"content-length", "5", false},
        {"host", "elsewhere.example", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Service().Clear();
        ZidResult r = Put10(c.name, c.value);
        if (c.refused) {
            EXPECT_FALSE(r.IsSucc());
            EXPECT_EQ(r.GetHttpStatus(), -1);
            EXPECT_NE(r.GetErrorMsg().find(c.name), std::string::npos) << r.GetErrorMsg();
            EXPECT_TRUE(Service().Requests().empty()) << "a request reached the service";
        } else {
            EXPECT_TRUE(r.IsSucc()) << r.GetErrorMsg();
            ASSERT_EQ(Service().Requests().size(), 1u);
            EXPECT_EQ(Service().Requests()[0].Header("Content-Length"), "10");
            EXPECT_EQ(Service().GetObject(StoreBucket(), "k").value_or(""), "0123456789");
        }
    }
}

// The token a transfer's requests carry is the one read with the keys that signed them, on
// every slice, part and part copy.
TEST_F(HeadInjectionTest, TransfersSendTheTokenOfTheirKeys) {
    ClientSettings::SetDownSliceSize(4096);
    ClientSettings::SetDownThreadPoolSize(3);
    m_config->SetCredentials(kAccessKey, kSecretKey, "tok-1");
    const std::string data = RandomBytes(4 * 4096 + 3);
    Service().PutObject(StoreBucket(), "obj", data);
    struct Download {
        const char* name;
        std::function<ZidResult(const GetObjectByFileReq&, GetObjectByFileResp*)> run;
    } downloads[] = {
        {"multi-threaded", [this](const GetObjectByFileReq& req, GetObjectByFileResp* resp) {
             return m_op->MultiThreadDownload(req, resp, nullptr, false);
         }},
        {"resumable", [this](const GetObjectByFileReq& req, GetObjectByFileResp* resp) {
             return m_op->ResumableGetObject(req, resp, nullptr, false);
         }},
    };
    for (const auto& d : downloads) {
        SCOPED_TRACE(d.name);
        Service().ClearRequests();
        GetObjectByFileReq req("bkt", "obj", Local(d.name));
        GetObjectByFileResp resp;
        const ZidResult r = d.run(req, &resp);
        ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
        EXPECT_EQ(ReadFile(Local(d.name)), data);
        size_t slices = 0;
        for (const auto& rec : Service().Requests()) {
            EXPECT_EQ(rec.Header("x-zid-security-token"), "tok-1") << rec.method << " " << rec.uri;
            slices += rec.method == "GET";
        }
        EXPECT_EQ(slices, 5u);
    }
    Service().ClearRequests();
    ASSERT_TRUE(CopyInParts("", "").IsSucc());
    EXPECT_EQ(CountRequests("PUT", "partNumber"), 5u);
    for (const auto& rec : Service().Requests()) {
        EXPECT_EQ(rec.Header("x-zid-security-token"), "tok-1") << rec.method << " " << rec.uri;
    }
}

}  // namespace
}  // namespace zid_test
