#include "LocalServiceFixture.h"

#include <stdexcept>

#include "ClientSettings.h"

namespace zid_test {

namespace {

std::unique_ptr<zid_local::LocalService>& ServicePtr() {
    static std::unique_ptr<zid_local::LocalService> service;
    return service;
}

TestCertificates& CertificatesStore() {
    static TestCertificates certs;
    return certs;
}

}  // namespace

const std::vector<std::string>& LocalServiceFixture::StandingBuckets() {
    static const std::vector<std::string> names = {
        "bkt",
        "bkt-1250000000",
        "facade-1250000000",
    };
    return names;
}

void LocalServiceFixture::StartService(const zid_local::ServiceOptions& options) {
    zid_local::ServiceOptions withBuckets = options;
    for (const auto& b : StandingBuckets()) withBuckets.buckets.push_back(b);
    ServicePtr().reset(new zid_local::LocalService(withBuckets));
    ServicePtr()->Start();
}

void LocalServiceFixture::StopService() {
    if (ServicePtr()) ServicePtr()->Stop();
    ServicePtr().reset();
}

void LocalServiceFixture::SetUpTestSuite() { StartService(zid_local::ServiceOptions()); }

void LocalServiceFixture::TearDownTestSuite() { StopService(); }

void LocalServiceFixture::SetUp() {
    ASSERT_TRUE(ServicePtr() && ServicePtr()->IsRunning()) << "the loopback service did not start";
    ServicePtr()->Clear();
    savedDestDomain_ = zuzezi_zid::ClientSettings::GetDestDomain();
    zuzezi_zid::ClientSettings::SetDestDomain(ServicePtr()->DestDomain());
}

void LocalServiceFixture::TearDown() {
    zuzezi_zid::ClientSettings::SetDestDomain(savedDestDomain_);
    if (ServicePtr()) ServicePtr()->ClearFaults();
}

zid_local::LocalService& LocalServiceFixture::Service() { return *ServicePtr(); }

uint16_t LocalServiceFixture::Port() { return ServicePtr()->Port(); }

std::string LocalServiceFixture::DestDomain() { return ServicePtr()->DestDomain(); }

std::string LocalServiceFixture::Bucket(const std::string& name, uint64_t appId) {
    if (appId == 0) return name;
    std::string suffix = "-" + std::to_string(appId);
    if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
        return name;
    return name + suffix;
}

std::vector<std::string>& LocalServiceHttpsFixture::HttpsCertNames() {
    static std::vector<std::string> names = {
        std::string("*.zid.") + kHttpsRegion + zuzezi_zid::ClientSettings::kPrimaryDomainSuffix,
        std::string("*.zid.") + kHttpsRegion + zuzezi_zid::ClientSettings::kBackupDomainSuffix,
    };
    return names;
}

void LocalServiceHttpsFixture::SetUpTestSuite() {
    CertificatesStore() = MakeTestCertificates(MakeTempFolder("zid-test-ca-"), HttpsCertNames());
    zid_local::ServiceOptions options;
    options.https = true;
    options.certFile = CertificatesStore().certFile;
    options.keyFile = CertificatesStore().keyFile;
    StartService(options);
}

void LocalServiceHttpsFixture::TearDownTestSuite() {
    StopService();
    if (!CertificatesStore().folder.empty()) RunQuiet("rm -rf " + ShellQuote(CertificatesStore().folder));
}

const TestCertificates& LocalServiceHttpsFixture::Certificates() { return CertificatesStore(); }

std::string LocalServiceHttpsFixture::CaFile() { return CertificatesStore().caFile; }

}  // namespace zid_test
