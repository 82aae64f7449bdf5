// The facade's processing methods against the loopback service, with production host names.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ApiTestSupport.h"
#include "request/ProcessReq.h"
#include "response/ProcessResp.h"
#include "util/CodecUtil.h"

using namespace zuzezi_zid;
using zid_local::FaultKind;

namespace zid_test {
namespace {

class ZidAPIProcess : public RelayedApiFixture {
protected:
    static std::string BucketHost() {
        return StoreBucket() + ".zid." + kRegion + ClientSettings::kPrimaryDomainSuffix;
    }
    static std::string RegionalHost() {
        return std::string(ClientSettings::kProcessingLabel) + "." + kRegion +
               ClientSettings::kPrimaryDomainSuffix;
    }
    // A job answer for whatever reaches the processing or the bucket host.
    static void CannedAnswer(const std::string& host_part) {
        zid_local::Fault f;
        f.kind = FaultKind::TextBody200;
        f.host = host_part;
        f.data = "<Response><JobsDetail><JobId>j1</JobId></JobsDetail></Response>";
        f.times = -1;
        Service().AddFault(f);
    }
    static zid_local::RecordedRequest OnlyRequest() {
        const auto requests = Service().Requests();
        EXPECT_EQ(requests.size(), 1u);
        return requests.empty() ? zid_local::RecordedRequest() : requests.front();
    }
};

struct ObjectProcessCase {
    const char* name;
    std::function<ZidResult(ZidAPI&, const ObjectReq&)> call;
    bool regional;
};

TEST_F(ZidAPIProcess, ObjectProcessingRequestsGoOnceToTheirHostWithTheStorageTokenHeader) {
    const std::vector<ObjectProcessCase> cases = {
        {"DataProcessObjectRequest1",
         [](ZidAPI& api, const ObjectReq& req) { PutObjectResp r; return api.DataProcessObjectRequest1(req, &r); },
         false},
        {"DataProcessObjectRequest2",
         [](ZidAPI& api, const ObjectReq& req) { BaseResp r; return api.DataProcessObjectRequest2(req, &r); },
         false},
        {"DataProcessObjectRequest3",
         [](ZidAPI& api, const ObjectReq& req) { BaseResp r; return api.DataProcessObjectRequest3(req, &r); },
         false},
        {"DataProcessObjectRequest4",
         [](ZidAPI& api, const ObjectReq& req) { BaseResp r; return api.DataProcessObjectRequest4(req, &r); },
         false},
        {"DataProcessRegionRequest",
         [](ZidAPI& api, const ObjectReq& req) { BaseResp r; return api.DataProcessRegionRequest(req, &r); },
         true},
    };
    for (const auto& c : cases) {
        for (const bool with_token : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (with_token ? " with token" : " without token"));
            Service().Clear();
            CannedAnswer("");
            ZidAPI api(LoopbackConfig());
            if (with_token) api.SetCredentials(kAccessKey, kSecretKey, "tmp-token");
            DataProcessRegionReq req(c.regional ? "" : kBucketName, "video.mp4");
            req.SetMethod("POST");
            req.AddParam("ci-process", "snapshot");
            const ZidResult r = c.call(api, req);
            EXPECT_TRUE(r.IsSucc()) << r.GetErrorMsg();
            const auto sent = OnlyRequest();
            EXPECT_EQ(sent.host, c.regional ? RegionalHost() : BucketHost());
            EXPECT_EQ(sent.method, "POST");
            EXPECT_EQ(sent.path, "/video.mp4");
            EXPECT_EQ(sent.params.count("ci-process"), 1u);
            EXPECT_EQ(sent.Header("x-zid-security-token"), with_token ? "tmp-token" : "");
            EXPECT_FALSE(sent.HasHeader("x-ci-security-token"));
            EXPECT_FALSE(sent.HasHeader("Content-MD5"));
            EXPECT_TRUE(sent.signatureOk);
        }
    }
}

TEST_F(ZidAPIProcess, BucketProcessingRequestsReachTheProcessingHost) {
    struct Case {
        const char* name;
        std::function<ZidResult(ZidAPI&, const BucketReq&)> call;
        bool job_body;
        bool regional;
        const char* token_header;
    };
    const std::vector<Case> cases = {
        {"DataProcessRequest07 with a job",
         [](ZidAPI& api, const BucketReq& req) { BaseResp r; return api.DataProcessRequest07(req, &r); },
         true, false, "x-ci-security-token"},
        {"DataProcessRequest24 to the region",
         [](ZidAPI& api, const BucketReq& req) { BaseResp r; return api.DataProcessRequest24(req, &r); },
         true, true, "x-ci-security-token"},
        {"DataProcessRequest01 without a body",
         [](ZidAPI& api, const BucketReq& req) { BaseResp r; return api.DataProcessRequest01(req, &r); },
         false, false, "x-ci-security-token"},
        {"DataProcessQuery3",
         [](ZidAPI& api, const BucketReq& req) { BaseResp r; return api.DataProcessQuery3(req, &r); },
         false, true, "x-zid-security-token"},
    };
    const std::string processing_host = std::string(kBucketName) + "." + RegionalHost();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Service().Clear();
        CannedAnswer(RegionalHost());
        ZidAPI api(LoopbackConfig());
        api.SetCredentials(kAccessKey, kSecretKey, "tmp-token");
        const std::string bucket = c.regional ? "" : kBucketName;
        CreateDataProcessJobsReq job(bucket);
        job.Options().tag = "Snapshot";
        job.Options().input.object = "v.mp4";
        DataProcessReq plain(bucket);
        plain.SetMethod("GET");
        plain.SetPath("/queue");
        const BucketReq& req = c.job_body ? static_cast<const BucketReq&>(job) : plain;
        const ZidResult r = c.call(api, req);
        EXPECT_TRUE(r.IsSucc()) << r.GetErrorMsg();
        const auto sent = OnlyRequest();
        EXPECT_EQ(sent.host, c.regional ? RegionalHost() : processing_host);
        EXPECT_EQ(sent.method, c.job_body ? "POST" : "GET");
        EXPECT_EQ(sent.path, c.job_body ? "/jobs" : "/queue");
        EXPECT_EQ(sent.Header(c.token_header), "tmp-token");
        EXPECT_EQ(sent.HasHeader("x-ci-security-token") + sent.HasHeader("x-zid-security-token"), 1);
        EXPECT_TRUE(sent.signatureOk);
        if (c.job_body) {
            std::string body;
            job.GenerateRequestBody(&body);
            EXPECT_EQ(sent.body, body);
            EXPECT_EQ(sent.Header("Content-MD5"),
                      CodecUtil::Base64Encode(CodecUtil::Md5Bytes(body)));
        } else {
            EXPECT_EQ(sent.bodySize, 0u);
            EXPECT_FALSE(sent.HasHeader("Content-MD5"));
        }
    }
}

