#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "ApiTestSupport.h"
#include "support/BucketRequests.h"

using namespace zuzezi_zid;
using zid_local::Fault;
using zid_local::FaultKind;

namespace zid_test {
namespace {

class ZidAPIBucket : public RelayedApiFixture {};

template <typename Resp>
MethodCase Row(const char* name, ZidResult (ZidAPI::*member)(const BucketReq&, Resp*),
               const char* method, const char* sub_resource, bool retries = true) {
    return {name, retries, [=](ZidAPI& api, const std::string&) {
                ConfigReq req(method, sub_resource, "<C/>", ConfigReq::Body::Written, kBucketName);
                Resp resp;
                return (api.*member)(req, &resp);
            }};
}

TEST_F(ZidAPIBucket, EachMethodRetriesOrNotAsItShould) {
    ClientSettings::SetRetryOnBackupDomain(true);
    const std::vector<MethodCase> cases = {
        {"HeadBucket", true, [](ZidAPI& api, const std::string&) {
             HeadBucketReq req(kBucketName); HeadBucketResp resp;
             return api.HeadBucket(req, &resp); }},
        Row("PutBucket", &ZidAPI::PutBucket, "PUT", nullptr),
        Row("PlainBucketRequestA", &ZidAPI::PlainBucketRequestA, "GET", "policy"),
        Row("PlainBucketRequestB", &ZidAPI::PlainBucketRequestB, "GET", "policy"),
        Row("PlainBucketRequestC", &ZidAPI::PlainBucketRequestC, "GET", "policy"),
        Row("PutBucketVersioning", &ZidAPI::PutBucketVersioning, "PUT", "versioning"),
        Row("PutBucketReplication", &ZidAPI::PutBucketReplication, "PUT", "replication"),
        Row("DeleteBucketReplication", &ZidAPI::DeleteBucketReplication, "DELETE", "replication"),
        Row("PutBucketLifecycle", &ZidAPI::PutBucketLifecycle, "PUT", "lifecycle"),
        Row("DeleteBucketLifecycle", &ZidAPI::DeleteBucketLifecycle, "DELETE", "lifecycle"),
        Row("PutBucketACL", &ZidAPI::PutBucketACL, "PUT", "acl"),
        Row("SendBucketBodyWithMd5", &ZidAPI::SendBucketBodyWithMd5, "PUT", "policy"),
        Row("PlainBucketRequestD", &ZidAPI::PlainBucketRequestD, "GET", "policy"),
        Row("PlainBucketRequestE", &ZidAPI::PlainBucketRequestE, "GET", "policy"),
        Row("PlainBucketRequestF", &ZidAPI::PlainBucketRequestF, "GET", "policy"),
        Row("PutBucketCORS", &ZidAPI::PutBucketCORS, "PUT", "cors"),
        Row("PutBucketLogging", &ZidAPI::PutBucketLogging, "PUT", "logging"),
        Row("PutBucketWebsite", &ZidAPI::PutBucketWebsite, "PUT", "website"),
        Row("DeleteBucketWebsite", &ZidAPI::DeleteBucketWebsite, "DELETE", "website"),
        Row("PutBucketTagging", &ZidAPI::PutBucketTagging, "PUT", "tagging"),
        Row("DeleteBucketTagging", &ZidAPI::DeleteBucketTagging, "DELETE", "tagging"),
        {"PutBucketInventory", true, [](ZidAPI& api, const std::string&) {
             PutBucketInventoryReq req(kBucketName); req.SetId("i"); BaseResp resp;
             return api.PutBucketInventory(req, &resp); }},
        {"DeleteBucketInventory", true, [](ZidAPI& api, const std::string&) {
             DeleteBucketInventoryReq req(kBucketName); req.SetId("i"); BaseResp resp;
             return api.DeleteBucketInventory(req, &resp); }},
        Row("DeleteBucketCORS", &ZidAPI::DeleteBucketCORS, "DELETE", "cors"),
        Row("PutBucketIntelligentTiering", &ZidAPI::PutBucketIntelligentTiering, "PUT", "intelligenttiering"),
        {"GetBucket", true, [](ZidAPI& api, const std::string&) {
             GetBucketReq req(kBucketName); GetBucketResp resp;
             return api.GetBucket(req, &resp); }},
        Row("GetBucketVersioning", &ZidAPI::GetBucketVersioning, "GET", "versioning"),
        Row("GetBucketReplication", &ZidAPI::GetBucketReplication, "GET", "replication"),
        Row("GetBucketLifecycle", &ZidAPI::GetBucketLifecycle, "GET", "lifecycle"),
        Row("GetBucketCORS", &ZidAPI::GetBucketCORS, "GET", "cors"),
        Row("GetBucketLogging", &ZidAPI::GetBucketLogging, "GET", "logging"),
        Row("PutBucketDomain", &ZidAPI::PutBucketDomain, "PUT", "domain"),
        Row("GetBucketDomain", &ZidAPI::GetBucketDomain, "GET", "domain"),
        Row("GetBucketWebsite", &ZidAPI::GetBucketWebsite, "GET", "website"),
        Row("GetBucketTagging", &ZidAPI::GetBucketTagging, "GET", "tagging"),
        {"GetBucketInventory", true, [](ZidAPI& api, const std::string&) {
             GetBucketInventoryReq req(kBucketName); req.SetId("i"); GetBucketInventoryResp resp;
             return api.GetBucketInventory(req, &resp); }},
        Row("ListBucketInventoryConfigurations", &ZidAPI::ListBucketInventoryConfigurations, "GET", "inventory"),
        Row("ListLiveChannel", &ZidAPI::ListLiveChannel, "GET", "live"),
        Row("GetBucketIntelligentTiering", &ZidAPI::GetBucketIntelligentTiering, "GET", "intelligenttiering"),
        // The generic processor makes the backup pass itself; the facade adds none.
        Row("GenericBucketRequestA", &ZidAPI::GenericBucketRequestA, "PUT", "tagging"),
        Row("GenericBucketRequestB", &ZidAPI::GenericBucketRequestB, "PUT", "tagging"),
    };
    ExpectBackupPasses(cases);
}

TEST_F(ZidAPIBucket, GenericRequestIsSentAtMostTwice) {
    ClientSettings::SetRetryOnBackupDomain(true);
    Service().AddFault(OnPrimary());
    Service().AddFault(OnHost(ClientSettings::kBackupDomainSuffix, FaultKind::Status, 503, false));
    ZidAPI api(LoopbackConfig());
    ConfigReq req("PUT", "tagging", "<T/>", ConfigReq::Body::Written, kBucketName);
    BaseResp resp;
    ZidResult r = api.GenericBucketRequestA(req, &resp);
    EXPECT_EQ(503, r.GetHttpStatus());
    EXPECT_EQ(1, Primary());
    EXPECT_EQ(1, Backup());
    for (const auto& sent : Service().Requests()) {
        EXPECT_EQ("<T/>", sent.body);
        EXPECT_EQ(ContentMd5("<T/>"), sent.Header("Content-MD5"));
    }

    // A data-processing request is never repeated.
    Service().ClearRequests();
    BucketOp op(std::make_shared<ZidConfig>(LoopbackConfig()));
    Service().AddFault(OnHost("proc.", FaultKind::Status, 503, false));
    EXPECT_FALSE(op.ProcessBucketRequest(req, &resp, true).IsSucc());
    EXPECT_EQ(1u, Service().Requests().size());
}

// A BucketReq made directly names no method: the facade methods that take one refuse it with a
// message a caller can act on, instead of sending a request the service cannot read.
TEST_F(ZidAPIBucket, RequestWithoutMethodIsRefused) {
    ZidAPI api(LoopbackConfig());
    BucketReq bare(kBucketName);
    GetBucketLifecycleResp lifecycle;
    BaseResp resp;
    const ZidResult results[] = {
        api.GetBucketLifecycle(bare, &lifecycle),
        api.PutBucketLifecycle(bare, &resp),
        api.GenericBucketRequestA(bare, &resp),
    };
    for (const auto& r : results) {
        EXPECT_FALSE(r.IsSucc());
        EXPECT_EQ(-1, r.GetHttpStatus());
        EXPECT_NE(std::string::npos, r.GetErrorMsg().find("no HTTP method")) << r.GetErrorMsg();
    }
    EXPECT_TRUE(Service().Requests().empty());
}

TEST_F(ZidAPIBucket, ExistenceAndServiceListingMakeTheirOwnPasses) {
    ClientSettings::SetRetryOnBackupDomain(true);
    Service().AddFault(OnPrimary());
    ZidAPI api(LoopbackConfig());
    EXPECT_TRUE(api.BucketExists(kBucketName)) << "the backup domain answered";
    EXPECT_EQ(1, Primary());
    EXPECT_EQ(1, Backup());

    Service().ClearRequests();
    Service().AddFault(OnHost(ClientSettings::kServiceHost, FaultKind::Status, 503, false));
    BaseReq list;
    list.SetMethod("GET");
    list.SetPath("/");
    BaseResp resp;
    EXPECT_EQ(503, api.GetService(list, &resp).GetHttpStatus());
    EXPECT_EQ(1u, Service().Requests().size()) << "the service listing is never repeated";

    // A bad bucket name is reported, not thrown, and nothing is sent.
    Service().ClearRequests();
    EXPECT_FALSE(api.BucketExists("Not_A_Bucket"));
    EXPECT_TRUE(Service().Requests().empty());
}

// A bucket never made: the calls that reach it fail with the service's code, and a bucket the
// library makes and deletes comes and goes.
class ZidAPIMissingBucket : public ApiFixture {};

TEST_F(ZidAPIMissingBucket, CallsOnABucketNeverMadeFailWithNoSuchBucket) {
    ZidAPI api(LoopbackConfig());
    const std::string missing = "nosuchbucket";
    EXPECT_TRUE(api.BucketExists(kBucketName));
    EXPECT_FALSE(api.BucketExists(missing));

    auto expect_no_such_bucket = [](const ZidResult& r, const char* call) {
        EXPECT_FALSE(r.IsSucc()) << call;
        EXPECT_EQ(404, r.GetHttpStatus()) << call;
        EXPECT_EQ("NoSuchBucket", r.GetErrorCode()) << call << ": " << r.GetErrorMsg();
        EXPECT_FALSE(r.GetXZidRequestId().empty()) << call;
    };
    GetBucketReq list(missing);
    GetBucketResp list_resp;
    expect_no_such_bucket(api.GetBucket(list, &list_resp), "GetBucket");
    EXPECT_TRUE(list_resp.GetContents().empty());

    std::ostringstream body;
    GetObjectByStreamReq get(missing, "k", body);
    GetObjectResp get_resp;
    expect_no_such_bucket(api.GetObject(get, &get_resp), "GetObject");
    EXPECT_EQ("", body.str());

    std::istringstream in("data");
    PutObjectByStreamReq put(missing, "k", in);
    PutObjectByStreamResp put_resp;
    expect_no_such_bucket(api.PutObject(put, &put_resp), "PutObject");
    EXPECT_FALSE(Service().HasBucket(Bucket(missing, kAppId))) << "a refused upload made the bucket";

    GetBucketCORSResp cors_resp;
    expect_no_such_bucket(api.GetBucketCORS(ConfigReq("GET", "cors", "", ConfigReq::Body::Written, missing),
                                            &cors_resp),
                          "GetBucketCORS");
}

TEST_F(ZidAPIMissingBucket, ABucketPutExistsUntilItsDelete) {
    ZidAPI api(LoopbackConfig());
    const std::string name = "madehere";
    BaseResp resp;
    ASSERT_TRUE(api.PutBucket(ConfigReq("PUT", nullptr, "", ConfigReq::Body::Written, name), &resp).IsSucc());
    EXPECT_TRUE(api.BucketExists(name));
    GetBucketReq list(name);
    GetBucketResp list_resp;
    EXPECT_TRUE(api.GetBucket(list, &list_resp).IsSucc());

    Service().PutObject(Bucket(name, kAppId), "k", "v");
    ZidResult full = api.PlainBucketRequestA(ConfigReq("DELETE", nullptr, "", ConfigReq::Body::Written, name), &resp);
    EXPECT_EQ(409, full.GetHttpStatus());
    EXPECT_EQ("BucketNotEmpty", full.GetErrorCode());
    EXPECT_TRUE(api.BucketExists(name));

    Service().DeleteObject(Bucket(name, kAppId), "k");
    ZidResult gone = api.PlainBucketRequestA(ConfigReq("DELETE", nullptr, "", ConfigReq::Body::Written, name), &resp);
    EXPECT_TRUE(gone.IsSucc()) << gone.GetErrorMsg();
    EXPECT_FALSE(api.BucketExists(name));
}

}  // namespace
}  // namespace zid_test
