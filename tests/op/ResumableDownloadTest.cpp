#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <Poco/JSON/Object.h>
#include <Poco/JSON/Parser.h>

#include "OpTestSupport.h"
#include "trsf/TransferHandler.h"

using namespace zuzezi_zid;
using zid_local::Fault;
using zid_local::FaultKind;

namespace zid_test {
namespace {

uint64_t CheckpointOffsetIn(const std::string& task_file) {
    std::ifstream ifs(task_file, std::ios::binary);
    if (!ifs) return 0;
    try {
        Poco::JSON::Parser parser;
        auto obj = parser.parse(ifs).extract<Poco::JSON::Object::Ptr>();
        return obj->has("resumeOffset") ? std::stoull(obj->getValue<std::string>("resumeOffset")) : 0;
    } catch (...) {
        return 0;
    }
}

// What was on disk when the local file was made durable.
struct SyncPoint {
    uint64_t file_size;
    uint64_t checkpoint;  // the offset the checkpoint named just before
};
std::mutex g_sync_mutex;
std::string g_sync_path;  // the local file watched; empty: none
std::vector<SyncPoint> g_syncs;
std::function<void()> g_on_sync;  // runs at each fdatasync of the watched file; empty: nothing

}  // namespace
}  // namespace zid_test

// Every fdatasync of this program passes here before it reaches the kernel.
extern "C" int fdatasync(int fd) {
    using namespace zid_test;
    {
        std::lock_guard<std::mutex> lock(g_sync_mutex);
        struct stat of_fd, of_path;
        if (!g_sync_path.empty() && fstat(fd, &of_fd) == 0 && stat(g_sync_path.c_str(), &of_path) == 0 &&
            of_fd.st_ino == of_path.st_ino && of_fd.st_dev == of_path.st_dev) {
            g_syncs.push_back({static_cast<uint64_t>(of_fd.st_size),
                               CheckpointOffsetIn(g_sync_path + ".zidresumabletask")});
            if (g_on_sync) g_on_sync();
        }
    }
    return static_cast<int>(syscall(SYS_fdatasync, fd));
}

namespace zid_test {
namespace {

class ResumableDownloadTest : public ObjectOpTest {
protected:
    void SetUp() override {
        ObjectOpTest::SetUp();
        ClientSettings::SetDownSliceSize(4096);
        ClientSettings::SetDownThreadPoolSize(1);
        m_data = RandomBytes(10 * 4096 + 100);
        Service().PutObject(StoreBucket(), "obj", m_data);
        m_path = Local("pkg.zip");
    }

    ZidResult Resume(std::shared_ptr<TransferHandler> handler = nullptr, uint64_t recv_timeout_ms = 0) {
        GetObjectByFileReq req("bkt", "obj", m_path);
        if (recv_timeout_ms) req.SetRecvTimeoutInms(recv_timeout_ms);
        GetObjectByFileResp resp;
        return m_op->ResumableGetObject(req, &resp, handler, false);
    }
    std::string TaskFile() const { return m_path + ".zidresumabletask"; }
    // No local file, no checkpoint, no faults.
    void StartOver() {
        std::remove(m_path.c_str());
        std::remove(TaskFile().c_str());
        Service().ClearFaults();
    }
    uint64_t CheckpointOffset() const { return CheckpointOffsetIn(TaskFile()); }
    // GETs for bytes before `offset`. Requests the killed process had sent may still be
    // recorded after it died, so the resumed call is told apart by what it asks for.
    size_t GetsBelow(uint64_t offset) const {
        size_t n = 0;
        for (const auto& r : Service().Requests()) {
            const std::string range = r.Header("Range");
            if (r.method == "GET" && (range.compare(0, 6, "bytes=") != 0 ||
                                      std::stoull(range.substr(6)) < offset)) {
                ++n;
            }
        }
        return n;
    }
    static uint64_t FileSize(const std::string& path) {
        struct stat st;
        return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
    }
    // Runs a download in a child process and kills it, without any chance to clean up, as soon
    // as `ready` holds (or after 20 s, failing the test).
    void KillMidDownload(const std::function<bool()>& ready) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            Resume();
            _exit(0);
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!ready()) {
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "killed without the state it waited for";
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
    }
    static Fault FailGets(int skip) {
        Fault f;
        f.kind = FaultKind::Status;
        f.status = 503;
        f.method = "GET";
        f.skip = skip;
        f.times = 4;
        return f;
    }

