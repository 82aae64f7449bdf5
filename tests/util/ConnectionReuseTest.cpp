#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <Poco/Net/SecureStreamSocketImpl.h>

#include "ClientSettings.h"
#include "LocalService.h"
#include "support/CannedServer.h"
#include "support/LocalServiceCerts.h"
#include "support/LocalServiceFixture.h"
#include "support/LogCapture.h"
#include "trsf/TransferHandler.h"
#include "util/AuthTool.h"
#include "util/ConnectionPool.h"
#include "util/HttpSender.h"

using namespace zuzezi_zid;
using zid_local::Fault;
using zid_local::FaultKind;
using zid_local::LocalService;
using StringMap = std::map<std::string, std::string>;

namespace {

const uint64_t kTimeout = 5000;
const char* kBucket = "reuse";

std::string Host(const char* region = "ap-x") {
    return ClientSettings::BuildBucketHost(0, region, kBucket, false);
}

StringMap Signed(const std::string& method, const std::string& path, const StringMap& params,
                 size_t body_size, const std::string& host = Host()) {
    StringMap headers;
    headers["Host"] = host;
    headers["Content-Length"] = std::to_string(body_size);
    headers["Authorization"] = AuthTool::SignFromNow("AKID", "SK", method, path, headers, params);
    return headers;
}

struct Answer {
    int status = 0;
    std::string body;
    std::string err;
};

// One exchange with the service at `domain`; `key` is the object, `params` the query.
Answer Send(const std::string& domain, const std::string& method, const std::string& key,
            const StringMap& params = {}, const std::string& body = "",
            const std::shared_ptr<TransferHandler>& handler = nullptr,
            const std::string& scheme = "http", bool verify = false, const std::string& ca = "",
            const std::string& host = Host()) {
    Answer a;
    StringMap resp_headers;
    a.status = HttpSender::SendWithStringBody(
        handler, method, scheme + "://" + domain + "/" + key, params,
        Signed(method, "/" + key, params, body.size(), host), body, kTimeout, kTimeout,
        &resp_headers, &a.body, &a.err, false, verify, ca);
    return a;
}

size_t Count(const LocalService& service, const std::string& method) {
    size_t n = 0;
    for (const auto& r : service.Requests()) {
        if (r.method == method) ++n;
    }
    return n;
}

// True once the service has exactly `open` connections open.
bool WaitOpen(const LocalService& service, int open) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (service.OpenConnections() != open) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// True once the pool keeps exactly `idle` connections.
bool WaitIdle(size_t idle) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ConnectionPool::Instance().IdleCount() != idle) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Every test starts from an empty pool and leaves one behind, with the idle limit it found.
class ConnectionReuseTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_limit_ = ConnectionPool::Instance().GetIdleLimit();
        ConnectionPool::Instance().CloseIdle();
    }
    void TearDown() override {
        ConnectionPool::Instance().SetIdleLimit(saved_limit_);
        ConnectionPool::Instance().CloseIdle();
    }

    std::unique_ptr<LocalService> Start(int idle_close_ms = 10000,
                                        const zid_test::TestCertificates* tls = nullptr) {
        zid_local::ServiceOptions options;
        options.idleCloseMs = idle_close_ms;
        options.buckets = {kBucket};
        if (tls) {
            options.https = true;
            options.certFile = tls->certFile;
            options.keyFile = tls->keyFile;
        }
        std::unique_ptr<LocalService> service(new LocalService(options));
        service->Start();
        return service;
    }

    std::chrono::milliseconds saved_limit_{0};
};

TEST_F(ConnectionReuseTest, SequentialRequestsShareOneConnection) {
    auto service = Start();
    const std::string domain = service->DestDomain();
    const std::string data(300000, 'd');
    EXPECT_EQ(Send(domain, "PUT", "a", {}, data).status, 200);
    for (int i = 0; i < 5; ++i) {
        Answer got = Send(domain, "GET", "a");
        EXPECT_EQ(got.status, 200);
        EXPECT_EQ(got.body, data);
    }
    EXPECT_EQ(Send(domain, "HEAD", "a").status, 200);
    // An error answer read to its end leaves the connection fit too.
    Answer missing = Send(domain, "GET", "missing");
    EXPECT_EQ(missing.status, 404);
    EXPECT_NE(missing.body.find("NoSuchKey"), std::string::npos);
    EXPECT_EQ(Send(domain, "POST", "up", {{"uploads", ""}}).status, 200);
    EXPECT_EQ(Send(domain, "DELETE", "a").status, 204);
    EXPECT_EQ(service->Requests().size(), 10u);
    EXPECT_EQ(service->AcceptedConnections(), 1);
}