TEST_F(ZidAPIProcess, AFailedProcessingCallIsNotRepeatedOnTheBackupDomain) {
    ClientSettings::SetRetryOnBackupDomain(true);
    Service().AddFault(OnPrimary());
    ZidAPI api(LoopbackConfig());
    ObjectReq req(kBucketName, "k");
    req.SetMethod("GET");
    BaseResp resp;
    const ZidResult r = api.DataProcessObjectRequest2(req, &resp);
    EXPECT_FALSE(r.IsSucc());
    EXPECT_EQ(r.GetHttpStatus(), 503);
    EXPECT_EQ(Primary(), 1);
    EXPECT_EQ(Backup(), 0);

    Service().Clear();
    Service().AddFault(OnPrimary());
    CreateDocProcessJobsReq job(kBucketName);
    EXPECT_FALSE(api.DataProcessRequest12(job, &resp).IsSucc());
    EXPECT_EQ(Backup(), 0);

    GetObjectByFileReq get(kBucketName, "k", Path("out"));
    GetObjectByFileResp get_resp;
    EXPECT_FALSE(api.DataProcessGetObject1(get, &get_resp).IsSucc());
    EXPECT_EQ(Backup(), 0);
}

TEST_F(ZidAPIProcess, DownloadOfProcessingOutputChecksItsFile) {
    Seed("pic.jpg", "processed bytes");
    ZidAPI api(LoopbackConfig());
    GetObjectByFileReq req(kBucketName, "pic.jpg", Path("out.jpg"));
    req.AddParam("imageMogr2/thumbnail/!50p", "");
    BaseResp resp;
    ZidResult r = api.DataProcessDownloadToFile(req, &resp);
    ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(ReadFile(Path("out.jpg")), "processed bytes");
    EXPECT_EQ(OnlyRequest().host, BucketHost());

    // A folder that does not exist: nothing is sent.
    Service().ClearRequests();
    GetObjectByFileReq missing(kBucketName, "pic.jpg", Path("no/such/dir/out.jpg"));
    r = api.DataProcessDownloadToFile(missing, &resp);
    EXPECT_FALSE(r.IsSucc());
    EXPECT_EQ(r.GetHttpStatus(), -1);
    EXPECT_EQ(r.GetErrorMsg(), "Open local file fail, local file=" + Path("no/such/dir/out.jpg"));
    EXPECT_TRUE(Service().Requests().empty());

    // A device that takes no bytes: the write fails and the call says so.
    Seed("pic.jpg", Pattern(256 * 1024));
    GetObjectByFileReq full(kBucketName, "pic.jpg", "/dev/full");
    EXPECT_FALSE(api.DataProcessDownloadToFile(full, nullptr).IsSucc());
    GetObjectByFileResp get_resp;
    EXPECT_FALSE(api.DataProcessGetObject2(full, &get_resp).IsSucc());
}

