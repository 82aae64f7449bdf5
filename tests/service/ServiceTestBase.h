// One loopback service per test suite, emptied before each test; requests go through the
// test's own client (ServiceTestClient.h).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "LocalService.h"
#include "ServiceTestClient.h"

namespace zid_service_test {

constexpr const char* kHost = "bkt-1250000000.zid.ap-test.example";
constexpr const char* kBucket = "bkt-1250000000";

class ServiceTestBase : public ::testing::Test {
public:
    static void SetUpTestSuite() {
        zid_local::ServiceOptions options;
        options.buckets = {kBucket};  // another bucket is made by its PUT or Svc().CreateBucket
        service_.reset(new zid_local::LocalService(options));
        service_->Start();
    }
    static void TearDownTestSuite() { service_.reset(); }

protected:
    void SetUp() override { service_->Clear(); }

    static zid_local::LocalService& Svc() { return *service_; }
    static TestClient Client() { return TestClient(service_->Port()); }

    static Req Make(const std::string& method, const std::string& path, const std::string& body = std::string()) {
        Req r;
        r.method = method;
        r.host = kHost;
        r.path = path;
        r.body = body;
        return r;
    }
    static Reply Do(const std::string& method, const std::string& path, const std::string& body = std::string()) {
        return Client().Send(Make(method, path, body));
    }

    static std::unique_ptr<zid_local::LocalService> service_;
};

inline std::unique_ptr<zid_local::LocalService> ServiceTestBase::service_;

}  // namespace zid_service_test
