#include <gtest/gtest.h>

#include <Poco/Net/ServerSocket.h>
#include <Poco/Net/StreamSocket.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <memory>
#include <sstream>
#include <thread>

#include "ClientSettings.h"
#include "support/CannedServer.h"
#include "support/LocalServiceFixture.h"
#include "ZidConfig.h"
#include "op/BaseOp.h"
#include "op/BucketOp.h"
#include "op/ServiceOp.h"
#include "request/BucketReq.h"
#include "request/ObjectReq.h"
#include "response/ObjectResp.h"

using namespace zuzezi_zid;
using zid_test::CannedServer;

namespace {

// Puts back every process-wide setting these tests change.
class SettingsGuard {
public:
    SettingsGuard()
        : m_dest(ClientSettings::GetDestDomain()),
          m_intranet(ClientSettings::IsUseIntranet()),
          m_intranet_addr(ClientSettings::GetIntranetAddr()),
          m_same_to_host(ClientSettings::IsDomainSameToHost()),
          m_dns(ClientSettings::IsUseDnsCache()) {}
    ~SettingsGuard() {
        ClientSettings::SetDestDomain(m_dest);
        ClientSettings::SetIsUseIntranet(m_intranet);
        ClientSettings::SetIntranetAddr(m_intranet_addr);
        ClientSettings::SetIsDomainSameToHost(m_same_to_host);
        ClientSettings::SetUseDnsCache(m_dns);
    }
    static void Neutral() {
        ClientSettings::SetDestDomain("");
        ClientSettings::SetIsUseIntranet(false);
        ClientSettings::SetIntranetAddr("");
        ClientSettings::SetIsDomainSameToHost(false);
        ClientSettings::SetUseDnsCache(false);
    }

private:
    std::string m_dest;
    bool m_intranet;
    std::string m_intranet_addr;
    bool m_same_to_host;
    bool m_dns;
};

std::shared_ptr<ZidConfig> MakeConfig(const std::string& region = "ap-x",
                                      const std::string& ak = "AKID",
                                      const std::string& sk = "SK") {
    return std::make_shared<ZidConfig>(0, ak, sk, region);
}

int EqualsIgnoreCaseForTest(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return 0;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return 0;
        }
    }
    return 1;
}

std::string UrlHost(const std::string& url) {
    const size_t start = url.find("://") + 3;
    return url.substr(start, url.find('/', start) - start);
}

std::string Reply(const std::string& status_line, const std::string& body,
                  const std::string& extra_headers = "") {
    return "HTTP/1.1 " + status_line + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nx-zid-request-id: canned-id\r\n" + extra_headers + "Connection: close\r\n\r\n" + body;
}

}  // namespace

// ---- domains, hosts and URLs -------------------------------------------------

TEST(BaseOpDomainTest, UrlHostForEveryReplacement) {
    SettingsGuard guard;
    struct Case {
        const char* name;
        bool cfg_intranet;
        bool proc_intranet;
        bool cfg_dest;
        bool proc_dest;
        bool presigned;
        const char* url_host;
    };
    const Case cases[] = {
        {"nothing set", false, false, false, false, false, "b.host"},
        {"nothing set, presigned", false, false, false, false, true, "b.host"},
        {"config intranet", true, false, false, false, false, "10.0.0.1"},
        {"config intranet, presigned", true, false, false, false, true, "b.host"},
        {"process intranet", false, true, false, false, false, "10.0.0.2"},
        {"process intranet, presigned", false, true, false, false, true, "b.host"},
        {"config dest", false, false, true, false, false, "cfg.dest:81"},
        {"config dest, presigned", false, false, true, false, true, "cfg.dest:81"},
        {"process dest", false, false, false, true, false, "proc.dest:82"},
        {"process dest, presigned", false, false, false, true, true, "proc.dest:82"},
        {"intranet beats dest", true, true, true, true, false, "10.0.0.1"},
        {"dest for presigned with intranet", true, true, true, true, true, "cfg.dest:81"},
        {"config dest beats process dest", false, false, true, true, false, "cfg.dest:81"},
    };
    for (const auto& c : cases) {
        SettingsGuard::Neutral();
        auto config = MakeConfig();
        if (c.cfg_intranet) {
            config->SetIsUseIntranet(true);
            config->SetIntranetAddr("10.0.0.1");
        }
        if (c.cfg_dest) {
            config->SetDestDomain("cfg.dest:81");
        }
        // The configuration's setters also write the process-wide values; put those as the case says.
        ClientSettings::SetIsUseIntranet(c.proc_intranet);
        ClientSettings::SetIntranetAddr(c.proc_intranet ? "10.0.0.2" : "");
        ClientSettings::SetDestDomain(c.proc_dest ? "proc.dest:82" : "");
        BaseOp op(config);
        const std::string url = op.GetRealUrl("b.host", "/k", false, c.presigned);
        EXPECT_EQ(UrlHost(url), c.url_host) << c.name;
        EXPECT_EQ(url.substr(0, 7), "http://") << c.name;
    }
}