TEST_F(ConnectionReuseTest, ConcurrentExchangesShareAFewConnections) {
    auto service = Start();
    const std::string domain = service->DestDomain();
    service->PutObject(kBucket, "c", std::string(100000, 'c'));
    const int kThreads = 4;
    const int kRounds = 10;
    std::vector<std::thread> threads;
    std::vector<int> good(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                Answer got = Send(domain, "GET", "c");
                if (got.status == 200 && got.body.size() == 100000) ++good[t];
            }
        });
    }
    for (auto& t : threads) t.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(good[t], kRounds);
    EXPECT_LE(service->AcceptedConnections(), kThreads);
}

// What the server does to the connection of a first, successful request, and what the next
// request then meets. No case fails the next request unless it may have been acted on, and
// none sends anything twice.
TEST_F(ConnectionReuseTest, ServerSideClosingNeverFailsOrRepeatsTheNextRequest) {
    struct Case {
        const char* name;
        int idle_close_ms;         // the service's idle limit
        FaultKind first_fault;     // on the first request (Status: none)
        bool wait_until_closed;    // the server has closed the kept connection
        FaultKind second_fault;    // on the second request (Status: none)
        const char* method;        // of the second request
        int status;                // it gets
        size_t sent;               // times the service received it
        int connections;
        bool https;                // the server ends a TLS connection with its close alert
    };
    const FaultKind kNone = FaultKind::Status;
    const Case cases[] = {
        {"server closes idle connections", 50, kNone, true, kNone, "POST", 200, 1, 2, false},
        {"answer says Connection: close", 10000, FaultKind::CloseConnection, false, kNone, "POST",
         200, 1, 2, false},
        {"kept connection dropped after the answer", 10000, FaultKind::CloseAfterAnswer, true,
         kNone, "POST", 200, 1, 2, false},
        {"GET on a kept connection dropped unanswered", 10000, kNone, false, FaultKind::Refuse,
         "GET", 200, 2, 2, false},
        {"HEAD on a kept connection dropped unanswered", 10000, kNone, false, FaultKind::Refuse,
         "HEAD", 200, 2, 2, false},
        {"POST on a kept connection dropped unanswered", 10000, kNone, false, FaultKind::Refuse,
         "POST", -1, 1, 1, false},
        {"PUT on a kept connection dropped unanswered", 10000, kNone, false, FaultKind::Refuse,
         "PUT", -1, 1, 1, false},
        {"GET on a kept TLS connection closed unanswered", 10000, kNone, false, FaultKind::Refuse,
         "GET", 200, 2, 2, true},
        {"HEAD on a kept TLS connection closed unanswered", 10000, kNone, false,
         FaultKind::Refuse, "HEAD", 200, 2, 2, true},
        {"POST on a kept TLS connection closed unanswered", 10000, kNone, false,
         FaultKind::Refuse, "POST", -1, 1, 1, true},
    };
    const zid_test::TestCertificates tls =
        zid_test::MakeTestCertificates(zid_test::MakeTempFolder("zid-reuse-ca-"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConnectionPool::Instance().CloseIdle();
        auto service = Start(c.idle_close_ms, c.https ? &tls : nullptr);
        const std::string domain = service->DestDomain();
        const std::string scheme = c.https ? "https" : "http";
        service->PutObject(kBucket, "k", "kept");
        if (c.first_fault != kNone) {
            Fault f;
            f.kind = c.first_fault;
            service->AddFault(f);
        }
        Answer first = Send(domain, "GET", "k", {}, "", nullptr, scheme);
        ASSERT_EQ(first.status, 200) << first.err;
        if (c.wait_until_closed) ASSERT_TRUE(WaitOpen(*service, 0));
        if (c.second_fault != kNone) {
            Fault f;
            f.kind = c.second_fault;
            f.method = c.method;
            service->AddFault(f);
        }
        const std::string method = c.method;
        const StringMap params =
            method == "POST" ? StringMap{{"uploads", ""}} : StringMap{};
        Answer second =
            Send(domain, method, "k", params, method == "PUT" ? "new" : "", nullptr, scheme);
        EXPECT_EQ(second.status, c.status) << second.err;
        const size_t before = method == "GET" ? 1 : 0;
        EXPECT_EQ(Count(*service, method) - before, c.sent);
        if (method == "GET" && c.status == 200) EXPECT_EQ(second.body, "kept");
        EXPECT_EQ(service->AcceptedConnections(), c.connections);
        if (c.status != 200) EXPECT_FALSE(second.err.empty());

        // Whatever happened, the next request on the host gets its right answer.
        Answer after = Send(domain, "GET", "k", {}, "", nullptr, scheme);
        EXPECT_EQ(after.status, 200) << after.err;
        EXPECT_EQ(after.body, "kept");
        // The service stops with no connection open: a TLS server aborting one races in Poco.
        ConnectionPool::Instance().CloseIdle();
        EXPECT_TRUE(WaitOpen(*service, 0));
    }
    zid_test::RunQuiet("rm -rf " + zid_test::ShellQuote(tls.folder));
}

// A kept TLS connection that its server ends instead of answering the next request, in the
// ways and at the moments a server does it: a close alert with the request still unread, once
// it is read or a while after, the alert followed by a reset, a reset alone. A GET is sent
// once more on a new connection and gets its answer; a POST is not sent twice.
TEST_F(ConnectionReuseTest, AKeptTlsConnectionEndedUnansweredSendsOnlyAGetAgain) {
    using Peer = Poco::Net::StreamSocket;
    const auto alert = [](Peer& peer) { peer.shutdown(); };  // close alert, then FIN
    const auto alert_reset = [](Peer& peer) {
        peer.setLinger(true, 0);
        peer.close();  // close alert, then RST
    };
    const auto reset = [](Peer& peer) {
        peer.setLinger(true, 0);
        static_cast<Poco::Net::SecureStreamSocketImpl*>(peer.impl())->abort();
    };
    struct Case {
        const char* name;
        bool read_request;  // the server reads the request before it ends the connection
        int pause_ms;       // between the request arriving and the end
        std::function<void(Peer&)> end;
    };
    const Case cases[] = {
        {"alert once the request is read", true, 0, alert},
        {"alert a while after the request is read", true, 200, alert},
        {"alert with the request unread", false, 0, alert},
        {"alert, then reset", true, 0, alert_reset},
        {"alert, then reset, the request unread", false, 50, alert_reset},
        {"reset without an alert", true, 0, reset},
    };
    const zid_test::TestCertificates tls =
        zid_test::MakeTestCertificates(zid_test::MakeTempFolder("zid-reuse-ca-"));
    for (const char* method : {"GET", "POST"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(method) + ": " + c.name);
            ConnectionPool::Instance().CloseIdle();
            std::atomic<int> connections{0};
            zid_test::CannedServer server(
                [&](Peer& peer, const std::string& head) {
                    if (head.empty()) return;
                    if (++connections > 1) {
                        zid_test::CannedServer::Send(
                            peer, "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nfresh");
                        return;
                    }
                    zid_test::CannedServer::Send(
                        peer, "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nkept");
                    if (c.read_request) {
                        if (zid_test::CannedServer::ReadHead(peer).empty()) return;
                    } else if (!peer.poll(Poco::Timespan(5, 0), Poco::Net::Socket::SELECT_READ)) {
                        return;
                    }
                    std::this_thread::sleep_for(std::chrono::milliseconds(c.pause_ms));
                    zuzezi_zid::SigpipeHold hold;
                    c.end(peer);
                },
                tls.certFile, tls.keyFile);
            Answer first = Send(server.DestDomain(), "GET", "k", {}, "", nullptr, "https");
            ASSERT_EQ(first.status, 200) << first.err;
            ASSERT_EQ(first.body, "kept");
            Answer second = Send(server.DestDomain(), method, "k", {}, "", nullptr, "https");
            if (std::string(method) == "GET") {
                EXPECT_EQ(second.status, 200) << second.err;
                EXPECT_EQ(second.body, "fresh");
                EXPECT_EQ(server.Connections(), 2);
            } else {
                EXPECT_EQ(second.status, -1);
                EXPECT_EQ(server.Connections(), 1);
            }
        }
    }
    zid_test::RunQuiet("rm -rf " + zid_test::ShellQuote(tls.folder));
}