    std::string m_data;
    std::string m_path;
};

TEST_F(ResumableDownloadTest, FreshDownloadChecksCrcAndRemovesTheCheckpoint) {
    auto handler = std::make_shared<TransferHandler>();
    ZidResult result = Resume(handler);
    ASSERT_TRUE(result.IsSucc()) << result.GetErrorMsg();
    EXPECT_EQ(handler->GetStatus(), COMPLETED);
    EXPECT_EQ(handler->GetTransferred(), m_data.size());
    EXPECT_EQ(ReadFile(m_path), m_data);
    EXPECT_FALSE(FileExists(TaskFile()));
}

TEST_F(ResumableDownloadTest, FailureKeepsTheWrittenPrefixAndTheNextCallResumesThere) {
    Service().AddFault(FailGets(3));
    ZidResult result = Resume();
    EXPECT_FALSE(result.IsSucc());
    EXPECT_EQ(result.GetHttpStatus(), 503);
    // Three slices were written; file and checkpoint agree on them.
    EXPECT_EQ(CheckpointOffset(), 3u * 4096);
    EXPECT_EQ(ReadFile(m_path), m_data.substr(0, 3 * 4096));

    Service().ClearRequests();
    auto handler = std::make_shared<TransferHandler>();
    result = Resume(handler);
    ASSERT_TRUE(result.IsSucc()) << result.GetErrorMsg();
    EXPECT_EQ(ReadFile(m_path), m_data);
    EXPECT_EQ(CountRequests("GET"), 8u);  // slices 4 to 11 only
    EXPECT_EQ(handler->GetTransferred(), m_data.size());
    EXPECT_FALSE(FileExists(TaskFile()));
}

// Slices that are wrong or never arrive fail the call; the file keeps only the bytes the
// checkpoint vouches for, and a clean second call finishes the object.
// A checkpoint names only bytes an fdatasync of the local file has made durable before it.
TEST_F(ResumableDownloadTest, TheCheckpointNamesOnlyDurableBytes) {
    const unsigned workers = 3;
    const uint64_t window = 4 * workers;  // how many slices a download runs ahead of its prefix
    ClientSettings::SetDownThreadPoolSize(workers);
    m_data = RandomBytes((window + 6) * 4096, 21);
    Service().PutObject(StoreBucket(), "obj", m_data);
    // The slices past the first window fail, chosen by byte range: one of them starts only once
    // the first slice is written, so however the workers interleave there is a checkpoint.
    Fault fail_rest = FailGets(0);
    fail_rest.rangeFrom = static_cast<int64_t>(window * 4096);
    fail_rest.times = -1;
    Service().AddFault(fail_rest);
    {
        std::lock_guard<std::mutex> lock(g_sync_mutex);
        g_syncs.clear();
        g_sync_path = m_path;
    }
    ZidResult result = Resume();
    std::vector<SyncPoint> syncs;
    {
        std::lock_guard<std::mutex> lock(g_sync_mutex);
        g_sync_path.clear();
        syncs.swap(g_syncs);
    }
    EXPECT_FALSE(result.IsSucc());
    const uint64_t offset = CheckpointOffset();
    ASSERT_GT(offset, 0u);
    ASSERT_FALSE(syncs.empty());
    uint64_t durable = 0;
    for (const auto& s : syncs) {
        EXPECT_LE(s.checkpoint, durable);
        durable = s.file_size;
    }
    EXPECT_LE(offset, durable);
    EXPECT_EQ(ReadFile(m_path), m_data.substr(0, offset));
}

TEST_F(ResumableDownloadTest, LastingSliceFaultsKeepOnlyGoodBytes) {
    struct Case {
        const char* name;
        FaultKind kind;
        int stall_ms;
    } cases[] = {{"range ignored", FaultKind::IgnoreRange, 0},
                 {"wrong content range", FaultKind::WrongContentRange, 0},
                 {"body cut short", FaultKind::CloseMidBody, 0},
                 {"stall past the receive time-out", FaultKind::Stall, 60000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        Fault f;
        f.kind = c.kind;
        f.method = "GET";
        f.skip = 2;
        f.times = -1;
        f.stallMs = c.stall_ms;
        Service().AddFault(f);
        auto handler = std::make_shared<TransferHandler>();
        ZidResult result = Resume(handler, 200);
        EXPECT_FALSE(result.IsSucc());
        EXPECT_FALSE(result.GetErrorMsg().empty());
        EXPECT_EQ(handler->GetStatus(), FAILED);
        EXPECT_EQ(CheckpointOffset(), 2u * 4096);
        EXPECT_EQ(ReadFile(m_path), m_data.substr(0, 2 * 4096));

        Service().ClearFaults();
        result = Resume();
        ASSERT_TRUE(result.IsSucc()) << result.GetErrorMsg();
        EXPECT_EQ(ReadFile(m_path), m_data);
        EXPECT_FALSE(FileExists(TaskFile()));
    }
}

TEST_F(ResumableDownloadTest, AnObjectReplacedMidDownloadIsNeverMixed) {
    std::string replacement = RandomBytes(m_data.size(), 99);
    Fault replace;
    replace.kind = FaultKind::ReplaceObject;
    replace.method = "GET";
    replace.skip = 2;
    replace.data = replacement;
    Service().AddFault(replace);
    ZidResult result = Resume();
    EXPECT_FALSE(result.IsSucc());
    EXPECT_EQ(result.GetHttpStatus(), 412);
    EXPECT_EQ(ReadFile(m_path), m_data.substr(0, CheckpointOffset()));

    // The checkpoint names the old version, so the next call starts the new one from 0.
    Service().ClearRequests();
    result = Resume();
    ASSERT_TRUE(result.IsSucc()) << result.GetErrorMsg();
    EXPECT_EQ(ReadFile(m_path), replacement);
    EXPECT_EQ(CountRequests("GET"), m_data.size() / 4096 + 1);
}

// A cancel between batches or in the middle of a body: the checkpoint covers whole slices
// only, and the next call fetches just the rest.
TEST_F(ResumableDownloadTest, CancelLeavesACheckpointOfWholeSlices) {
    const bool in_body_cases[] = {false, true};
    for (bool in_body : in_body_cases) {
        SCOPED_TRACE(in_body ? "in a held body" : "between batches");
        StartOver();
        auto handler = std::make_shared<TransferHandler>();
        std::thread canceller;
        if (in_body) {
            // The second slice's body is held back until the cancel has come.
            Fault held = HeldAnswers("GET", 1024);
            held.rangeFrom = held.rangeTo = 4096;
            Service().AddFault(held);
            canceller = CancelWhen(
                handler, [&] { return CheckpointOffset() == 4096 && Asked("GET", "bytes=4096-"); },
                "the first slice checkpointed and the second one asked for");
        } else {
            // As the first slice is made durable, before the next one is asked for.
            std::lock_guard<std::mutex> lock(g_sync_mutex);
            g_sync_path = m_path;
            g_on_sync = [handler] { handler->Cancel(); };
        }
        ZidResult result = Resume(handler);
        if (canceller.joinable()) canceller.join();
        {
            std::lock_guard<std::mutex> lock(g_sync_mutex);
            g_sync_path.clear();
            g_on_sync = nullptr;
            g_syncs.clear();
        }
        EXPECT_FALSE(result.IsSucc());
        EXPECT_EQ(handler->GetStatus(), FAILED);
        uint64_t offset = CheckpointOffset();
        EXPECT_GT(offset, 0u);
        EXPECT_EQ(offset % 4096, 0u);
        EXPECT_LT(offset, m_data.size());
        EXPECT_EQ(ReadFile(m_path), m_data.substr(0, offset));

        Service().ClearFaults();
        Service().ClearRequests();
        result = Resume();
        ASSERT_TRUE(result.IsSucc()) << result.GetErrorMsg();
        EXPECT_EQ(ReadFile(m_path), m_data);
        EXPECT_EQ(CountRequests("GET"), (m_data.size() - offset + 4095) / 4096);
    }
}

TEST_F(ResumableDownloadTest, AProcessKilledMidDownloadIsResumedByTheNextOne) {
    if (!ForkedDownloadsRun()) GTEST_SKIP() << "fork under ThreadSanitizer";
    // From the fourth slice on the answers are held back, so the download cannot end first.
    Fault held = HeldAnswers("GET");
    held.rangeFrom = 3 * 4096;
    Service().AddFault(held);
    // Once a checkpoint shows progress.
    KillMidDownload([&] { return CheckpointOffset() >= 2 * 4096; });
    uint64_t offset = CheckpointOffset();
    ASSERT_GE(offset, 2u * 4096);
    ASSERT_LT(offset, m_data.size());

    Service().ClearFaults();
    Service().ClearRequests();
    ZidResult result = Resume();
    ASSERT_TRUE(result.IsSucc()) << result.GetErrorMsg();
    EXPECT_EQ(ReadFile(m_path), m_data);
    EXPECT_GE(CountRequests("GET"), (m_data.size() - offset + 4095) / 4096);
    EXPECT_EQ(GetsBelow(offset), 0u);
}

// Slices past a slow one are written as they arrive, so the killed download leaves a file
// longer than its checkpoint: the next call trusts the checkpointed prefix and drops the rest.
TEST_F(ResumableDownloadTest, AKilledParallelDownloadResumesFromItsCheckpoint) {
    if (!ForkedDownloadsRun()) GTEST_SKIP() << "fork under ThreadSanitizer";
    ClientSettings::SetDownThreadPoolSize(10);
    const uint64_t slices = 64;
    const uint64_t held = 5;  // the slow slice: the checkpoint cannot pass it
    m_data = RandomBytes(slices * 4096, 33);
    Service().PutObject(StoreBucket(), "obj", m_data);
    Fault slow;
    slow.kind = FaultKind::Stall;
    slow.method = "GET";
    slow.stallMs = 20000;
    slow.times = -1;  // its retries too
    slow.rangeFrom = slow.rangeTo = static_cast<int64_t>(held * 4096);
    Service().AddFault(slow);
    // Killed once the checkpoint stands at the slow slice and later slices are on disk.
    KillMidDownload([&] {
        return CheckpointOffset() == held * 4096 && FileSize(m_path) > (held + 1) * 4096;
    });
    ASSERT_EQ(CheckpointOffset(), held * 4096) << "local file size " << FileSize(m_path);
    ASSERT_GT(FileSize(m_path), (held + 1) * 4096);
    // What lies past the checkpoint is not trusted, whatever it holds.
    std::string local = ReadFile(m_path);
    local[held * 4096 + 10] ^= 0x5a;
    WriteFile(m_path, local);

    Service().ClearFaults();
    Service().ClearRequests();
    ZidResult result = Resume();
    ASSERT_TRUE(result.IsSucc()) << result.GetErrorMsg();
    EXPECT_TRUE(ReadFile(m_path) == m_data);
    EXPECT_GE(CountRequests("GET"), slices - held);
    EXPECT_EQ(GetsBelow(held * 4096), 0u);
    EXPECT_FALSE(FileExists(TaskFile()));
}

TEST_F(ResumableDownloadTest, ACheckpointThatNoLongerFitsStartsFromZero) {
    struct Case {
        const char* name;
        std::function<void()> spoil;
    } cases[] = {
        {"object replaced", [&] { Service().PutObject(StoreBucket(), "obj", m_data + "x"); }},
        {"local file shorter", [&] { WriteFile(m_path, m_data.substr(0, 4096)); }},
        {"checkpoint not json", [&] { WriteFile(TaskFile(), "{not json"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Service().PutObject(StoreBucket(), "obj", m_data);
        Service().ClearFaults();
        Service().AddFault(FailGets(2));
        EXPECT_FALSE(Resume().IsSucc());
        ASSERT_EQ(CheckpointOffset(), 2u * 4096);
        c.spoil();
        Service().ClearFaults();
        Service().ClearRequests();
        ZidResult result = Resume();
        ASSERT_TRUE(result.IsSucc()) << result.GetErrorMsg();
        std::string expected = *Service().GetObject(StoreBucket(), "obj");
        EXPECT_EQ(ReadFile(m_path), expected);
        EXPECT_EQ(CountRequests("GET"), expected.size() / 4096 + 1);
    }
}

// A prefix changed on disk since the checkpoint, at the same size: with the service's CRC the
// resumed file fails its check and is fetched again; without it the prefix cannot be checked,
// so it is not resumed at all (such a checkpoint, with an empty CRC, is only written by hand
// here: a download without the CRC writes none). Either way the caller gets the object, never
// the changed bytes.
TEST_F(ResumableDownloadTest, AChangedPrefixIsNeverKept) {
    struct Case {
        const char* name;
        bool crc;
        size_t gets;  // the resumed rest and the whole object again, or the whole object once
    } cases[] = {{"with the crc header", true, 7 + 11}, {"without the crc header", false, 11}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        Service().AddFault(FailGets(4));
        EXPECT_FALSE(Resume().IsSucc());
        ASSERT_EQ(CheckpointOffset(), 4u * 4096);
        std::string local = ReadFile(m_path);
        ASSERT_EQ(local.size(), 4u * 4096);
        local[100] ^= 0x5a;
        WriteFile(m_path, local);
        if (!c.crc) {
            std::string task = ReadFile(TaskFile());
            const std::string key = "\"crc64ecma\":\"";
            const size_t at = task.find(key);
            ASSERT_NE(at, std::string::npos) << task;
            task.erase(at + key.size(), task.find('"', at + key.size()) - (at + key.size()));
            WriteFile(TaskFile(), task);
            Fault no_crc;
            no_crc.kind = FaultKind::NoCrc;
            no_crc.method = "HEAD";
            no_crc.times = -1;
            Service().AddFault(no_crc);
        }

        Service().ClearRequests();
        auto handler = std::make_shared<TransferHandler>();
        ZidResult result = Resume(handler);
        ASSERT_TRUE(result.IsSucc()) << result.GetErrorMsg();
        EXPECT_EQ(handler->GetStatus(), COMPLETED);
        EXPECT_EQ(ReadFile(m_path), m_data);
        EXPECT_EQ(CountRequests("GET"), c.gets);
        EXPECT_FALSE(FileExists(TaskFile()));
    }
}

// Without the service's CRC a checkpoint could never be used, so a failed download writes
// none (and spends no flush on one); the next call fetches the whole object.
TEST_F(ResumableDownloadTest, WithoutTheCrcNoCheckpointIsWritten) {
    Fault no_crc;
    no_crc.kind = FaultKind::NoCrc;
    no_crc.method = "HEAD";
    no_crc.times = -1;
    Service().AddFault(no_crc);
    Service().AddFault(FailGets(4));
    EXPECT_FALSE(Resume().IsSucc());
    EXPECT_EQ(ReadFile(m_path).size(), 4u * 4096);
    EXPECT_FALSE(FileExists(TaskFile()));

    Service().ClearRequests();
    ZidResult result = Resume();
    ASSERT_TRUE(result.IsSucc()) << result.GetErrorMsg();
    EXPECT_EQ(ReadFile(m_path), m_data);
    EXPECT_EQ(CountRequests("GET"), 11u);
}

TEST_F(ResumableDownloadTest, CrcHeaderDecidesWhenPresent) {
    Fault no_crc;
    no_crc.kind = FaultKind::NoCrc;
    no_crc.method = "HEAD";
    Service().AddFault(no_crc);
    ZidResult result = Resume();
    EXPECT_TRUE(result.IsSucc()) << result.GetErrorMsg();
    EXPECT_EQ(ReadFile(m_path), m_data);

    Fault wrong_crc;
    wrong_crc.kind = FaultKind::WrongCrc;
    wrong_crc.method = "HEAD";
    Service().AddFault(wrong_crc);
    auto handler = std::make_shared<TransferHandler>();
    result = Resume(handler);
    EXPECT_FALSE(result.IsSucc());
    EXPECT_EQ(handler->GetStatus(), FAILED);
    EXPECT_FALSE(handler->GetResult().GetErrorMsg().empty());
}

}  // namespace
}  // namespace zid_test

namespace zid_test {
namespace {

// A resumable download holds its file from before it reads the checkpoint to its end: a
// second one to the same file fails at once and leaves the first one's bytes alone.
TEST_F(ResumableDownloadTest, ASecondDownloadToTheSameFileFailsAtOnce) {
    const std::string other = RandomBytes(m_data.size(), 99);
    Service().PutObject(StoreBucket(), "other", other);
    // The first download is held after its first slice until the second has ended.
    Fault held = HeldAnswers("GET");
    held.keySubstring = "obj";
    held.rangeFrom = 4096;
    Service().AddFault(held);
    auto first = std::make_shared<TransferHandler>();
    ZidResult first_result;
    std::thread running([&] { first_result = Resume(first); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (first->GetTransferred() == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const bool first_writing = first->GetTransferred() > 0;

    GetObjectByFileReq req("bkt", "other", m_path);
    GetObjectByFileResp resp;
    auto second = std::make_shared<TransferHandler>();
    ZidResult second_result = m_op->ResumableGetObject(req, &resp, second, false);
    Service().ClearFaults();
    running.join();
    ASSERT_TRUE(first_writing) << "the first download never wrote";

    EXPECT_FALSE(second_result.IsSucc());
    EXPECT_NE(second_result.GetErrorMsg().find("another resumable download is writing it"),
              std::string::npos)
        << second_result.GetErrorMsg();
    EXPECT_EQ(second->GetStatus(), FAILED);
    ASSERT_TRUE(first_result.IsSucc()) << first_result.GetErrorMsg();
    EXPECT_TRUE(ReadFile(m_path) == m_data);

    // Once the first has ended, the file is free again.
    second_result = m_op->ResumableGetObject(req, &resp, nullptr, false);
    ASSERT_TRUE(second_result.IsSucc()) << second_result.GetErrorMsg();
    EXPECT_TRUE(ReadFile(m_path) == other);
}

}  // namespace
}  // namespace zid_test
