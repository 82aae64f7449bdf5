// Bucket configurations through the facade against the loopback service: what each put
// sends, what the service keeps, and what the typed gets read back.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ApiTestSupport.h"
#include "support/BucketRequests.h"

using namespace zuzezi_zid;
using zid_local::Fault;
using zid_local::FaultKind;

namespace zid_test {
namespace {

class ZidAPIBucketConfig : public ApiFixture {};

ConfigReq Req(const char* method, const char* sub_resource, const std::string& body = "") {
    return ConfigReq(method, sub_resource, body, ConfigReq::Body::Written, kBucketName);
}

// A get of sub_resource through member, read into *resp; the call must succeed.
template <typename Resp, typename Param>
void Read(ZidAPI& api, ZidResult (ZidAPI::*member)(const BucketReq&, Param*), const char* sub_resource,
          Resp* resp) {
    ZidResult r = (api.*member)(Req("GET", sub_resource), resp);
    EXPECT_TRUE(r.IsSucc()) << sub_resource << ": " << r.GetErrorCode() << " " << r.GetErrorMsg();
}

using Call = std::function<ZidResult(ZidAPI&)>;

// A request without a body of sub_resource through member, into a fresh response.
template <typename Resp>
Call Plain(ZidResult (ZidAPI::*member)(const BucketReq&, Resp*), const char* method,
           const char* sub_resource) {
    return [member, method, sub_resource](ZidAPI& api) {
        Resp resp;
        return (api.*member)(Req(method, sub_resource), &resp);
    };
}

using PutCall = std::function<ZidResult(ZidAPI&, const char* sub_resource, const std::string& body)>;

// A put whose request writes the body.
template <typename Resp>
PutCall Put(ZidResult (ZidAPI::*member)(const BucketReq&, Resp*)) {
    return [member](ZidAPI& api, const char* sub_resource, const std::string& body) {
        Resp resp;
        return (api.*member)(Req("PUT", sub_resource, body), &resp);
    };
}

// A put of a body the caller sets on the request as it is.
PutCall PutRaw(ZidResult (ZidAPI::*member)(const BucketReq&, BaseResp*)) {
    return [member](ZidAPI& api, const char* sub_resource, const std::string& body) {
        BaseResp resp;
        ConfigReq req = Req("PUT", sub_resource, "<not-this/>");
        req.SetBody(body);
        return (api.*member)(req, &resp);
    };
}

struct ConfigCase {
    const char* sub_resource;  // also the name the service keeps it under
    std::string document;
    bool with_md5;
    PutCall put;
    std::function<void(ZidAPI&)> read_back;  // the typed get and what it must find
};

TEST_F(ZidAPIBucketConfig, EachPutIsKeptAsSentAndReadBackTyped) {
    const std::vector<ConfigCase> cases = {
        {"versioning",
         "<VersioningConfiguration><Status>Suspended</Status></VersioningConfiguration>", true,
         Put(&ZidAPI::PutBucketVersioning),
         [](ZidAPI& api) {
             GetBucketVersioningResp resp;
             Read(api, &ZidAPI::GetBucketVersioning, "versioning", &resp);
             EXPECT_EQ(GetBucketVersioningResp::kSuspended, resp.GetStatus());
         }},
        {"replication",
         "<ReplicationConfiguration><Role>zid::role/1</Role><Rule><Status>Enabled</Status>"
         "<ID>r1</ID><Prefix>logs/</Prefix><Destination><Bucket>zid::ap-x::dest-1250000000</Bucket>"
         "<StorageClass>STANDARD_IA</StorageClass></Destination></Rule></ReplicationConfiguration>",
         true, Put(&ZidAPI::PutBucketReplication),
         [](ZidAPI& api) {
             GetBucketReplicationResp resp;
             Read(api, &ZidAPI::GetBucketReplication, "replication", &resp);
             EXPECT_EQ("zid::role/1", resp.GetRole());
             const auto rules = resp.GetRules();
             ASSERT_EQ(1u, rules.size());
             EXPECT_TRUE(rules[0].m_is_enable);
             EXPECT_EQ("r1", rules[0].m_id);
             EXPECT_EQ("logs/", rules[0].m_prefix);
             EXPECT_EQ("zid::ap-x::dest-1250000000", rules[0].m_dest_bucket);
             EXPECT_EQ("STANDARD_IA", rules[0].m_dest_storage_class);
         }},
        {"lifecycle",
         "<LifecycleConfiguration><Rule><ID>expire</ID><Filter><Prefix>tmp/</Prefix></Filter>"
         "<Status>Enabled</Status><Expiration><Days>30</Days></Expiration></Rule>"
         "</LifecycleConfiguration>",
         true, Put(&ZidAPI::PutBucketLifecycle),
         [](ZidAPI& api) {
             GetBucketLifecycleResp resp;
             Read(api, &ZidAPI::GetBucketLifecycle, "lifecycle", &resp);
             const auto rules = resp.GetRules();
             ASSERT_EQ(1u, rules.size());
             EXPECT_EQ("expire", rules[0].GetId());
             EXPECT_TRUE(rules[0].GetIsEnable());
             EXPECT_EQ("tmp/", rules[0].GetFilter().GetPrefix());
             EXPECT_EQ(30u, rules[0].GetExpiration().GetDays());
         }},
        {"acl",
         "<AccessControlPolicy><Owner><ID>zid::owner/AKID</ID><DisplayName>AKID</DisplayName></Owner>"
         "<AccessControlList><Grant><Grantee xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
         "xsi:type=\"CanonicalUser\"><ID>zid::owner/reader</ID></Grantee><Permission>READ</Permission>"
         "</Grant></AccessControlList></AccessControlPolicy>",
         true, Put(&ZidAPI::PutBucketACL),
         [](ZidAPI& api) {
             GetBucketACLResp resp;
             Read(api, &ZidAPI::PlainBucketRequestD, "acl", &resp);
             EXPECT_EQ("zid::owner/AKID", resp.GetOwnerId());
             const auto grants = resp.GetAccessControlList();
             ASSERT_EQ(1u, grants.size());
             EXPECT_EQ("CanonicalUser", grants[0].m_type);
             EXPECT_EQ("zid::owner/reader", grants[0].m_id);
             EXPECT_EQ("READ", grants[0].m_perm);
         }},
        {"cors",
         "<CORSConfiguration><CORSRule><ID>web</ID><AllowedOrigin>https://a.example</AllowedOrigin>"
         "<AllowedMethod>GET</AllowedMethod><AllowedMethod>PUT</AllowedMethod>"
         "<AllowedHeader>*</AllowedHeader><MaxAgeSeconds>600</MaxAgeSeconds>"
         "<ExposeHeader>ETag</ExposeHeader></CORSRule></CORSConfiguration>",
         true, Put(&ZidAPI::PutBucketCORS),
         [](ZidAPI& api) {
             GetBucketCORSResp resp;
             Read(api, &ZidAPI::GetBucketCORS, "cors", &resp);
             const auto rules = resp.GetCORSRules();
             ASSERT_EQ(1u, rules.size());
             EXPECT_EQ("web", rules[0].m_id);
             EXPECT_EQ(std::vector<std::string>{"https://a.example"}, rules[0].m_allowed_origins);
             EXPECT_EQ((std::vector<std::string>{"GET", "PUT"}), rules[0].m_allowed_methods);
             EXPECT_EQ(std::vector<std::string>{"*"}, rules[0].m_allowed_headers);
             EXPECT_EQ("600", rules[0].m_max_age_secs);
             EXPECT_EQ(std::vector<std::string>{"ETag"}, rules[0].m_expose_headers);
         }},
        {"logging",
         "<BucketLoggingStatus><LoggingEnabled><TargetBucket>logs-1250000000</TargetBucket>"
         "<TargetPrefix>facade/</TargetPrefix></LoggingEnabled></BucketLoggingStatus>",
         true, Put(&ZidAPI::PutBucketLogging),
         [](ZidAPI& api) {
             GetBucketLoggingResp resp;
             Read(api, &ZidAPI::GetBucketLogging, "logging", &resp);
             EXPECT_EQ("logs-1250000000", resp.GetLoggingEnabled().GetTargetBucket());
             EXPECT_EQ("facade/", resp.GetLoggingEnabled().GetTargetPrefix());
         }},
        {"domain",
         "<DomainConfiguration><DomainRule><Status>ENABLED</Status><Name>www.example.com</Name>"
         "<Type>REST</Type></DomainRule></DomainConfiguration>",
         true, Put(&ZidAPI::PutBucketDomain),
         [](ZidAPI& api) {
             GetBucketDomainResp resp;
             Read(api, &ZidAPI::GetBucketDomain, "domain", &resp);
             EXPECT_EQ("ENABLED", resp.GetStatus());
             EXPECT_EQ("www.example.com", resp.GetName());
             EXPECT_EQ("REST", resp.GetType());
         }},
        {"website",
         "<WebsiteConfiguration><IndexDocument><Suffix>index.html</Suffix></IndexDocument>"
         "<ErrorDocument><Key>404.html</Key></ErrorDocument><RoutingRules><RoutingRule>"
         "<Condition><HttpErrorCodeReturnedEquals>404</HttpErrorCodeReturnedEquals></Condition>"
         "<Redirect><Protocol>https</Protocol><ReplaceKeyWith>gone.html</ReplaceKeyWith></Redirect>"
         "</RoutingRule></RoutingRules></WebsiteConfiguration>",
         false, Put(&ZidAPI::PutBucketWebsite),
         [](ZidAPI& api) {
             GetBucketWebsiteResp resp;
             Read(api, &ZidAPI::GetBucketWebsite, "website", &resp);
             EXPECT_EQ("index.html", resp.GetSuffix());
             EXPECT_EQ("404.html", resp.GetKey());
             const auto rules = resp.GetRoutingRules();
             ASSERT_EQ(1u, rules.size());
             EXPECT_EQ(404, rules[0].GetCondition().GetHttpErrorCodeReturnedEquals());
             EXPECT_EQ("https", rules[0].GetRedirect().GetProtocol());
             EXPECT_EQ("gone.html", rules[0].GetRedirect().GetReplaceKeyWith());
         }},
        {"tagging",
         "<Tagging><TagSet><Tag><Key>team</Key><Value>ops</Value></Tag>"
         "<Tag><Key>env</Key><Value>a &amp; b</Value></Tag></TagSet></Tagging>",
         true, Put(&ZidAPI::PutBucketTagging),
         [](ZidAPI& api) {
             GetBucketTaggingResp resp;
             Read(api, &ZidAPI::GetBucketTagging, "tagging", &resp);
             const auto tags = resp.GetTagSet();
             ASSERT_EQ(2u, tags.size());
             EXPECT_EQ("team", tags[0].GetKey());
             EXPECT_EQ("ops", tags[0].GetValue());
             EXPECT_EQ("env", tags[1].GetKey());
             EXPECT_EQ("a & b", tags[1].GetValue());
         }},
        {"intelligenttiering",
         "<IntelligentTieringConfiguration><Status>Enabled</Status><Transition><Days>60</Days>"
         "<RequestFrequent>1</RequestFrequent></Transition></IntelligentTieringConfiguration>",
         true, Put(&ZidAPI::PutBucketIntelligentTiering),
         [](ZidAPI& api) {
             GetBucketIntelligentTieringResp resp;
             Read(api, &ZidAPI::GetBucketIntelligentTiering, "intelligenttiering", &resp);
             EXPECT_EQ("Enabled", resp.GetStatus());
             EXPECT_EQ(60, resp.GetDays());
             EXPECT_EQ(1, resp.GetRequestFrequent());
         }},
        // No put of its own: the generic pair carries it.
        {"referer",
         "<RefererConfiguration><Status>Enabled</Status><RefererType>White-List</RefererType>"
         "<DomainList><Domain>*.example.com</Domain><Domain>example.org</Domain></DomainList>"
         "<EmptyReferConfiguration>Block</EmptyReferConfiguration></RefererConfiguration>",
         true, Put(&ZidAPI::GenericBucketRequestA),
         [](ZidAPI& api) {
             GetBucketRefererResp resp;
             Read(api, &ZidAPI::PlainBucketRequestE, "referer", &resp);
             EXPECT_EQ("Enabled", resp.GetStatus());
             EXPECT_EQ("White-List", resp.GetRefererType());
             EXPECT_EQ((std::vector<std::string>{"*.example.com", "example.org"}), resp.GetDomainList());
             EXPECT_EQ("Block", resp.GetEmptyReferConfiguration());
         }},
        // A body that is no XML goes as the caller set it.
        {"policy", "{\"Statement\":[{\"Effect\":\"Allow\",\"Action\":[\"name/zid:GetObject\"]}]}", true,
         PutRaw(&ZidAPI::SendBucketBodyWithMd5),
         [](ZidAPI& api) {
             BaseResp resp;
             Read(api, &ZidAPI::PlainBucketRequestF, "policy", &resp);
             EXPECT_EQ("{\"Statement\":[{\"Effect\":\"Allow\",\"Action\":[\"name/zid:GetObject\"]}]}",
                       resp.GetBody());
         }},
    };
    ZidAPI api(LoopbackConfig());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sub_resource);
        Service().ClearRequests();
        ZidResult put = c.put(api, c.sub_resource, c.document);
        ASSERT_TRUE(put.IsSucc()) << put.GetErrorCode() << " " << put.GetErrorMsg();
        const auto sent = Service().Requests();
        ASSERT_EQ(1u, sent.size());
        EXPECT_EQ("PUT", sent[0].method);
        EXPECT_EQ(1u, sent[0].params.count(c.sub_resource));
        EXPECT_EQ(c.document, sent[0].body);
        if (c.with_md5) {
            EXPECT_EQ(ContentMd5(c.document), sent[0].Header("Content-MD5"));
        } else {
            EXPECT_FALSE(sent[0].HasHeader("Content-MD5"));
        }
        EXPECT_EQ(c.document, Service().GetBucketConfig(StoreBucket(), c.sub_resource).value_or("<none>"));
        c.read_back(api);
    }
}

