// The texts each download reports: the multi-threaded and the resumable download share their
// slice code but each keeps its own messages, statuses and log lines.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <mutex>
#include <vector>

#include "OpTestSupport.h"

using namespace zuzezi_zid;
using zid_local::Fault;
using zid_local::FaultKind;

namespace zid_test {
namespace {

std::mutex g_log_mutex;
std::vector<std::string> g_log;

void CollectLog(const std::string& line) {
    std::lock_guard<std::mutex> lock(g_log_mutex);
    g_log.push_back(line);
}

class DownloadTextsTest : public ObjectOpTest {
protected:
    static constexpr size_t kSlice = 4096;

    void SetUp() override {
        ObjectOpTest::SetUp();
        ClientSettings::SetDownSliceSize(kSlice);
        ClientSettings::SetDownThreadPoolSize(1);
        m_data = RandomBytes(3 * kSlice);
        Service().PutObject(StoreBucket(), "obj", m_data);
        {
            std::lock_guard<std::mutex> lock(g_log_mutex);
            g_log.clear();
        }
        ClientSettings::SetLogLevel(4);
        ClientSettings::SetLogOutType(0);
        ClientSettings::SetLogCallback(&CollectLog);
    }
    void TearDown() override {
        ClientSettings::SetLogCallback(nullptr);
        ClientSettings::SetLogOutType(m_log_out);
        if (m_fifo_reader >= 0) close(m_fifo_reader);
        ObjectOpTest::TearDown();
    }

    enum class Kind { MultiThread, Resumable };
    ZidResult Run(Kind kind, const std::string& path, const std::shared_ptr<TransferHandler>& h) {
        GetObjectByFileReq req("bkt", "obj", path);
        GetObjectByFileResp resp;
        return kind == Kind::MultiThread ? m_op->MultiThreadDownload(req, &resp, h, false)
                                         : m_op->ResumableGetObject(req, &resp, h, false);
    }
    // Runs `act` once, as soon as the first slice's bytes have all arrived.
    static void AfterFirstSlice(const std::shared_ptr<TransferHandler>& h, std::function<void()> act) {
        auto done = std::make_shared<bool>(false);
        h->SetTransferProgressCallback([act, done](uint64_t transferred, uint64_t, void*) {
            if (!*done && transferred >= kSlice) {
                *done = true;
                act();
            }
        });
    }
    // A pipe on the file system: it takes writes but no position.
    std::string Fifo() {
        std::string path = Local("fifo");
        unlink(path.c_str());
        if (mkfifo(path.c_str(), 0600) != 0) ADD_FAILURE() << "mkfifo";
        if (m_fifo_reader >= 0) close(m_fifo_reader);
        m_fifo_reader = open(path.c_str(), O_RDONLY | O_NONBLOCK);
        return path;
    }
    std::string LinkToFull() {
        std::string path = Local("full");
        unlink(path.c_str());
        if (symlink("/dev/full", path.c_str()) != 0) ADD_FAILURE() << "symlink";
        return path;
    }
    static std::vector<std::string> Log() {
        std::lock_guard<std::mutex> lock(g_log_mutex);
        return g_log;
    }
    static bool Logged(const std::string& text) {
        for (const auto& line : Log()) {
            if (line.find(text) != std::string::npos) return true;
        }
        return false;
    }

