#include "LocalServiceFixture.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
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

void RunQuiet(const std::string& command) {
    std::string full = command + " >/dev/null 2>&1";
    if (std::system(full.c_str()) != 0) throw std::runtime_error("command failed: " + command);
}

std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    return out + "'";
}

}  // namespace

std::string MakeTempFolder(const std::string& prefix) {
    std::string base = "/tmp/" + prefix + "XXXXXX";
    std::vector<char> buf(base.begin(), base.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed for " + base);
    return buf.data();
}

TestCertificates MakeTestCertificates(const std::string& folder, const std::vector<std::string>& dnsNames) {
    TestCertificates c;
    c.folder = folder;
    c.caFile = folder + "/ca.pem";
    c.certFile = folder + "/server.pem";
    c.keyFile = folder + "/server.key";
    c.otherCaFile = folder + "/other-ca.pem";
    const std::string f = Quote(folder);
    auto makeCa = [&](const std::string& name, const std::string& cn) {
        RunQuiet("openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3 -subj " + Quote("/CN=" + cn) +
            " -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign" +
            " -keyout " + f + "/" + name + ".key -out " + f + "/" + name + ".pem");
    };
    makeCa("ca", "zid loopback test CA");
    makeCa("other-ca", "unrelated test CA");

    std::string san = "subjectAltName=IP:127.0.0.1,DNS:localhost";
    for (const auto& n : dnsNames) san += ",DNS:" + n;
    {
        std::ofstream ext(folder + "/server.ext");
        ext << san << "\nbasicConstraints=CA:FALSE\nkeyUsage=digitalSignature,keyEncipherment\n"
            << "extendedKeyUsage=serverAuth\n";
    }
    RunQuiet("openssl req -newkey rsa:2048 -nodes -sha256 -subj /CN=127.0.0.1 -keyout " + f + "/server.key -out " + f +
        "/server.csr");
    RunQuiet("openssl x509 -req -sha256 -days 3 -in " + f + "/server.csr -CA " + f + "/ca.pem -CAkey " + f +
        "/ca.key -CAcreateserial -extfile " + f + "/server.ext -out " + f + "/server.pem");
    return c;
}

void LocalServiceFixture::StartService(const zid_local::ServiceOptions& options) {
    ServicePtr().reset(new zid_local::LocalService(options));
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
    if (!CertificatesStore().folder.empty()) RunQuiet("rm -rf " + Quote(CertificatesStore().folder));
}

const TestCertificates& LocalServiceHttpsFixture::Certificates() { return CertificatesStore(); }

std::string LocalServiceHttpsFixture::CaFile() { return CertificatesStore().caFile; }

}  // namespace zid_test