TEST(BaseOpDomainTest, DnsCacheReplacesThePlainHttpHost) {
    SettingsGuard guard;
    SettingsGuard::Neutral();
    ClientSettings::SetUseDnsCache(true);
    BaseOp op(MakeConfig());
    const std::string host = UrlHost(op.GetRealUrl("localhost", "/k", false));
    EXPECT_TRUE(host == "127.0.0.1" || host == "[::1]") << host;
    EXPECT_EQ(UrlHost(op.GetRealUrl("localhost", "/k", false, true)), "localhost");
    // An address in an HTTPS URL would have its certificate checked against the address.
    EXPECT_EQ(UrlHost(op.GetRealUrl("localhost", "/k", true)), "localhost");
    ClientSettings::SetDestDomain("dest:1");
    EXPECT_EQ(UrlHost(op.GetRealUrl("localhost", "/k", false)), "dest:1");
}

TEST(BaseOpDomainTest, PathIsNormalisedAndEncoded) {
    SettingsGuard guard;
    SettingsGuard::Neutral();
    BaseOp op(MakeConfig());
    struct Case {
        const char* path;
        const char* url;
    };
    const Case cases[] = {
        {"", "https://h/"},
        {"a", "https://h/a"},
        {"/a b", "https://h/a%20b"},
        {"/100%", "https://h/100%25"},
        {"/a+b", "https://h/a%2Bb"},
        {"/\xC3\xA9/x", "https://h/%C3%A9/x"},
        {"//lead", "https://h//lead"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(op.GetRealUrl("h", c.path, true), c.url) << c.path;
    }
}

TEST(BaseOpDomainTest, DefaultDomainInUse) {
    SettingsGuard guard;
    struct Case {
        const char* name;
        const char* region;
        bool cfg_intranet;
        bool proc_intranet;
        bool cfg_dest;
        bool proc_dest;
        bool expected;
    };
    const Case cases[] = {
        {"plain", "ap-x", false, false, false, false, true},
        {"accelerate", "accelerate", false, false, false, false, false},
        {"config intranet", "ap-x", true, false, false, false, false},
        {"process intranet", "ap-x", false, true, false, false, false},
        {"config dest", "ap-x", false, false, true, false, false},
        {"process dest", "ap-x", false, false, false, true, false},
    };
    for (const auto& c : cases) {
        SettingsGuard::Neutral();
        auto config = MakeConfig(c.region);
        if (c.cfg_intranet) {
            config->SetIsUseIntranet(true);
            config->SetIntranetAddr("10.0.0.1");
        }
        if (c.cfg_dest) {
            config->SetDestDomain("cfg.dest");
        }
        ClientSettings::SetIsUseIntranet(c.proc_intranet);
        ClientSettings::SetIntranetAddr(c.proc_intranet ? "10.0.0.2" : "");
        ClientSettings::SetDestDomain(c.proc_dest ? "proc.dest" : "");
        EXPECT_EQ(BaseOp(config).IsDefaultDomainInUse(), c.expected) << c.name;
    }
}

TEST(BaseOpDomainTest, DefaultHostAndBackupSuffix) {
    BaseOp op(MakeConfig());
    const std::string primary = ClientSettings::BuildBucketHost(0, "ap-x", "b", false);
    const std::string backup = ClientSettings::BuildBucketHost(0, "ap-x", "b", true);
    const size_t suffix_at = primary.find(".zid.ap-x") + std::string(".zid.ap-x").size();
    const std::string suffix = primary.substr(suffix_at);
    struct Case {
        std::string host;
        bool is_default;
    };
    const Case cases[] = {
        {primary, true},
        {"b-7.zid.cn-south-2" + suffix, true},
        {"b.zid.apx" + suffix, false},            // a region without "-"
        {primary + ".evil", false},               // text after the suffix
        {"b.zid.ap-x" + backup.substr(suffix_at), primary == backup},
        {"nodot", false},
        {"b.other.ap-x" + suffix, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(op.IsDefaultHost(c.host), c.is_default) << c.host;
    }
    EXPECT_EQ(op.ChangeHostSuffix(primary), backup);
    EXPECT_EQ(op.ChangeHostSuffix("plain.host"), "plain.host");
}

TEST(BaseOpDomainTest, HostHeaderFollowsDomainSameToHost) {
    SettingsGuard guard;
    struct Case {
        const char* name;
        int cfg_same;  // -1 not set on the configuration
        bool proc_same;
        const char* dest;
        const char* host_header;
    };
    const Case cases[] = {
        {"off", -1, false, "d:1", "b.host"},
        {"process on", -1, true, "d:1", "d:1"},
        {"config off beats process on", 0, true, "d:1", "b.host"},
        {"config on", 1, false, "d:1", "d:1"},
        {"on without a destination domain", 1, true, "", "b.host"},
    };
    for (const auto& c : cases) {
        SettingsGuard::Neutral();
        auto config = MakeConfig();
        if (c.cfg_same >= 0) {
            config->SetIsDomainSameToHost(c.cfg_same == 1);
        }
        ClientSettings::SetIsDomainSameToHost(c.proc_same);
        ClientSettings::SetDestDomain(c.dest);
        EXPECT_EQ(BaseOp(config).GetHostHeader("b.host"), c.host_header) << c.name;
    }
}

TEST(BaseOpDomainTest, ConfigurationIsSharedNotCopied) {
    auto config = MakeConfig();
    {
        BaseOp first(config);
        BucketOp bucket(config);
        ServiceOp service(config);
        EXPECT_EQ(config.use_count(), 4);
        config->SetCredentials("NEWAK", "NEWSK", "token");
        EXPECT_EQ(first.GetAccessKey(), "NEWAK");
        EXPECT_EQ(bucket.GetSecretKey(), "NEWSK");
        EXPECT_EQ(service.GetSecurityToken(), "token");
    }
    EXPECT_EQ(config.use_count(), 1);
    EXPECT_TRUE(BaseOp(MakeConfig()).IsConfigValid());
    EXPECT_FALSE(BaseOp(MakeConfig("ap-x", "", "SK")).IsConfigValid());
    EXPECT_FALSE(BaseOp(MakeConfig("ap-x", "AKID", "")).IsConfigValid());
    EXPECT_FALSE(BaseOp(MakeConfig("")).IsConfigValid());
}

// ---- exchanges with the loopback service ------------------------------------

namespace {

class BaseOpActionTest : public zid_test::LocalServiceFixture {
protected:
    void SetUp() override {
        LocalServiceFixture::SetUp();
        m_bucket_host = ClientSettings::BuildBucketHost(0, "ap-x", "bkt", false);
    }

    BaseOp Op(const std::shared_ptr<ZidConfig>& config = MakeConfig()) const { return BaseOp(config); }

    ZidResult Put(const std::string& key, const std::string& data) {
        PutObjectReq req("bkt", key);
        BaseResp resp;
        return Op().NormalAction(m_bucket_host, req.GetPath(), req, data, false, &resp);
    }

    std::string StoredBucket() const { return Bucket("bkt"); }

    SettingsGuard m_guard;
    std::string m_bucket_host;
};

// Feeds a stream that claims more bytes than it holds, as a file shrinking under the upload would.
class ShrinkingBuf : public std::streambuf {
public:
    explicit ShrinkingBuf(std::string data, std::streamoff claimed)
        : m_data(std::move(data)), m_claimed(claimed) {
        setg(&m_data[0], &m_data[0], &m_data[0] + m_data.size());
    }

protected:
    pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode) override {
        if (dir == std::ios_base::end) {
            m_at_claimed_end = true;
            return pos_type(m_claimed + off);
        }
        if (dir == std::ios_base::cur && off == 0) {
            return m_at_claimed_end ? pos_type(m_claimed) : pos_type(gptr() - eback());
        }
        return pos_type(off_type(-1));
    }
    pos_type seekpos(pos_type pos, std::ios_base::openmode) override {
        if (pos > static_cast<pos_type>(m_data.size())) return pos_type(off_type(-1));
        m_at_claimed_end = false;
        setg(eback(), eback() + static_cast<off_type>(pos), egptr());
        return pos;
    }

private:
    std::string m_data;
    std::streamoff m_claimed;
    bool m_at_claimed_end = false;
};

}  // namespace

TEST_F(BaseOpActionTest, PutAndGetRoundTripIsSignedAndAddressed) {
    ZidResult put = Put("dir/a.txt", "hello");
    ASSERT_TRUE(put.IsSucc()) << put.GetErrorMsg();
    EXPECT_EQ(put.GetHttpStatus(), 200);
    EXPECT_FALSE(put.GetXZidRequestId().empty());
    EXPECT_EQ(Service().GetObject(StoredBucket(), "dir/a.txt").value_or("<none>"), "hello");

    GetObjectReq req("bkt", "dir/a.txt");
    GetObjectResp resp;
    std::ostringstream out;
    ZidResult got = Op().DownloadAction(m_bucket_host, req.GetPath(), req, &resp, out);
    ASSERT_TRUE(got.IsSucc()) << got.GetErrorMsg();
    EXPECT_EQ(out.str(), "hello");
    EXPECT_EQ(resp.GetContentLength(), 5u);
    EXPECT_EQ(got.GetXZidRequestId(), resp.GetXZidRequestId());

    const auto requests = Service().Requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const auto& r : requests) {
        EXPECT_TRUE(r.signatureOk) << r.method;
        EXPECT_EQ(r.host, m_bucket_host);
    }
    EXPECT_EQ(requests[0].Header("Content-Length"), "5");
    EXPECT_FALSE(requests[1].HasHeader("Content-Length") && requests[1].Header("Content-Length") != "0");
}