TEST_F(ZidAPIBucketConfig, InventoryIsKeptByIdAndListed) {
    const std::string document =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<InventoryConfiguration><Id>daily</Id><IsEnabled>true</IsEnabled><Destination>"
        "<ZIDBucketDestination><Format>CSV</Format><AccountId>100</AccountId>"
        "<Bucket>zid::ap-test::inv-1250000000</Bucket><Prefix>inv/</Prefix><Encryption><SSE-ZID/>"
        "</Encryption></ZIDBucketDestination></Destination><Schedule><Frequency>Daily</Frequency>"
        "</Schedule><Filter><Prefix>data/</Prefix></Filter><IncludedObjectVersions>All"
        "</IncludedObjectVersions><OptionalFields><Field>Size</Field><Field>ETag</Field>"
        "</OptionalFields></InventoryConfiguration>";
    ZidAPI api(LoopbackConfig());
    BaseResp put_resp;
    ASSERT_TRUE(api.PutBucketInventory(InventoryPutReq(kBucketName, "daily", document), &put_resp).IsSucc());
    const auto sent = Service().Requests();
    ASSERT_EQ(1u, sent.size());
    EXPECT_EQ("daily", sent[0].params.at("id"));
    EXPECT_EQ(1u, sent[0].params.count("inventory"));
    EXPECT_EQ(ContentMd5(document), sent[0].Header("Content-MD5"));
    EXPECT_EQ(document, Service().GetBucketConfig(StoreBucket(), "inventory:daily").value_or("<none>"));

    GetBucketInventoryReq get(kBucketName);
    get.SetId("daily");
    GetBucketInventoryResp one;
    ASSERT_TRUE(api.GetBucketInventory(get, &one).IsSucc());
    const Inventory& inventory = one.GetInventory();
    EXPECT_EQ("daily", inventory.GetId());
    EXPECT_TRUE(inventory.GetIsEnable());
    EXPECT_EQ("Daily", inventory.GetFrequency());
    EXPECT_EQ("data/", inventory.GetFilter());
    EXPECT_EQ("All", inventory.GetIncludedObjectVersions());
    EXPECT_EQ("CSV", inventory.GetZIDBucketDestination().GetFormat());
    EXPECT_EQ("zid::ap-test::inv-1250000000", inventory.GetZIDBucketDestination().GetBucket());
    EXPECT_TRUE(inventory.GetZIDBucketDestination().GetEncryption());
    EXPECT_TRUE(inventory.GetOptionalFields().GetIsSize());
    EXPECT_TRUE(inventory.GetOptionalFields().GetIsEtag());
    EXPECT_FALSE(inventory.GetOptionalFields().GetIsStorageClass());

    ASSERT_TRUE(api.PutBucketInventory(
        InventoryPutReq(kBucketName, "weekly", "<InventoryConfiguration><Id>weekly</Id></InventoryConfiguration>"),
        &put_resp).IsSucc());
    ListBucketInventoryConfigurationsResp list;
    ASSERT_TRUE(api.ListBucketInventoryConfigurations(Req("GET", "inventory"), &list).IsSucc());
    const auto listed = list.GetInventoryConfigurations();
    ASSERT_EQ(2u, listed.size());
    EXPECT_EQ("daily", listed[0].GetId());
    EXPECT_EQ("Daily", listed[0].GetFrequency());
    EXPECT_EQ("weekly", listed[1].GetId());
    EXPECT_FALSE(list.IsTruncated());
}

