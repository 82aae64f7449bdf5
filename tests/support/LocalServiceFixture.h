// Test fixture around the loopback storage service (include as "support/LocalServiceFixture.h").
//
// The service starts once per test suite on a free port of 127.0.0.1 and is reset (objects,
// uploads, faults, request record) before every test. A test points the client at it with:
//   - access key "AKID", secret key "SK" (kAccessKey / kSecretKey), any region;
//   - the destination domain "127.0.0.1:PORT" (DestDomain()). SetUp() stores it in the
//     process-wide destination-domain setting and TearDown() puts the previous value back,
//     so a test only has to build its configuration. That is the only process-wide setting
//     the fixture touches.
// The bucket the service stores under is the first label of the Host header the client sends
// (e.g. "mybucket-1250000000" for bucket "mybucket" and app id 1250000000); Bucket(name, appId)
// gives that label.
// Buckets: the service answers 404 NoSuchBucket for a bucket never made. The buckets of
// StandingBuckets() ("bkt" and "facade" with app id 1250000000, "bkt" without one) always exist,
// emptied before every test and by Service().Clear(). A test that uses another bucket makes it
// first with Service().CreateBucket(Bucket(name, appId)); Service().PutObject makes the bucket
// it names too.
// For HTTPS, derive from LocalServiceHttpsFixture: it makes a test CA and a server certificate
// (127.0.0.1, localhost and the names in ExtraCertNames()) in a temporary folder and serves
// HTTPS only; CaFile() is the CA a client verifies with.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "LocalService.h"
#include "LocalServiceCerts.h"

namespace zid_test {

class LocalServiceFixture : public ::testing::Test {
public:
    static constexpr const char* kAccessKey = "AKID";
    static constexpr const char* kSecretKey = "SK";

    static void SetUpTestSuite();
    static void TearDownTestSuite();

protected:
    void SetUp() override;
    void TearDown() override;

    static zid_local::LocalService& Service();
    static uint16_t Port();
    static std::string DestDomain();
    // The Host label the service files a bucket under.
    static std::string Bucket(const std::string& name, uint64_t appId = 0);

    // Starts the service with StandingBuckets() added to the options' buckets.
    static void StartService(const zid_local::ServiceOptions& options);
    static const std::vector<std::string>& StandingBuckets();
    static void StopService();

private:
    std::string savedDestDomain_;
};

class LocalServiceHttpsFixture : public LocalServiceFixture {
public:
    static constexpr const char* kHttpsRegion = "ap-test";
    static std::vector<std::string>& HttpsCertNames();
    static void SetUpTestSuite();
    static void TearDownTestSuite();

protected:
    static const TestCertificates& Certificates();
    static std::string CaFile();
};

}  // namespace zid_test
