#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <sstream>

#include <Poco/Net/HTTPClientSession.h>
#include <Poco/Net/HTTPRequest.h>
#include <Poco/Net/HTTPResponse.h>
#include <Poco/StreamCopier.h>
#include <Poco/URI.h>

#include "OpTestSupport.h"

using namespace zuzezi_zid;
using zid_local::Fault;
using zid_local::FaultKind;

namespace zid_test {
namespace {

using DirectoryUploadTest = ObjectOpTest;
using AclTaggingTest = ObjectOpTest;
using PresignAndWrappersTest = ObjectOpTest;

TEST_F(DirectoryUploadTest, TreeBecomesKeysUnderThePrefix) {
    std::string root = Local("tree");
    ASSERT_EQ(mkdir(root.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((root + "/sub").c_str(), 0755), 0);
    WriteFile(root + "/a.txt", "A");
    WriteFile(root + "/sub/b.txt", "B");
    // Entries that must be skipped: a FIFO, a link to an ancestor, a link outside.
    ASSERT_EQ(mkfifo((root + "/pipe").c_str(), 0644), 0);
    ASSERT_EQ(symlink(root.c_str(), (root + "/sub/loop").c_str()), 0);
    ASSERT_EQ(symlink("/etc/hostname", (root + "/outside").c_str()), 0);

    for (const char* prefix : {"p", "p/"}) {
        SCOPED_TRACE(prefix);
        Service().Clear();
        PutObjectsByDirectoryReq req("bkt", root + "/", prefix);
        PutObjectsByDirectoryResp resp;
        ZidResult r = m_op->PutObjects(req, &resp);
        ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
        auto keys = Service().ListKeys(StoreBucket());
        std::sort(keys.begin(), keys.end());
        EXPECT_EQ(keys, (std::vector<std::string>{"p/a.txt", "p/sub", "p/sub/b.txt"}));
        EXPECT_EQ(*Service().GetObject(StoreBucket(), "p/sub/b.txt"), "B");
        ASSERT_EQ(resp.GetPutResps().size(), 3u);
        // A folder comes before its contents.
        std::vector<std::string> order;
        for (const auto& e : resp.GetPutResps()) order.push_back(e.m_object_name);
        auto sub = std::find(order.begin(), order.end(), "p/sub");
        auto b = std::find(order.begin(), order.end(), "p/sub/b.txt");
        EXPECT_LT(sub, b);
    }
}

// A folder's whole contents come before its next sibling, so a failure inside a folder
// stops the walk before any later sibling is uploaded.
TEST_F(DirectoryUploadTest, AFolderIsWalkedWholeBeforeItsNextSibling) {
    std::string root = Local("walk");
    ASSERT_EQ(mkdir(root.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((root + "/b").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((root + "/b/deep").c_str(), 0755), 0);
    WriteFile(root + "/a.txt", "a");
    WriteFile(root + "/b/inner.txt", "i");
    WriteFile(root + "/b/deep/z.txt", "z");
    WriteFile(root + "/b/x.txt", "x");
    WriteFile(root + "/c.txt", "c");
    PutObjectsByDirectoryReq req("bkt", root, "p");
    PutObjectsByDirectoryResp resp;
    ZidResult r = m_op->PutObjects(req, &resp);
    ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    std::vector<std::string> order;
    for (const auto& e : resp.GetPutResps()) order.push_back(e.m_object_name);
    EXPECT_EQ(order, (std::vector<std::string>{"p/a.txt", "p/b", "p/b/deep", "p/b/deep/z.txt",
                                               "p/b/inner.txt", "p/b/x.txt", "p/c.txt"}));

    // The upload of b/inner.txt fails: c.txt is never tried.
    Service().Clear();
    Fault f;
    f.kind = FaultKind::Status;
    f.status = 500;
    f.method = "PUT";
    f.keySubstring = "inner.txt";
    Service().AddFault(f);
    PutObjectsByDirectoryResp failed;
    r = m_op->PutObjects(req, &failed);
    EXPECT_FALSE(r.IsSucc());
    EXPECT_EQ(r.GetHttpStatus(), 500);
    EXPECT_EQ(failed.GetPutResps().size(), 4u);
    EXPECT_FALSE(Service().GetObject(StoreBucket(), "p/c.txt").has_value());
}

TEST_F(DirectoryUploadTest, MissingFolderAndFailingEntry) {
    PutObjectsByDirectoryReq none("bkt", Local("nope"), "p");
    PutObjectsByDirectoryResp resp;
    EXPECT_EQ(m_op->PutObjects(none, &resp).GetErrorMsg(), "directory :" + Local("nope") + " not exists");

    std::string root = Local("t2");
    ASSERT_EQ(mkdir(root.c_str(), 0755), 0);
    WriteFile(root + "/a", "1");
    WriteFile(root + "/b", "2");
    Fault f;
    f.kind = FaultKind::Status;
    f.status = 500;
    f.method = "PUT";
    f.skip = 1;
    Service().AddFault(f);
    PutObjectsByDirectoryReq req("bkt", root, "q");
    PutObjectsByDirectoryResp resp2;
    ZidResult r = m_op->PutObjects(req, &resp2);
    EXPECT_FALSE(r.IsSucc());
    EXPECT_EQ(r.GetHttpStatus(), 500);
    EXPECT_EQ(resp2.GetPutResps().size(), 1u);
}

TEST_F(AclTaggingTest, AclByHeaderOrBodyAndTagsRoundTrip) {
    Service().PutObject(StoreBucket(), "o", "x");
    PutObjectACLReq by_header("bkt", "o");
    by_header.SetXZidAcl("public-read");
    BaseResp resp;
    ASSERT_TRUE(m_op->PutObjectACL(by_header, &resp).IsSucc());
    auto last = Service().Requests().back();
    EXPECT_EQ(last.bodySize, 0u);
    EXPECT_FALSE(last.HasHeader("Content-MD5"));

    PutObjectACLReq empty("bkt", "o");
    Service().ClearRequests();
    EXPECT_EQ(m_op->PutObjectACL(empty, &resp).GetErrorMsg(), "Generate PutObjectACL Request Body fail.");
    EXPECT_TRUE(Service().Requests().empty());

    GetObjectACLReq get_acl("bkt", "o");
    GetObjectACLResp acl_resp;
    ASSERT_TRUE(m_op->GetObjectACL(get_acl, &acl_resp).IsSucc());
    EXPECT_FALSE(acl_resp.GetAccessControlList().empty());

    PutObjectTaggingReq put_tags("bkt", "o");
    Tag t;
    t.SetKey("k");
    t.SetValue("v");
    put_tags.AddTag(t);
    ASSERT_TRUE(m_op->PutObjectTagging(put_tags, &resp).IsSucc());
    EXPECT_EQ(Service().GetObjectTags(StoreBucket(), "o").at("k"), "v");
    GetObjectTaggingReq get_tags("bkt", "o");
    GetObjectTaggingResp tags_resp;
    ASSERT_TRUE(m_op->GetObjectTagging(get_tags, &tags_resp).IsSucc());
    ASSERT_EQ(tags_resp.GetTagSet().size(), 1u);
    EXPECT_EQ(tags_resp.GetTagSet()[0].GetValue(), "v");
    DeleteObjectTaggingReq del_tags("bkt", "o");
    ASSERT_TRUE(m_op->DeleteObjectTagging(del_tags, &resp).IsSucc());
    EXPECT_TRUE(Service().GetObjectTags(StoreBucket(), "o").empty());
}

TEST_F(PresignAndWrappersTest, PresignedUrlIsUsableAndEncoded) {
    GeneratePresignedUrlReq none("bkt", "", 1);
    EXPECT_EQ(m_op->GeneratePresignedUrl(none), "ObjectName does not support empty, please check!");
    auto no_keys = std::make_shared<ZidConfig>(1250000000, "", "", "ap-test");
    GeneratePresignedUrlReq named("bkt", "k", 1);
    EXPECT_EQ(ObjectOp(no_keys).GeneratePresignedUrl(named), "");

    Service().PutObject(StoreBucket(), "pre/obj", "presigned body");
    // The URL names the bucket host; curl is pointed at the loopback service instead.
    ClientSettings::SetDestDomain("");
    GeneratePresignedUrlReq req("bkt", "pre/obj", 1);
    req.SetUseHttps(false);
    req.AddParam("response-content-type", "text/plain; x=a/b");
    std::string url = m_op->GeneratePresignedUrl(req);
    ASSERT_NE(url.find("?sign="), std::string::npos) << url;
    EXPECT_EQ(url.find(' '), std::string::npos);
    EXPECT_NE(url.find("text%2Fplain"), std::string::npos) << url;

    // The URL works without credentials.
    std::string cmd = "curl -s --connect-to ::127.0.0.1:" + std::to_string(Port()) + " -o '" +
                      Local("pre.out") + "' -w '%{http_code}' '" + url + "'";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char code[8] = {0};
    size_t n = fread(code, 1, sizeof(code) - 1, p);
    pclose(p);
    EXPECT_EQ(std::string(code, n), "200");
    EXPECT_EQ(ReadFile(Local("pre.out")), "presigned body");

    m_config->SetCredentials(kAccessKey, kSecretKey, "tok123");
    std::string with_token = m_op->GeneratePresignedUrl(req);
    EXPECT_NE(with_token.find("x-zid-security-token=tok123"), std::string::npos) << with_token;
}

// A URL made with the destination domain names the bare address and no bucket: the service
// says so, unless a bucket is bound to that address.
TEST_F(PresignAndWrappersTest, PresignedUrlOfTheDestinationDomainIsServedByTheBoundBucket) {
    auto fetch = [](const std::string& url, std::string* body) {
        Poco::URI uri(url);
        Poco::Net::HTTPClientSession session(uri.getHost(), uri.getPort());
        Poco::Net::HTTPRequest request(Poco::Net::HTTPRequest::HTTP_GET, uri.getPathAndQuery(),
                                       Poco::Net::HTTPMessage::HTTP_1_1);
        session.sendRequest(request);
        Poco::Net::HTTPResponse response;
        std::istream& in = session.receiveResponse(response);
        std::ostringstream out;
        Poco::StreamCopier::copyStream(in, out);
        *body = out.str();
        return static_cast<int>(response.getStatus());
    };
    GeneratePresignedUrlReq req("bkt", "pre/obj", 1);
    req.SetUseHttps(false);

    Service().PutObject(StoreBucket(), "pre/obj", "presigned body");
    const std::string unbound = m_op->GeneratePresignedUrl(req);
    ASSERT_EQ(unbound.compare(0, 7 + DestDomain().size(), "http://" + DestDomain()), 0) << unbound;
    std::string body;
    EXPECT_EQ(fetch(unbound, &body), 404);
    EXPECT_NE(body.find("<Code>NoSuchBucket</Code>"), std::string::npos) << body;
    EXPECT_NE(body.find("names no bucket"), std::string::npos) << body;
    EXPECT_NE(body.find("--domain-bucket"), std::string::npos) << body;

    zid_local::ServiceOptions options;
    options.domainBucket = StoreBucket();
    zid_local::LocalService bound(options);
    bound.Start();
    bound.PutObject(StoreBucket(), "pre/obj", "presigned body");
    ClientSettings::SetDestDomain(bound.DestDomain());  // the fixture puts its own back
    const std::string url = m_op->GeneratePresignedUrl(req);
    EXPECT_EQ(fetch(url, &body), 200) << url << " " << body;
    EXPECT_EQ(body, "presigned body");
    const std::string other = m_op->GeneratePresignedUrl(GeneratePresignedUrlReq("bkt", "pre/none", 1));
    EXPECT_EQ(fetch(other, &body), 404);
    EXPECT_NE(body.find("<Code>NoSuchKey</Code>"), std::string::npos) << body;
}

TEST_F(PresignAndWrappersTest, PlainRequestAndRetryingStreamPut) {
    Service().PutObject(StoreBucket(), "plain", "abc");
    HeadObjectReq head("bkt", "plain");
    BaseResp resp;
    ZidResult r = m_op->PlainObjectRequest(head, &resp);
    ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(resp.GetContentLength(), 3u);

    std::istringstream in("stream body");
    PutObjectByStreamReq put("bkt", "rs", in);
    PutObjectByStreamResp put_resp;
    Fault f;
    f.kind = FaultKind::Status;
    f.status = 503;
    f.withRequestId = false;
    f.method = "PUT";
    Service().AddFault(f);
    Service().ClearRequests();
    // No backup domain with a destination domain in force: one attempt, its failure.
    r = m_op->RetryingPutObjectByStream(put, &put_resp);
    EXPECT_FALSE(r.IsSucc());
    EXPECT_EQ(CountRequests("PUT"), 1u);
    r = m_op->RetryingPutObjectByStream(put, &put_resp);
    ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(*Service().GetObject(StoreBucket(), "rs"), "stream body");
}

}  // namespace
}  // namespace zid_test