TEST_F(ZidAPIBucketConfig, MissingConfigurationsFailWithTheServiceCode) {
    struct Case {
        const char* sub_resource;
        const char* code;
        Call get;
        Call remove;  // empty: the configuration has no delete
    };
    auto inventory_get = [](ZidAPI& api) {
        GetBucketInventoryReq req(kBucketName);
        req.SetId("gone");
        GetBucketInventoryResp resp;
        return api.GetBucketInventory(req, &resp);
    };
    auto inventory_delete = [](ZidAPI& api) {
        DeleteBucketInventoryReq req(kBucketName);
        req.SetId("gone");
        BaseResp resp;
        return api.DeleteBucketInventory(req, &resp);
    };
    const std::vector<Case> cases = {
        {"cors", "NoSuchCORSConfiguration", Plain(&ZidAPI::GetBucketCORS, "GET", "cors"),
         Plain(&ZidAPI::DeleteBucketCORS, "DELETE", "cors")},
        {"lifecycle", "NoSuchLifecycleConfiguration",
         Plain(&ZidAPI::GetBucketLifecycle, "GET", "lifecycle"),
         Plain(&ZidAPI::DeleteBucketLifecycle, "DELETE", "lifecycle")},
        {"replication", "ReplicationConfigurationnotFoundError",
         Plain(&ZidAPI::GetBucketReplication, "GET", "replication"),
         Plain(&ZidAPI::DeleteBucketReplication, "DELETE", "replication")},
        {"website", "NoSuchWebsiteConfiguration", Plain(&ZidAPI::GetBucketWebsite, "GET", "website"),
         Plain(&ZidAPI::DeleteBucketWebsite, "DELETE", "website")},
        {"tagging", "NoSuchTagSet", Plain(&ZidAPI::GetBucketTagging, "GET", "tagging"),
         Plain(&ZidAPI::DeleteBucketTagging, "DELETE", "tagging")},
        {"inventory:gone", "NoSuchInventoryConfiguration", inventory_get, inventory_delete},
        {"domain", "NoSuchDomainConfiguration", Plain(&ZidAPI::GetBucketDomain, "GET", "domain"), {}},
        {"intelligenttiering", "NoSuchIntelligentTieringConfiguration",
         Plain(&ZidAPI::GetBucketIntelligentTiering, "GET", "intelligenttiering"), {}},
    };
    ZidAPI api(LoopbackConfig());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sub_resource);
        ZidResult missing = c.get(api);
        EXPECT_FALSE(missing.IsSucc());
        EXPECT_EQ(404, missing.GetHttpStatus());
        EXPECT_EQ(c.code, missing.GetErrorCode());
        EXPECT_FALSE(missing.GetXZidRequestId().empty());
        if (!c.remove) continue;
        // What was there is gone after the delete.
        std::string sub = c.sub_resource;
        ConfigReq put = Req("PUT", sub.substr(0, sub.find(':')).c_str());
        if (sub.find(':') != std::string::npos) put.AddParam("id", sub.substr(sub.find(':') + 1));
        put.SetBody("<Kept/>");
        BaseResp put_resp;
        ASSERT_TRUE(api.SendBucketBodyWithMd5(put, &put_resp).IsSucc());
        ASSERT_TRUE(Service().GetBucketConfig(StoreBucket(), c.sub_resource).has_value());
        ZidResult removed = c.remove(api);
        EXPECT_TRUE(removed.IsSucc()) << removed.GetErrorMsg();
        EXPECT_EQ(204, removed.GetHttpStatus());
        EXPECT_FALSE(Service().GetBucketConfig(StoreBucket(), c.sub_resource).has_value());
        EXPECT_EQ(c.code, c.get(api).GetErrorCode());
    }
}

