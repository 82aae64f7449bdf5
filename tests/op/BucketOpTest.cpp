#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "OpTestSupport.h"
#include "op/BucketOp.h"
#include "op/ServiceOp.h"
#include "response/BucketConfigResp.h"
#include "response/BucketResp.h"
#include "response/BucketRuleResp.h"
#include "response/InventoryResp.h"
#include "support/BucketRequests.h"

using namespace zuzezi_zid;
using zid_local::Fault;
using zid_local::FaultKind;

namespace zid_test {
namespace {

class BucketOpTest : public ObjectOpTest {
protected:
    void SetUp() override {
        ObjectOpTest::SetUp();
        m_bucket_op.reset(new BucketOp(m_config));
    }
    // The one request the call sent.
    static zid_local::RecordedRequest OnlyRequest() {
        auto requests = Service().Requests();
        EXPECT_EQ(1u, requests.size());
        return requests.empty() ? zid_local::RecordedRequest() : requests.back();
    }
    std::unique_ptr<BucketOp> m_bucket_op;
};

using Call = std::function<ZidResult(const BucketOp&, BaseResp*)>;

struct SentCase {
    const char* name;
    Call call;
    const char* method;
    const char* sub_resource;  // null: none expected
    std::string body;
    bool with_md5;
};

TEST_F(BucketOpTest, EachShapeSendsItsBodyAndContentMd5AsItShould) {
    const std::string xml = "<Conf><A>1</A></Conf>";
    auto put = [](ZidResult (BucketOp::*member)(const BucketReq&, BaseResp*, bool) const,
                  const char* sub, std::string body) {
        return [member, sub, body](const BucketOp& op, BaseResp* resp) {
            return (op.*member)(ConfigReq("PUT", sub, body), resp, false);
        };
    };
    auto get = [](ZidResult (BucketOp::*member)(const BucketReq&, BaseResp*, bool) const,
                  const char* method, const char* sub) {
        return [member, method, sub](const BucketOp& op, BaseResp* resp) {
            // A body the request would write is not asked for.
            return (op.*member)(ConfigReq(method, sub, "<unused/>"), resp, false);
        };
    };
    const std::vector<SentCase> cases = {
        {"versioning put", put(&BucketOp::PutBucketVersioning, "versioning", xml), "PUT", "versioning", xml, true},
        {"replication put", put(&BucketOp::PutBucketReplication, "replication", xml), "PUT", "replication", xml, true},
        {"lifecycle put", put(&BucketOp::PutBucketLifecycle, "lifecycle", xml), "PUT", "lifecycle", xml, true},
        {"CORS put", put(&BucketOp::PutBucketCORS, "cors", xml), "PUT", "cors", xml, true},
        {"logging put", put(&BucketOp::PutBucketLogging, "logging", xml), "PUT", "logging", xml, true},
        {"domain put", put(&BucketOp::PutBucketDomain, "domain", xml), "PUT", "domain", xml, true},
        {"tagging put", put(&BucketOp::PutBucketTagging, "tagging", xml), "PUT", "tagging", xml, true},
        {"intelligent-tiering put", put(&BucketOp::PutBucketIntelligentTiering, "intelligenttiering", xml),
         "PUT", "intelligenttiering", xml, true},
        {"website put has no Content-MD5", put(&BucketOp::PutBucketWebsite, "website", xml), "PUT", "website", xml, false},
        {"empty generated body still has its Content-MD5", put(&BucketOp::PutBucketCORS, "cors", ""), "PUT", "cors", "", true},
        {"website put of an empty body", put(&BucketOp::PutBucketWebsite, "website", ""), "PUT", "website", "", false},
        {"ACL put with a generated body", put(&BucketOp::PutBucketACL, "acl", xml), "PUT", "acl", xml, true},
        {"ACL in a grant header: no body, generator not asked",
         [](const BucketOp& op, BaseResp* resp) {
             ConfigReq req("PUT", "acl", "", ConfigReq::Body::Refused);
             req.AddHeader("x-zid-grant-write", "id=\"100\"");
             return op.PutBucketACL(req, resp, false);
         },
         "PUT", "acl", "", false},
        {"inventory put with its id",
         [&](const BucketOp& op, BaseResp* resp) {
             struct Req : PutBucketInventoryReq {
                 explicit Req(std::string b) : PutBucketInventoryReq("bkt"), body(std::move(b)) {}
                 bool GenerateRequestBody(std::string* out) const override { *out = body; return true; }
                 std::string body;
             } req(xml);
             req.SetId("list1");
             return op.PutBucketInventory(req, resp, false);
         },
         "PUT", "inventory", xml, true},
        {"raw body", [](const BucketOp& op, BaseResp* resp) {
             ConfigReq req("PUT", nullptr, "<generated/>");
             req.SetBody("raw \x01 bytes");
             return op.PutBucket(req, resp, false);
         }, "PUT", nullptr, "raw \x01 bytes", false},
        {"raw body with Content-MD5", [](const BucketOp& op, BaseResp* resp) {
             ConfigReq req("PUT", "policy", "<generated/>");
             req.SetBody("{\"p\":1}");
             return op.SendBucketBodyWithMd5(req, resp, false);
         }, "PUT", "policy", "{\"p\":1}", true},
        {"raw empty body with Content-MD5", [](const BucketOp& op, BaseResp* resp) {
             return op.SendBucketBodyWithMd5(ConfigReq("PUT", "policy"), resp, false);
         }, "PUT", "policy", "", true},
        {"generic request with a body", [&](const BucketOp& op, BaseResp* resp) {
             return op.ProcessBucketRequest(ConfigReq("PUT", "tagging", xml), resp, false);
         }, "PUT", "tagging", xml, true},
        {"generic request without a body", [](const BucketOp& op, BaseResp* resp) {
             return op.GenericBucketRequestB(ConfigReq("PUT", "tagging"), resp);
         }, "PUT", "tagging", "", false},
        {"CORS get", get(&BucketOp::GetBucketCORS, "GET", "cors"), "GET", "cors", "", false},
        {"lifecycle delete", get(&BucketOp::DeleteBucketLifecycle, "DELETE", "lifecycle"), "DELETE", "lifecycle", "", false},
        {"caller's plain request", get(&BucketOp::PlainBucketRequestE, "GET", "referer"), "GET", "referer", "", false},
        {"inventory get with its id", [](const BucketOp& op, BaseResp* resp) {
             GetBucketInventoryReq req("bkt");
             req.SetId("list1");
             return op.GetBucketInventory(req, resp, false);
         }, "GET", "inventory", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Service().ClearRequests();
        BaseResp resp;
        ZidResult r = c.call(*m_bucket_op, &resp);
        EXPECT_TRUE(r.IsSucc()) << r.GetErrorMsg();
        auto sent = OnlyRequest();
        EXPECT_EQ(c.method, sent.method);
        EXPECT_EQ(StoreBucket(), sent.bucket);
        EXPECT_EQ(c.body, sent.body);
        if (c.sub_resource) EXPECT_EQ(1u, sent.params.count(c.sub_resource));
        if (c.with_md5) {
            EXPECT_EQ(ContentMd5(c.body), sent.Header("Content-MD5"));
        } else {
            EXPECT_FALSE(sent.HasHeader("Content-MD5"));
        }
    }
}

TEST_F(BucketOpTest, RefusesBeforeSendingAndNamesItsOwnOperation) {
    using B = ConfigReq::Body;
    auto refused = [](ZidResult (BucketOp::*member)(const BucketReq&, BaseResp*, bool) const,
                      B outcome) {
        return [member, outcome](const BucketOp& op, BaseResp* resp) {
            return (op.*member)(ConfigReq("PUT", "x", "<x/>", outcome), resp, false);
        };
    };
    struct Case {
        const char* message;
        Call call;
    };
    const std::vector<Case> cases = {
        {"Generate PutBucketVersioning Request Body fail.", refused(&BucketOp::PutBucketVersioning, B::Refused)},
        {"Generate PutBucketReplication Request Body fail.", refused(&BucketOp::PutBucketReplication, B::Refused)},
        {"Generate PutBucketLifecycle Request Body fail.", refused(&BucketOp::PutBucketLifecycle, B::Refused)},
        {"Generate PutBucketACL Request Body fail.", refused(&BucketOp::PutBucketACL, B::Refused)},
        {"Generate PutBucketCORS Request Body fail.", refused(&BucketOp::PutBucketCORS, B::Refused)},
        {"Generate PutBucketLogging Request Body fail.", refused(&BucketOp::PutBucketLogging, B::Refused)},
        {"Generate PutBucketDomain Request Body fail.", refused(&BucketOp::PutBucketDomain, B::Refused)},
        {"Generate PutBucketWebsite Request Body fail.", refused(&BucketOp::PutBucketWebsite, B::Refused)},
        {"Generate PutBucketTagging Request Body fail.", refused(&BucketOp::PutBucketTagging, B::Refused)},
        {"Generate PutBucketIntelligentTiering Request Body fail.",
         refused(&BucketOp::PutBucketIntelligentTiering, B::Refused)},
        {"Generate PutBucketCORS Request Body fail.", refused(&BucketOp::PutBucketCORS, B::Throws)},
        {"Generate request body fail.", [](const BucketOp& op, BaseResp* resp) {
             return op.GenericBucketRequestA(ConfigReq("POST", "x", "", B::Refused), resp);
         }},
        {"PutBucketinventory need to set Id.", [](const BucketOp& op, BaseResp* resp) {
             return op.PutBucketInventory(PutBucketInventoryReq("bkt"), resp, false);
         }},
        {"Generate PutBucketInventory Request Body fail.", [](const BucketOp& op, BaseResp* resp) {
             struct Req : PutBucketInventoryReq {
                 Req() : PutBucketInventoryReq("bkt") { SetId("i"); }
                 bool GenerateRequestBody(std::string*) const override { return false; }
             };
             return op.PutBucketInventory(Req(), resp, false);
         }},
        {"GetBucketinventory need to set Id.", [](const BucketOp& op, BaseResp* resp) {
             return op.GetBucketInventory(GetBucketInventoryReq("bkt"), resp, false);
         }},
        {"DeleteBucketinventory need to set Id.", [](const BucketOp& op, BaseResp* resp) {
             return op.DeleteBucketInventory(DeleteBucketInventoryReq("bkt"), resp, false);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        BaseResp resp;
        ZidResult r = c.call(*m_bucket_op, &resp);
        EXPECT_FALSE(r.IsSucc());
        EXPECT_EQ(-1, r.GetHttpStatus());
        EXPECT_EQ(c.message, r.GetErrorMsg());
        EXPECT_TRUE(resp.GetBody().empty());
    }
    EXPECT_TRUE(Service().Requests().empty());
}

TEST_F(BucketOpTest, DomainRefusalInASuccessfulAnswerFailsTheCall) {
    Fault refusal;
    refusal.kind = FaultKind::ErrorBody200;
    refusal.errorCode = "DomainAlreadyBound";
    refusal.queryParam = "domain";
    Service().AddFault(refusal);
    BaseResp resp;
    ZidResult r = m_bucket_op->PutBucketDomain(ConfigReq("PUT", "domain", "<D/>"), &resp, false);
    EXPECT_FALSE(r.IsSucc());
    EXPECT_EQ(200, r.GetHttpStatus());
    EXPECT_EQ("DomainAlreadyBound", r.GetErrorCode());
    EXPECT_EQ("We encountered an internal error. Please try again.", r.GetErrorMsg());
    EXPECT_NE(std::string::npos, resp.GetBody().find("<Error>")) << "the response keeps the answer";

    // Without a response to fill, the refusal is still seen.
    Service().AddFault(refusal);
    EXPECT_FALSE(m_bucket_op->PutBucketDomain(ConfigReq("PUT", "domain", "<D/>"), nullptr, false).IsSucc());

    // An empty 2xx answer is the plain success.
    BaseResp ok;
    EXPECT_TRUE(m_bucket_op->PutBucketDomain(ConfigReq("PUT", "domain", "<D/>"), &ok, false).IsSucc());
}

TEST_F(BucketOpTest, BucketExistsAsksOnceWithAHeadOfTheBucket) {
    EXPECT_TRUE(m_bucket_op->BucketExists("bkt"));
    auto head = OnlyRequest();
    EXPECT_EQ("HEAD", head.method);
    EXPECT_EQ("/", head.path) << "the URL builder supplies the path the request leaves empty";

    Service().ClearRequests();
    Fault missing;
    missing.kind = FaultKind::Status;
    missing.status = 404;
    missing.errorCode = "NoSuchBucket";
    Service().AddFault(missing);
    EXPECT_FALSE(m_bucket_op->BucketExists("bkt"));
    EXPECT_EQ(1u, Service().Requests().size());

    EXPECT_THROW(m_bucket_op->BucketExists("Bad_Name"), std::invalid_argument);
}

TEST_F(BucketOpTest, DataProcessingGoesToTheProcessingHostWithItsTokenHeader) {
    m_config->SetCredentials(kAccessKey, kSecretKey, "temp-token");
    BaseResp resp;
    ASSERT_TRUE(m_bucket_op->ProcessBucketRequest(ConfigReq("PUT", "tagging", "<R/>"), &resp, true).IsSucc());
    auto ci = OnlyRequest();
    EXPECT_EQ(std::string("bkt.proc.ap-test") + ClientSettings::kPrimaryDomainSuffix, ci.host)
        << "no app id in the processing host";
    EXPECT_EQ("temp-token", ci.Header("x-ci-security-token"));
    EXPECT_FALSE(ci.HasHeader("x-zid-security-token"));
    EXPECT_EQ(ContentMd5("<R/>"), ci.Header("Content-MD5"));

    Service().ClearRequests();
    ASSERT_TRUE(m_bucket_op->GenericBucketRequestA(ConfigReq("PUT", "tagging"), &resp).IsSucc());
    auto plain = OnlyRequest();
    EXPECT_EQ(StoreBucket() + ".zid.ap-test" + ClientSettings::kPrimaryDomainSuffix, plain.host);
    EXPECT_EQ("temp-token", plain.Header("x-zid-security-token"));
    EXPECT_FALSE(plain.HasHeader("x-ci-security-token"));
}

TEST_F(BucketOpTest, ServiceListingGoesToTheServiceHostWhateverTheRegion) {
    for (const char* region : {"ap-test", "eu-other"}) {
        SCOPED_TRACE(region);
        Service().ClearRequests();
        ServiceOp op(std::make_shared<ZidConfig>(kAppId, kAccessKey, kSecretKey, region));
        BaseReq req;
        req.SetMethod("GET");
        req.SetPath("/");
        BaseResp resp;
        op.GetService(req, &resp);
        EXPECT_EQ(ClientSettings::kServiceHost, OnlyRequest().host);
    }
}

// Each read of a document, with the response that reads it.
template <class Resp, class Req, class Member>
std::function<ZidResult(const BucketOp&)> Read(Member member, Req req) {
    return [member, req](const BucketOp& op) {
        Resp resp;
        return (op.*member)(req, &resp, false);
    };
}

GetBucketInventoryReq InventoryGet() {
    GetBucketInventoryReq req("bkt");
    req.SetId("daily");
    return req;
}

// A gateway in front of the service that refuses in a 200 answer must not pass for an
// empty configuration or an empty bucket.
TEST_F(BucketOpTest, AnErrorDocumentInA2xxAnswerFailsEveryDocumentRead) {
    struct Case {
        const char* name;
        std::function<ZidResult(const BucketOp&)> read;
    };
    const Case cases[] = {
        {"listing", Read<GetBucketResp>(&BucketOp::GetBucket, GetBucketReq("bkt"))},
        {"location", Read<GetBucketLocationResp>(&BucketOp::GetBucketLocation, GetBucketLocationReq("bkt"))},
        {"uploads", Read<ListMultipartUploadResp>(&BucketOp::PlainBucketRequestA, ListMultipartUploadReq("bkt"))},
        {"versions", Read<GetBucketObjectVersionsResp>(&BucketOp::PlainBucketRequestB, ConfigReq("GET", "versions"))},
        {"versioning", Read<GetBucketVersioningResp>(&BucketOp::GetBucketVersioning, ConfigReq("GET", "versioning"))},
        {"replication", Read<GetBucketReplicationResp>(&BucketOp::GetBucketReplication, ConfigReq("GET", "replication"))},
        {"lifecycle", Read<GetBucketLifecycleResp>(&BucketOp::GetBucketLifecycle, ConfigReq("GET", "lifecycle"))},
        {"cors", Read<GetBucketCORSResp>(&BucketOp::GetBucketCORS, ConfigReq("GET", "cors"))},
        {"logging", Read<GetBucketLoggingResp>(&BucketOp::GetBucketLogging, ConfigReq("GET", "logging"))},
        {"domain", Read<GetBucketDomainResp>(&BucketOp::GetBucketDomain, ConfigReq("GET", "domain"))},
        {"website", Read<GetBucketWebsiteResp>(&BucketOp::GetBucketWebsite, ConfigReq("GET", "website"))},
        {"tagging", Read<GetBucketTaggingResp>(&BucketOp::GetBucketTagging, ConfigReq("GET", "tagging"))},
        {"inventory", Read<GetBucketInventoryResp>(&BucketOp::GetBucketInventory, InventoryGet())},
        {"inventories", Read<ListBucketInventoryConfigurationsResp>(
                            &BucketOp::ListBucketInventoryConfigurations, ConfigReq("GET", "inventory"))},
        {"live channels", Read<ListLiveChannelResp>(&BucketOp::ListLiveChannel, ConfigReq("GET", "live"))},
        {"tiering", Read<GetBucketIntelligentTieringResp>(&BucketOp::GetBucketIntelligentTiering,
                                                          ConfigReq("GET", "intelligenttiering"))},
    };
    auto refuse_next = [] {
        Fault refusal;
        refusal.kind = FaultKind::ErrorBody200;
        refusal.errorCode = "AccessDenied";
        Service().AddFault(refusal);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        refuse_next();
        ZidResult r = c.read(*m_bucket_op);
        EXPECT_FALSE(r.IsSucc());
        EXPECT_EQ(200, r.GetHttpStatus());
        EXPECT_EQ("AccessDenied", r.GetErrorCode());
        EXPECT_EQ("We encountered an internal error. Please try again.", r.GetErrorMsg());
        EXPECT_EQ(0u, Service().PendingFaults()) << "the refusal was sent";
    }

    // The same refusal in an object document read.
    refuse_next();
    InitMultiUploadReq init("bkt", "k");
    InitMultiUploadResp init_resp;
    ZidResult r = m_op->InitMultiUpload(init, &init_resp);
    EXPECT_FALSE(r.IsSucc());
    EXPECT_EQ("AccessDenied", r.GetErrorCode());
}

// An answer that says a configuration has no such part is no refusal; a page of anything
// but a listing is no listing.
TEST_F(BucketOpTest, OnlyAListingPassesForOneWhileAnEmptyConfigurationStaysASuccess) {
    auto answer = [](const std::string& body) {
        Fault f;
        f.kind = FaultKind::TextBody200;
        f.data = body;
        Service().AddFault(f);
    };
    answer("<BucketLoggingStatus/>");
    GetBucketLoggingResp logging;
    EXPECT_TRUE(m_bucket_op->GetBucketLogging(ConfigReq("GET", "logging"), &logging, false).IsSucc());
    answer("<DomainConfiguration/>");
    GetBucketDomainResp domain;
    EXPECT_TRUE(m_bucket_op->GetBucketDomain(ConfigReq("GET", "domain"), &domain, false).IsSucc());

    for (const std::string page : {"<html><body>Proxy sign-in</body></html>", "OK",
                                   "<?xml version=\"1.0\"?>\n", "<ListAllMyBucketsResult/>"}) {
        SCOPED_TRACE(page);
        answer(page);
        GetBucketResp listing;
        ZidResult r = m_bucket_op->GetBucket(GetBucketReq("bkt"), &listing, false);
        EXPECT_FALSE(r.IsSucc());
        EXPECT_EQ(200, r.GetHttpStatus());
        EXPECT_EQ(page, r.GetErrorMsg());
    }
    answer("<ListBucketResult><IsTruncated>false</IsTruncated></ListBucketResult>");
    GetBucketResp empty;
    EXPECT_TRUE(m_bucket_op->GetBucket(GetBucketReq("bkt"), &empty, false).IsSucc());
}

}  // namespace
}  // namespace zid_test