TEST_F(BaseOpActionTest, KeysTravelEncodedAndArriveIntact) {
    const char* keys[] = {"a b.txt", "100%", "a+b", "\xC3\xA9t\xC3\xA9/\xE4\xB8\xAD", "q?x=1#f"};
    for (const char* key : keys) {
        ZidResult r = Put(key, key);
        EXPECT_TRUE(r.IsSucc()) << key << ": " << r.GetErrorMsg();
        EXPECT_EQ(Service().GetObject(StoredBucket(), key).value_or("<none>"), key);
    }
    // Two leading slashes: one is dropped from the key, the other stays part of it.
    ZidResult r = Put("//lead", "x");
    EXPECT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(Service().Requests().back().path, "//lead");
}

TEST_F(BaseOpActionTest, PathWithoutLeadingSlashIsSignedAsSent) {
    PutObjectReq req("bkt", "a");
    BaseResp resp;
    ZidResult r = Op().NormalAction(m_bucket_host, "a", req, "x", false, &resp);
    EXPECT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    ASSERT_FALSE(Service().Requests().empty());
    EXPECT_TRUE(Service().Requests().back().signatureOk);
    EXPECT_EQ(Service().Requests().back().path, "/a");
}

TEST_F(BaseOpActionTest, ClientHeadersReplaceCallerSpellings) {
    PutObjectReq req("bkt", "k");
    req.AddHeader("host", "evil.example");
    req.AddHeader("CONTENT-LENGTH", "999");
    req.AddHeader("Content-MD5", "own");
    BaseResp resp;
    ZidResult r = Op().NormalAction(m_bucket_host, req.GetPath(), req, {{"Content-MD5", "extra"}},
                                    {}, "abc", false, &resp);
    // The caller's Content-MD5 is wrong on purpose: the service checks it and refuses.
    const auto recorded = Service().Requests();
    ASSERT_EQ(recorded.size(), 1u);
    int hosts = 0;
    int lengths = 0;
    for (const auto& h : recorded[0].headers) {
        hosts += EqualsIgnoreCaseForTest(h.first, "Host");
        lengths += EqualsIgnoreCaseForTest(h.first, "Content-Length");
    }
    EXPECT_EQ(hosts, 1);
    EXPECT_EQ(lengths, 1);
    EXPECT_EQ(recorded[0].host, m_bucket_host);
    EXPECT_EQ(recorded[0].Header("Content-Length"), "3");
    EXPECT_EQ(recorded[0].Header("Content-MD5"), "own");
    (void)r;
}