TEST_F(ZidAPIBucketConfig, DomainRefusalInASuccessfulAnswerFailsTheCall) {
    ClientSettings::SetRetryOnBackupDomain(true);
    Fault refusal;
    refusal.kind = FaultKind::ErrorBody200;
    refusal.errorCode = "DomainConflict";
    refusal.queryParam = "domain";
    Service().AddFault(refusal);
    ZidAPI api(LoopbackConfig());
    PutBucketDomainResp resp;
    ZidResult r = api.PutBucketDomain(
        Req("PUT", "domain", "<DomainConfiguration><DomainRule><Name>x.example</Name></DomainRule></DomainConfiguration>"),
        &resp);
    EXPECT_FALSE(r.IsSucc());
    EXPECT_EQ(200, r.GetHttpStatus());
    EXPECT_EQ("DomainConflict", r.GetErrorCode());
    EXPECT_EQ("We encountered an internal error. Please try again.", r.GetErrorMsg());
    EXPECT_EQ("DomainConflict", resp.GetDomainErrorMsg().GetCode());
    EXPECT_EQ(r.GetErrorMsg(), resp.GetDomainErrorMsg().GetMessage());
    EXPECT_EQ(1u, Service().Requests().size()) << "a refusal is an answer: it is not sent again";
    EXPECT_FALSE(Service().GetBucketConfig(StoreBucket(), "domain").has_value());

    // The same put, accepted: an empty answer and an empty error record.
    PutBucketDomainResp accepted;
    EXPECT_TRUE(api.PutBucketDomain(Req("PUT", "domain", "<DomainConfiguration/>"), &accepted).IsSucc());
    EXPECT_EQ("", accepted.GetDomainErrorMsg().GetCode());
}

