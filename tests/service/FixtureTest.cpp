// The shared fixture other test folders use: one service per suite, reset per test, the
// destination domain pointed at it and put back afterwards.
#include <gtest/gtest.h>

#include <Poco/Net/X509Certificate.h>

#include "ClientSettings.h"
#include "support/LocalServiceFixture.h"
#include "ServiceTestClient.h"

namespace {

using zuzezi_zid::ClientSettings;

class FixtureTest : public zid_test::LocalServiceFixture {
protected:
    void SetUp() override {
        before_ = ClientSettings::GetDestDomain();
        LocalServiceFixture::SetUp();
    }
    void TearDown() override {
        LocalServiceFixture::TearDown();
        EXPECT_EQ(ClientSettings::GetDestDomain(), before_);
    }
    void LeaveSomethingBehind() {
        EXPECT_TRUE(Service().ListKeys(Bucket("b", 7)).empty());
        EXPECT_TRUE(Service().Requests().empty());
        EXPECT_EQ(Service().PendingFaults(), 0u);
        Service().PutObject(Bucket("b", 7), "left", "over");
        zid_local::Fault f;
        f.times = -1;
        Service().AddFault(f);
    }
    std::string before_;
};

TEST_F(FixtureTest, PointsTheClientAtTheService) {
    EXPECT_EQ(ClientSettings::GetDestDomain(), DestDomain());
    EXPECT_EQ(DestDomain(), "127.0.0.1:" + std::to_string(Port()));
    EXPECT_EQ(Bucket("b", 7), "b-7");
    EXPECT_EQ(Bucket("b-7", 7), "b-7");
    EXPECT_EQ(Bucket("b", 0), "b");
    LeaveSomethingBehind();
}

TEST_F(FixtureTest, StartsEachTestEmpty) { LeaveSomethingBehind(); }

class HttpsFixtureTest : public zid_test::LocalServiceHttpsFixture {};

TEST_F(HttpsFixtureTest, ServesTlsWithACertificateForTheBucketHosts) {
    Service().PutObject("b-7", "k", "tls");
    zid_service_test::TestClient client(Port());
    client.UseHttps(CaFile());
    zid_service_test::Req r;
    r.host = ClientSettings::BuildBucketHost(7, kHttpsRegion, "b", false);
    r.path = "/k";
    zid_service_test::Reply rep = client.Send(r);
    EXPECT_EQ(rep.status, 200) << rep.error;
    EXPECT_EQ(rep.body, "tls");

    Poco::Net::X509Certificate cert(Certificates().certFile);
    EXPECT_TRUE(cert.verify(ClientSettings::BuildBucketHost(7, kHttpsRegion, "b", false)));
    EXPECT_TRUE(cert.verify(ClientSettings::BuildBucketHost(7, kHttpsRegion, "b", true)));
}

}  // namespace
