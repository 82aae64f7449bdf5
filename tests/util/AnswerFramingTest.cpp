// Answers that would hand one request's bytes to another on a kept connection: interim answers,
// conflicting framing, bytes after a framed answer, and an answer that comes before the upload
// it refuses has been sent.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <sys/socket.h>

#include "support/CannedServer.h"
#include "support/LocalServiceCerts.h"
#include "util/ConnectionPool.h"
#include "util/HttpSender.h"

using namespace zuzezi_zid;
using zid_test::CannedServer;
using StringMap = std::map<std::string, std::string>;

namespace {

const uint64_t kTimeout = 5000;

struct Answer {
    int status = 0;
    std::string body;
    std::string err;
};

Answer Send(const CannedServer& server, const std::string& method, const std::string& path,
            const std::string& body = "", const std::string& scheme = "http",
            uint64_t timeout = kTimeout) {
    Answer a;
    StringMap resp_headers;
    StringMap headers{{"Content-Length", std::to_string(body.size())}};
    a.status = HttpSender::SendWithStringBody(nullptr, method,
                                              scheme + "://" + server.DestDomain() + path, {},
                                              headers, body, timeout, timeout, &resp_headers,
                                              &a.body, &a.err, false, false);
    return a;
}

std::string Final(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// The answer a request of `target` deserves.
std::string Own(const std::string& target) { return "answer-for-" + target; }

class AnswerFramingTest : public ::testing::Test {
protected:
    void SetUp() override { ConnectionPool::Instance().CloseIdle(); }
    void TearDown() override { ConnectionPool::Instance().CloseIdle(); }
};

// The final answer comes a while after the interim ones, so a client that took an interim
// answer for the final one has already handed the connection to the next request.
TEST_F(AnswerFramingTest, InterimAnswersAreSkippedAndEveryRequestGetsItsOwnAnswer) {
    const std::vector<std::vector<std::string>> cases = {
        {"HTTP/1.1 100 Continue\r\n\r\n"},
        {"HTTP/1.1 103 Early Hints\r\nLink: </style.css>; rel=preload\r\n\r\n"},
        {"HTTP/1.1 102 Processing\r\n\r\n", "HTTP/1.1 103 Early Hints\r\n\r\n",
         "HTTP/1.1 199 Misc\r\n\r\n"},
    };
    for (const auto& interim : cases) {
        SCOPED_TRACE(interim.back());
        ConnectionPool::Instance().CloseIdle();
        CannedServer server([&interim](Poco::Net::StreamSocket& peer, std::string head) {
            while (!head.empty()) {
                for (const std::string& a : interim) CannedServer::Send(peer, a);
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
                if (!CannedServer::Send(peer, Final(Own(CannedServer::TargetOf(head))))) return;
                head = CannedServer::ReadHead(peer);
            }
        });
        for (const char* target : {"/k1", "/k2", "/k3"}) {
            Answer a = Send(server, "GET", target);
            EXPECT_EQ(a.status, 200) << target << " " << a.err;
            EXPECT_EQ(a.body, Own(target));
        }
        // Interim answers do not cost the connection.
        EXPECT_EQ(server.Connections(), 1);
    }
}

TEST_F(AnswerFramingTest, ASwitchOfProtocolsIsAFailureAndTheConnectionIsDropped) {
    CannedServer server(
        "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n\r\n"
        "\x81\x05hello");
    Answer a = Send(server, "GET", "/k");
    EXPECT_EQ(a.status, -1);
    EXPECT_NE(a.err.find("101"), std::string::npos) << a.err;
    EXPECT_EQ(ConnectionPool::Instance().IdleCount(), 0u);
}

TEST_F(AnswerFramingTest, ConflictingFramingFailsAndTheConnectionIsDropped) {
    // As a chunked body it is "hello"; as 5 bytes it is a truncated chunk and bytes after it.
    const std::string chunked = "5\r\nhello\r\n0\r\n\r\n";
    struct Case {
        const char* name;
        std::string head;
        std::string body;
        int status;
        size_t idle;  // connections kept after the call
    };
    const Case cases[] = {
        {"two different lengths", "Content-Length: 5\r\nContent-Length: 9\r\n", "hello1234",
         -1, 0},
        {"length and chunked", "Content-Length: 5\r\nTransfer-Encoding: chunked\r\n", chunked,
         -1, 0},
        {"chunked and length", "Transfer-Encoding: chunked\r\nContent-Length: 5\r\n", chunked,
         -1, 0},
        {"the same length twice", "Content-Length: 5\r\nContent-Length: 5\r\n", "hello", 200,
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConnectionPool::Instance().CloseIdle();
        std::atomic<bool> done{false};
        CannedServer server([&](Poco::Net::StreamSocket& peer, const std::string&) {
            CannedServer::Send(peer, "HTTP/1.1 200 OK\r\n" + c.head + "\r\n" + c.body);
            // Kept open, so that only the client decides whether the connection is kept.
            while (!done) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        });
        Answer a = Send(server, "GET", "/k");
        EXPECT_EQ(a.status, c.status) << a.err;
        if (c.status == -1) EXPECT_FALSE(a.err.empty());
        if (c.status == 200) EXPECT_EQ(a.body, "hello");
        EXPECT_EQ(ConnectionPool::Instance().IdleCount(), c.idle);
        ConnectionPool::Instance().CloseIdle();
        done = true;
    }
}

// The codings are the list all Transfer-Encoding fields form; only a final "chunked" frames the
// body, and a coding the client never asked for cannot be undone.
TEST_F(AnswerFramingTest, TransferCodingsAreReadAsOneList) {
    const std::string chunked = "5\r\nhello\r\n0\r\n\r\n";
    struct Case {
        const char* name;
        std::string head;
        int status;
    };
    const Case cases[] = {
        {"gzip then chunked in one field", "Transfer-Encoding: gzip, chunked\r\n", -1},
        {"gzip then chunked in two fields",
         "Transfer-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n", -1},
        {"chunked not last", "Transfer-Encoding: chunked\r\nTransfer-Encoding: gzip\r\n", -1},
        {"chunked twice", "Transfer-Encoding: chunked, chunked\r\n", -1},
        {"identity then chunked in two fields",
         "Transfer-Encoding: identity\r\nTransfer-Encoding: chunked\r\n", 200},
        {"identity then chunked in one field", "Transfer-Encoding: identity ,Chunked\r\n", 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConnectionPool::Instance().CloseIdle();
        std::atomic<bool> done{false};
        // Where the call must fail the server closes, so that reading until the close would
        // take the framing for the body; elsewhere it keeps the connection open.
        CannedServer server([&](Poco::Net::StreamSocket& peer, const std::string&) {
            CannedServer::Send(peer, "HTTP/1.1 200 OK\r\n" + c.head + "\r\n" + chunked);
            while (c.status == 200 && !done) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
        Answer a = Send(server, "GET", "/k");
        EXPECT_EQ(a.status, c.status) << a.err;
        if (c.status == 200) {
            EXPECT_EQ(a.body, "hello");
        } else {
            EXPECT_FALSE(a.err.empty());
        }
        // An answer framed this way is no reason to trust the connection with another.
        EXPECT_EQ(ConnectionPool::Instance().IdleCount(), 0u);
        done = true;
    }
}

// The extra bytes come in a write of their own after the answer; the next request is sent only
// once the server has sent them.
TEST_F(AnswerFramingTest, BytesAfterAFramedAnswerNeverReachTheNextRequest) {
    struct Case {
        const char* name;
        const char* method;
        std::string answer;
        std::string extra;
    };
    const Case cases[] = {
        {"a body after a HEAD answer", "HEAD", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n",
         "not-yours"},
        {"a whole late answer after a GET", "GET", Final("first"), Final("not-yours")},
        {"bytes after a bodiless 204", "GET", "HTTP/1.1 204 No Content\r\n\r\n",
         Final("not-yours")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConnectionPool::Instance().CloseIdle();
        std::atomic<int> extras_sent{0};
        CannedServer server([&](Poco::Net::StreamSocket& peer, std::string head) {
            bool first = CannedServer::TargetOf(head) == "/first";
            while (!head.empty()) {
                if (first) {
                    CannedServer::Send(peer, c.answer);
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                    CannedServer::Send(peer, c.extra);
                    ++extras_sent;
                    first = false;
                } else if (!CannedServer::Send(peer, Final(Own(CannedServer::TargetOf(head))))) {
                    return;
                }
                head = CannedServer::ReadHead(peer);
            }
        });
        Answer first = Send(server, c.method, "/first");
        EXPECT_NE(first.status, -1) << first.err;
        while (extras_sent == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        Answer next = Send(server, "GET", "/next");
        EXPECT_EQ(next.status, 200) << next.err;
        EXPECT_EQ(next.body, Own("/next"));
    }
}

// A server that refuses an upload as soon as it has its head: the caller gets the refusal and
// its error document, whether the server then closes without reading the body or waits. Over
// TLS the answer is seen once the write fails or times out, so those rows have a short one.
TEST_F(AnswerFramingTest, AnAnswerBeforeTheWholeUploadIsSentIsReported) {
    const std::string refusal_body =
        "<?xml version='1.0' encoding='utf-8' ?><Error><Code>AccessDenied</Code>"
        "<Message>Access Denied.</Message></Error>";
    const std::string refusal = "HTTP/1.1 403 Forbidden\r\nContent-Length: " +
                                std::to_string(refusal_body.size()) +
                                "\r\nConnection: close\r\n\r\n" + refusal_body;
    const std::string upload(32 * 1024 * 1024, 'u');
    const zid_test::TestCertificates tls =
        zid_test::MakeTestCertificates(zid_test::MakeTempFolder("zid-early-ca-"));
    struct Case {
        const char* name;
        bool closes;
        bool https;
        uint64_t timeout;
    };
    const Case cases[] = {
        {"server closes unread", true, false, kTimeout},
        {"server waits unread", false, false, kTimeout},
        {"TLS server closes unread", true, true, kTimeout},
        {"TLS server waits unread", false, true, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::atomic<bool> answered{false};
        CannedServer::Dialogue refuse = [&](Poco::Net::StreamSocket& peer, const std::string&) {
            CannedServer::Send(peer, refusal);
            if (c.closes) {
                peer.close();  // the unread body makes this a reset
                return;
            }
            while (!answered) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        };
        std::unique_ptr<CannedServer> server(c.https ? new CannedServer(refuse, tls.certFile,
                                                                        tls.keyFile)
                                                     : new CannedServer(refuse));
        const auto start = std::chrono::steady_clock::now();
        Answer a = Send(*server, "PUT", "/big", upload, c.https ? "https" : "http", c.timeout);
        answered = true;
        EXPECT_EQ(a.status, 403) << a.err;
        EXPECT_EQ(a.body, refusal_body);
        // Noticed while sending: a plain connection does not wait for the send time-out.
        if (!c.https) {
            EXPECT_LT(std::chrono::steady_clock::now() - start,
                      std::chrono::milliseconds(kTimeout));
        }
        EXPECT_EQ(ConnectionPool::Instance().IdleCount(), 0u);
    }
    zid_test::RunQuiet("rm -rf " + zid_test::ShellQuote(tls.folder));
}

// A "100 Continue" that comes in pieces while the body is sent is still an interim answer:
// its first bytes alone are not taken for a final answer, so the body goes on and the
// server's answer after it decides.
TEST_F(AnswerFramingTest, AnInterimAnswerInPiecesDuringTheUploadLetsTheBodyGoOn) {
    const std::string upload(32 * 1024 * 1024, 'u');
    for (size_t first : {size_t{3}, size_t{7}, size_t{9}}) {
        SCOPED_TRACE(first);
        std::atomic<size_t> received{0};
        CannedServer::Dialogue dialogue = [&](Poco::Net::StreamSocket& peer, const std::string&) {
            const std::string interim = "HTTP/1.1 100 Continue\r\n\r\n";
            CannedServer::Send(peer, interim.substr(0, first));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            CannedServer::Send(peer, interim.substr(first));
            std::vector<char> buffer(256 * 1024);
            while (received < upload.size()) {
                const int n = peer.receiveBytes(buffer.data(), static_cast<int>(buffer.size()));
                if (n <= 0) return;
                received += static_cast<size_t>(n);
            }
            CannedServer::Send(peer, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
        };
        CannedServer server(dialogue);
        Answer a = Send(server, "PUT", "/big", upload, "http", kTimeout);
        EXPECT_EQ(a.status, 200) << a.err;
        EXPECT_EQ(a.body, "ok");
        EXPECT_EQ(received, upload.size());
    }
}

}  // namespace