TEST_F(ZidAPIBucketConfig, ListingsReadIntoTheirOwnAnswers) {
    Seed("docs/a", "1");
    Seed("docs/b", "22");
    Seed("other", "3");
    ZidAPI api(LoopbackConfig());
    GetBucketReq list(kBucketName);
    list.SetPrefix("docs/");
    GetBucketResp page;
    ASSERT_TRUE(api.GetBucket(list, &page).IsSucc());
    const auto contents = page.GetContents();
    ASSERT_EQ(2u, contents.size());
    EXPECT_EQ("docs/a", contents[0].m_key);
    EXPECT_EQ("docs/b", contents[1].m_key);
    EXPECT_EQ("2", contents[1].m_size);
    EXPECT_EQ("docs/", page.GetPrefix());
    EXPECT_FALSE(page.IsTruncated());

    // Unfinished uploads through one of the caller's plain requests.
    InitMultiUploadReq init(kBucketName, "big");
    InitMultiUploadResp init_resp;
    ASSERT_TRUE(api.InitMultiUpload(init, &init_resp).IsSucc());
    ListMultipartUploadResp uploads;
    ASSERT_TRUE(api.PlainBucketRequestA(ListMultipartUploadReq(kBucketName), &uploads).IsSucc());
    ASSERT_EQ(1u, uploads.GetUpload().size());
    EXPECT_EQ("big", uploads.GetUpload()[0].m_key);
    EXPECT_EQ(init_resp.GetUploadId(), uploads.GetUpload()[0].m_upload_id);

    // What the service does not keep (live channels, versions, the account's buckets) is
    // listed by canned answers.
    auto canned = [](const char* query_param, const std::string& body) {
        Fault f;
        f.kind = FaultKind::TextBody200;
        f.method = "GET";
        f.queryParam = query_param;
        f.data = body;
        Service().AddFault(f);
    };
    canned("live",
           "<ListLiveChannelResult><Prefix>cam</Prefix><Marker></Marker><MaxKeys>100</MaxKeys>"
           "<IsTruncated>false</IsTruncated><LiveChannel><Name>cam1</Name>"
           "<LastModified>2026-01-02T03:04:05.000Z</LastModified></LiveChannel></ListLiveChannelResult>");
    ListLiveChannelResp channels;
    ASSERT_TRUE(api.ListLiveChannel(Req("GET", "live"), &channels).IsSucc());
    ASSERT_EQ(1u, channels.GetLiveChannels().size());
    EXPECT_EQ("cam1", channels.GetLiveChannels()[0].m_name);
    EXPECT_EQ("cam", channels.GetPrefix());
    EXPECT_EQ(1u, Service().Requests().back().params.count("live"));

    canned("versions",
           "<ListVersionsResult><Name>facade</Name><IsTruncated>false</IsTruncated>"
           "<Version><Key>docs/a</Key><VersionId>v2</VersionId><IsLatest>true</IsLatest></Version>"
           "<DeleteMarker><Key>docs/a</Key><VersionId>v1</VersionId></DeleteMarker></ListVersionsResult>");
    GetBucketObjectVersionsResp versions;
    ASSERT_TRUE(api.PlainBucketRequestB(Req("GET", "versions"), &versions).IsSucc());
    ASSERT_EQ(2u, versions.GetVersionSummary().size());
    EXPECT_EQ("v2", versions.GetVersionSummary()[0].m_version_id);
    EXPECT_TRUE(versions.GetVersionSummary()[1].m_is_delete_marker);

    const std::string buckets = "<ListAllMyBucketsResult><Buckets><Bucket><Name>facade</Name></Bucket>"
                                "</Buckets></ListAllMyBucketsResult>";
    canned("", buckets);
    BaseReq service;
    service.SetMethod("GET");
    service.SetPath("/");
    BaseResp listed;
    ASSERT_TRUE(api.GetService(service, &listed).IsSucc());
    EXPECT_EQ(buckets, listed.GetBody());
}

}  // namespace
}  // namespace zid_test