TEST_F(BaseOpActionTest, SecurityTokenHeaderByKindOfRequest) {
    auto config = MakeConfig();
    config->SetCredentials("AKID", "SK", "tok-1");
    BaseOp op(config);
    PutObjectReq req("bkt", "k");
    req.AddHeader("x-zid-security-token", "caller");
    BaseResp resp;
    op.NormalAction(m_bucket_host, req.GetPath(), req, "x", false, &resp);
    op.NormalAction(m_bucket_host, req.GetPath(), req, "x", false, &resp, true);
    const auto recorded = Service().Requests();
    ASSERT_EQ(recorded.size(), 2u);
    EXPECT_EQ(recorded[0].Header("x-zid-security-token"), "tok-1");
    EXPECT_EQ(recorded[1].Header("x-ci-security-token"), "tok-1");
    EXPECT_EQ(recorded[1].Header("x-zid-security-token"), "caller");

    PutObjectReq plain("bkt", "k");
    plain.AddHeader("x-zid-security-token", "caller");
    Op().NormalAction(m_bucket_host, plain.GetPath(), plain, "x", false, &resp);
    EXPECT_EQ(Service().Requests().back().Header("x-zid-security-token"), "caller");
}

TEST_F(BaseOpActionTest, RefusedBeforeSending) {
    struct Case {
        const char* name;
        std::shared_ptr<ZidConfig> config;
        const char* header_name;
        const char* header_value;
        const char* message_part;
    };
    const Case cases[] = {
        {"no secret key", MakeConfig("ap-x", "AKID", ""), "x-zid-meta-a", "1",
         "Invalid access_key secret_key or region, please check your configuration"},
        {"no region", MakeConfig(""), "x-zid-meta-a", "1",
         "Invalid access_key secret_key or region, please check your configuration"},
        {"CR LF in a value", MakeConfig(), "x-zid-meta-a", "1\r\nx-zid-acl: public", "x-zid-meta-a"},
        {"LF in a name", MakeConfig(), "x-zid-meta-a\nb", "1", "CR, LF or NUL"},
    };
    for (const auto& c : cases) {
        BaseOp op(c.config);
        PutObjectReq req("bkt", "k");
        req.AddHeader(c.header_name, c.header_value);
        BaseResp resp;
        std::istringstream in("abc");
        std::ostringstream out;
        const ZidResult results[] = {
            op.NormalAction(m_bucket_host, req.GetPath(), req, "abc", false, &resp),
            op.UploadAction(m_bucket_host, req.GetPath(), req, {}, {}, in, &resp),
            op.DownloadAction(m_bucket_host, req.GetPath(), req, &resp, out),
        };
        for (const auto& r : results) {
            EXPECT_FALSE(r.IsSucc()) << c.name;
            EXPECT_EQ(r.GetHttpStatus(), -1) << c.name;
            EXPECT_NE(r.GetErrorMsg().find(c.message_part), std::string::npos)
                << c.name << ": " << r.GetErrorMsg();
        }
    }
    EXPECT_TRUE(Service().Requests().empty());
}

