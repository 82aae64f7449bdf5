// Bucket configurations kept as sent, and sub-resources the service does not keep.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "ServiceTestBase.h"

namespace zid_service_test {
namespace {

class BucketConfigTest : public ServiceTestBase {
protected:
    static Reply Config(const std::string& method, const std::string& sub_resource,
                        const std::string& body = std::string(),
                        const std::map<std::string, std::string>& extra = {}) {
        Req r = Make(method, "/", body);
        r.params[sub_resource] = "";
        for (const auto& p : extra) r.params[p.first] = p.second;
        return Client().Send(r);
    }
};

TEST_F(BucketConfigTest, ConfigurationsAreKeptAsSentAndRemoved) {
    struct Case {
        const char* sub_resource;
        int missing_status;   // GET before any PUT
        const char* missing;  // its error code, or the text of its empty document
    };
    const Case cases[] = {
        {"cors", 404, "NoSuchCORSConfiguration"},
        {"lifecycle", 404, "NoSuchLifecycleConfiguration"},
        {"website", 404, "NoSuchWebsiteConfiguration"},
        {"tagging", 404, "NoSuchTagSet"},
        {"replication", 404, "ReplicationConfigurationnotFoundError"},
        {"domain", 404, "NoSuchDomainConfiguration"},
        {"intelligenttiering", 404, "NoSuchIntelligentTieringConfiguration"},
        {"policy", 404, "NoSuchBucketPolicy"},
        {"versioning", 200, "<VersioningConfiguration/>"},
        {"logging", 200, "<BucketLoggingStatus/>"},
        {"referer", 200, "<RefererConfiguration/>"},
    };
    // Declaration, line breaks, an entity and UTF-8: nothing of it may be rewritten.
    const std::string body = "<?xml version=\"1.0\"?>\n<Conf>\n  <A>&amp; \xE4\xB8\xAD</A>\n</Conf>";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sub_resource);
        Reply before = Config("GET", c.sub_resource);
        EXPECT_EQ(c.missing_status, before.status);
        if (c.missing_status == 404) {
            EXPECT_EQ(c.missing, before.Xml("Code"));
        } else {
            EXPECT_EQ(c.missing, before.body);
        }

        Req put = Make("PUT", "/", body);
        put.params[c.sub_resource] = "";
        put.headers["Content-MD5"] = Md5Base64(body);
        ASSERT_EQ(200, Client().Send(put).status);
        Reply got = Config("GET", c.sub_resource);
        EXPECT_EQ(200, got.status);
        EXPECT_EQ(body, got.body);
        EXPECT_EQ(body, Svc().GetBucketConfig(kBucket, c.sub_resource).value_or("<none>"));

        EXPECT_EQ(204, Config("DELETE", c.sub_resource).status);
        EXPECT_EQ(c.missing_status, Config("GET", c.sub_resource).status);
        EXPECT_FALSE(Svc().GetBucketConfig(kBucket, c.sub_resource).has_value());
    }
    // Sub-resources of one bucket stand apart from each other, from other buckets and from
    // the listing.
    Svc().PutObject(kBucket, "k", "v");
    ASSERT_EQ(200, Config("PUT", "cors", "<C/>").status);
    EXPECT_EQ(404, Config("GET", "lifecycle").status);
    EXPECT_FALSE(Svc().GetBucketConfig("other-1250000000", "cors").has_value());
    EXPECT_EQ("k", Do("GET", "/").Xml("Key"));
    EXPECT_EQ(204, Config("DELETE", "cors").status);
    EXPECT_EQ("v", Svc().GetObject(kBucket, "k").value_or("<gone>")) << "a configuration delete is no bucket delete";
}