    std::string m_data;
    int m_fifo_reader = -1;
    int m_log_out = ClientSettings::GetLogOutType();
};

TEST_F(DownloadTextsTest, EachDownloadReportsItsOwnTexts) {
    struct Case {
        const char* name;
        std::function<std::string(const std::shared_ptr<TransferHandler>&)> prepare;  // the path
        std::string mtd_text;
        int mtd_status;  // the first written slice's
        std::string resumable_text;
    } cases[] = {
        {"signature cannot be made",
         [&](const std::shared_ptr<TransferHandler>& h) {
             AfterFirstSlice(h, [this] { m_config->SetCredentials(kAccessKey, "", ""); });
             return Local("f");
         },
         "generate auth str failed, check your access_key/secret_key.", 206,
         "Generate auth str fail, check your access_key/secret_key."},
        {"cancelled after a slice was written",
         [&](const std::shared_ptr<TransferHandler>& h) {
             // Not the shared pointer: the handler owns this callback, and would own itself.
             TransferHandler* raw = h.get();
             AfterFirstSlice(h, [raw] { raw->Cancel(); });
             return Local("f");
         },
         "Request canceled by user", 206, "Request canceled by user"},
        {"write refused", [&](const std::shared_ptr<TransferHandler>&) { return LinkToFull(); },
         "down data, write failed, ret=28, len=4096", -1, "down data, write ret=28, len=4096"},
        {"no position to write at", [&](const std::shared_ptr<TransferHandler>&) { return Fifo(); },
         "down data, lseek failed, ret=29, offset=0", -1, "down data, lseek ret=29, offset=0"},
        {"file not opened",
         [&](const std::shared_ptr<TransferHandler>&) { return Local("no-such-folder/f"); },
         "open file(" + Local("no-such-folder/f") + ") fail, errno=2", -1,
         "open file(" + Local("no-such-folder/f") + ") fail, errno=2"},
    };
    for (const auto& c : cases) {
        for (Kind kind : {Kind::MultiThread, Kind::Resumable}) {
            const bool mtd = kind == Kind::MultiThread;
            SCOPED_TRACE(std::string(c.name) + (mtd ? ", multi-threaded" : ", resumable"));
            m_config->SetCredentials(kAccessKey, kSecretKey, "");
            unlink((Local("f") + ".zidresumabletask").c_str());
            auto handler = std::make_shared<TransferHandler>();
            const std::string path = c.prepare(handler);
            ZidResult r = Run(kind, path, handler);
            EXPECT_FALSE(r.IsSucc());
            EXPECT_EQ(r.GetErrorMsg(), mtd ? c.mtd_text : c.resumable_text);
            EXPECT_EQ(r.GetHttpStatus(), mtd ? c.mtd_status : -1);
            EXPECT_EQ(handler->GetStatus(), FAILED);
        }
    }
    m_config->SetCredentials(kAccessKey, kSecretKey, "");
}

TEST_F(DownloadTextsTest, EachDownloadLogsItsOwnLines) {
    const std::string n = std::to_string(m_data.size());
    ASSERT_TRUE(Run(Kind::MultiThread, Local("m"), nullptr).IsSucc());
    EXPECT_TRUE(Logged("download data,url=")) << "multi-threaded";
    EXPECT_FALSE(Logged(", last_offset=")) << "multi-threaded";
    EXPECT_TRUE(Logged("down data, offset=0, file_size=" + n)) << "multi-threaded";
    EXPECT_TRUE(Logged(", downlen:4096 ")) << "multi-threaded";

    {
        std::lock_guard<std::mutex> lock(g_log_mutex);
        g_log.clear();
    }
    ASSERT_TRUE(Run(Kind::Resumable, Local("r"), nullptr).IsSucc());
    EXPECT_TRUE(Logged(", file_size=" + n + ", last_offset=0")) << "resumable";
    EXPECT_TRUE(Logged("down data, offset=0, file_size=" + n)) << "resumable";
    EXPECT_TRUE(Logged(", downlen=4096")) << "resumable";

    // A fresh download whose bytes fail the CRC.
    Fault wrong_crc;
    wrong_crc.kind = FaultKind::WrongCrc;
    wrong_crc.method = "HEAD";
    Service().AddFault(wrong_crc);
    EXPECT_FALSE(Run(Kind::Resumable, Local("c"), nullptr).IsSucc());
    EXPECT_TRUE(Logged("we may encounter network error"));

    // A resumed prefix that fails the CRC: both files go, and the object comes again whole.
    const std::string path = Local("again");
    Fault fail_second;
    fail_second.kind = FaultKind::Status;
    fail_second.status = 503;
    fail_second.method = "GET";
    fail_second.skip = 1;
    fail_second.times = 4;
    Service().AddFault(fail_second);
    ASSERT_FALSE(Run(Kind::Resumable, path, nullptr).IsSucc());
    std::string local = ReadFile(path);
    ASSERT_EQ(local.size(), kSlice);
    local[7] ^= 0x11;
    WriteFile(path, local);
    ASSERT_TRUE(Run(Kind::Resumable, path, nullptr).IsSucc());
    EXPECT_EQ(ReadFile(path), m_data);
    EXPECT_TRUE(Logged("need to redownload, remove " + path + ".zidresumabletask, " + path));
    EXPECT_TRUE(Logged("non-resumable download object"));
}

}  // namespace
}  // namespace zid_test
