#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <Poco/URI.h>

#include "ApiTestSupport.h"

using namespace zuzezi_zid;
using zid_local::Fault;
using zid_local::FaultKind;

namespace zid_test {
namespace {

class ZidAPISync : public RelayedApiFixture {};

struct RetryCase {
    std::string name;
    std::string region;         // "accelerate" takes the default domain out of use
    bool config_dest_domain;    // so does a destination domain in the configuration
    bool primary_fault;
    FaultKind kind;
    int status;
    bool with_request_id;
    bool retry_setting;
    bool backup_fails;          // the backup domain answers 404 with a request id
    int passes;
    int final_status;
};

TEST_F(ZidAPISync, BackupDomainRetryRule) {
    Seed("k", "value");
    const std::vector<RetryCase> cases = {
        {"5xx without request id", kRegion, false, true, FaultKind::Status, 503, false, true, false, 2, 200},
        {"4xx without request id", kRegion, false, true, FaultKind::Status, 404, false, true, false, 2, 200},
        {"no answer", kRegion, false, true, FaultKind::Refuse, 0, false, true, false, 2, 200},
        {"second failure replaces the first", kRegion, false, true, FaultKind::Status, 503, false, true, true, 2, 404},
        {"5xx with request id", kRegion, false, true, FaultKind::Status, 503, true, true, false, 1, 503},
        {"4xx with request id", kRegion, false, true, FaultKind::Status, 404, true, true, false, 1, 404},
        {"setting off", kRegion, false, true, FaultKind::Status, 503, false, false, false, 1, 503},
        {"setting off, no answer", kRegion, false, true, FaultKind::Refuse, 0, false, false, false, 1, -1},
        {"success", kRegion, false, false, FaultKind::Status, 0, false, true, false, 1, 200},
        {"accelerate endpoint", "accelerate", false, true, FaultKind::Status, 503, false, true, false, 1, 503},
        {"destination domain", kRegion, true, true, FaultKind::Status, 503, false, true, false, 1, 503},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Service().ClearFaults();
        Service().ClearRequests();
        ClientSettings::SetDestDomain("");
        ClientSettings::SetRetryOnBackupDomain(c.retry_setting);
        if (c.primary_fault) Service().AddFault(OnPrimary(c.kind, c.status, c.with_request_id));
        if (c.backup_fails) {
            Service().AddFault(OnHost(ClientSettings::kBackupDomainSuffix, FaultKind::Status, 404, true));
        }
        ZidConfig config = LoopbackConfig(c.region);
        // Still reaches the relay, which stands for every host.
        if (c.config_dest_domain) config.SetDestDomain("127.0.0.1:" + std::to_string(Port()));

        ZidAPI api(config);
        HeadObjectReq req(kBucketName, "k");
        HeadObjectResp resp;
        ZidResult r = api.HeadObject(req, &resp);
        EXPECT_EQ(c.passes, static_cast<int>(Service().Requests().size()));
        EXPECT_EQ(c.passes == 2 ? 1 : 0, Backup());
        EXPECT_EQ(c.final_status, r.GetHttpStatus());
        EXPECT_EQ(c.final_status == 200, r.IsSucc());
    }
    ClientSettings::SetDestDomain("");
}

// Every single-request method, with the primary domain failing in a way that qualifies.
TEST_F(ZidAPISync, EachMethodRetriesOrNotAsItShould) {
    ClientSettings::SetRetryOnBackupDomain(true);
    const std::vector<MethodCase> cases = {
        {"HeadObject", true, [](ZidAPI& api, const std::string&) {
             HeadObjectReq req(kBucketName, "k"); HeadObjectResp resp;
             return api.HeadObject(req, &resp); }},
        {"GetObject to a file", true, [](ZidAPI& api, const std::string& dir) {
             GetObjectByFileReq req(kBucketName, "k", dir + "/f"); GetObjectByFileResp resp;
             return api.GetObject(req, &resp); }},
        {"GetObject to a stream", true, [](ZidAPI& api, const std::string&) {
             std::ostringstream os; GetObjectByStreamReq req(kBucketName, "k", os); GetObjectResp resp;
             return api.GetObject(req, &resp); }},
        {"PutObject from a file", true, [](ZidAPI& api, const std::string& dir) {
             WriteFile(dir + "/p", "put"); PutObjectByFileReq req(kBucketName, "p", dir + "/p");
             PutObjectByFileResp resp; return api.PutObject(req, &resp); }},
        {"PutObject from a stream", true, [](ZidAPI& api, const std::string&) {
             std::istringstream in("put"); PutObjectByStreamReq req(kBucketName, "p", in);
             PutObjectByStreamResp resp; return api.PutObject(req, &resp); }},
        {"DeleteObject", true, [](ZidAPI& api, const std::string&) {
             DeleteObjectReq req(kBucketName, "k"); DeleteObjectResp resp;
             return api.DeleteObject(req, &resp); }},
        {"DeleteObjects", true, [](ZidAPI& api, const std::string&) {
             DeleteObjectsReq req(kBucketName); req.AddObject("k"); DeleteObjectsResp resp;
             return api.DeleteObjects(req, &resp); }},
        {"InitMultiUpload", true, [](ZidAPI& api, const std::string&) {
             InitMultiUploadReq req(kBucketName, "m"); InitMultiUploadResp resp;
             return api.InitMultiUpload(req, &resp); }},
        {"AbortMultiUpload", true, [](ZidAPI& api, const std::string&) {
             AbortMultiUploadReq req(kBucketName, "m", "no-such-upload"); AbortMultiUploadResp resp;
             return api.AbortMultiUpload(req, &resp); }},
        {"ListParts", true, [](ZidAPI& api, const std::string&) {
             ListPartsReq req(kBucketName, "m", "no-such-upload"); ListPartsResp resp;
             return api.ListParts(req, &resp); }},
        {"UploadPartData", true, [](ZidAPI& api, const std::string&) {
             std::istringstream in("part"); UploadPartDataReq req(kBucketName, "m", "no-such-upload", in);
             UploadPartDataResp resp; return api.UploadPartData(req, &resp); }},
        {"GetObjectACL", true, [](ZidAPI& api, const std::string&) {
             GetObjectACLReq req(kBucketName, "k"); GetObjectACLResp resp;
             return api.GetObjectACL(req, &resp); }},
        {"PostObjectRestore", true, [](ZidAPI& api, const std::string&) {
             PostObjectRestoreReq req(kBucketName, "k"); req.SetExpiryDays(1); BaseResp resp;
             return api.PostObjectRestore(req, &resp); }},
        {"ResumableGetObject", true, [](ZidAPI& api, const std::string& dir) {
             GetObjectByFileReq req(kBucketName, "k", dir + "/r"); GetObjectByFileResp resp;
             return api.ResumableGetObject(req, &resp); }},
        {"PutObjectACL", true, [](ZidAPI& api, const std::string&) {
             PutObjectACLReq req(kBucketName, "k"); req.SetXZidAcl("private"); BaseResp resp;
             return api.PutObjectACL(req, &resp); }},
        {"PlainObjectRequest", true, [](ZidAPI& api, const std::string&) {
             HeadObjectReq req(kBucketName, "k"); BaseResp resp;
             return api.PlainObjectRequest(req, &resp); }},
        {"PutObjectCopy", true, [](ZidAPI& api, const std::string&) {
             PutObjectCopyReq req(kBucketName, "copy");
             req.SetXZidCopySource(StoreBucket() + ".zid.ap-test" + ClientSettings::kPrimaryDomainSuffix + "/k");
             PutObjectCopyResp resp; return api.PutObjectCopy(req, &resp); }},
        {"UploadPartCopyData", true, [](ZidAPI& api, const std::string&) {
             UploadPartCopyDataReq req(kBucketName, "m", "no-such-upload", 1);
             req.AddHeader("x-zid-copy-source", StoreBucket() + ".zid.ap-test" + ClientSettings::kPrimaryDomainSuffix + "/k");
             UploadPartCopyDataResp resp; return api.UploadPartCopyData(req, &resp); }},
        {"CompleteMultiUpload", true, [](ZidAPI& api, const std::string&) {
             CompleteMultiUploadReq req(kBucketName, "m", "no-such-upload");
             req.SetPartNumbers({1}); req.SetEtags({"0123456789abcdef0123456789abcdef"});
             CompleteMultiUploadResp resp; return api.CompleteMultiUpload(req, &resp); }},
        {"MoveObject", true, [](ZidAPI& api, const std::string&) {
             MoveObjectReq req(kBucketName, "k", "moved"); return api.MoveObject(req); }},
        {"PutDirectory", true, [](ZidAPI& api, const std::string&) {
             PutDirectoryReq req(kBucketName, "folder/"); PutDirectoryResp resp;
             return api.PutDirectory(req, &resp); }},
        {"PutObjectTagging", false, [](ZidAPI& api, const std::string&) {
             PutObjectTaggingReq req(kBucketName, "k"); Tag tag; tag.SetKey("a"); tag.SetValue("b");
             req.AddTag(tag); BaseResp resp; return api.PutObjectTagging(req, &resp); }},
        {"GetObjectTagging", false, [](ZidAPI& api, const std::string&) {
             GetObjectTaggingReq req(kBucketName, "k"); GetObjectTaggingResp resp;
             return api.GetObjectTagging(req, &resp); }},
        {"DeleteObjectTagging", false, [](ZidAPI& api, const std::string&) {
             DeleteObjectTaggingReq req(kBucketName, "k"); BaseResp resp;
             return api.DeleteObjectTagging(req, &resp); }},
        {"UploadObjectResumableSingleThreadSync", false, [](ZidAPI& api, const std::string& dir) {
             WriteFile(dir + "/rs", "resumable"); PutObjectByFileReq req(kBucketName, "rs", dir + "/rs");
             ResumableUploadResp resp; return api.UploadObjectResumableSingleThreadSync(req, &resp); }, false},
        // These repeat on the backup domain by themselves.
        {"MultiGetObject", true, [](ZidAPI& api, const std::string& dir) {
             GetObjectByFileReq req(kBucketName, "k", dir + "/mg"); GetObjectByFileResp resp;
             return api.MultiGetObject(req, &resp); }},
        {"RetryingPutObjectByStream", true, [](ZidAPI& api, const std::string&) {
             std::istringstream in("put"); PutObjectByStreamReq req(kBucketName, "p", in);
             PutObjectByStreamResp resp; return api.RetryingPutObjectByStream(req, &resp); }},
        // Several requests per pass.
        {"Copy", true, [](ZidAPI& api, const std::string&) {
             CopyReq req(kBucketName, "copy");
             req.SetXZidCopySource(StoreBucket() + ".zid.ap-test" + ClientSettings::kPrimaryDomainSuffix + "/k");
             CopyResp resp; return api.Copy(req, &resp); }, false},
        {"MultiUploadObject", true, [](ZidAPI& api, const std::string& dir) {
             WriteFile(dir + "/mu", "multi"); PutObjectByFileReq req(kBucketName, "mu", dir + "/mu");
             MultiPutObjectResp resp; return api.MultiUploadObject(req, &resp); }, false},
        {"PutObjects", true, [](ZidAPI& api, const std::string& dir) {
             Poco::File(dir + "/tree").createDirectories(); WriteFile(dir + "/tree/a", "a");
             PutObjectsByDirectoryReq req(kBucketName, dir + "/tree"); PutObjectsByDirectoryResp resp;
             return api.PutObjects(req, &resp); }, false},
    };
    ExpectBackupPasses(cases);
}

TEST_F(ZidAPISync, StreamDownloadIsWrittenOnceFromWhereTheStreamStood) {
    ClientSettings::SetRetryOnBackupDomain(true);
    const std::string data = Pattern(30000, 2);
    Seed("s", data);
    // The primary answer fails its MD5 check after the whole body went into the stream,
    // and carries no request id, so the failure qualifies for the backup domain.
    relay_->StripRequestIds(true);
    Fault bad_etag = OnPrimary(FaultKind::UpperETag);
    bad_etag.method = "GET";
    Service().AddFault(bad_etag);

    ZidAPI api(LoopbackConfig());
    std::ostringstream os;
    os << "prefix";
    GetObjectByStreamReq req(kBucketName, "s", os);
    GetObjectResp resp;
    ZidResult r = api.GetObject(req, &resp);
    ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(1, Backup());
    EXPECT_EQ("prefix" + data, os.str());
}

TEST_F(ZidAPISync, StreamUploadSendsTheSameBytesOnTheBackupPass) {
    ClientSettings::SetRetryOnBackupDomain(true);
    const std::string data = Pattern(20000, 6);
    Service().AddFault(OnPrimary());
    ZidAPI api(LoopbackConfig());
    std::istringstream in(data);
    in.seekg(3);
    PutObjectByStreamReq req(kBucketName, "up", in);
    PutObjectByStreamResp resp;
    ZidResult r = api.PutObject(req, &resp);
    ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(1, Backup());
    EXPECT_EQ(data.substr(3), Service().GetObject(StoreBucket(), "up").value_or("<none>"));
}

class ZidAPIUrls : public ApiFixture {};

TEST_F(ZidAPIUrls, ObjectUrlAppendsTheNameAsGiven) {
    ClientSettings::SetDestDomain("");
    ZidAPI api(LoopbackConfig());
    const std::string host = std::string(kBucketName) + "." + ClientSettings::kServiceLabel;
    // A name the caller encoded is not encoded again; one with a blank keeps it.
    struct Case {
        const char* name;
        const char* path;
    } cases[] = {{"a/b c.txt", "/a/b c.txt"},
                 {"a/b%20c.txt", "/a/b%20c.txt"},
                 {"d/\xE4\xB8\xAD", "/d/\xE4\xB8\xAD"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ("https://" + host + ".ap-test" + ClientSettings::kPrimaryDomainSuffix + c.path,
                  api.GetObjectUrl(kBucketName, c.name));
    }
    EXPECT_EQ("http://" + host + ".eu-x" + ClientSettings::kPrimaryDomainSuffix + "/d/e",
              api.GetObjectUrl(kBucketName, "d/e", false, "eu-x"));

    ClientSettings::SetDestDomain("cdn.example:8080");
    EXPECT_EQ("http://cdn.example:8080/x/y%20z", api.GetObjectUrl(kBucketName, "x/y%20z", false));

    ZidConfig own = LoopbackConfig();
    own.SetDestDomain("own.example");
    ZidAPI with_own(own);
    EXPECT_EQ("https://own.example/k", with_own.GetObjectUrl(kBucketName, "k"));
}

TEST_F(ZidAPIUrls, PresignedUrlSignsTheLifetimeAndRefusesAReversedWindow) {
    ZidAPI api(LoopbackConfig());
    const std::string url = api.GeneratePresignedUrl(kBucketName, "obj", 100, 400);
    ASSERT_NE(std::string::npos, url.find("?sign=")) << url;
    std::string decoded;
    Poco::URI::decode(url, decoded);
    EXPECT_NE(std::string::npos, decoded.find("q-sign-time=100;400")) << decoded;

    EXPECT_EQ("", api.GeneratePresignedUrl(kBucketName, "obj", 400, 100));
    EXPECT_EQ("", api.GeneratePresignedUrl(kBucketName, "obj", 400, 100, 2));
    EXPECT_EQ("ObjectName does not support empty, please check!",
              api.GeneratePresignedUrl(kBucketName, "", 100, 400));
}

TEST_F(ZidAPIUrls, ObjectExistsAsksTheService) {
    Seed("here", "1");
    ZidAPI api(LoopbackConfig());
    EXPECT_TRUE(api.ObjectExists(kBucketName, "here"));
    EXPECT_FALSE(api.ObjectExists(kBucketName, "gone"));
}

}  // namespace
}  // namespace zid_test