TEST_F(BucketConfigTest, ContentMd5IsCheckedWhenSent) {
    Req bad = Make("PUT", "/", "<C/>");
    bad.params["cors"] = "";
    bad.headers["Content-MD5"] = Md5Base64("<other/>");
    Reply r = Client().Send(bad);
    EXPECT_EQ(400, r.status);
    EXPECT_EQ("BadDigest", r.Xml("Code"));
    EXPECT_FALSE(Svc().GetBucketConfig(kBucket, "cors").has_value());
    // Without the header the body is taken as it came, an empty one too.
    EXPECT_EQ(200, Config("PUT", "website", "").status);
    EXPECT_EQ("", Svc().GetBucketConfig(kBucket, "website").value_or("<none>"));
}

TEST_F(BucketConfigTest, InventoryConfigurationsByIdAndTheirListing) {
    EXPECT_EQ(400, Config("PUT", "inventory", "<I/>").status) << "an inventory needs its id";
    EXPECT_EQ(400, Config("DELETE", "inventory").status);
    Reply missing = Config("GET", "inventory", "", {{"id", "a"}});
    EXPECT_EQ(404, missing.status);
    EXPECT_EQ("NoSuchInventoryConfiguration", missing.Xml("Code"));
    ASSERT_EQ(200, Config("PUT", "inventory",
                          "<?xml version=\"1.0\"?><InventoryConfiguration><Id>b</Id></InventoryConfiguration>",
                          {{"id", "b"}}).status);
    ASSERT_EQ(200, Config("PUT", "inventory", "<InventoryConfiguration><Id>a</Id></InventoryConfiguration>",
                          {{"id", "a"}}).status);
    EXPECT_EQ("<InventoryConfiguration><Id>a</Id></InventoryConfiguration>",
              Config("GET", "inventory", "", {{"id", "a"}}).body);
    Reply list = Config("GET", "inventory");
    EXPECT_EQ(200, list.status);
    EXPECT_EQ("<ListInventoryConfigurationResult><InventoryConfiguration><Id>a</Id></InventoryConfiguration>"
              "<InventoryConfiguration><Id>b</Id></InventoryConfiguration>"
              "<IsTruncated>false</IsTruncated></ListInventoryConfigurationResult>",
              list.body);
    EXPECT_EQ(204, Config("DELETE", "inventory", "", {{"id", "a"}}).status);
    EXPECT_EQ(1u, Config("GET", "inventory").Count("InventoryConfiguration"));
}

TEST_F(BucketConfigTest, BucketAclFollowsTheCannedHeaderOrTheBody) {
    Reply initial = Config("GET", "acl");
    EXPECT_EQ(200, initial.status);
    EXPECT_NE(std::string::npos, initial.body.find("FULL_CONTROL"));
    EXPECT_EQ(std::string::npos, initial.body.find("AllUsers"));
    Req canned = Make("PUT", "/");
    canned.params["acl"] = "";
    canned.headers["x-zid-acl"] = "public-read";
    ASSERT_EQ(200, Client().Send(canned).status);
    EXPECT_NE(std::string::npos, Config("GET", "acl").body.find("AllUsers"));
    const std::string doc = "<AccessControlPolicy><Owner><ID>o</ID></Owner></AccessControlPolicy>";
    ASSERT_EQ(200, Config("PUT", "acl", doc).status);
    EXPECT_EQ(doc, Config("GET", "acl").body);
}

TEST_F(BucketConfigTest, UnknownSubResourceIsAnErrorNotAListing) {
    Svc().PutObject(kBucket, "k", "v");
    for (const char* method : {"GET", "PUT", "DELETE", "HEAD"}) {
        SCOPED_TRACE(method);
        Reply r = Config(method, "versions");
        EXPECT_EQ(501, r.status);
        EXPECT_EQ(std::string::npos, r.body.find("ListBucketResult"));
    }
    EXPECT_EQ("v", Svc().GetObject(kBucket, "k").value_or("<gone>")) << "a DELETE with a sub-resource is no bucket delete";
    // Listing parameters still make a listing.
    Req list = Make("GET", "/");
    list.params["prefix"] = "k";
    list.params["max-keys"] = "5";
    EXPECT_EQ("k", Client().Send(list).Xml("Key"));
}

}  // namespace
}  // namespace zid_service_test
