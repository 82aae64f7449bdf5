// Servers that stall a call part-way, plain and over TLS: every call still ends, with a failure,
// once its time-outs have passed.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/CannedServer.h"
#include "support/LocalServiceCerts.h"
#include "util/ConnectionPool.h"
#include "util/HttpSender.h"

using namespace zuzezi_zid;
using zid_test::CannedServer;
using StringMap = std::map<std::string, std::string>;
using Millis = std::chrono::milliseconds;

namespace {

struct Answer {
    int status = 0;
    std::string body;
    std::string err;
};

struct Call {
    std::string method = "GET";
    std::string body;
    uint64_t conn_timeout = 1000;
    uint64_t recv_timeout = 1000;
};

// Runs the call on its own thread and waits at most `bound` for it to end. A call still running
// then is a failure; the server is stopped first, which ends the call, so the test itself ends.
Answer EndsWithin(std::unique_ptr<CannedServer> server, const std::string& scheme,
                  const Call& call, Millis bound) {
    const std::string url = scheme + "://" + server->DestDomain() + "/k";
    auto running = std::async(std::launch::async, [url, call] {
        Answer a;
        StringMap resp_headers;
        const StringMap headers{{"Content-Length", std::to_string(call.body.size())}};
        a.status = HttpSender::SendWithStringBody(nullptr, call.method, url, {}, headers,
                                                  call.body, call.conn_timeout, call.recv_timeout,
                                                  &resp_headers, &a.body, &a.err, false, false);
        return a;
    });
    const bool ended = running.wait_for(bound) == std::future_status::ready;
    server.reset();
    EXPECT_TRUE(ended) << "the call was still running after " << bound.count() << " ms";
    return running.get();
}

class TransportTimeoutTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        tls_ = new zid_test::TestCertificates(
            zid_test::MakeTestCertificates(zid_test::MakeTempFolder("zid-timeout-ca-")));
    }
    static void TearDownTestSuite() {
        zid_test::RunQuiet("rm -rf " + zid_test::ShellQuote(tls_->folder));
        delete tls_;
        tls_ = nullptr;
    }
    void SetUp() override { ConnectionPool::Instance().CloseIdle(); }
    void TearDown() override { ConnectionPool::Instance().CloseIdle(); }

    static std::unique_ptr<CannedServer> Server(bool https, CannedServer::Dialogue dialogue) {
        return std::unique_ptr<CannedServer>(
            https ? new CannedServer(std::move(dialogue), tls_->certFile, tls_->keyFile)
                  : new CannedServer(std::move(dialogue)));
    }

    static zid_test::TestCertificates* tls_;
};

zid_test::TestCertificates* TransportTimeoutTest::tls_ = nullptr;

// The first bytes of an answer that may yet be "100 Continue" come while a large body is sent,
// and then nothing more: the server neither reads the body nor ends the head.
TEST_F(TransportTimeoutTest, AnUnfinishedHeadDuringAnUploadEndsTheCall) {
    Call call;
    call.method = "PUT";
    call.body.assign(32 * 1024 * 1024, 'u');
    Answer a = EndsWithin(Server(false,
                                 [](Poco::Net::StreamSocket& peer, const std::string&) {
                                     CannedServer::Send(peer, "HTTP/1.1 ");
                                     CannedServer::Hold(peer);
                                 }),
                          "http", call, Millis(10000));
    EXPECT_EQ(a.status, -1);
    EXPECT_FALSE(a.err.empty());
}

