#include <gtest/gtest.h>

#include <string>

#include <Poco/File.h>

#include "ApiTestSupport.h"

using namespace zuzezi_zid;

namespace zid_test {
namespace {

// The facade's one-time set-up is all the TLS preparation a caller needs.
class ZidAPIHttps : public LocalServiceHttpsFixture {
protected:
    void SetUp() override {
        LocalServiceHttpsFixture::SetUp();
        folder_ = MakeTempFolder("zid_api_tls_");
    }
    void TearDown() override {
        Poco::File(folder_).remove(true);
        LocalServiceHttpsFixture::TearDown();
    }
    std::string folder_;
    SettingsGuard settings_;
};

TEST_F(ZidAPIHttps, AsyncMultiGetObjectOverVerifiedTls) {
    ClientSettings::SetDownSliceSize(64 * 1024);
    const std::string data = Pattern(200000, 21);
    Service().PutObject(Bucket(kBucketName, kAppId), "tls.bin", data);
    ZidAPI api(LoopbackConfig());

    AsyncMultiGetObjectReq good(kBucketName, "tls.bin", folder_ + "/good");
    good.SetHttps();
    good.SetCaLocation(CaFile());
    auto ok = api.AsyncMultiGetObject(good);
    ASSERT_TRUE(WaitFinal(ok));
    EXPECT_EQ(COMPLETED, ok->GetStatus()) << ok->GetResult().GetErrorMsg();
    EXPECT_EQ(data, ReadFile(folder_ + "/good"));

    // A CA that did not sign the service's certificate must stop the transfer.
    AsyncMultiGetObjectReq bad(kBucketName, "tls.bin", folder_ + "/bad");
    bad.SetHttps();
    bad.SetCaLocation(Certificates().otherCaFile);
    auto refused = api.AsyncMultiGetObject(bad);
    ASSERT_TRUE(WaitFinal(refused));
    EXPECT_EQ(FAILED, refused->GetStatus());
    EXPECT_FALSE(refused->GetResult().IsSucc());
}

}  // namespace
}  // namespace zid_test