// A transfer that ends early never hands its connection back: the pool stays empty and the
// next request on the host is answered correctly.
TEST_F(ConnectionReuseTest, ConnectionsOfBrokenOrCutExchangesAreNotKept) {
    auto service = Start();
    const std::string domain = service->DestDomain();
    const std::string big(3 * 1024 * 1024, 'b');
    service->PutObject(kBucket, "big", big);
    service->PutObject(kBucket, "small", "small");

    struct Case {
        const char* name;
        std::function<Answer()> exchange;
    };
    const Case cases[] = {
        {"download cancelled after its first piece",
         [&] {
             auto handler = std::make_shared<TransferHandler>();
             handler->SetTransferProgressCallback(
                 [&handler](uint64_t, uint64_t, void*) { handler->Cancel(); });
             Answer a = Send(domain, "GET", "big", {}, "", handler);
             handler->SetTransferProgressCallback(nullptr);
             return a;
         }},
        {"body cut by the server",
         [&] {
             Fault f;
             f.kind = FaultKind::CloseMidBody;
             service->AddFault(f);
             return Send(domain, "GET", "big");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Send(domain, "GET", "small").status, 200);
        ASSERT_EQ(ConnectionPool::Instance().IdleCount(), 1u);
        const int accepted = service->AcceptedConnections();
        Answer broken = c.exchange();
        EXPECT_EQ(broken.status, -1);
        EXPECT_EQ(ConnectionPool::Instance().IdleCount(), 0u);
        Answer next = Send(domain, "GET", "small");
        EXPECT_EQ(next.status, 200) << next.err;
        EXPECT_EQ(next.body, "small");
        EXPECT_EQ(service->AcceptedConnections(), accepted + 1);
    }
}

// Answers only a canned server gives: an error body longer than what is read of it, and bytes
// nobody asked for after a complete answer.
TEST_F(ConnectionReuseTest, AnswersWithBytesLeftUnreadAreNotKept) {
    const std::string endless_error =
        "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 3145728\r\n\r\n" +
        std::string(3 * 1024 * 1024, 'e');
    const std::string extra_bytes =
        "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhelloHTTP/1.1 200 OK\r\n\r\n";
    struct Case {
        const char* name;
        const std::string* reply;
        int status;
    };
    const Case cases[] = {{"error body over the cap", &endless_error, 500},
                          {"bytes after the answer", &extra_bytes, 200}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConnectionPool::Instance().CloseIdle();
        zid_test::CannedServer server(*c.reply);
        Answer a = Send(server.DestDomain(), "GET", "k");
        EXPECT_EQ(a.status, c.status) << a.err;
        EXPECT_EQ(ConnectionPool::Instance().IdleCount(), 0u);
    }
}

TEST_F(ConnectionReuseTest, IdleConnectionsAreClosedAfterTheIdleLimit) {
    // Only the pool may close the connection: the service's own limit is far off.
    auto service = Start(600000);
    const std::string domain = service->DestDomain();
    service->PutObject(kBucket, "k", "v");
    // Kept while the limit is far off, then due at once under a short one.
    ConnectionPool::Instance().SetIdleLimit(std::chrono::minutes(10));
    EXPECT_EQ(Send(domain, "GET", "k").status, 200);
    EXPECT_EQ(ConnectionPool::Instance().IdleCount(), 1u);
    ConnectionPool::Instance().SetIdleLimit(std::chrono::milliseconds(30));
    EXPECT_TRUE(WaitIdle(0)) << "the expired connection is still kept";
    EXPECT_EQ(Send(domain, "GET", "k").status, 200);
    EXPECT_EQ(service->AcceptedConnections(), 2);
    // The expired connection was closed, not only passed over: the service sees it end.
    EXPECT_TRUE(WaitOpen(*service, 1));
}

// Nothing uses the pool after the last exchange: the connection is still closed once idle too
// long, as the service sees (its own idle limit is far off).
TEST_F(ConnectionReuseTest, AnIdleConnectionIsClosedWhenItExpiresWithoutFurtherUse) {
    auto service = Start(600000);
    const std::string domain = service->DestDomain();
    service->PutObject(kBucket, "k", "v");
    // Kept while the limit is far off.
    ConnectionPool::Instance().SetIdleLimit(std::chrono::minutes(10));
    ASSERT_EQ(Send(domain, "GET", "k").status, 200);
    ASSERT_EQ(service->OpenConnections(), 1);
    // A changed limit applies to every idle connection, also those given back after it.
    ConnectionPool::Instance().SetIdleLimit(std::chrono::milliseconds(200));
    EXPECT_TRUE(WaitOpen(*service, 0));
    EXPECT_EQ(ConnectionPool::Instance().IdleCount(), 0u);
    ConnectionPool::Instance().SetIdleLimit(std::chrono::milliseconds(100));
    ASSERT_EQ(Send(domain, "GET", "k").status, 200);
    EXPECT_TRUE(WaitOpen(*service, 0));
    EXPECT_EQ(service->AcceptedConnections(), 2);
}

TEST_F(ConnectionReuseTest, ThePoolKeepsABoundedNumberPerHostAndInAll) {
    ConnectionPool& pool = ConnectionPool::Instance();
    auto idle = [] {
        return std::unique_ptr<HttpConnection>(
            new ConnectionOf<Poco::Net::HTTPClientSession>("127.0.0.1", 1));
    };
    for (int i = 0; i < 40; ++i) pool.Give("http://a:1", idle());
    EXPECT_EQ(pool.IdleCount(), 32u);
    for (int i = 0; i < 40; ++i) pool.Give("http://b:1", idle());
    EXPECT_EQ(pool.IdleCount(), 64u);
    // Never opened, so none is fit to carry a request.
    EXPECT_EQ(pool.Take("http://a:1"), nullptr);
    EXPECT_EQ(pool.IdleCount(), 32u);
}

// A forked child shares the parent's sockets: a request of the child on one would leave the
// parent's next exchange on it waiting for the child's answer, or reading it.
TEST_F(ConnectionReuseTest, AForkedChildNeverUsesTheParentsKeptConnections) {
    auto service = Start();
    const std::string domain = service->DestDomain();
    service->PutObject(kBucket, "k", "parent");
    ASSERT_EQ(Send(domain, "GET", "k").status, 200);
    ASSERT_EQ(ConnectionPool::Instance().IdleCount(), 1u);
    const pid_t child = fork();
    if (child == 0) {
        const bool fresh = ConnectionPool::Instance().IdleCount() == 0;
        Answer a = Send(domain, "GET", "k");
        _exit(fresh && a.status == 200 && a.body == "parent" ? 0 : 1);
    }
    ASSERT_GT(child, 0);
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(service->AcceptedConnections(), 2);
    // The parent's connection is still its own.
    Answer again = Send(domain, "GET", "k");
    EXPECT_EQ(again.status, 200) << again.err;
    EXPECT_EQ(again.body, "parent");
    EXPECT_EQ(service->AcceptedConnections(), 2);
}

// A child that lives on holds no copy of the parent's kept sockets, so the parent's close of
// an expired connection reaches the server while the child still runs.
TEST_F(ConnectionReuseTest, AForkedChildKeepsNoneOfTheParentsSocketsOpen) {
    auto service = Start(600000);
    const std::string domain = service->DestDomain();
    service->PutObject(kBucket, "k", "v");
    ASSERT_EQ(Send(domain, "GET", "k").status, 200);
    ASSERT_EQ(service->OpenConnections(), 1);
    int release[2];
    ASSERT_EQ(pipe(release), 0);
    const pid_t child = fork();
    if (child == 0) {
        char c;
        close(release[1]);
        _exit(read(release[0], &c, 1) == 1 ? 0 : 1);
    }
    ASSERT_GT(child, 0);
    close(release[0]);
    ConnectionPool::Instance().SetIdleLimit(std::chrono::milliseconds(50));
    EXPECT_TRUE(WaitOpen(*service, 0));
    EXPECT_EQ(waitpid(child, nullptr, WNOHANG), 0);  // still alive while the close came
    ASSERT_EQ(write(release[1], "x", 1), 1);
    close(release[1]);
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// The thread that closes idle connections, watched through the kernel's count of the times it
// went to sleep: each wake-up ends in one more, whatever woke it.

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

TEST_F(ConnectionReuseTest, RequestsOneAfterAnotherOnAKeptConnectionNeverWakeTheClosingThread) {
    auto service = Start();
    const std::string domain = service->DestDomain();
    service->PutObject(kBucket, "k", "v");
    ConnectionPool& pool = ConnectionPool::Instance();
    // No connection falls due while the requests run.
    pool.SetIdleLimit(std::chrono::minutes(10));
    ASSERT_EQ(Send(domain, "GET", "k").status, 200);  // may be the first to start the thread

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
    for (int i = 0; i < 200; ++i) {
        Answer got = Send(domain, "GET", "k");
        ASSERT_EQ(got.status, 200) << i << " " << got.err;
        ASSERT_EQ(got.body, "v");
    }
    for (int i = 0; i < 200; ++i) ASSERT_EQ(Send(domain, "PUT", "u", {}, upload).status, 200) << i;
    EXPECT_LE(Sleeps(thread) - before, 2) << "woken by requests that only took and gave back";
    EXPECT_EQ(service->AcceptedConnections(), 1);
}

// The thread that closes idle connections is stopped by exit and keeps no process alive.
void ExitWithAnIdleConnection() {
    zid_test::CannedServer server("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    StringMap resp_headers;
    std::string body, err;
    if (HttpSender::SendWithStringBody(nullptr, "GET", "http://" + server.DestDomain() + "/k", {},
                                       {}, "", kTimeout, kTimeout, &resp_headers, &body,
                                       &err) != 200 ||
        ConnectionPool::Instance().IdleCount() != 1) {
        _exit(3);
    }
    exit(0);
}

TEST(ConnectionPoolExitTest, AProcessWithIdleConnectionsEndsAtExit) {
    // A fresh process: a fork of this one might copy a lock another thread holds.
    const std::string style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(ExitWithAnIdleConnection(), ::testing::ExitedWithCode(0), "");
    GTEST_FLAG_SET(death_test_style, style);
}

// A write to a connection the peer has closed, as a TLS connection writes: without the hold the
// process would end by SIGPIPE.
void WriteToClosedPeer(bool hold) {
    signal(SIGPIPE, SIG_DFL);
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_UNBLOCK, &pipe, nullptr);
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) _exit(3);
    close(fds[1]);
    {
        std::unique_ptr<SigpipeHold> held(hold ? new SigpipeHold() : nullptr);
        if (write(fds[0], "x", 1) != -1) _exit(4);
    }
    // A signal still pending here would be delivered now.
    _exit(0);
}

TEST(SigpipeHoldTest, AWriteToAClosedPeerDoesNotEndTheProcess) {
    EXPECT_EXIT(WriteToClosedPeer(true), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(WriteToClosedPeer(false), ::testing::KilledBySignal(SIGPIPE), "");
}

class HttpsConnectionReuseTest : public zid_test::LocalServiceHttpsFixture {
protected:
    void SetUp() override {
        LocalServiceHttpsFixture::SetUp();
        ConnectionPool::Instance().CloseIdle();
    }
    void TearDown() override {
        ConnectionPool::Instance().CloseIdle();
        LocalServiceHttpsFixture::TearDown();
    }
};

TEST_F(HttpsConnectionReuseTest, TlsConnectionsAreKeptPerTlsSettings) {
    Service().PutObject(kBucket, "k", "tls");
    const int before = Service().AcceptedConnections();
    auto get = [&](bool verify, const std::string& ca) {
        return Send(DestDomain(), "GET", "k", {}, "", nullptr, "https", verify, ca,
                    Host(kHttpsRegion));
    };
    for (int i = 0; i < 3; ++i) {
        Answer a = get(true, CaFile());
        EXPECT_EQ(a.status, 200) << a.err;
        EXPECT_EQ(a.body, "tls");
    }
    EXPECT_EQ(Service().AcceptedConnections() - before, 1);
    // Other verification settings never ride on a connection checked under the first ones.
    EXPECT_EQ(get(true, Certificates().otherCaFile).status, -1);
    EXPECT_EQ(get(false, "").status, 200);
    EXPECT_EQ(get(false, "").status, 200);
    EXPECT_EQ(Service().AcceptedConnections() - before, 3);
}

TEST_F(HttpsConnectionReuseTest, ANewConnectionResumesTheTlsSession) {
    Service().PutObject(kBucket, "k", "tls");
    // The same CA file under a name no other test uses: TLS settings of their own, so the
    // first connection has no session to resume.
    const std::string ca = "/." + CaFile();
    auto get = [&] {
        return Send(DestDomain(), "GET", "k", {}, "", nullptr, "https", true, ca,
                    Host(kHttpsRegion));
    };
    {
        zid_test::LogCapture log;
        EXPECT_EQ(get().status, 200);
        EXPECT_FALSE(log.Contains("TLS session resumed"));
    }
    ConnectionPool::Instance().CloseIdle();
    const int before = Service().AcceptedConnections();
    zid_test::LogCapture log;
    EXPECT_EQ(get().status, 200);
    EXPECT_EQ(Service().AcceptedConnections() - before, 1);
    EXPECT_TRUE(log.Contains("TLS session resumed"));
}

}  // namespace
