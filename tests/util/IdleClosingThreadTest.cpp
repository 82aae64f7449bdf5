// The pool's thread that closes idle connections, watched through the kernel's count of the
// times it went to sleep: each wake-up ends in one more, whatever woke it.
#include <gtest/gtest.h>

#include <dirent.h>

#include <cctype>
#include <chrono>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include "support/CannedServer.h"
#include "util/ConnectionPool.h"
#include "util/HttpSender.h"

using namespace zuzezi_zid;

namespace {

using StringMap = std::map<std::string, std::string>;

// /proc/self/task/TID of the closing thread, or empty while there is none.
std::string ClosingThread() {
    std::string found;
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks) return found;
    while (dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] == '.') continue;
        const std::string dir = std::string("/proc/self/task/") + entry->d_name;
        std::string name;
        std::getline(std::ifstream(dir + "/comm"), name);
        if (name == "zid-idle-close") found = dir;
    }
    closedir(tasks);
    return found;
}

// -1 when the thread has ended or the kernel gives no count.
long Sleeps(const std::string& thread) {
    std::ifstream status(thread + "/status");
    const std::string field = "voluntary_ctxt_switches:";
    for (std::string line; std::getline(status, line);) {
        if (line.compare(0, field.size(), field) == 0) return std::stol(line.substr(field.size()));
    }
    return -1;
}

size_t ContentLength(const std::string& head) {
    std::string lower;
    for (char c : head) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const size_t at = lower.find("\r\ncontent-length:");
    return at == std::string::npos ? 0 : std::stoul(head.substr(at + 17));
}

// Answers every request on a connection, its body read first, and keeps the connection.
void AnswerAll(Poco::Net::StreamSocket& peer, const std::string& first) {
    std::string head = first;
    while (!head.empty()) {
        std::string body(ContentLength(head), '\0');
        for (size_t got = 0; got < body.size();) {
            const int n = peer.receiveBytes(&body[got], static_cast<int>(body.size() - got));
            if (n <= 0) return;
            got += static_cast<size_t>(n);
        }
        if (!zid_test::CannedServer::Send(peer, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")) {
            return;
        }
        head = zid_test::CannedServer::ReadHead(peer);
    }
}

class IdleClosingThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_limit_ = ConnectionPool::Instance().GetIdleLimit();
        ConnectionPool::Instance().CloseIdle();
    }
    void TearDown() override {
        ConnectionPool::Instance().SetIdleLimit(saved_limit_);
        ConnectionPool::Instance().CloseIdle();
    }
    std::chrono::milliseconds saved_limit_{0};
};

TEST_F(IdleClosingThreadTest, RequestsOneAfterAnotherOnAKeptConnectionNeverWakeIt) {
    zid_test::CannedServer server{zid_test::CannedServer::Dialogue(AnswerAll)};
    const std::string url = "http://" + server.DestDomain() + "/k";
    ConnectionPool& pool = ConnectionPool::Instance();
    auto send = [&](const std::string& method, const std::string& body) {
        StringMap headers{{"Content-Length", std::to_string(body.size())}};
        StringMap resp_headers;
        std::string resp_body, err;
        const int status = HttpSender::SendWithStringBody(nullptr, method, url, {}, headers, body,
                                                          5000, 5000, &resp_headers, &resp_body,
                                                          &err);
        return status == 200 && resp_body == "ok" && pool.IdleCount() == 1;
    };
    // No connection falls due while the requests run.
    pool.SetIdleLimit(std::chrono::minutes(10));
    ASSERT_TRUE(send("GET", ""));  // the first exchange of the process starts the thread

    std::string thread;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((thread = ClosingThread()).empty()) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "no closing thread runs";
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // A changed limit must wake it: this shows the count moves when it is woken, and leaves
    // it asleep until the connection kept now falls due.
    const long before_limit = Sleeps(thread);
    ASSERT_GE(before_limit, 0) << "the kernel gives no count of the thread's sleeps";
    pool.SetIdleLimit(std::chrono::minutes(20));
    while (Sleeps(thread) == before_limit) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline + std::chrono::seconds(10))
            << "a changed idle limit did not wake the closing thread";
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

    // 400 requests on the one kept connection. The thread may still be going back to sleep
    // from the wake-up above (on the pool's lock, then on its wait): two sleeps at most.
    const long before = Sleeps(thread);
    const std::string upload(4096, 'u');
    for (int i = 0; i < 200; ++i) ASSERT_TRUE(send("GET", "")) << i;
    for (int i = 0; i < 200; ++i) ASSERT_TRUE(send("PUT", upload)) << i;
    EXPECT_LE(Sleeps(thread) - before, 2) << "woken by requests that only took and gave back";
    EXPECT_EQ(server.Connections(), 1);
}

}  // namespace