// Interim answers that never end in a final one: too many of them, or too slow a way to one.
TEST_F(TransportTimeoutTest, InterimAnswersWithoutEndFailTheCall) {
    struct Case {
        const char* name;
        std::string interim;
        int every_ms;
        bool https;
    };
    const Case cases[] = {
        {"100 Continue without end", "HTTP/1.1 100 Continue\r\n\r\n", 20, false},
        {"100 Continue without end over TLS", "HTTP/1.1 100 Continue\r\n\r\n", 20, true},
        {"slow 102 Processing past the receive time-out", "HTTP/1.1 102 Processing\r\n\r\n", 400,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Call call;
        call.recv_timeout = 1500;
        const Case* current = &c;
        Answer a = EndsWithin(Server(c.https,
                                     [current](Poco::Net::StreamSocket& peer, const std::string&) {
                                         while (CannedServer::Send(peer, current->interim)) {
                                             std::this_thread::sleep_for(
                                                 Millis(current->every_ms));
                                         }
                                     }),
                              c.https ? "https" : "http", call, Millis(8000));
        EXPECT_EQ(a.status, -1);
        EXPECT_FALSE(a.err.empty());
    }
}

// The TLS library waits once on the socket's own time-out and then once more on its own poll:
// the bound lies below twice the time-out, so a doubled wait shows.
TEST_F(TransportTimeoutTest, TlsWaitsEndWithinTheirTimeOuts) {
    const uint64_t timeout = 3000;
    const Millis bound(timeout * 17 / 10);
    {
        SCOPED_TRACE("handshake never completed");
        Call call;
        call.conn_timeout = timeout;
        call.recv_timeout = 60000;
        // A plain server: it takes the connection and never answers the TLS hello.
        Answer a = EndsWithin(Server(false,
                                     [](Poco::Net::StreamSocket& peer, const std::string&) {
                                         CannedServer::Hold(peer);
                                     }),
                              "https", call, bound);
        EXPECT_EQ(a.status, -1);
        EXPECT_FALSE(a.err.empty());
    }
    {
        SCOPED_TRACE("request never answered");
        Call call;
        call.conn_timeout = timeout;
        call.recv_timeout = timeout;
        Answer a = EndsWithin(Server(true,
                                     [](Poco::Net::StreamSocket& peer, const std::string&) {
                                         CannedServer::Hold(peer);
                                     }),
                              "https", call, bound);
        EXPECT_EQ(a.status, -1);
        EXPECT_NE(a.err.find("Timeout"), std::string::npos) << a.err;
    }
}

}  // namespace

// A chunked body's trailer that never ends: lines without end, or lines that each come within
// the receive time-out while the trailer as a whole does not.
TEST_F(TransportTimeoutTest, ATrailerWithoutEndFailsTheCall) {
    struct Case {
        const char* name;
        int every_ms;
        bool https;
        bool timed_out;
    };
    const Case cases[] = {
        {"trailer lines without end", 0, false, false},
        {"trailer lines trickled", 200, false, true},
        {"trailer lines trickled over TLS", 200, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Call call;
        call.recv_timeout = 1000;
        const Case* current = &c;
        Answer a = EndsWithin(
            Server(c.https,
                   [current](Poco::Net::StreamSocket& peer, const std::string&) {
                       if (!CannedServer::Send(peer, "HTTP/1.1 200 OK\r\nTransfer-Encoding: "
                                                     "chunked\r\n\r\n1\r\nA\r\n0\r\n")) {
                           return;
                       }
                       while (CannedServer::Send(peer, "X-T: v\r\n")) {
                           if (current->every_ms > 0) {
                               std::this_thread::sleep_for(Millis(current->every_ms));
                           }
                       }
                   }),
            c.https ? "https" : "http", call, Millis(20000));
        EXPECT_EQ(a.status, -1);
        EXPECT_FALSE(a.err.empty());
        if (c.timed_out) EXPECT_NE(a.err.find("Timeout"), std::string::npos) << a.err;
    }
}

// Whichever wait ran out, the call says so in the same words.
TEST_F(TransportTimeoutTest, EveryTimeOutReadsTheSame) {
    const std::vector<std::pair<const char*, CannedServer::Dialogue>> servers = {
        {"silent", [](Poco::Net::StreamSocket& peer, const std::string&) { CannedServer::Hold(peer); }},
        {"interim answers past the time-out",
         [](Poco::Net::StreamSocket& peer, const std::string&) {
             while (CannedServer::Send(peer, "HTTP/1.1 102 Processing\r\n\r\n")) {
                 std::this_thread::sleep_for(Millis(300));
             }
         }},
        {"body stalled",
         [](Poco::Net::StreamSocket& peer, const std::string&) {
             CannedServer::Send(peer, "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nab");
             CannedServer::Hold(peer);
         }},
    };
    for (const auto& server : servers) {
        SCOPED_TRACE(server.first);
        Call call;
        call.recv_timeout = 1000;
        Answer a = EndsWithin(Server(false, server.second), "http", call, Millis(20000));
        EXPECT_EQ(a.status, -1);
        EXPECT_EQ(a.err, "TimeoutException:Timeout");
    }
    SCOPED_TRACE("upload the server does not read");
    Call upload;
    upload.method = "PUT";
    upload.body.assign(32 * 1024 * 1024, 'u');
    Answer a = EndsWithin(Server(false, servers[0].second), "http", upload, Millis(20000));
    EXPECT_EQ(a.status, -1);
    EXPECT_EQ(a.err, "TimeoutException:Timeout");
}
