// Delete by prefix and the bucket location, against the loopback service.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ApiTestSupport.h"

using namespace zuzezi_zid;
using zid_local::Fault;
using zid_local::FaultKind;

namespace zid_test {
namespace {

class DeleteByPrefix : public RelayedApiFixture {
protected:
    void SetUp() override {
        RelayedApiFixture::SetUp();
        Service().SetListPageSize(2);
    }
    static void SeedKeys(const std::vector<std::string>& keys) {
        for (const auto& k : keys) Seed(k, "v:" + k);
    }
    static std::vector<std::string> Keys() { return Service().ListKeys(StoreBucket()); }
    // The marker each listing asked for ("" for none), in order.
    static std::vector<std::string> ListingMarkers() {
        std::vector<std::string> markers;
        for (const auto& r : Service().Requests()) {
            if (r.method != "GET" || !r.params.count("prefix")) continue;
            auto m = r.params.find("marker");
            markers.push_back(m == r.params.end() ? "" : m->second);
        }
        return markers;
    }
    static std::vector<std::string> DeletedOnService() {
        std::vector<std::string> keys;
        for (const auto& r : Service().Requests())
            if (r.method == "DELETE") keys.push_back(r.key);
        return keys;
    }
    static ZidResult Run(const std::string& prefix, DeleteObjectsByPrefixResp* resp) {
        ZidAPI api(LoopbackConfig());
        DeleteObjectsByPrefixReq req(kBucketName, prefix);
        return api.DeleteObjectsByPrefix(req, resp);
    }
};

TEST_F(DeleteByPrefix, EveryPageIsDeletedInListingOrderAndTheResponseGathersRuns) {
    SeedKeys({"logs/1", "logs/2", "logs/3", "logs/4", "logs/5", "logs0", "other"});
    DeleteObjectsByPrefixResp resp;
    ZidResult r = Run("logs/", &resp);
    ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(200, r.GetHttpStatus()) << "the last listing's result";
    EXPECT_EQ((std::vector<std::string>{"logs/1", "logs/2", "logs/3", "logs/4", "logs/5"}),
              resp.GetDeletedKeys());
    EXPECT_EQ(resp.GetDeletedKeys(), DeletedOnService());
    EXPECT_EQ((std::vector<std::string>{"logs0", "other"}), Keys());
    EXPECT_EQ((std::vector<std::string>{"", "logs/2", "logs/4"}), ListingMarkers());

    // Nothing under the prefix: one listing, a success, and the keys of the first run stay.
    Service().ClearRequests();
    ASSERT_TRUE(Run("none/", &resp).IsSucc());
    EXPECT_EQ(std::vector<std::string>{""}, ListingMarkers());
    EXPECT_EQ(5u, resp.GetDeletedKeys().size());

    ASSERT_TRUE(Run("other", &resp).IsSucc());
    EXPECT_EQ(6u, resp.GetDeletedKeys().size());
    EXPECT_EQ("other", resp.GetDeletedKeys().back());
}

TEST_F(DeleteByPrefix, KeysAreDeletedExactlyAsListed) {
    SeedKeys({"%", "&", "/a", "a", "a b", "p//x"});
    DeleteObjectsByPrefixResp slash;
    ASSERT_TRUE(Run("/", &slash).IsSucc());
    EXPECT_EQ(std::vector<std::string>{"/a"}, slash.GetDeletedKeys());
    EXPECT_EQ((std::vector<std::string>{"%", "&", "a", "a b", "p//x"}), Keys()) << "\"a\" is not \"/a\"";

    Service().ClearRequests();
    DeleteObjectsByPrefixResp all;
    ZidResult r = Run("", &all);
    ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ((std::vector<std::string>{"%", "&", "a", "a b", "p//x"}), all.GetDeletedKeys());
    EXPECT_EQ(all.GetDeletedKeys(), DeletedOnService());
    EXPECT_TRUE(Keys().empty());
}

TEST_F(DeleteByPrefix, AFailedDeleteEndsTheRunWithItsResult) {
    SeedKeys({"p/a", "p/b", "p/c", "p/d"});
    Fault refused;
    refused.status = 403;
    refused.errorCode = "AccessDenied";
    refused.method = "DELETE";
    refused.keySubstring = "p/c";
    Service().AddFault(refused);
    DeleteObjectsByPrefixResp resp;
    ZidResult r = Run("p/", &resp);
    EXPECT_FALSE(r.IsSucc());
    EXPECT_EQ(403, r.GetHttpStatus());
    EXPECT_EQ("AccessDenied", r.GetErrorCode());
    EXPECT_EQ((std::vector<std::string>{"p/a", "p/b"}), resp.GetDeletedKeys()) << "the first page stays listed";
    EXPECT_EQ((std::vector<std::string>{"p/a", "p/b", "p/c"}), DeletedOnService()) << "p/d is never touched";
    EXPECT_EQ((std::vector<std::string>{"p/c", "p/d"}), Keys());
}

// Each listing fault on keys k1..k5, pages of two: the run goes on wherever the listing says
// it may, and ends, saying so, where it cannot advance or stops being trustworthy.
TEST_F(DeleteByPrefix, ListingFaultsNeverLoopNorPassForDone) {
    struct Case {
        const char* name;
        std::vector<FaultKind> kinds;      // combined on the same listings
        int skip;                          // listings let through first
        int times;                         // listings hit; -1: all that follow
        bool succeeds;
        std::vector<std::string> markers;  // of the listings sent
        size_t deleted;
        const char* message;               // part of the failure's message
    };
    const Case cases[] = {
        {"no NextMarker: on after the last key", {FaultKind::NoNextMarker}, 0, -1, true, {"", "k2", "k4"}, 5, ""},
        {"next marker that does not advance", {FaultKind::StuckListing}, 1, -1, false, {"", "k2"}, 4,
         "did not advance"},
        // The page stopped before its keys (k3, k4, which the service keeps back): on from
        // its NextMarker.
        {"empty page that says more follow", {FaultKind::EmptyTruncatedListing}, 1, 1, true,
         {"", "k2", "k4"}, 3, ""},
        {"empty page that says more follow, without a NextMarker",
         {FaultKind::EmptyTruncatedListing, FaultKind::NoNextMarker}, 1, 1, false, {"", "k2"}, 2,
         "did not advance"},
        // Asked of the backup domain too, which answers the same.
        {"2xx page that is no listing", {FaultKind::TextBody200}, 1, -1, false, {"", "k2", "k2"}, 2, "OK"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Service().Clear();
        Service().SetListPageSize(2);
        SeedKeys({"k1", "k2", "k3", "k4", "k5"});
        for (FaultKind kind : c.kinds) {
            Fault f;
            f.kind = kind;
            f.method = "GET";
            f.queryParam = "prefix";
            f.skip = c.skip;
            f.times = c.times;
            Service().AddFault(f);
        }
        DeleteObjectsByPrefixResp resp;
        ZidResult r = Run("k", &resp);
        EXPECT_EQ(c.succeeds, r.IsSucc()) << r.GetErrorMsg();
        EXPECT_NE(std::string::npos, r.GetErrorMsg().find(c.message)) << r.GetErrorMsg();
        EXPECT_EQ(c.markers, ListingMarkers());
        EXPECT_EQ(c.deleted, resp.GetDeletedKeys().size());
        EXPECT_EQ(5 - c.deleted, Keys().size());
    }
}

// A 200 refusal is no empty page: the run ends with the refusal's code, nothing deleted.
TEST_F(DeleteByPrefix, AnErrorDocumentInA2xxListingEndsTheRunWithItsCode) {
    SeedKeys({"k1", "k2"});
    Fault refusal;
    refusal.kind = FaultKind::ErrorBody200;
    refusal.errorCode = "AccessDenied";
    refusal.method = "GET";
    refusal.times = -1;
    Service().AddFault(refusal);
    DeleteObjectsByPrefixResp resp;
    ZidResult r = Run("k", &resp);
    EXPECT_FALSE(r.IsSucc());
    EXPECT_EQ(200, r.GetHttpStatus());
    EXPECT_EQ("AccessDenied", r.GetErrorCode());
    EXPECT_TRUE(resp.GetDeletedKeys().empty());
    EXPECT_EQ(2u, Keys().size());
}

TEST_F(DeleteByPrefix, AKeyOutsideThePrefixStopsTheRunBeforeAnyDeletion) {
    SeedKeys({"p/a", "q/b"});
    Fault stray;
    stray.kind = FaultKind::TextBody200;
    stray.method = "GET";
    stray.data = "<ListBucketResult><Name>x</Name><Prefix>p/</Prefix><IsTruncated>false</IsTruncated>"
                 "<Contents><Key>p/a</Key></Contents><Contents><Key>q/b</Key></Contents></ListBucketResult>";
    Service().AddFault(stray);
    DeleteObjectsByPrefixResp resp;
    ZidResult r = Run("p/", &resp);
    EXPECT_FALSE(r.IsSucc());
    EXPECT_NE(std::string::npos, r.GetErrorMsg().find("q/b")) << r.GetErrorMsg();
    EXPECT_TRUE(resp.GetDeletedKeys().empty());
    EXPECT_TRUE(DeletedOnService().empty());
    EXPECT_EQ(2u, Keys().size());
}

TEST_F(DeleteByPrefix, APageListedOnTheBackupDomainIsDeletedAndTheNextStartsOnTheDefault) {
    // A failed listing is asked of the backup domain whatever the retry setting.
    ClientSettings::SetRetryOnBackupDomain(false);
    SeedKeys({"k1", "k2", "k3"});
    Fault down = OnPrimary();
    down.method = "GET";
    down.queryParam = "prefix";
    down.times = 1;
    Service().AddFault(down);
    DeleteObjectsByPrefixResp resp;
    ZidResult r = Run("k", &resp);
    ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ((std::vector<std::string>{"k1", "k2", "k3"}), resp.GetDeletedKeys());
    std::vector<std::string> listed_on;
    for (const auto& req : Service().Requests()) {
        if (req.method != "GET") continue;
        const bool backup = req.host.find(ClientSettings::kBackupDomainSuffix) != std::string::npos;
        const auto marker = req.params.find("marker");
        listed_on.push_back(std::string(backup ? "backup " : "default ") +
                            (marker == req.params.end() ? "" : marker->second));
    }
    EXPECT_EQ((std::vector<std::string>{"default ", "backup ", "default k2"}), listed_on);
}

class BucketLocation : public RelayedApiFixture {};

TEST_F(BucketLocation, IsTheRegionTheServiceAnswers) {
    for (const char* region : {"ap-test", "cn-east"}) {
        ZidAPI api(LoopbackConfig(region));
        EXPECT_EQ(region, api.GetBucketLocation(kBucketName));
    }
    EXPECT_EQ(0, Backup());
}

// The backup domain is asked after any failure, also one with a request id and with the
// retry setting off; both failing gives "".
TEST_F(BucketLocation, AFailureIsAskedOnceOfTheBackupDomain) {
    ClientSettings::SetRetryOnBackupDomain(false);
    Service().AddFault(OnPrimary(FaultKind::Status, 403, true));
    ZidAPI api(LoopbackConfig());
    EXPECT_EQ("ap-test", api.GetBucketLocation(kBucketName));
    EXPECT_EQ(1, Primary());
    EXPECT_EQ(1, Backup());

    Service().Clear();
    Service().AddFault(OnPrimary(FaultKind::Status, 403, true));
    Service().AddFault(OnHost(ClientSettings::kBackupDomainSuffix, FaultKind::Status, 503, true));
    EXPECT_EQ("", api.GetBucketLocation(kBucketName));
    EXPECT_EQ(1, Primary());
    EXPECT_EQ(1, Backup());
}

TEST_F(BucketLocation, ABadBucketNameSendsNothingAndThrowsNothing) {
    ZidAPI api(LoopbackConfig());
    EXPECT_EQ("", api.GetBucketLocation("not_a_bucket"));
    EXPECT_TRUE(Service().Requests().empty());
}

}  // namespace
}  // namespace zid_test
