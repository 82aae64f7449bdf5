// Shared pieces of the object-operation tests: a client pointed at the loopback
// service, settings that are put back after each test, and small file helpers.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <fstream>
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
    // Cancels from another thread after ms; join it before checking the outcome.
    static std::thread CancelAfter(const std::shared_ptr<zuzezi_zid::TransferHandler>& handler, int ms) {
        return std::thread([handler, ms] {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            handler->Cancel();
        });
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
