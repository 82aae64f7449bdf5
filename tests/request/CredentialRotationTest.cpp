// Credentials rotated while other threads sign: each request must sign with an id and a
// secret that belong together.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ClientSettings.h"
#include "support/LocalServiceFixture.h"
#include "ZidConfig.h"
#include "op/BaseOp.h"
#include "request/ObjectReq.h"
#include "response/BaseResp.h"

using namespace zuzezi_zid;

namespace {

class CredentialRotationTest : public zid_test::LocalServiceFixture {
public:
    static void SetUpTestSuite() {
        zid_local::ServiceOptions options;
        options.credentials = {{"AKID", "SK"}, {"AKID-2", "SK-2"}};
        StartService(options);
    }
};

TEST_F(CredentialRotationTest, EveryRequestSignsWithOnePair) {
    const std::string host = ClientSettings::BuildBucketHost(0, "ap-x", "bkt", false);
    auto config = std::make_shared<ZidConfig>(0, "AKID", "SK", "ap-x");
    BaseOp op(config);
    {
        PutObjectReq put("bkt", "k");
        BaseResp resp;
        ASSERT_TRUE(op.NormalAction(host, put.GetPath(), put, "data", false, &resp).IsSucc());
    }

    const int kThreads = 8;
    const int kCallsEach = 400;
    std::atomic<int> running{kThreads};
    std::atomic<int> torn{0};
    std::atomic<int> other_failures{0};
    std::string first_other;
    std::mutex first_other_lock;
    std::vector<std::thread> getters;
    for (int t = 0; t < kThreads; ++t) {
        getters.emplace_back([&] {
            for (int i = 0; i < kCallsEach; ++i) {
                BaseReq get;
                get.SetMethod("GET");
                BaseResp resp;
                const ZidResult r = op.NormalAction(host, "/k", get, "", false, &resp);
                if (r.IsSucc()) continue;
                if (r.GetErrorCode() == "SignatureDoesNotMatch") {
                    ++torn;
                } else if (other_failures++ == 0) {
                    std::lock_guard<std::mutex> lock(first_other_lock);
                    first_other = r.DumpText();
                }
            }
            --running;
        });
    }
    // Flips for as long as the getters run; how many calls there are is what bounds it.
    int flips = 0;
    while (running > 0) {
        if (++flips % 2) {
            config->SetCredentials("AKID-2", "SK-2", "");
        } else {
            config->SetCredentials("AKID", "SK", "");
        }
    }
    for (auto& g : getters) g.join();
    EXPECT_EQ(torn.load(), 0) << "of " << kThreads * kCallsEach << " calls";
    EXPECT_EQ(other_failures.load(), 0) << first_other;
    EXPECT_GT(flips, 1);
}

}  // namespace
