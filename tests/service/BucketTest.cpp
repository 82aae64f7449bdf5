// Bucket listing, multi-object delete, object ACL and tagging.
#include <gtest/gtest.h>


#include <set>

#include "ServiceStore.h"
#include "ServiceTestBase.h"

namespace zid_service_test {
namespace {

std::vector<std::string> All(const Reply& r, const std::string& element) {
    std::vector<std::string> out;
    for (size_t p = 0; (p = r.body.find("<" + element + ">", p)) != std::string::npos;) {
        p += element.size() + 2;
        out.push_back(r.body.substr(p, r.body.find("</" + element + ">", p) - p));
    }
    return out;
}

class BucketTest : public ServiceTestBase {
protected:
    Reply List(const std::map<std::string, std::string>& params) {
        Req r = Make("GET", "/");
        r.params = params;
        return Client().Send(r);
    }
    Reply WithBody(const std::string& method, const std::string& path, const std::string& param,
                   const std::string& body, bool md5 = true) {
        Req r = Make(method, path, body);
        r.params[param] = "";
        if (md5) r.headers["Content-MD5"] = Md5Base64(body);
        return Client().Send(r);
    }
};

TEST_F(BucketTest, ListingWithPrefixDelimiterAndPaging) {
    for (const char* k : {"a.txt", "dir/1", "dir/2", "dir/sub/3", "dis", "z/9"}) Svc().PutObject(kBucket, k, k);

    Reply all = List({});
    ASSERT_EQ(all.status, 200) << all.body;
    EXPECT_EQ(All(all, "Key"), (std::vector<std::string>{"a.txt", "dir/1", "dir/2", "dir/sub/3", "dis", "z/9"}));
    EXPECT_EQ(all.Xml("Name"), kBucket);
    EXPECT_EQ(all.Xml("IsTruncated"), "false");
    EXPECT_NE(all.body.find("<Size>5</Size>"), std::string::npos);

    Reply dir = List({{"prefix", "dir/"}, {"delimiter", "/"}});
    EXPECT_EQ(All(dir, "Key"), (std::vector<std::string>{"dir/1", "dir/2"}));
    EXPECT_NE(dir.body.find("<CommonPrefixes><Prefix>dir/sub/</Prefix></CommonPrefixes>"), std::string::npos);

    Reply top = List({{"delimiter", "/"}});
    EXPECT_EQ(All(top, "Key"), (std::vector<std::string>{"a.txt", "dis"}));
    EXPECT_EQ(top.Count("CommonPrefixes"), 2u);

    Reply after = List({{"marker", "dir/2"}});
    EXPECT_EQ(All(after, "Key"), (std::vector<std::string>{"dir/sub/3", "dis", "z/9"}));

    // Walking pages of two, with and without a delimiter, sees every entry exactly once.
    for (const std::string& delimiter : {std::string(), std::string("/")}) {
        std::vector<std::string> seen;
        std::string marker;
        for (int page = 0; page < 10; ++page) {
            std::map<std::string, std::string> p = {{"max-keys", "2"}};
            if (!marker.empty()) p["marker"] = marker;
            if (!delimiter.empty()) p["delimiter"] = delimiter;
            Reply r = List(p);
            for (const auto& k : All(r, "Key")) seen.push_back(k);
            for (const auto& k : All(r, "Prefix"))
                if (!k.empty()) seen.push_back(k);
            if (r.Xml("IsTruncated") != "true") break;
            ASSERT_FALSE(r.Xml("NextMarker").empty());
            ASSERT_NE(r.Xml("NextMarker"), marker);
            marker = r.Xml("NextMarker");
        }
        std::vector<std::string> expected = delimiter.empty()
            ? std::vector<std::string>{"a.txt", "dir/1", "dir/2", "dir/sub/3", "dis", "z/9"}
            : std::vector<std::string>{"a.txt", "dir/", "dis", "z/"};
        std::sort(seen.begin(), seen.end());
        EXPECT_EQ(seen, expected) << "delimiter '" << delimiter << "'";
    }

    Reply encoded = List({{"prefix", "a"}, {"encoding-type", "url"}});
    EXPECT_EQ(encoded.Xml("EncodingType"), "url");
    Svc().PutObject(kBucket, "a b", "x");
    EXPECT_NE(List({{"encoding-type", "url"}}).body.find("<Key>a%20b</Key>"), std::string::npos);
    EXPECT_EQ(List({{"max-keys", "many"}}).status, 400);
}

// Requests to a bucket that was never made, or was deleted: each answers 404 NoSuchBucket
// and leaves nothing behind.
void ExpectNoSuchBucket(uint16_t port, const std::string& host) {
    struct Case {
        const char* method;
        const char* path;
        const char* param;  // a sub-resource, or nullptr
    };
    const Case cases[] = {
        {"GET", "/", nullptr},         {"GET", "/", "location"},   {"PUT", "/", "cors"},
        {"GET", "/", "cors"},          {"DELETE", "/", nullptr},   {"GET", "/k", nullptr},
        {"PUT", "/k", nullptr},        {"DELETE", "/k", nullptr},  {"POST", "/k", "uploads"},
        {"GET", "/", "uploads"},       {"PUT", "/k", "acl"},
    };
    for (const auto& c : cases) {
        Req r;
        r.method = c.method;
        r.host = host;
        r.path = c.path;
        if (c.param) r.params[c.param] = "";
        Reply rep = TestClient(port).Send(r);
        std::string what = std::string(c.method) + " " + c.path + (c.param ? std::string("?") + c.param : "");
        EXPECT_EQ(rep.status, 404) << what << " " << rep.body;
        EXPECT_EQ(rep.Xml("Code"), "NoSuchBucket") << what;
    }
    Req head;
    head.method = "HEAD";
    head.host = host;
    head.path = "/";
    EXPECT_EQ(TestClient(port).Send(head).status, 404);
}

TEST_F(BucketTest, BucketsAreMadeByTheirPutAndDeletedOnlyWhenEmpty) {
    const std::string host = "fresh-1250000000.zid.ap-test.example";
    const std::string bucket = "fresh-1250000000";
    auto on = [&](const std::string& method, const std::string& path, const char* param = nullptr) {
        Req r = Make(method, path);
        r.host = host;
        if (param) r.params[param] = "";
        return Client().Send(r);
    };
    ExpectNoSuchBucket(Svc().Port(), host);
    EXPECT_FALSE(Svc().HasBucket(bucket)) << "a refused request made the bucket";
    EXPECT_FALSE(Svc().GetObject(bucket, "k").has_value());

    ASSERT_EQ(on("PUT", "/").status, 200);
    EXPECT_TRUE(Svc().HasBucket(bucket));
    EXPECT_EQ(on("HEAD", "/").status, 200);
    Reply empty = on("GET", "/");
    EXPECT_EQ(empty.status, 200);
    EXPECT_EQ(empty.Xml("Name"), bucket);
    EXPECT_EQ(empty.Count("Contents"), 0u);
    EXPECT_EQ(on("GET", "/missing").Xml("Code"), "NoSuchKey") << "a missing key in a bucket that exists";

    // Made again, a bucket keeps what it holds.
    Svc().PutObject(bucket, "x", "1");
    EXPECT_EQ(on("PUT", "/").status, 200);
    EXPECT_EQ(Svc().ListKeys(bucket), std::vector<std::string>{"x"});

    Reply full = on("DELETE", "/");
    EXPECT_EQ(full.status, 409);
    EXPECT_EQ(full.Xml("Code"), "BucketNotEmpty");
    Svc().DeleteObject(bucket, "x");
    // An open multipart upload keeps the bucket too.
    Reply init = on("POST", "/big", "uploads");
    ASSERT_EQ(init.status, 200) << init.body;
    EXPECT_EQ(on("DELETE", "/").Xml("Code"), "BucketNotEmpty");
    Req abort = Make("DELETE", "/big");
    abort.host = host;
    abort.params["uploadId"] = init.Xml("UploadId");
    ASSERT_EQ(Client().Send(abort).status, 204);

    Req cors = Make("PUT", "/", "<CORSConfiguration/>");
    cors.host = host;
    cors.params["cors"] = "";
    cors.headers["Content-MD5"] = Md5Base64(cors.body);
    ASSERT_EQ(Client().Send(cors).status, 200);
    EXPECT_EQ(on("DELETE", "/").status, 204);
    EXPECT_FALSE(Svc().HasBucket(bucket));
    ExpectNoSuchBucket(Svc().Port(), host);
    // A bucket made again under the same name starts without the old configurations.
    ASSERT_EQ(on("PUT", "/").status, 200);
    EXPECT_EQ(on("GET", "/", "cors").status, 404);
    EXPECT_NE(on("GET", "/", "cors").Xml("Code"), "NoSuchBucket");

    EXPECT_EQ(Do("POST", "/").status, 405);
}

// A request checks its bucket when it is routed; the store still refuses a write into a bucket
// deleted since, so a delete under way never leaves the bucket made again by an upload.
TEST(ServiceStoreBuckets, WritesIntoABucketThatIsGoneAreRefused) {
    zid_local::ServiceStore store;
    EXPECT_EQ(store.Put("gone-1", "k", "v", {}), nullptr);
    EXPECT_EQ(store.InitUpload("gone-1", "k", {}), "");
    EXPECT_FALSE(store.HasBucket("gone-1"));
    EXPECT_EQ(store.DeleteBucket("gone-1"), "NoSuchBucket");

    store.MakeBucket("gone-1");
    ASSERT_NE(store.Put("gone-1", "k", "v", {}), nullptr);
    EXPECT_EQ(store.DeleteBucket("gone-1"), "BucketNotEmpty");
    ASSERT_TRUE(store.Delete("gone-1", "k"));
    EXPECT_EQ(store.DeleteBucket("gone-1"), "");
    EXPECT_EQ(store.Put("gone-1", "k", "late", {}), nullptr);
    EXPECT_FALSE(store.HasBucket("gone-1"));
}

TEST_F(BucketTest, ClearKeepsTheStandingBucketsOnly) {
    Svc().CreateBucket("made-1");
    Svc().PutObject(kBucket, "x", "1");
    Svc().Clear();
    EXPECT_FALSE(Svc().HasBucket("made-1"));
    EXPECT_TRUE(Svc().HasBucket(kBucket));
    EXPECT_TRUE(Svc().ListKeys(kBucket).empty());
    EXPECT_EQ(Do("HEAD", "/").status, 200);
}

TEST_F(BucketTest, ABareAddressNamesNoBucketUnlessOneIsBoundToIt) {
    const std::string bare = "127.0.0.1:" + std::to_string(Svc().Port());
    Req r = Make("GET", "/k");
    r.host = bare;
    Reply rep = Client().Send(r);
    EXPECT_EQ(rep.status, 404);
    EXPECT_EQ(rep.Xml("Code"), "NoSuchBucket");
    EXPECT_NE(rep.Xml("Message").find("names no bucket"), std::string::npos) << rep.body;
    EXPECT_NE(rep.Xml("Message").find("--domain-bucket"), std::string::npos) << rep.body;
    // Nor can a bucket without a name be made there.
    r.method = "PUT";
    r.path = "/";
    EXPECT_EQ(Client().Send(r).Xml("Code"), "NoSuchBucket");

    zid_local::ServiceOptions o;
    o.domainBucket = "bound-7";
    zid_local::LocalService bound(o);
    bound.Start();
    EXPECT_TRUE(bound.HasBucket("bound-7")) << "the bound bucket is there from the start";
    bound.PutObject("bound-7", "k", "through the bare address");
    Req get = Make("GET", "/k");
    get.host = "127.0.0.1:" + std::to_string(bound.Port());
    Reply got = TestClient(bound.Port()).Send(get);
    EXPECT_EQ(got.status, 200) << got.body;
    EXPECT_EQ(got.body, "through the bare address");
}

TEST_F(BucketTest, MultiDelete) {
    for (const char* k : {"a", "b", "c & d"}) Svc().PutObject(kBucket, k, "x");
    std::string body =
        "<Delete>\n\t<Quiet>false</Quiet>\n\t<Object>\n\t\t<Key>a</Key>\n\t</Object>\n\t<Object>\n\t\t<Key>c &amp; d</Key>\n"
        "\t\t<VersionId>v1</VersionId>\n\t</Object>\n\t<Object>\n\t\t<Key>never-there</Key>\n\t</Object>\n</Delete>\n\n";
    Reply rep = WithBody("POST", "/", "delete", body);
    ASSERT_EQ(rep.status, 200) << rep.body;
    EXPECT_EQ(rep.Count("Deleted"), 3u);
    EXPECT_NE(rep.body.find("<Key>c &amp; d</Key><VersionId>v1</VersionId>"), std::string::npos);
    EXPECT_EQ(Svc().ListKeys(kBucket), std::vector<std::string>{"b"});

    std::string quiet = "<Delete>\n\t<Quiet>true</Quiet>\n\t<Object>\n\t\t<Key>b</Key>\n\t</Object>\n</Delete>\n\n";
    Reply q = WithBody("POST", "/", "delete", quiet);
    EXPECT_EQ(q.status, 200);
    EXPECT_EQ(q.Count("Deleted"), 0u);
    EXPECT_TRUE(Svc().ListKeys(kBucket).empty());

    Req badMd5 = Make("POST", "/", quiet);
    badMd5.params["delete"] = "";
    badMd5.headers["Content-MD5"] = Md5Base64("other");
    EXPECT_EQ(Client().Send(badMd5).Xml("Code"), "BadDigest");
    EXPECT_EQ(WithBody("POST", "/", "delete", "<Nope/>").Xml("Code"), "MalformedXML");
}

TEST_F(BucketTest, ObjectAcl) {
    Svc().PutObject(kBucket, "o", "x");
    Req getReq = Make("GET", "/o");
    getReq.params["acl"] = "";
    Reply def = Client().Send(getReq);
    ASSERT_EQ(def.status, 200);
    EXPECT_NE(def.body.find("<AccessControlPolicy>"), std::string::npos);
    EXPECT_EQ(def.Xml("Permission"), "FULL_CONTROL");
    EXPECT_EQ(def.Xml("DisplayName"), "AKID");

    std::string acl =
        "<AccessControlPolicy>\n\t<Owner>\n\t\t<ID>owner-1</ID>\n\t</Owner>\n\t<AccessControlList>\n\t\t<Grant>\n"
        "\t\t\t<Grantee xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xsi:type=\"CanonicalUser\">\n"
        "\t\t\t\t<ID>user-2</ID>\n\t\t\t</Grantee>\n\t\t\t<Permission>READ</Permission>\n\t\t</Grant>\n"
        "\t</AccessControlList>\n</AccessControlPolicy>\n\n";
    ASSERT_EQ(WithBody("PUT", "/o", "acl", acl).status, 200);
    Reply got = Client().Send(getReq);
    EXPECT_EQ(got.body, acl);
    EXPECT_EQ(Svc().GetObjectAcl(kBucket, "o"), acl);

    Req canned = Make("PUT", "/o");
    canned.params["acl"] = "";
    canned.headers["x-zid-acl"] = "public-read";
    ASSERT_EQ(Client().Send(canned).status, 200);
    Reply pub = Client().Send(getReq);
    EXPECT_NE(pub.body.find("xsi:type=\"Group\""), std::string::npos);
    EXPECT_NE(pub.body.find("<Permission>READ</Permission>"), std::string::npos);

    Req del = Make("DELETE", "/o");
    del.params["acl"] = "";
    EXPECT_EQ(Client().Send(del).status, 204);
    EXPECT_TRUE(Svc().GetObject(kBucket, "o").has_value());  // only the ACL goes
    EXPECT_EQ(Client().Send(getReq).body, def.body);

    struct Case {
        const char* name;
        std::string body;
        const char* path;
        int status;
    };
    const Case cases[] = {
        {"no grant", "<AccessControlPolicy><Owner><ID>a</ID></Owner><AccessControlList/></AccessControlPolicy>", "/o", 400},
        {"no owner", "<AccessControlPolicy><AccessControlList><Grant><Grantee/><Permission>READ</Permission></Grant>"
                     "</AccessControlList></AccessControlPolicy>", "/o", 400},
        {"bad permission", "<AccessControlPolicy><Owner><ID>a</ID></Owner><AccessControlList><Grant><Grantee/>"
                           "<Permission>ALL</Permission></Grant></AccessControlList></AccessControlPolicy>", "/o", 400},
        {"missing object", acl, "/missing", 404},
    };
    for (const auto& c : cases) EXPECT_EQ(WithBody("PUT", c.path, "acl", c.body).status, c.status) << c.name;
}

TEST_F(BucketTest, ObjectTagging) {
    Svc().PutObject(kBucket, "t", "x");
    std::string tags =
        "<Tagging>\n\t<TagSet>\n\t\t<Tag>\n\t\t\t<Key>k1</Key>\n\t\t\t<Value>v1</Value>\n\t\t</Tag>\n\t\t<Tag>\n"
        "\t\t\t<Key>k&amp;2</Key>\n\t\t\t<Value></Value>\n\t\t</Tag>\n\t</TagSet>\n</Tagging>\n\n";
    ASSERT_EQ(WithBody("PUT", "/t", "tagging", tags).status, 200);
    EXPECT_EQ(Svc().GetObjectTags(kBucket, "t"), (std::map<std::string, std::string>{{"k1", "v1"}, {"k&2", ""}}));
    Req get = Make("GET", "/t");
    get.params["tagging"] = "";
    Reply g = Client().Send(get);
    EXPECT_EQ(g.status, 200);
    EXPECT_NE(g.body.find("<Tag><Key>k1</Key><Value>v1</Value></Tag>"), std::string::npos);
    EXPECT_NE(g.body.find("<Key>k&amp;2</Key>"), std::string::npos);

    Req del = Make("DELETE", "/t");
    del.params["tagging"] = "";
    EXPECT_EQ(Client().Send(del).status, 204);
    EXPECT_TRUE(Svc().GetObjectTags(kBucket, "t").empty());
    EXPECT_EQ(Client().Send(get).body, "<Tagging><TagSet></TagSet></Tagging>");
    EXPECT_TRUE(Svc().GetObject(kBucket, "t").has_value());  // the object stays

    const std::pair<const char*, std::string> bad[] = {
        {"no TagSet", "<Tagging/>"},
        {"empty key", "<Tagging><TagSet><Tag><Key></Key><Value>v</Value></Tag></TagSet></Tagging>"},
        {"duplicate key", "<Tagging><TagSet><Tag><Key>a</Key><Value>1</Value></Tag><Tag><Key>a</Key><Value>2</Value>"
                          "</Tag></TagSet></Tagging>"},
        {"not xml", "tags"},
    };
    for (const auto& b : bad) EXPECT_EQ(WithBody("PUT", "/t", "tagging", b.second).status, 400) << b.first;
    std::string eleven = "<Tagging><TagSet>";
    for (int i = 0; i < 11; ++i) eleven += "<Tag><Key>k" + std::to_string(i) + "</Key><Value>v</Value></Tag>";
    eleven += "</TagSet></Tagging>";
    EXPECT_EQ(WithBody("PUT", "/t", "tagging", eleven).status, 400);
    EXPECT_EQ(WithBody("PUT", "/nothing", "tagging", tags).status, 404);
}

}  // namespace
}  // namespace zid_service_test
