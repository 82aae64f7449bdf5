#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include <Poco/Net/HTTPSStreamFactory.h>
#include <Poco/Net/HTTPStreamFactory.h>
#include <Poco/URIStreamOpener.h>

#include "ApiTestSupport.h"

using namespace zuzezi_zid;

namespace zid_test {
namespace {

// The instance count must follow constructions one to one.
static_assert(!std::is_copy_constructible<ZidAPI>::value, "ZidAPI must not be copyable");
static_assert(!std::is_copy_assignable<ZidAPI>::value, "ZidAPI must not be copy-assignable");
static_assert(!std::is_move_constructible<ZidAPI>::value, "ZidAPI must not be movable");
static_assert(!std::is_move_assignable<ZidAPI>::value, "ZidAPI must not be move-assignable");

struct RegionCase {
    std::string region;
    bool valid;
};

TEST(ZidAPIConstruction, RegionIsCheckedBeforeAnythingIsCounted) {
    const std::vector<RegionCase> cases = {
        {"ap-test", true}, {"accelerate", true}, {"a", true},     {"7", true},
        {"ap.x-1", true},  {"", false},          {"-ap", false},  {"ap.", false},
        {"ap_x", false},   {"ap x", false},      {".ap", false},  {"ap-", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("region '" + c.region + "'");
        const int before = ZidAPI::GetInstanceCount();
        ZidConfig config(kAppId, "AKID", "SK", c.region);
        if (c.valid) {
            ZidAPI api(config);
            EXPECT_EQ(before + 1, ZidAPI::GetInstanceCount());
        } else {
            try {
                ZidAPI api(config);
                ADD_FAILURE() << "constructor accepted the region";
            } catch (const std::invalid_argument& e) {
                EXPECT_EQ("Invalid region configuration in ZidConfig :" + c.region, e.what());
            }
        }
        EXPECT_EQ(before, ZidAPI::GetInstanceCount());
    }
}

TEST(ZidAPIConstruction, InstanceCountFollowsLifetimes) {
    const int base = ZidAPI::GetInstanceCount();
    ZidConfig config = LoopbackConfig();
    {
        ZidAPI first(config);
        ZidAPI second(config);
        EXPECT_EQ(base + 2, ZidAPI::GetInstanceCount());
        {
            ZidAPI third(config);
            EXPECT_EQ(base + 3, ZidAPI::GetInstanceCount());
        }
        EXPECT_EQ(base + 2, ZidAPI::GetInstanceCount());
    }
    EXPECT_EQ(base, ZidAPI::GetInstanceCount());
    // Set-up after every facade was gone: the schemes stay registered and nothing throws.
    ZidAPI again(config);
    EXPECT_TRUE(Poco::URIStreamOpener::defaultOpener().supportsScheme("http"));
    EXPECT_TRUE(Poco::URIStreamOpener::defaultOpener().supportsScheme("https"));
}

TEST(ZidAPIConstruction, SchemesTheHostProgramRegisteredAreNotRegisteredAgain) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // A fresh process, so the facade's set-up really runs after the host program's.
    EXPECT_EXIT(
        {
            Poco::Net::HTTPStreamFactory::registerFactory();
            Poco::Net::HTTPSStreamFactory::registerFactory();
            try {
                ZidAPI api(LoopbackConfig());
                std::exit(ZidAPI::GetInstanceCount() == 1 ? 0 : 2);
            } catch (...) {
                std::exit(1);
            }
        },
        ::testing::ExitedWithCode(0), "");
}

class ZidAPILifetime : public ApiFixture {};

TEST_F(ZidAPILifetime, FacadesInManyThreadsWorkAndBalanceTheCount) {
    Seed("shared.txt", "shared body");
    const int base = ZidAPI::GetInstanceCount();
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20; ++i) {
                ZidAPI api(LoopbackConfig());
                if (i % 5 == 0) {
                    HeadObjectReq req(kBucketName, "shared.txt");
                    HeadObjectResp resp;
                    if (!api.HeadObject(req, &resp).IsSucc() || resp.GetContentLength() != 11) ++failures;
                }
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(0, failures.load());
    EXPECT_EQ(base, ZidAPI::GetInstanceCount());
}

TEST_F(ZidAPILifetime, CredentialsChangeOnlyTheFacadeTheyAreSetOn) {
    Seed("k", "v");
    ZidConfig caller = LoopbackConfig();
    ZidAPI changed(caller);
    ZidAPI untouched(caller);
    changed.SetCredentials("AKID", "not-the-secret", "");

    HeadObjectReq req(kBucketName, "k");
    HeadObjectResp resp;
    ZidResult refused = changed.HeadObject(req, &resp);
    EXPECT_FALSE(refused.IsSucc());
    EXPECT_EQ(403, refused.GetHttpStatus());
    EXPECT_TRUE(untouched.HeadObject(req, &resp).IsSucc());
    EXPECT_EQ("SK", caller.GetSecretKey());

    changed.SetCredentials("AKID", "SK", "");
    EXPECT_TRUE(changed.HeadObject(req, &resp).IsSucc());
}

// The pool's minimum is two threads; a configured size of one must still give a pool.
TEST_F(ZidAPILifetime, AsyncPoolOfConfiguredSizeOneRuns) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Seed("one.bin", Pattern(10000));
    const std::string local = Path("one.bin");
    EXPECT_EXIT(
        {
            ClientSettings::SetAsynThreadPoolSize(1);
            ZidAPI api(LoopbackConfig());
            AsyncMultiGetObjectReq req(kBucketName, "one.bin", local);
            auto ctx = api.AsyncMultiGetObject(req);
            ctx->GetTransferHandler()->WaitForFinalStatus();
            ExitChild(ctx->GetStatus() == COMPLETED && ReadFile(local) == Pattern(10000) ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace zid_test
