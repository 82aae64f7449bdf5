#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <Poco/Net/HTTPRequestHandler.h>
#include <Poco/Net/HTTPRequestHandlerFactory.h>
#include <Poco/Net/HTTPServer.h>
#include <Poco/Net/HTTPServerRequest.h>
#include <Poco/Net/HTTPServerResponse.h>
#include <Poco/Net/ServerSocket.h>
#include <Poco/ThreadPool.h>

#include "ClientSettings.h"
#include "support/LocalServiceFixture.h"
#include "support/RefusingBuf.h"
#include "SettingsGuard.h"
#include "trsf/TransferHandler.h"
#include "util/AuthTool.h"
#include "util/FilePartBody.h"
#include "util/HttpSender.h"
#include "util/ResponseBody.h"

using namespace zuzezi_zid;
using StringMap = std::map<std::string, std::string>;

namespace {

const char* kBucket = "sendtest";
const uint64_t kTimeout = 5000;

std::vector<std::string> g_lines;
void Capture(const std::string& line) { g_lines.push_back(line); }

std::string Host(const char* region = "ap-x") {
    return ClientSettings::BuildBucketHost(0, region, kBucket, false);
}

// Headers of a request the service accepts: Host, Content-Length and a signature.
StringMap Signed(const std::string& method, const std::string& path, const StringMap& params,
                 size_t body_size, StringMap extra = {}, const std::string& host = Host()) {
    extra["Host"] = host;
    extra["Content-Length"] = std::to_string(body_size);
    extra["Authorization"] = AuthTool::SignFromNow("AKID", "SK", method, path, extra, params);
    return extra;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

class HttpSenderTest : public zid_test::LocalServiceFixture {
protected:
    void SetUp() override {
        LocalServiceFixture::SetUp();
        Service().CreateBucket(Bucket());
    }
    std::string Url(const std::string& path) { return "http://" + DestDomain() + path; }
    std::string Bucket() { return LocalServiceFixture::Bucket(kBucket); }

    int Put(const std::string& key, const std::string& body,
            const std::shared_ptr<TransferHandler>& handler = nullptr) {
        StringMap resp_headers;
        std::string resp_body, err;
        return HttpSender::SendWithStringBody(handler, "PUT", Url("/" + key), {},
                                              Signed("PUT", "/" + key, {}, body.size()), body,
                                              kTimeout, kTimeout, &resp_headers, &resp_body, &err);
    }

    zid_util_test::SettingsGuard guard_;
};

TEST_F(HttpSenderTest, PutAndGetRoundTrip) {
    const std::string data = "hello, loopback";
    EXPECT_EQ(Put("dir/a b.txt", data), 200);
    EXPECT_EQ(Service().GetObject(Bucket(), "dir/a b.txt").value_or("<none>"), data);
    EXPECT_EQ(Service().Requests().back().uri, "/dir/a%20b.txt");

    StringMap resp_headers;
    std::string body, err;
    // The caller hands the path already encoded; it goes out unchanged.
    const int status = HttpSender::SendWithStringBody(
        nullptr, "GET", Url("/dir/a%20b.txt"), {}, Signed("GET", "/dir/a b.txt", {}, 0), "",
        kTimeout, kTimeout, &resp_headers, &body, &err);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(body, data);
    EXPECT_EQ(err, "");
    EXPECT_EQ(resp_headers["ETag"], "\"" + zid_local::LocalService::Md5Hex(data) + "\"");
    EXPECT_FALSE(resp_headers["x-zid-request-id"].empty());
    EXPECT_EQ(Service().Requests().back().uri, "/dir/a%20b.txt");
}

TEST_F(HttpSenderTest, QueryAndTarget) {
    struct Case {
        std::string path;
        StringMap params;
        std::string uri;
    };
    const Case cases[] = {
        {"/k", {{"partNumber", "1"}, {"uploadId", "x/y"}}, "/k?partNumber=1&uploadId=x%2Fy"},
        {"/k", {{"uploads", ""}}, "/?uploads"},
        {"", {}, "/"},
        {"/k?ignored=1", {}, "/k"},
    };
    for (const auto& c : cases) {
        Service().ClearRequests();
        StringMap resp_headers;
        std::string body, err;
        const std::string path = c.path.empty() ? "/" : c.path.substr(0, c.path.find('?'));
        HttpSender::SendWithStringBody(nullptr, "HEAD", Url(c.path), c.params,
                                       Signed("HEAD", path, c.params, 0), "", kTimeout, kTimeout,
                                       &resp_headers, &body, &err);
        ASSERT_EQ(Service().Requests().size(), 1u) << c.path << " " << err;
        const std::string uri = Service().Requests().back().uri;
        if (c.uri == "/?uploads") {
            EXPECT_EQ(uri, "/k?uploads");
        } else {
            EXPECT_EQ(uri, c.uri);
        }
    }
}

TEST_F(HttpSenderTest, ErrorStatusIsReturnedWithItsBody) {
    StringMap resp_headers;
    std::string body, err;
    const int status = HttpSender::SendWithStringBody(
        nullptr, "GET", Url("/missing"), {}, Signed("GET", "/missing", {}, 0), "", kTimeout,
        kTimeout, &resp_headers, &body, &err);
    EXPECT_EQ(status, 404);
    EXPECT_NE(body.find("<Error>"), std::string::npos);
    EXPECT_EQ(err, "");

    // A wrong signature is the service's 403, not a sender failure.
    StringMap bad = Signed("GET", "/missing", {}, 0);
    bad["Authorization"] = AuthTool::SignFromNow("AKID", "wrong", "GET", "/missing", bad, {});
    resp_headers.clear();
    EXPECT_EQ(HttpSender::SendWithStringBody(nullptr, "GET", Url("/missing"), {}, bad, "", kTimeout,
                                             kTimeout, &resp_headers, &body, &err),
              403);
}

TEST_F(HttpSenderTest, DownloadFormRoutesBodyByStatus) {
    const std::string data(100000, 'd');
    Service().PutObject(Bucket(), "big", data);
    auto handler = std::make_shared<TransferHandler>();
    StringMap resp_headers;
    std::string err_body, err;
    std::ostringstream os;
    uint64_t real = 0;
    EXPECT_EQ(HttpSender::SendRequest(handler, "GET", Url("/big"), {}, Signed("GET", "/big", {}, 0),
                                      "", kTimeout, kTimeout, &resp_headers, &err_body, os, &err,
                                      &real, true),
              200);
    EXPECT_EQ(os.str(), data);
    EXPECT_EQ(real, data.size());
    EXPECT_EQ(err_body, "");
    EXPECT_EQ(handler->GetTotalSize(), data.size());
    EXPECT_EQ(handler->GetTransferred(), data.size());

    std::ostringstream ranged;
    resp_headers.clear();
    EXPECT_EQ(
        HttpSender::SendRequest(nullptr, "GET", Url("/big"), {},
                                Signed("GET", "/big", {}, 0, {{"Range", "bytes=10-19"}}), "",
                                kTimeout, kTimeout, &resp_headers, &err_body, ranged, &err, &real),
        206);
    EXPECT_EQ(ranged.str(), data.substr(10, 10));
    EXPECT_EQ(real, 10u);

    std::ostringstream none;
    resp_headers.clear();
    EXPECT_EQ(
        HttpSender::SendRequest(nullptr, "GET", Url("/nope"), {}, Signed("GET", "/nope", {}, 0), "",
                                kTimeout, kTimeout, &resp_headers, &err_body, none, &err, &real),
        404);
    EXPECT_EQ(none.str(), "");
    EXPECT_NE(err_body.find("NoSuchKey"), std::string::npos);
    EXPECT_EQ(real, err_body.size());
}

TEST_F(HttpSenderTest, Md5MismatchFailsButDeliversTheBody) {
    const std::string data = "checked body";
    Service().PutObject(Bucket(), "m", data);
    const std::string md5 = zid_local::LocalService::Md5Hex(data);
    std::string upper = md5;
    for (auto& c : upper) c = static_cast<char>(toupper(c));

    // The string form: a matching ETag passes, a differing one (upper-case hex) fails.
    StringMap resp_headers;
    std::string body, err;
    EXPECT_EQ(
        HttpSender::SendWithStringBody(nullptr, "GET", Url("/m"), {}, Signed("GET", "/m", {}, 0),
                                       "", kTimeout, kTimeout, &resp_headers, &body, &err, true),
        200);
    zid_local::Fault fault;
    fault.kind = zid_local::FaultKind::UpperETag;
    Service().AddFault(fault);
    resp_headers.clear();
    EXPECT_EQ(
        HttpSender::SendWithStringBody(nullptr, "GET", Url("/m"), {}, Signed("GET", "/m", {}, 0),
                                       "", kTimeout, kTimeout, &resp_headers, &body, &err, true),
        -1);
    EXPECT_EQ(err, "Md5 of response body is not equal to the etag in the header. Body Md5= " + md5 +
                       ", etag=" + upper);
    EXPECT_EQ(body, data);

    // The download form adds the lengths.
    Service().AddFault(fault);
    resp_headers.clear();
    std::ostringstream os;
    std::string err_body;
    uint64_t real = 0;
    err.clear();
    EXPECT_EQ(HttpSender::SendRequest(nullptr, "GET", Url("/m"), {}, Signed("GET", "/m", {}, 0), "",
                                      kTimeout, kTimeout, &resp_headers, &err_body, os, &err, &real,
                                      true),
              -1);
    EXPECT_EQ(err, "Md5 of response body is not equal to the etag in the header. Body Md5= " + md5 +
                       ", etag=" + upper + ", recv-len=12, content-length=12");
    EXPECT_EQ(os.str(), data);
    EXPECT_EQ(real, 12u);

    // Without an ETag there is nothing to compare.
    fault.kind = zid_local::FaultKind::NoETag;
    Service().AddFault(fault);
    resp_headers.clear();
    EXPECT_EQ(
        HttpSender::SendWithStringBody(nullptr, "GET", Url("/m"), {}, Signed("GET", "/m", {}, 0),
                                       "", kTimeout, kTimeout, &resp_headers, &body, &err, true),
        200);
}

// Takes a body into its own memory, up to its capacity; what does not fit is only counted.
class MemorySink : public DirectSinkBuf {
public:
    explicit MemorySink(size_t capacity) : m_memory(capacity) {}
    std::string Stored() const { return std::string(m_memory.data(), m_used); }
    size_t Over() const { return m_over; }

    size_t Room(char** at) override {
        *at = m_memory.data() + m_used;
        return m_memory.size() - m_used;
    }
    void Commit(size_t n) override { m_used += n; }

protected:
    std::streamsize xsputn(const char*, std::streamsize n) override {
        m_over += static_cast<size_t>(n);
        return n;
    }

private:
    std::vector<char> m_memory;
    size_t m_used = 0;
    size_t m_over = 0;
};

// A body of megabytes is digested alongside the copy: the verdict, the message and the bytes
// delivered must be those of the inline digest, whatever the destination.
TEST_F(HttpSenderTest, LargeBodyMd5CheckedWhateverTheDestination) {
    const size_t kSize = 3 * 1024 * 1024 + 5;
    std::string data(kSize, '\0');
    for (size_t i = 0; i < kSize; ++i) data[i] = static_cast<char>((i * 7919) >> 5);
    Service().PutObject(Bucket(), "large", data);
    const std::string md5 = zid_local::LocalService::Md5Hex(data);
    std::string upper = md5;
    for (auto& c : upper) c = static_cast<char>(toupper(c));

    enum class Dest { kStream, kSink, kShortSink };
    struct Case {
        const char* name;
        Dest dest;
        bool wrong_etag;
    };
    const Case cases[] = {
        {"stream", Dest::kStream, false},
        {"stream, wrong ETag", Dest::kStream, true},
        {"own memory", Dest::kSink, false},
        {"own memory, wrong ETag", Dest::kSink, true},
        // The first 2 MiB are read in place, the rest through the copy buffer.
        {"own memory too small", Dest::kShortSink, false},
    };
    for (const auto& c : cases) {
        if (c.wrong_etag) {
            zid_local::Fault fault;
            fault.kind = zid_local::FaultKind::UpperETag;
            Service().AddFault(fault);
        }
        std::ostringstream stream;
        MemorySink sink(c.dest == Dest::kShortSink ? 2 * 1024 * 1024 : kSize);
        std::ostream to_sink(&sink);
        std::ostream& out = c.dest == Dest::kStream ? static_cast<std::ostream&>(stream) : to_sink;
        auto handler = std::make_shared<TransferHandler>();
        StringMap resp_headers;
        std::string err_body, err;
        uint64_t real = 0;
        const int status = HttpSender::SendRequest(
            handler, "GET", Url("/large"), {}, Signed("GET", "/large", {}, 0), "", kTimeout,
            kTimeout, &resp_headers, &err_body, out, &err, &real, true);
        if (c.wrong_etag) {
            EXPECT_EQ(status, -1) << c.name;
            EXPECT_EQ(err, "Md5 of response body is not equal to the etag in the header. Body Md5= " +
                               md5 + ", etag=" + upper + ", recv-len=" + std::to_string(kSize) +
                               ", content-length=" + std::to_string(kSize))
                << c.name;
        } else {
            EXPECT_EQ(status, 200) << c.name << ": " << err;
        }
        EXPECT_EQ(real, kSize) << c.name;
        EXPECT_EQ(handler->GetTransferred(), kSize) << c.name;
        if (c.dest == Dest::kStream) {
            EXPECT_TRUE(stream.str() == data) << c.name;
        } else {
            const std::string stored = sink.Stored();
            EXPECT_TRUE(stored == data.substr(0, stored.size())) << c.name;
            EXPECT_EQ(stored.size() + sink.Over(), kSize) << c.name;
        }
    }
}

// The digest runs on a thread of its own for a large body; a copy that stops half-way must
// still end the call with its own error, the thread stopped.
TEST_F(HttpSenderTest, LargeMd5CheckedBodyStopsOnRefusedWriteAndCancel) {
    const size_t kSize = 4 * 1024 * 1024;
    Service().PutObject(Bucket(), "large", std::string(kSize, 'q'));
    StringMap resp_headers;
    std::string err_body, err;
    uint64_t real = 0;

    zid_test::RefusingBuf refusing(2 * 1024 * 1024 + 100);
    std::ostream full(&refusing);
    EXPECT_EQ(HttpSender::SendRequest(nullptr, "GET", Url("/large"), {},
                                      Signed("GET", "/large", {}, 0), "", kTimeout, kTimeout,
                                      &resp_headers, &err_body, full, &err, &real, true),
              -1);
    EXPECT_TRUE(StartsWith(err, "Exception:write to output stream failed after ")) << err;
    EXPECT_EQ(refusing.Taken(), 2u * 1024 * 1024 + 100);

    // Cancelled once the digest has gone to its thread.
    auto handler = std::make_shared<TransferHandler>();
    handler->SetTransferProgressCallback([&](uint64_t done, uint64_t, void*) {
        if (done > 2 * 1024 * 1024) handler->Cancel();
    });
    std::ostringstream os;
    err.clear();
    EXPECT_EQ(HttpSender::SendRequest(handler, "GET", Url("/large"), {},
                                      Signed("GET", "/large", {}, 0), "", kTimeout, kTimeout,
                                      &resp_headers, &err_body, os, &err, &real, true),
              -1);
    EXPECT_EQ(err, "Request canceled by user");
    EXPECT_GT(os.str().size(), 2u * 1024 * 1024);
    EXPECT_LT(os.str().size(), kSize);
    handler->SetTransferProgressCallback(nullptr);
}

TEST_F(HttpSenderTest, RefusedConnectionAndTimeout) {
    uint16_t closed_port = 0;
    {
        Poco::Net::ServerSocket probe(Poco::Net::SocketAddress("127.0.0.1", 0));
        closed_port = probe.address().port();
    }
    StringMap resp_headers;
    std::string body, err;
    EXPECT_EQ(HttpSender::SendWithStringBody(
                  nullptr, "GET", "http://127.0.0.1:" + std::to_string(closed_port) + "/k", {},
                  Signed("GET", "/k", {}, 0), "", 1000, 1000, &resp_headers, &body, &err),
              -1);
    EXPECT_TRUE(StartsWith(err, "Net Exception:")) << err;

    Service().PutObject(Bucket(), "slow", std::string(1000, 's'));
    zid_local::Fault stall;
    stall.kind = zid_local::FaultKind::Stall;
    stall.stallMs = 60000;  // ended below, once the call has given up
    Service().AddFault(stall);
    err.clear();
    EXPECT_EQ(HttpSender::SendWithStringBody(nullptr, "GET", Url("/slow"), {},
                                             Signed("GET", "/slow", {}, 0), "", kTimeout, 300,
                                             &resp_headers, &body, &err),
              -1);
    Service().ClearFaults();
    EXPECT_TRUE(StartsWith(err, "TimeoutException:")) << err;
}

TEST_F(HttpSenderTest, BodyCutShortIsAFailure) {
    Service().PutObject(Bucket(), "r", std::string(200000, 'r'));
    for (auto kind : {zid_local::FaultKind::Reset, zid_local::FaultKind::CloseMidBody}) {
        zid_local::Fault cut;
        cut.kind = kind;
        cut.afterBytes = 1000;
        Service().AddFault(cut);
        StringMap resp_headers;
        std::string body, err;
        EXPECT_EQ(HttpSender::SendWithStringBody(nullptr, "GET", Url("/r"), {},
                                                 Signed("GET", "/r", {}, 0), "", kTimeout, kTimeout,
                                                 &resp_headers, &body, &err),
                  -1);
        EXPECT_TRUE(StartsWith(err, "Net Exception:")) << err;
        EXPECT_LT(body.size(), 200000u);
    }
}

// A body that ends before its Content-Length is a failure of the sender at once, whether it is
// a plain stream or a file part that fell short, and the service stores nothing.
TEST_F(HttpSenderTest, BodyShorterThanItsLengthFails) {
    const std::string dir = zid_test::MakeTempFolder("zid-short");
    const std::string path = dir + "/short.bin";
    {
        std::ofstream(path, std::ios::binary) << std::string(1000, 'f');
    }
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    std::vector<char> piece(FilePartBodyBuf::kPieceBytes);
    for (const bool from_file : {false, true}) {
        SCOPED_TRACE(from_file ? "file part" : "stream");
        std::istringstream text(std::string(1000, 's'));
        FilePartBodyBuf file_part(fd, 0, 5000, piece.data());
        std::istream file_body(&file_part);
        std::istream& body = from_file ? file_body : text;
        StringMap resp_headers;
        std::string resp_body, err;
        EXPECT_EQ(HttpSender::SendWithStreamBody(nullptr, "PUT", Url("/s"), {},
                                                 Signed("PUT", "/s", {}, 5000), body, kTimeout,
                                                 kTimeout, &resp_headers, &resp_body, &err),
                  -1);
        EXPECT_EQ(err, "Exception:request body ended after 1000 of 5000 bytes");
        EXPECT_FALSE(Service().GetObject(Bucket(), "s").has_value());
    }
    ::close(fd);
    std::filesystem::remove_all(dir);
}

TEST_F(HttpSenderTest, CancellationStopsUploadAndDownload) {
    auto cancelled = std::make_shared<TransferHandler>();
    cancelled->Cancel();
    StringMap resp_headers;
    std::string body, err;
    EXPECT_EQ(
        HttpSender::SendWithStringBody(cancelled, "PUT", Url("/c"), {}, Signed("PUT", "/c", {}, 5),
                                       "bytes", kTimeout, kTimeout, &resp_headers, &body, &err),
        -1);
    EXPECT_EQ(err, "Request canceled by user");
    EXPECT_FALSE(Service().GetObject(Bucket(), "c").has_value());

    // Cancelled from the progress callback after the first piece of a download.
    const std::string long_body(3 * 1024 * 1024, 'l');
    Service().PutObject(Bucket(), "long", long_body);
    auto handler = std::make_shared<TransferHandler>();
    handler->SetTransferProgressCallback([&](uint64_t, uint64_t, void*) { handler->Cancel(); });
    std::ostringstream os;
    std::string err_body;
    uint64_t real = 12345;
    err.clear();
    EXPECT_EQ(
        HttpSender::SendRequest(handler, "GET", Url("/long"), {}, Signed("GET", "/long", {}, 0), "",
                                kTimeout, kTimeout, &resp_headers, &err_body, os, &err, &real),
        -1);
    EXPECT_EQ(err, "Request canceled by user");
    EXPECT_GT(os.str().size(), 0u);
    EXPECT_LT(os.str().size(), long_body.size());
    EXPECT_EQ(real, 12345u);  // only written once the body was read to its end
    handler->SetTransferProgressCallback(nullptr);
}

TEST_F(HttpSenderTest, OneHandlerCountsConcurrentExchanges) {
    const std::string data(50000, 'p');
    Service().PutObject(Bucket(), "p", data);
    auto handler = std::make_shared<TransferHandler>();
    handler->SetTotalSize(4 * data.size() + data.size());
    // Upload progress counts the request body.
    EXPECT_EQ(Put("up", data, handler), 200);
    EXPECT_EQ(handler->GetTransferred(), data.size());

    std::vector<std::thread> threads;
    std::vector<int> statuses(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            StringMap resp_headers;
            std::string body, err;
            statuses[t] = HttpSender::SendWithStringBody(
                handler, "GET", Url("/p"), {}, Signed("GET", "/p", {}, 0), "", kTimeout, kTimeout,
                &resp_headers, &body, &err);
            if (body != data) statuses[t] = -2;
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(statuses, std::vector<int>(4, 200));
    EXPECT_EQ(handler->GetTransferred(), 5 * data.size());
}

TEST_F(HttpSenderTest, CallbackAndUrlFailuresNeverConnect) {
    StringMap resp_headers;
    std::string body, err;
    auto refuse = [](void*, void*) { return 5; };
    EXPECT_EQ(HttpSender::SendWithStringBody(nullptr, "GET", "https://" + DestDomain() + "/k", {},
                                             {}, "", kTimeout, kTimeout, &resp_headers, &body, &err,
                                             false, true, "", refuse, nullptr),
              -1);
    EXPECT_EQ(err, "SSL_Ctx Callback Exception Code: 5");
    EXPECT_TRUE(Service().Requests().empty());

    // A plain URL never builds a TLS context, so the callback is not consulted.
    Service().PutObject(Bucket(), "k", "v");
    err.clear();
    EXPECT_EQ(HttpSender::SendWithStringBody(
                  nullptr, "GET", Url("/k"), {}, Signed("GET", "/k", {}, 0), "", kTimeout, kTimeout,
                  &resp_headers, &body, &err, false, true, "", refuse, nullptr),
              200);

    err.clear();
    EXPECT_EQ(HttpSender::SendWithStringBody(nullptr, "GET", "http://[bad", {}, {}, "", kTimeout,
                                             kTimeout, &resp_headers, &body, &err),
              -1);
    EXPECT_TRUE(StartsWith(err, "url:http://[bad    URISyntaxException:")) << err;
}

TEST_F(HttpSenderTest, SecretsNeverReachTheLog) {
    ClientSettings::SetLogLevel(4);
    ClientSettings::SetLogOutType(0);
    ClientSettings::SetLogCallback(&Capture);
    g_lines.clear();
    StringMap headers = Signed("PUT", "/s", {}, 1, {{"x-zid-security-token", "TOKEN-SECRET"}});
    const std::string auth = headers["Authorization"];
    StringMap resp_headers;
    std::string body, err;
    HttpSender::SendWithStringBody(nullptr, "PUT", Url("/s"), {}, headers, "x", kTimeout, kTimeout,
                                   &resp_headers, &body, &err);
    bool saw_head = false;
    const std::string signature = auth.substr(auth.find("q-signature="));
    for (const auto& line : g_lines) {
        saw_head = saw_head || line.find("request=[PUT /s HTTP/1.1") != std::string::npos;
        EXPECT_EQ(line.find("TOKEN-SECRET"), std::string::npos) << line;
        EXPECT_EQ(line.find(signature), std::string::npos) << line;
    }
    EXPECT_TRUE(saw_head);
}

// Answers with header shapes the loopback service never produces.
class OddHeaderHandler : public Poco::Net::HTTPRequestHandler {
public:
    void handleRequest(Poco::Net::HTTPServerRequest& req,
                       Poco::Net::HTTPServerResponse& resp) override {
        const std::string body = "multipart body";
        if (req.getURI() == "/etag") {
            resp.set("Etag", "\"0123456789abcdef0123456789abcdef\"");
            resp.add("X-Twice", "first");
            resp.add("X-Twice", "second");
            resp.setContentLength(static_cast<std::streamsize>(body.size()));
            resp.send() << body;
        } else if (req.getURI() == "/dash") {
            resp.set("ETag", "\"0123456789abcdef0123456789abcd-2\"");
            resp.setContentLength(static_cast<std::streamsize>(body.size()));
            resp.send() << body;
        } else {
            resp.setStatus(Poco::Net::HTTPResponse::HTTP_PARTIAL_CONTENT);
            resp.set("Content-Range", "bytes 0-13/14");
            resp.setChunkedTransferEncoding(true);
            resp.send() << body;
        }
    }
};

class OddHeaderFactory : public Poco::Net::HTTPRequestHandlerFactory {
public:
    Poco::Net::HTTPRequestHandler* createRequestHandler(
        const Poco::Net::HTTPServerRequest&) override {
        return new OddHeaderHandler;
    }
};

class OddServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.reset(new Poco::Net::HTTPServer(
            new OddHeaderFactory, Poco::Net::ServerSocket(Poco::Net::SocketAddress("127.0.0.1", 0)),
            new Poco::Net::HTTPServerParams));
        server_->start();
    }
    // Its connections run on Poco's default pool, which outlives the server: they are waited
    // for, so none still frees an HTTP buffer while the program's statics are destroyed.
    void TearDown() override {
        server_->stopAll(true);
        server_.reset();
        Poco::ThreadPool::defaultPool().joinAll();
    }
    std::string Url(const std::string& path) {
        return "http://127.0.0.1:" + std::to_string(server_->port()) + path;
    }
    std::unique_ptr<Poco::Net::HTTPServer> server_;
};

TEST_F(OddServerTest, EtagNameIsNormalisedAndFirstValueKept) {
    StringMap resp_headers;
    std::string body, err;
    // The ETag is quoted, 32 characters long and wrong: compared without its quotes.
    EXPECT_EQ(HttpSender::SendWithStringBody(nullptr, "GET", Url("/etag"), {}, {}, "", kTimeout,
                                             kTimeout, &resp_headers, &body, &err, true),
              -1);
    EXPECT_NE(err.find(", etag=0123456789abcdef0123456789abcdef"), std::string::npos) << err;
    EXPECT_EQ(resp_headers.count("Etag"), 0u);
    EXPECT_EQ(resp_headers["ETag"], "\"0123456789abcdef0123456789abcdef\"");
    EXPECT_EQ(resp_headers["X-Twice"], "first");
    EXPECT_EQ(body, "multipart body");
}

TEST_F(OddServerTest, MultipartEtagIsNotCompared) {
    StringMap resp_headers;
    std::string body, err;
    EXPECT_EQ(HttpSender::SendWithStringBody(nullptr, "GET", Url("/dash"), {}, {}, "", kTimeout,
                                             kTimeout, &resp_headers, &body, &err, true),
              200);
    EXPECT_EQ(err, "");
}

TEST_F(OddServerTest, PartialAnswerWithoutLengthLeavesTotalAlone) {
    auto handler = std::make_shared<TransferHandler>();
    handler->SetTotalSize(99);
    StringMap resp_headers;
    std::string err_body, err;
    std::ostringstream os;
    uint64_t real = 0;
    // Only the range asked for is a partial answer's body.
    EXPECT_EQ(HttpSender::SendRequest(handler, "GET", Url("/chunked"), {}, {{"Range", "bytes=0-13"}}, "", kTimeout,
                                      kTimeout, &resp_headers, &err_body, os, &err, &real),
              206);
    EXPECT_EQ(handler->GetTotalSize(), 99u);
    ASSERT_EQ(resp_headers.count("Content-Length"), 1u);
    EXPECT_EQ(resp_headers["Content-Length"], "");
    EXPECT_EQ(os.str(), "multipart body");
    EXPECT_EQ(real, 14u);
}

class HttpsSenderTest : public zid_test::LocalServiceHttpsFixture {
protected:
    int Get(const std::string& scheme, bool verify, const std::string& ca, std::string* err) {
        const std::string host = Host(kHttpsRegion);
        StringMap resp_headers;
        std::string body;
        // The name on the certificate is the bucket host; the socket goes to 127.0.0.1.
        const std::string url = scheme + "://" + DestDomain() + "/k";
        return HttpSender::SendWithStringBody(
            nullptr, "GET", url, {}, Signed("GET", "/k", {}, 0, {}, host), "", kTimeout, kTimeout,
            &resp_headers, &body, err, false, verify, ca);
    }
};

TEST_F(HttpsSenderTest, VerifiesAgainstTheGivenCa) {
    Service().PutObject(Bucket(kBucket), "k", "secure");
    std::string err;
    EXPECT_EQ(Get("https", true, CaFile(), &err), 200) << err;
    EXPECT_EQ(Get("HTTPS", true, CaFile(), &err), 200) << err;
    EXPECT_EQ(Service().Requests().size(), 2u);

    err.clear();
    EXPECT_EQ(Get("https", true, Certificates().otherCaFile, &err), -1);
    EXPECT_TRUE(StartsWith(err, "Net Exception:")) << err;

    err.clear();
    EXPECT_EQ(Get("https", false, Certificates().otherCaFile, &err), 200) << err;

    // The callback sees the exchange's own TLS context once and may let it go on.
    int calls = 0;
    void* seen_ctx = nullptr;
    int marker = 0;
    void* seen_data = nullptr;
    auto accept = [&](void* ctx, void* data) {
        ++calls;
        seen_ctx = ctx;
        seen_data = data;
        return 0;
    };
    StringMap resp_headers;
    std::string body;
    err.clear();
    EXPECT_EQ(HttpSender::SendWithStringBody(nullptr, "GET", "https://" + DestDomain() + "/k", {},
                                             Signed("GET", "/k", {}, 0, {}, Host(kHttpsRegion)), "",
                                             kTimeout, kTimeout, &resp_headers, &body, &err, false,
                                             true, CaFile(), accept, &marker),
              200)
        << err;
    EXPECT_EQ(body, "secure");
    EXPECT_EQ(calls, 1);
    EXPECT_NE(seen_ctx, nullptr);
    EXPECT_EQ(seen_data, &marker);

    // Plain HTTP to a TLS port is no success either.
    err.clear();
    EXPECT_EQ(Get("http", true, CaFile(), &err), -1);
}

TEST_F(HttpsSenderTest, CertificateIsCheckedAgainstTheHostHeaderNotTheDialledAddress) {
    Service().PutObject(Bucket(kBucket), "k", "secure");
    // The certificate names 127.0.0.1 as well, so only a check against the Host header's name
    // can refuse this one.
    const std::string stranger = "stranger.invalid";
    StringMap resp_headers;
    std::string body, err;
    EXPECT_EQ(HttpSender::SendWithStringBody(nullptr, "GET", "https://" + DestDomain() + "/k", {},
                                             Signed("GET", "/k", {}, 0, {}, stranger), "",
                                             kTimeout, kTimeout, &resp_headers, &body, &err, false,
                                             true, CaFile()),
              -1);
    EXPECT_TRUE(StartsWith(err, "Net Exception:")) << err;
    EXPECT_TRUE(Service().Requests().empty());

    // The same name with a port is still the bucket host the certificate was made for.
    err.clear();
    EXPECT_EQ(HttpSender::SendWithStringBody(
                  nullptr, "GET", "https://" + DestDomain() + "/k", {},
                  Signed("GET", "/k", {}, 0, {}, Host(kHttpsRegion) + ":443"), "", kTimeout,
                  kTimeout, &resp_headers, &body, &err, false, true, CaFile()),
              200)
        << err;
}

}  // namespace