TEST_F(ZidAPIProcess, PictureUploadDropsIntegrityChecksOnlyForAnOverwritingRule) {
    WriteFile(Path("a.jpg"), "image bytes");
    ZidAPI api(LoopbackConfig());
    struct Case {
        const char* target;
        bool overwrites;
    };
    for (const Case& c : {Case{"a.jpg", true}, Case{"a-small.jpg", false}, Case{"/a.jpg", false}}) {
        SCOPED_TRACE(c.target);
        Service().Clear();
        PutObjectWithPicOperationReq req(kBucketName, "photos/a.jpg", Path("a.jpg"));
        PicOperation op;
        op.AddRule({kBucketName, c.target, "imageMogr2/rotate/90"});
        req.SetPicOperation(op);
        req.AddHeader("pic-operations", "{\"rules\":[]}");
        // No response given: the upload still has one to fill.
        const ZidResult r = api.PutObjectWithPicOperation(req, nullptr);
        EXPECT_TRUE(r.IsSucc()) << r.GetErrorMsg();
        const auto sent = OnlyRequest();
        EXPECT_EQ(sent.key, "photos/a.jpg");
        EXPECT_EQ(sent.body, "image bytes");
        EXPECT_EQ(sent.HasHeader("Content-MD5"), !c.overwrites);
        EXPECT_TRUE(sent.signatureOk);
        // The caller's request keeps its switches for its next use.
        EXPECT_TRUE(req.ShouldCheckETag());
        EXPECT_TRUE(req.ShouldComputeContentMd5());
    }

    // The answer reaches a response the caller gives.
    PutObjectWithPicOperationReq req(kBucketName, "b.jpg", Path("a.jpg"));
    PutObjectWithPicOperationResp resp;
    ASSERT_TRUE(api.PutObjectWithPicOperation(req, &resp).IsSucc());
    EXPECT_FALSE(resp.GetEtag().empty());
}

}  // namespace
}  // namespace zid_test
