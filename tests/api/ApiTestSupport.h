// Shared pieces of the facade tests: a configuration for the loopback service, files,
// and a bounded wait so a transfer that never ends fails its test instead of hanging it.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstdint>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <Poco/File.h>

#include "ClientSettings.h"
#include "support/LocalServiceFixture.h"
#include "ZidAPI.h"
#include "ZidConfig.h"
#include "HostRelay.h"
#include "trsf/AsyncContext.h"
#include "trsf/TransferHandler.h"

namespace zid_test {

constexpr uint64_t kAppId = 1250000000;
constexpr const char* kRegion = "ap-test";
constexpr const char* kBucketName = "facade";

inline zuzezi_zid::ZidConfig LoopbackConfig(const std::string& region = kRegion) {
    return zuzezi_zid::ZidConfig(kAppId, LocalServiceFixture::kAccessKey,
                                 LocalServiceFixture::kSecretKey, region);
}

// Deterministic bytes that differ at every offset of a slice.
inline std::string Pattern(size_t size, unsigned seed = 7) {
    std::string s(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        s[i] = static_cast<char>(x >> 16);
    }
    return s;
}

inline void WriteFile(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// True when the handler reached a final status within the limit.
inline bool WaitFinal(const std::shared_ptr<zuzezi_zid::AsyncContext>& ctx,
                      std::chrono::seconds limit = std::chrono::seconds(60)) {
    auto handler = ctx->GetTransferHandler();
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> f = done->get_future();
    std::thread([handler, done] {
        handler->WaitForFinalStatus();
        done->set_value();
    }).detach();
    return f.wait_for(limit) == std::future_status::ready;
}

// Restores every process-wide setting these tests change.
class SettingsGuard {
public:
    SettingsGuard()
        : slice_(zuzezi_zid::ClientSettings::GetDownSliceSize()),
          down_threads_(zuzezi_zid::ClientSettings::GetDownThreadPoolSize()),
          part_size_(zuzezi_zid::ClientSettings::GetUploadPartSize()),
          async_size_(zuzezi_zid::ClientSettings::GetAsynThreadPoolSize()),
          retry_(zuzezi_zid::ClientSettings::IsRetryOnBackupDomain()),
          recv_timeout_(zuzezi_zid::ClientSettings::GetRecvTimeoutInms()),
          log_level_(zuzezi_zid::ClientSettings::GetLogLevel()) {
        zuzezi_zid::ClientSettings::SetLogLevel(1);
    }
    ~SettingsGuard() {
        zuzezi_zid::ClientSettings::SetDownSliceSize(slice_);
        zuzezi_zid::ClientSettings::SetDownThreadPoolSize(down_threads_);
        zuzezi_zid::ClientSettings::SetUploadPartSize(part_size_);
        zuzezi_zid::ClientSettings::SetAsynThreadPoolSize(async_size_);
        zuzezi_zid::ClientSettings::SetRetryOnBackupDomain(retry_);
        zuzezi_zid::ClientSettings::SetRecvTimeoutInms(recv_timeout_);
        zuzezi_zid::ClientSettings::SetLogLevel(log_level_);
    }

private:
    unsigned slice_;
    unsigned down_threads_;
    uint64_t part_size_;
    unsigned async_size_;
    bool retry_;
    uint64_t recv_timeout_;
    int log_level_;
};

// A temporary folder and the settings guard on top of a loopback-service fixture.
template <typename Base>
class ApiFixtureOn : public Base {
protected:
    void SetUp() override {
        Base::SetUp();
        folder_ = MakeTempFolder("zid_api_");
    }
    void TearDown() override {
        Poco::File(folder_).remove(true);
        Base::TearDown();
    }

    std::string Path(const std::string& name) const { return folder_ + "/" + name; }
    // A death-test child ends with exit, past TearDown: it clears its own folder first.
    [[noreturn]] void ExitChild(int code) {
        Poco::File(folder_).remove(true);
        // The library's exit rule: with transfers still running, end without static destructors.
        std::quick_exit(code);
    }
    static std::string StoreBucket() { return Base::Bucket(kBucketName, kAppId); }
    static void Seed(const std::string& key, const std::string& data) {
        Base::Service().PutObject(StoreBucket(), key, data);
    }

    // Every GET body waits stall_ms before each chunk_bytes (0: once before the body).
    static void StallGets(int stall_ms, uint64_t chunk_bytes = 0) {
        zid_local::Fault f;
        f.kind = zid_local::FaultKind::Stall;
        f.method = "GET";
        f.stallMs = stall_ms;
        f.chunkBytes = chunk_bytes;
        f.times = -1;
        Base::Service().AddFault(f);
    }

    std::string folder_;
    SettingsGuard settings_;
};

using ApiFixture = ApiFixtureOn<LocalServiceFixture>;

// One synchronous facade method and whether it makes a backup-domain pass.
struct MethodCase {
    std::string name;
    bool retries;
    std::function<zuzezi_zid::ZidResult(zuzezi_zid::ZidAPI&, const std::string& folder)> call;
    bool one_request = true;  // a failed first request ends the first pass
};

// Requests keep the production host names (primary or backup domain) and still reach
// the loopback service, through HostRelay; no destination domain is in force.
class RelayedApiFixture : public ApiFixture {
protected:
    void SetUp() override {
        ApiFixture::SetUp();
        relay_.reset(new HostRelay(Port()));
        relay_->InstallAsGlobalProxy();
        zuzezi_zid::ClientSettings::SetDestDomain("");
    }
    void TearDown() override {
        HostRelay::RemoveGlobalProxy();
        relay_.reset();
        ApiFixture::TearDown();
    }
    static int CountHost(const std::string& suffix) {
        int n = 0;
        for (const auto& r : Service().Requests()) {
            if (r.host.size() >= suffix.size() &&
                r.host.compare(r.host.size() - suffix.size(), suffix.size(), suffix) == 0)
                ++n;
        }
        return n;
    }
    static int Primary() { return CountHost(zuzezi_zid::ClientSettings::kPrimaryDomainSuffix); }
    static int Backup() { return CountHost(zuzezi_zid::ClientSettings::kBackupDomainSuffix); }
    static zid_local::Fault OnHost(const std::string& suffix, zid_local::FaultKind kind, int status,
                                   bool with_request_id) {
        zid_local::Fault f;
        f.kind = kind;
        f.status = status;
        f.withRequestId = with_request_id;
        f.host = suffix;
        f.times = -1;
        return f;
    }
    // A primary-domain failure that qualifies for the backup domain by default.
    static zid_local::Fault OnPrimary(zid_local::FaultKind kind = zid_local::FaultKind::Status,
                                      int status = 503, bool with_request_id = false) {
        return OnHost(zuzezi_zid::ClientSettings::kPrimaryDomainSuffix, kind, status, with_request_id);
    }

    // Each method with the primary domain failing in a way that qualifies for the backup one.
    void ExpectBackupPasses(const std::vector<MethodCase>& cases) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            Service().Clear();
            Seed("k", "value");
            Service().AddFault(OnPrimary());
            zuzezi_zid::ZidAPI api(LoopbackConfig());
            zuzezi_zid::ZidResult r = c.call(api, folder_);
            if (c.one_request) {
                EXPECT_EQ(1, Primary());
            } else {
                EXPECT_GE(Primary(), 1);
            }
            if (c.retries) {
                EXPECT_GE(Backup(), 1);
                EXPECT_NE(503, r.GetHttpStatus()) << "the backup domain's answer must replace the first";
            } else {
                EXPECT_EQ(0, Backup());
                EXPECT_EQ(503, r.GetHttpStatus());
            }
        }
    }

    std::unique_ptr<HostRelay> relay_;
};

}  // namespace zid_test
