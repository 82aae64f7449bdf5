// The object listing's page size, its scripted faults, keys that need escaping, and the
// location of a bucket.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ServiceTestBase.h"

namespace zid_service_test {
namespace {

using zid_local::Fault;
using zid_local::FaultKind;

// Every <Key> of a listing, entities decoded.
std::vector<std::string> Keys(const Reply& r) {
    std::vector<std::string> keys;
    for (size_t p = 0; (p = r.body.find("<Key>", p)) != std::string::npos; ++p) {
        Reply rest;
        rest.body = r.body.substr(p);
        keys.push_back(rest.Xml("Key"));
    }
    return keys;
}

class ListingTest : public ServiceTestBase {
protected:
    static Reply List(const std::map<std::string, std::string>& params, uint16_t port = 0) {
        Req r = Make("GET", "/");
        r.params = params;
        return TestClient(port ? port : Svc().Port()).Send(r);
    }
    static void PutKeys(zid_local::LocalService& svc, const std::vector<std::string>& keys) {
        for (const auto& k : keys) svc.PutObject(kBucket, k, "v:" + k);
    }
};

TEST_F(ListingTest, PageSizeIsTheOptionUntilSetAndComesBackWithClear) {
    const std::vector<std::string> keys = {"k1", "k2", "k3", "k4", "k5"};
    zid_local::ServiceOptions options;
    options.listPageSize = 3;
    zid_local::LocalService own(options);
    own.Start();
    PutKeys(own, keys);

    Reply first = List({}, own.Port());
    EXPECT_EQ(Keys(first), (std::vector<std::string>{"k1", "k2", "k3"}));
    EXPECT_EQ(first.Xml("MaxKeys"), "3");
    EXPECT_EQ(first.Xml("IsTruncated"), "true");

    own.SetListPageSize(2);
    EXPECT_EQ(Keys(List({}, own.Port())), (std::vector<std::string>{"k1", "k2"}));
    EXPECT_EQ(Keys(List({{"max-keys", "4"}}, own.Port())).size(), 4u) << "max-keys wins";

    own.Clear();
    PutKeys(own, keys);
    EXPECT_EQ(Keys(List({}, own.Port())).size(), 3u) << "Clear puts back the option";

    // The default: every key on one page.
    PutKeys(Svc(), keys);
    Reply all = List({});
    EXPECT_EQ(Keys(all), keys);
    EXPECT_EQ(all.Xml("IsTruncated"), "false");
}

TEST_F(ListingTest, OddKeysAreStoredListedAndDeletedExactly) {
    // Byte order, which is the listing's.
    const std::vector<std::string> keys = {"%", "&", "/a", "a", "a b", "p//x"};
    for (const auto& k : keys) ASSERT_EQ(Do("PUT", "/" + k, "v:" + k).status, 200) << k;
    EXPECT_EQ(Svc().ListKeys(kBucket), keys);
    EXPECT_EQ(Svc().GetObject(kBucket, "/a").value_or(""), "v:/a");
    EXPECT_EQ(Do("GET", "/p//x").body, "v:p//x");

    Reply listed = List({});
    EXPECT_EQ(Keys(listed), keys);
    EXPECT_NE(listed.body.find("<Key>&amp;</Key>"), std::string::npos) << listed.body;

    EXPECT_EQ(Do("DELETE", "//a").status, 204);
    EXPECT_EQ(Svc().ListKeys(kBucket), (std::vector<std::string>{"%", "&", "a", "a b", "p//x"}));
    for (const char* k : {"%", "&", "a", "a b", "p//x"}) EXPECT_EQ(Do("DELETE", std::string("/") + k).status, 204) << k;
    EXPECT_TRUE(Svc().ListKeys(kBucket).empty());
}

TEST_F(ListingTest, ListingFaultsBendOneObjectListingPage) {
    struct Case {
        const char* name;
        FaultKind kind;
        const char* marker;                  // the page asked for
        std::vector<std::string> keys;       // what the page lists
        const char* next_marker;             // nullptr: no NextMarker element
    };
    const Case cases[] = {
        {"no next marker", FaultKind::NoNextMarker, "", {"k1", "k2"}, nullptr},
        {"marker that does not move", FaultKind::StuckListing, "k2", {"k3", "k4"}, "k2"},
        {"empty page that says more follow", FaultKind::EmptyTruncatedListing, "k4", {}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Svc().Clear();
        Svc().SetListPageSize(2);
        PutKeys(Svc(), {"k1", "k2", "k3", "k4", "k5"});
        Fault f;
        f.kind = c.kind;
        f.method = "GET";
        Svc().AddFault(f);
        std::map<std::string, std::string> params;
        if (*c.marker) params["marker"] = c.marker;
        Reply page = List(params);
        EXPECT_EQ(page.status, 200);
        EXPECT_EQ(Keys(page), c.keys);
        EXPECT_EQ(page.Xml("IsTruncated"), "true");
        if (c.next_marker) {
            EXPECT_EQ(page.Xml("NextMarker"), c.next_marker);
        } else {
            EXPECT_EQ(page.body.find("<NextMarker>"), std::string::npos) << page.body;
        }
    }
}

TEST_F(ListingTest, LocationIsTheRegionTheHostNames) {
    struct Case {
        const char* host;
        const char* region;
    };
    const Case cases[] = {
        {"bkt-1250000000.zid.ap-test.objstore.example", "ap-test"},
        {"bkt-1250000000.zid.ap-test.objstore-backup.example:8080", "ap-test"},
        {"bkt-1250000000.cn-east.objstore.example", "cn-east"},
    };
    for (const auto& c : cases) {
        Req r = Make("GET", "/");
        r.host = c.host;
        r.params["location"] = "";
        Reply rep = Client().Send(r);
        EXPECT_EQ(rep.status, 200) << c.host;
        EXPECT_EQ(rep.body, std::string("<LocationConstraint>") + c.region + "</LocationConstraint>") << c.host;
    }
}

}  // namespace
}  // namespace zid_service_test
