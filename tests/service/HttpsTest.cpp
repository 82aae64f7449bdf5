// HTTPS mode with a test CA made at test time, and the service as a separate process.
#include <gtest/gtest.h>

#include <Poco/Net/X509Certificate.h>
#include <Poco/Pipe.h>
#include <Poco/PipeStream.h>
#include <Poco/Process.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/LocalServiceCerts.h"
#include "ServiceTestBase.h"

namespace zid_service_test {
namespace {

class HttpsTest : public ::testing::Test {
public:
    static void SetUpTestSuite() {
        certs_ = zid_test::MakeTestCertificates(zid_test::MakeTempFolder("zid-svc-ca-"),
                                                {"*.zid.ap-test.example"});
        zid_local::ServiceOptions o;
        o.https = true;
        o.certFile = certs_.certFile;
        o.keyFile = certs_.keyFile;
        service_.reset(new zid_local::LocalService(o));
        service_->Start();
    }
    static void TearDownTestSuite() {
        service_.reset();
        zid_test::RunQuiet("rm -rf " + zid_test::ShellQuote(certs_.folder));
    }

protected:
    static zid_test::TestCertificates certs_;
    static std::unique_ptr<zid_local::LocalService> service_;
};

zid_test::TestCertificates HttpsTest::certs_;
std::unique_ptr<zid_local::LocalService> HttpsTest::service_;

Req Get(const std::string& path) {
    Req r;
    r.host = kHost;
    r.path = path;
    return r;
}

TEST_F(HttpsTest, ServesOverTlsToAClientThatTrustsTheCa) {
    service_->PutObject(kBucket, "secure.txt", "over tls");
    TestClient client(service_->Port());
    client.UseHttps(certs_.caFile);
    Reply ok = client.Send(Get("/secure.txt"));
    EXPECT_EQ(ok.status, 200) << ok.error;
    EXPECT_EQ(ok.body, "over tls");

    Req ranged = Get("/secure.txt");
    ranged.headers["Range"] = "bytes=5-7";
    EXPECT_EQ(client.Send(ranged).body, "tls");

    Req unsigned_ = Get("/secure.txt");
    unsigned_.sign = false;
    EXPECT_EQ(client.Send(unsigned_).status, 403);
}

TEST_F(HttpsTest, FaultsWorkOverTls) {
    service_->PutObject(kBucket, "big", std::string(200000, 'x'));
    TestClient client(service_->Port());
    client.UseHttps(certs_.caFile);
    for (auto kind : {zid_local::FaultKind::CloseMidBody, zid_local::FaultKind::Reset}) {
        zid_local::Fault f;
        f.kind = kind;
        service_->AddFault(f);
        Reply cut = client.Send(Get("/big"));
        EXPECT_FALSE(cut.error.empty());
        EXPECT_LT(cut.body.size(), 200000u);
    }
    EXPECT_EQ(client.Send(Get("/big")).body.size(), 200000u);
}

TEST_F(HttpsTest, VerificationAgainstAnotherCaFails) {
    service_->PutObject(kBucket, "secure.txt", "over tls");
    TestClient client(service_->Port());
    client.UseHttps(certs_.otherCaFile);
    Reply r = client.Send(Get("/secure.txt"));
    EXPECT_EQ(r.status, -1);
    EXPECT_FALSE(r.error.empty());

    // A plain HTTP client gets no answer from the TLS port.
    Reply plain = TestClient(service_->Port()).Send(Get("/secure.txt"));
    EXPECT_EQ(plain.status, -1);
}

TEST_F(HttpsTest, CertificateNamesTheAddressAndTheBucketHosts) {
    Poco::Net::X509Certificate cert(certs_.certFile);
    EXPECT_TRUE(cert.verify("127.0.0.1"));
    EXPECT_TRUE(cert.verify("localhost"));
    EXPECT_TRUE(cert.verify("bkt-1250000000.zid.ap-test.example"));
    EXPECT_FALSE(cert.verify("bkt.zid.other.example"));
    EXPECT_EQ(cert.issuerName(Poco::Net::X509Certificate::NID_COMMON_NAME), "zid loopback test CA");
}

TEST(HttpsStart, BadCertificateFilesFailTheStart) {
    zid_local::ServiceOptions o;
    o.https = true;
    o.certFile = "/nonexistent/cert.pem";
    o.keyFile = "/nonexistent/key.pem";
    zid_local::LocalService s(o);
    EXPECT_THROW(s.Start(), std::runtime_error);
    EXPECT_FALSE(s.IsRunning());
}

// ---------------------------------------------------------------------------------------------

std::string ServiceBinary() {
    const char* dir = std::getenv("ZID_TEST_BIN_DIR");
    return dir ? std::string(dir) + "/tools/local-service/zid-local-service" : std::string();
}

struct Launched {
    Poco::Pipe in, out;
    std::unique_ptr<Poco::ProcessHandle> handle;
    uint16_t port = 0;
};

void Launch(Launched* l, const std::vector<std::string>& args) {
    l->handle.reset(new Poco::ProcessHandle(Poco::Process::launch(ServiceBinary(), args, &l->in, &l->out, nullptr)));
    Poco::PipeInputStream out(l->out);
    std::string line;
    std::getline(out, line);
    ASSERT_EQ(line.compare(0, 23, "listening on 127.0.0.1:"), 0) << line;
    l->port = static_cast<uint16_t>(std::stoi(line.substr(23)));
}

TEST(ServiceExecutable, SeedsServesAndEndsWhenStdinClosesOrOnSigterm) {
    if (ServiceBinary().empty()) GTEST_SKIP() << "ZID_TEST_BIN_DIR is not set (run through ctest)";
    ASSERT_TRUE(std::filesystem::exists(ServiceBinary())) << ServiceBinary();
    std::string seed = zid_test::MakeTempFolder("zid-svc-seed-");
    std::filesystem::create_directories(seed + "/pkg-1/fix");
    std::ofstream(seed + "/pkg-1/fix/1.0.zip") << "zip bytes";
    std::ofstream(seed + "/pkg-1/summary.ini") << "[cfgstamp]\n";

    Launched a;
    Launch(&a, {"--port", "0", "--seed", seed});
    ASSERT_NE(a.port, 0);
    Req r;
    r.host = "pkg-1.zid.accelerate.example";
    r.path = "/fix/1.0.zip";
    Reply got = TestClient(a.port).Send(r);
    EXPECT_EQ(got.status, 200);
    EXPECT_EQ(got.body, "zip bytes");
    r.path = "/summary.ini";
    EXPECT_EQ(TestClient(a.port).Send(r).body, "[cfgstamp]\n");
    r.sign = false;
    EXPECT_EQ(TestClient(a.port).Send(r).status, 403);
    r.sign = true;
    a.in.close(Poco::Pipe::CLOSE_WRITE);
    EXPECT_EQ(a.handle->wait(), 0);

    Launched b;
    Launch(&b, {"--port", "0", "--root", seed + "/root", "--no-signature-check"});
    r.path = "/kept";
    r.method = "PUT";
    r.body = "persisted";
    r.sign = false;  // the demo's plain tools
    EXPECT_EQ(TestClient(b.port).Send(r).status, 404) << "a bucket not made";
    Req make = r;
    make.path = "/";
    make.body.clear();
    EXPECT_EQ(TestClient(b.port).Send(make).status, 200);
    EXPECT_EQ(TestClient(b.port).Send(r).status, 200);
    Poco::Process::requestTermination(b.handle->id());
    EXPECT_EQ(b.handle->wait(), 0);
    EXPECT_TRUE(std::filesystem::exists(seed + "/root/pkg-1/kept"));
    zid_test::RunQuiet("rm -rf " + zid_test::ShellQuote(seed));
}

}  // namespace
}  // namespace zid_service_test