// A request line without a method (" / HTTP/1.1") would come back as a 400 with no code or
// message, which tells the caller nothing.
TEST_F(BaseOpActionTest, RequestWithoutMethodIsRefusedBeforeSending) {
    BucketReq bare("bkt");
    ObjectReq cleared("bkt", "k");
    cleared.SetMethod("");
    const BaseReq* requests[] = {&bare, &cleared};
    for (const BaseReq* req : requests) {
        BaseResp resp;
        std::istringstream in("abc");
        std::ostringstream out;
        const ZidResult results[] = {
            Op().NormalAction(m_bucket_host, "/", *req, "", false, &resp),
            Op().UploadAction(m_bucket_host, "/k", *req, {}, {}, in, &resp),
            Op().DownloadAction(m_bucket_host, "/k", *req, &resp, out),
        };
        for (const auto& r : results) {
            EXPECT_FALSE(r.IsSucc());
            EXPECT_EQ(r.GetHttpStatus(), -1);
            EXPECT_NE(r.GetErrorMsg().find("no HTTP method"), std::string::npos) << r.GetErrorMsg();
        }
    }
    EXPECT_TRUE(Service().Requests().empty());
}

TEST_F(BaseOpActionTest, ServiceErrorDocumentFillsTheResult) {
    GetObjectReq req("bkt", "missing");
    std::ostringstream out;
    GetObjectResp resp;
    ZidResult r = Op().DownloadAction(m_bucket_host, req.GetPath(), req, &resp, out);
    EXPECT_FALSE(r.IsSucc());
    EXPECT_EQ(r.GetHttpStatus(), 404);
    EXPECT_FALSE(r.GetXZidRequestId().empty());
    EXPECT_EQ(out.str(), "");

    zid_local::Fault fault;
    fault.kind = zid_local::FaultKind::Status;
    fault.status = 503;
    fault.errorCode = "SlowDown";
    fault.withRequestId = false;
    Service().AddFault(fault);
    BaseResp put_resp;
    PutObjectReq put("bkt", "k");
    r = Op().NormalAction(m_bucket_host, put.GetPath(), put, "x", false, &put_resp);
    EXPECT_FALSE(r.IsSucc());
    EXPECT_EQ(r.GetHttpStatus(), 503);
    EXPECT_TRUE(r.GetXZidRequestId().empty());
    EXPECT_EQ(put_resp.GetHeaders().size(), 0u);  // a failure leaves the response alone
}

