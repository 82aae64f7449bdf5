// Shared pieces of the object-operation tests: a client pointed at the loopback
// service, settings that are put back after each test, and small file helpers.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "ClientSettings.h"
#include "support/LocalServiceFixture.h"
#include "ZidConfig.h"
#include "op/ObjectOp.h"
#include "trsf/TransferHandler.h"

namespace zid_test {

// Under ThreadSanitizer a forked child of a threaded program cannot start the threads of
// a download.
inline bool ForkedDownloadsRun() {
#if defined(__SANITIZE_THREAD__)
    return false;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
    return false;
#endif
#endif
    return true;
}

// Over plain HTTP by default; ObjectOpTestOn<LocalServiceHttpsFixture> talks HTTPS only.
template <class ServiceBase>
class ObjectOpTestOn : public ServiceBase {
protected:
    static constexpr uint64_t kAppId = 1250000000;

    using Fixture = LocalServiceFixture;

    void SetUp() override {
        ServiceBase::SetUp();
        m_slice = zuzezi_zid::ClientSettings::GetDownSliceSize();
        m_down_pool = zuzezi_zid::ClientSettings::GetDownThreadPoolSize();
        m_part = zuzezi_zid::ClientSettings::GetUploadPartSize();
        m_up_pool = zuzezi_zid::ClientSettings::GetUploadThreadPoolSize();
        m_log_level = zuzezi_zid::ClientSettings::GetLogLevel();
        zuzezi_zid::ClientSettings::SetLogLevel(1);
        m_config = std::make_shared<zuzezi_zid::ZidConfig>(kAppId, Fixture::kAccessKey,
                                                           Fixture::kSecretKey, "ap-test");
        m_op.reset(new zuzezi_zid::ObjectOp(m_config));
        m_dir = MakeTempFolder("zid-op");
    }
    void TearDown() override {
        zuzezi_zid::ClientSettings::SetDownSliceSize(m_slice);
        zuzezi_zid::ClientSettings::SetDownThreadPoolSize(m_down_pool);
        zuzezi_zid::ClientSettings::SetUploadPartSize(m_part);
        zuzezi_zid::ClientSettings::SetUploadThreadPoolSize(m_up_pool);
        zuzezi_zid::ClientSettings::SetLogLevel(m_log_level);
        std::string cmd = "rm -rf '" + m_dir + "'";
        if (std::system(cmd.c_str()) != 0) ADD_FAILURE() << "cleanup failed";
        ServiceBase::TearDown();
    }

    static std::string StoreBucket() { return Fixture::Bucket("bkt", kAppId); }
    std::string Local(const std::string& name) const { return m_dir + "/" + name; }

    static std::string RandomBytes(size_t n, unsigned seed = 7) {
        std::mt19937 gen(seed);
        std::string s(n, '\0');
        for (auto& c : s) c = static_cast<char>(gen() & 0xff);
        return s;
    }
    static std::string ReadFile(const std::string& path) {
        std::ifstream ifs(path, std::ios::binary);
        std::stringstream ss;
        ss << ifs.rdbuf();
        return ss.str();
    }
    static bool FileExists(const std::string& path) { return std::ifstream(path).good(); }
    static void WriteFile(const std::string& path, const std::string& data) {
        std::ofstream ofs(path, std::ios::binary | std::ios::trunc);
        ofs << data;
    }
    // Requests of one method that reached the service.
    size_t CountRequests(const std::string& method, const std::string& param = "") const {
        size_t n = 0;
        for (const auto& r : Fixture::Service().Requests()) {
            if (r.method == method && (param.empty() || r.params.count(param))) ++n;
        }
        return n;
    }

    // Every answer to `method` waits stall_ms, before each chunk_bytes of its body when given.
    static zid_local::Fault SlowAnswers(const std::string& method, int stall_ms, uint64_t chunk_bytes = 0) {
        zid_local::Fault f;
        f.kind = zid_local::FaultKind::Stall;
        f.method = method;
        f.stallMs = stall_ms;
        f.chunkBytes = chunk_bytes;
        f.times = -1;
        return f;
    }
    // Every answer to `method` is held back, before each chunk_bytes of its body when given,
    // until the service's faults are cleared (a minute at most).
    static zid_local::Fault HeldAnswers(const std::string& method, uint64_t chunk_bytes = 0) {
        return SlowAnswers(method, 60000, chunk_bytes);
    }
    // Cancels from another thread once `ready` holds, then clears the service's faults, so
    // that an answer held back goes on and the transfer meets the cancel. Join it before
    // checking the outcome. A state that never comes fails the test after 30 s.
    static std::thread CancelWhen(const std::shared_ptr<zuzezi_zid::TransferHandler>& handler,
                                  std::function<bool()> ready, std::string state) {
        return std::thread([handler, ready, state] {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (!ready()) {
                if (std::chrono::steady_clock::now() > deadline) {
                    ADD_FAILURE() << "cancelled without the state it waited for: " << state;
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            handler->Cancel();
            Fixture::Service().ClearFaults();
        });
    }
    // Whether the service has had a request of `method` whose Range starts with `range`.
    bool Asked(const std::string& method, const std::string& range) const {
        for (const auto& r : Fixture::Service().Requests()) {
            if (r.method == method && r.Header("Range").compare(0, range.size(), range) == 0) return true;
        }
        return false;
    }

    std::shared_ptr<zuzezi_zid::ZidConfig> m_config;
    std::unique_ptr<zuzezi_zid::ObjectOp> m_op;
    std::string m_dir;

private:
    unsigned m_slice = 0;
    unsigned m_down_pool = 0;
    uint64_t m_part = 0;
    unsigned m_up_pool = 0;
    int m_log_level = 0;
};

using ObjectOpTest = ObjectOpTestOn<LocalServiceFixture>;

}  // namespace zid_test
