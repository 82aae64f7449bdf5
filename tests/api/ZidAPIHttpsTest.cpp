#include <gtest/gtest.h>

#include <string>

#include "ApiTestSupport.h"

using namespace zuzezi_zid;

namespace zid_test {
namespace {

// The facade's one-time set-up is all the TLS preparation a caller needs.
class ZidAPIHttps : public ApiFixtureOn<LocalServiceHttpsFixture> {};

TEST_F(ZidAPIHttps, AsyncMultiGetObjectOverVerifiedTls) {
    ClientSettings::SetDownSliceSize(64 * 1024);
    const std::string data = Pattern(200000, 21);
    Seed("tls.bin", data);
    ZidAPI api(LoopbackConfig());

    AsyncMultiGetObjectReq good(kBucketName, "tls.bin", Path("good"));
    good.SetHttps();
    good.SetCaLocation(CaFile());
    auto ok = api.AsyncMultiGetObject(good);
    ASSERT_TRUE(WaitFinal(ok));
    EXPECT_EQ(COMPLETED, ok->GetStatus()) << ok->GetResult().GetErrorMsg();
    EXPECT_EQ(data, ReadFile(Path("good")));

    // A CA that did not sign the service's certificate must stop the transfer.
    AsyncMultiGetObjectReq bad(kBucketName, "tls.bin", Path("bad"));
    bad.SetHttps();
    bad.SetCaLocation(Certificates().otherCaFile);
    auto refused = api.AsyncMultiGetObject(bad);
    ASSERT_TRUE(WaitFinal(refused));
    EXPECT_EQ(FAILED, refused->GetStatus());
    EXPECT_FALSE(refused->GetResult().IsSucc());
}

}  // namespace
}  // namespace zid_test