TEST_F(BaseOpActionTest, CannedAnswersToResults) {
    struct Case {
        const char* name;
        std::string reply;
        bool check_body;
        bool succ;
        int status;
        const char* message;
    };
    const std::string error_doc =
        "<Error><Code>InternalError</Code><Message>boom</Message><RequestId>rid</RequestId></Error>";
    const Case cases[] = {
        {"plain-text 500", Reply("500 Internal Server Error", "backend down"), false, false, 500,
         "backend down"},
        {"error document 403", Reply("403 Forbidden", error_doc), false, false, 403, "boom"},
        {"2xx error document, checked", Reply("200 OK", error_doc), true, false, 200, error_doc.c_str()},
        // Unchecked, the response that does not read it still says it is a refusal.
        {"2xx error document, unchecked", Reply("200 OK", error_doc), false, false, 200, "boom"},
        {"2xx garbage, checked", Reply("200 OK", "not xml"), true, true, 200, ""},
        {"lower-cased request id", "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 3\r\n"
                                   "X-ZID-REQUEST-ID: canned-id\r\nConnection: close\r\n\r\nbad",
         false, false, 502, "bad"},
    };
    for (const auto& c : cases) {
        CannedServer server(c.reply);
        ClientSettings::SetDestDomain(server.DestDomain());
        PutObjectCopyReq req("bkt", "k");
        PutObjectCopyResp resp;
        ZidResult r = Op().NormalAction(m_bucket_host, req.GetPath(), req, "", c.check_body, &resp);
        EXPECT_EQ(r.IsSucc(), c.succ) << c.name;
        EXPECT_EQ(r.GetHttpStatus(), c.status) << c.name;
        EXPECT_EQ(r.GetErrorMsg(), c.message) << c.name;
        if (c.succ || c.status != 200) {
            EXPECT_EQ(r.GetXZidRequestId(), c.status == 403 ? "rid" : "canned-id") << c.name;
        }
    }
}

TEST_F(BaseOpActionTest, DocumentActionFailsOnAnUnparsableAnswer) {
    CannedServer server(Reply("200 OK", "<html>proxy login</html>"));
    ClientSettings::SetDestDomain(server.DestDomain());
    InitMultiUploadReq req("bkt", "k");
    InitMultiUploadResp resp;
    ZidResult r = Op().DocumentAction(m_bucket_host, req.GetPath(), req, {}, {{"uploads", ""}}, "",
                                      false, &resp);
    EXPECT_FALSE(r.IsSucc());
    EXPECT_EQ(r.GetHttpStatus(), 200);
    EXPECT_EQ(r.GetErrorMsg(), "<html>proxy login</html>");

    CannedServer good(Reply("200 OK",
                            "<InitiateMultipartUploadResult><UploadId>u9</UploadId>"
                            "</InitiateMultipartUploadResult>"));
    ClientSettings::SetDestDomain(good.DestDomain());
    r = Op().DocumentAction(m_bucket_host, req.GetPath(), req, {}, {{"uploads", ""}}, "", false, &resp);
    EXPECT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(resp.GetUploadId(), "u9");
}

TEST_F(BaseOpActionTest, TransportFailures) {
    std::string closed_port;
    {
        Poco::Net::ServerSocket probe(Poco::Net::SocketAddress("127.0.0.1", 0));
        closed_port = "127.0.0.1:" + std::to_string(probe.address().port());
    }
    ClientSettings::SetDestDomain(closed_port);
    HeadObjectReq head("bkt", "k");
    BaseResp resp;
    ZidResult refused = Op().NormalAction(m_bucket_host, head.GetPath(), head, "", false, &resp);
    EXPECT_FALSE(refused.IsSucc());
    EXPECT_EQ(refused.GetHttpStatus(), -1);
    EXPECT_FALSE(refused.GetErrorMsg().empty());

    CannedServer silent(Reply("200 OK", ""), 1500);
    ClientSettings::SetDestDomain(silent.DestDomain());
    head.SetRecvTimeoutInms(200);
    const auto start = std::chrono::steady_clock::now();
    ZidResult timed_out = Op().NormalAction(m_bucket_host, head.GetPath(), head, "", false, &resp);
    EXPECT_FALSE(timed_out.IsSucc());
    EXPECT_EQ(timed_out.GetHttpStatus(), -1);
    EXPECT_NE(timed_out.GetErrorMsg().find("Timeout"), std::string::npos) << timed_out.GetErrorMsg();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1400));
}

TEST_F(BaseOpActionTest, DownloadRangesAndCompleteness) {
    const std::string data(100000, 'd');
    Service().PutObject(StoredBucket(), "big", data);

    // A range cannot match the whole object's MD5, so it is not checked against it.
    GetObjectReq ranged("bkt", "big");
    ranged.AddHeader("Range", "bytes=10-19");
    std::ostringstream part;
    GetObjectResp resp;
    ZidResult r = Op().DownloadAction(m_bucket_host, ranged.GetPath(), ranged, &resp, part);
    ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(r.GetHttpStatus(), 206);
    EXPECT_EQ(part.str(), data.substr(10, 10));

    // The whole body is checked against its ETag.
    GetObjectReq whole("bkt", "big");
    std::ostringstream full;
    r = Op().DownloadAction(m_bucket_host, whole.GetPath(), whole, &resp, full);
    ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(full.str(), data);

    zid_local::Fault cut;
    cut.kind = zid_local::FaultKind::CloseMidBody;
    cut.afterBytes = 1000;
    Service().AddFault(cut);
    std::ostringstream short_body;
    GetObjectReq unchecked("bkt", "big");
    unchecked.SetCheckMD5(false);
    r = Op().DownloadAction(m_bucket_host, unchecked.GetPath(), unchecked, &resp, short_body);
    EXPECT_FALSE(r.IsSucc());
    EXPECT_NE(r.GetErrorMsg(), "");
}

TEST_F(BaseOpActionTest, ChunkedDownloadIsNotIncomplete) {
    CannedServer chunked(
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nx-zid-request-id: c\r\n"
        "Connection: close\r\n\r\n5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n");
    ClientSettings::SetDestDomain(chunked.DestDomain());
    GetObjectReq req("bkt", "k");
    GetObjectResp resp;
    std::ostringstream out;
    ZidResult r = Op().DownloadAction(m_bucket_host, req.GetPath(), req, &resp, out);
    EXPECT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(out.str(), "hello world");

    CannedServer lying("HTTP/1.1 200 OK\r\nContent-Length: 9\r\nConnection: close\r\n\r\nabc");
    ClientSettings::SetDestDomain(lying.DestDomain());
    req.SetRecvTimeoutInms(1000);
    std::ostringstream short_out;
    r = Op().DownloadAction(m_bucket_host, req.GetPath(), req, &resp, short_out);
    EXPECT_FALSE(r.IsSucc());
}

TEST_F(BaseOpActionTest, UploadSendsTheRestOfTheStream) {
    std::istringstream in("skip:payload");
    in.seekg(5);
    PutObjectReq req("bkt", "up");
    PutObjectResp resp;
    ZidResult r = Op().UploadAction(m_bucket_host, req.GetPath(), req, {}, {}, in, &resp);
    ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(Service().GetObject(StoredBucket(), "up").value_or("<none>"), "payload");
    EXPECT_EQ(Service().Requests().back().Header("Content-Length"), "7");
    EXPECT_FALSE(resp.GetEtag().empty());
}

TEST_F(BaseOpActionTest, UploadRefusesStreamsItCannotMeasureOrThatRunShort) {
    PutObjectReq req("bkt", "up");
    PutObjectResp resp;

    std::istringstream failed("abc");
    failed.setstate(std::ios::failbit);
    ZidResult r = Op().UploadAction(m_bucket_host, req.GetPath(), req, {}, {}, failed, &resp);
    EXPECT_FALSE(r.IsSucc());
    EXPECT_NE(r.GetErrorMsg().find("failed state"), std::string::npos) << r.GetErrorMsg();
    EXPECT_TRUE(Service().Requests().empty());

    // A pipe-like stream cannot say how long it is.
    struct NoSeekBuf : std::streambuf {
        char data[3] = {'a', 'b', 'c'};
        NoSeekBuf() { setg(data, data, data + 3); }
    } no_seek;
    std::istream unmeasurable(&no_seek);
    r = Op().UploadAction(m_bucket_host, req.GetPath(), req, {}, {}, unmeasurable, &resp);
    EXPECT_FALSE(r.IsSucc());
    EXPECT_NE(r.GetErrorMsg().find("length is unknown"), std::string::npos) << r.GetErrorMsg();
    EXPECT_TRUE(Service().Requests().empty());

    ShrinkingBuf buf("only-ten-b", 20);
    std::istream shrinking(&buf);
    req.SetRecvTimeoutInms(1500);
    r = Op().UploadAction(m_bucket_host, req.GetPath(), req, {}, {}, shrinking, &resp);
    EXPECT_FALSE(r.IsSucc());
    // The service records the abandoned request once it notices; wait so no later test sees it.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (Service().Requests().empty() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_FALSE(Service().Requests().empty()) << "the service never noticed the abandoned upload";
    EXPECT_FALSE(Service().GetObject(StoredBucket(), "up").has_value());
}

namespace {

class BaseOpHttpsTest : public zid_test::LocalServiceHttpsFixture {};

}  // namespace

TEST_F(BaseOpHttpsTest, RequestTlsSettingsReachTheExchange) {
    const std::string bucket_host = ClientSettings::BuildBucketHost(0, kHttpsRegion, "bkt", false);
    BaseOp op(MakeConfig());
    struct Case {
        const char* name;
        std::string ca;
        bool verify;
        int callback_result;
        bool succ;
        const char* message_part;
    };
    const Case cases[] = {
        {"trusted CA", CaFile(), true, 0, true, ""},
        {"unrelated CA", Certificates().otherCaFile, true, 0, false, ""},
        {"unrelated CA, not verified", Certificates().otherCaFile, false, 0, true, ""},
        {"context callback refuses", CaFile(), true, 5, false, "SSL_Ctx Callback Exception Code: 5"},
    };
    for (const auto& c : cases) {
        PutObjectReq req("bkt", "tls");
        req.SetHttps();
        req.SetCaLocation(c.ca);
        req.SetVerifyCert(c.verify);
        int result_code = c.callback_result;
        req.SetSSLCtxCallback([](void* ctx, void* data) { return ctx ? *static_cast<int*>(data) : -1; },
                              &result_code);
        BaseResp resp;
        ZidResult r = op.NormalAction(bucket_host, req.GetPath(), req, "secret", false, &resp);
        EXPECT_EQ(r.IsSucc(), c.succ) << c.name << ": " << r.GetErrorMsg();
        EXPECT_NE(r.GetErrorMsg().find(c.message_part), std::string::npos) << c.name;
        if (!c.succ) {
            EXPECT_EQ(r.GetHttpStatus(), -1) << c.name;
        }
    }
    EXPECT_EQ(Service().GetObject(Bucket("bkt"), "tls").value_or("<none>"), "secret");
}

TEST_F(BaseOpActionTest, HostHeaderSentIsTheOneSigned) {
    struct Case {
        const char* name;
        int cfg_same;  // -1 not set on the configuration
        bool proc_same;
        bool expect_dest;
    };
    const Case cases[] = {
        {"bucket host", -1, false, false},
        {"process-wide domain same to host", -1, true, true},
        {"configuration says no", 0, true, false},
        {"configuration says yes", 1, false, true},
    };
    for (const auto& c : cases) {
        ClientSettings::SetIsDomainSameToHost(c.proc_same);
        auto config = MakeConfig();
        if (c.cfg_same >= 0) config->SetIsDomainSameToHost(c.cfg_same == 1);
        Service().ClearRequests();
        HeadObjectReq req("bkt", "k");
        BaseResp resp;
        BaseOp(config).NormalAction(m_bucket_host, req.GetPath(), req, "", false, &resp);
        // An earlier test's abandoned upload may still be recorded late; look at the HEADs only.
        std::vector<zid_local::RecordedRequest> recorded;
        for (const auto& r : Service().Requests()) {
            if (r.method == "HEAD") recorded.push_back(r);
        }
        ASSERT_EQ(recorded.size(), 1u) << c.name;
        EXPECT_EQ(recorded[0].host, c.expect_dest ? DestDomain() : m_bucket_host) << c.name;
        EXPECT_TRUE(recorded[0].signatureOk) << c.name;
    }
}
