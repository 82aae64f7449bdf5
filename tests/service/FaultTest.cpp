// Scripted faults: what each one does on the wire, and how they are matched and counted.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "ServiceTestBase.h"

namespace zid_service_test {
namespace {

using zid_local::Fault;
using zid_local::FaultKind;

Fault F(FaultKind kind) {
    Fault f;
    f.kind = kind;
    return f;
}

// True once the service has recorded a request, which it does just before answering.
bool WaitForARequest(const zid_local::LocalService& service) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (service.Requests().empty()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

class FaultTest : public ServiceTestBase {
protected:
    void SetUp() override {
        ServiceTestBase::SetUp();
        body_.resize(300000);
        for (size_t i = 0; i < body_.size(); ++i) body_[i] = static_cast<char>('a' + i % 26);
        Svc().PutObject(kBucket, "obj", body_);
    }
    Reply Get(const std::string& range = std::string(), int recvTimeoutMs = 5000) {
        Req r = Make("GET", "/obj");
        if (!range.empty()) r.headers["Range"] = range;
        r.recvTimeoutMs = recvTimeoutMs;
        return Client().Send(r);
    }
    std::string body_;
};

TEST_F(FaultTest, StatusWithAndWithoutRequestId) {
    Fault f = F(FaultKind::Status);
    f.status = 503;
    Svc().AddFault(f);
    f.status = 500;
    f.withRequestId = false;
    f.errorCode = "InternalError";
    Svc().AddFault(f);

    Reply first = Get();
    EXPECT_EQ(first.status, 503);
    EXPECT_EQ(first.Xml("Code"), "ServiceUnavailable");
    EXPECT_FALSE(first.H("x-zid-request-id").empty());
    EXPECT_EQ(first.Xml("RequestId"), first.H("x-zid-request-id"));

    Reply second = Get();
    EXPECT_EQ(second.status, 500);
    EXPECT_EQ(second.Xml("Code"), "InternalError");
    EXPECT_FALSE(second.Has("x-zid-request-id"));
    EXPECT_EQ(second.body.find("RequestId"), std::string::npos);

    Reply third = Get();
    EXPECT_EQ(third.status, 200);
    EXPECT_EQ(third.body, body_);
    EXPECT_EQ(Svc().PendingFaults(), 0u);
}

TEST_F(FaultTest, MatchingByMethodKeyHostQueryWithSkipAndTimes) {
    Svc().PutObject("other-1", "obj", "o");
    Fault f = F(FaultKind::Status);
    f.method = "GET";
    f.keySubstring = "bj";
    f.host = ".backup.";
    f.skip = 1;
    f.times = 2;
    Svc().AddFault(f);
    Fault q = F(FaultKind::Status);
    q.status = 502;
    q.queryParam = "partNumber";
    q.times = -1;
    Svc().AddFault(q);

    auto get = [&](const std::string& host, const std::string& method = "GET") {
        Req r = Make(method, "/obj");
        r.host = host;
        return Client().Send(r).status;
    };
    const std::string primary = "bkt-1250000000.zid.ap-test.example";
    const std::string backup = "bkt-1250000000.zid.ap-test.backup.example";
    EXPECT_EQ(get(primary), 200);           // other host
    EXPECT_EQ(get(backup, "HEAD"), 200);    // other method
    EXPECT_EQ(get(backup), 200);            // skipped once
    EXPECT_EQ(get(backup), 503);
    EXPECT_EQ(get(backup), 503);
    EXPECT_EQ(get(backup), 200);            // used up
    EXPECT_EQ(Svc().PendingFaults(), 1u);   // the endless one stays

    for (int i = 0; i < 3; ++i) {
        Req part = Make("PUT", "/obj", "p");
        part.params["partNumber"] = "1";
        part.params["uploadId"] = "x";
        EXPECT_EQ(Client().Send(part).status, 502);
    }
    Svc().ClearFaults();
    EXPECT_EQ(Svc().PendingFaults(), 0u);

    auto rec = Svc().Requests();
    ASSERT_GE(rec.size(), 4u);
    EXPECT_EQ(rec[3].host, backup);
    EXPECT_EQ(rec[3].status, 503);
    EXPECT_EQ(rec[3].params.count("partNumber"), 0u);
    EXPECT_EQ(rec.back().params.at("partNumber"), "1");
    EXPECT_EQ(rec.back().query, "partNumber=1&uploadId=x");
    EXPECT_EQ(rec.back().bodySize, 1u);
}

TEST_F(FaultTest, MatchingByTheRangeStart) {
    Fault f = F(FaultKind::Status);
    f.rangeFrom = 1000;
    f.times = -1;
    Svc().AddFault(f);
    const struct {
        const char* range;
        int status;
    } cases[] = {{"", 200},
                 {"bytes=0-999", 206},
                 {"bytes=999-1999", 206},
                 {"bytes=1000-1999", 503},
                 {"bytes=2000-", 503},
                 {"bytes=-500", 206}};  // a suffix range names no first byte
    for (const auto& c : cases) EXPECT_EQ(Get(c.range).status, c.status) << c.range;
}

TEST_F(FaultTest, BrokenConnections) {
    struct Case {
        const char* name;
        FaultKind kind;
        int64_t afterBytes;
        bool gotStatus;
        size_t bodyBytes;
    };
    const Case cases[] = {
        {"refuse", FaultKind::Refuse, -1, false, 0},
        {"close mid-body", FaultKind::CloseMidBody, -1, true, 150000},
        {"close after 1000 bytes", FaultKind::CloseMidBody, 1000, true, 1000},
        {"reset before the body", FaultKind::Reset, 0, true, 0},
    };
    for (const auto& c : cases) {
        Fault f = F(c.kind);
        f.afterBytes = c.afterBytes;
        Svc().AddFault(f);
        Reply r = Get();
        EXPECT_FALSE(r.error.empty()) << c.name;
        if (c.gotStatus) {
            EXPECT_EQ(r.status, 200) << c.name;
            EXPECT_EQ(r.H("Content-Length"), std::to_string(body_.size())) << c.name;
            EXPECT_LE(r.body.size(), c.bodyBytes) << c.name;
            EXPECT_EQ(r.body, body_.substr(0, r.body.size())) << c.name;
        } else {
            EXPECT_EQ(r.status, -1) << c.name;
        }
        // The next connection is served normally.
        EXPECT_EQ(Get().body, body_) << c.name;
    }
    // A reset in the middle of the body.
    Fault reset = F(FaultKind::Reset);
    Svc().AddFault(reset);
    Reply r = Get();
    EXPECT_FALSE(r.error.empty());
    EXPECT_LT(r.body.size(), body_.size());
}

TEST_F(FaultTest, StallSlowsTheBody) {
    Fault f = F(FaultKind::Stall);
    f.stallMs = 60000;
    Svc().AddFault(f);
    Reply timedOut = Get("", 500);
    EXPECT_FALSE(timedOut.error.empty());
    EXPECT_NE(timedOut.body, body_);
    Svc().ClearFaults();

    f.stallMs = 30;
    f.chunkBytes = 100000;
    Svc().AddFault(f);
    auto start = std::chrono::steady_clock::now();
    Reply slow = Get();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(slow.body, body_);
    EXPECT_GE(ms, 80);  // three chunks, a wait before each
}

TEST_F(FaultTest, HeaderAndRangeFaults) {
    std::string crc = std::to_string(zid_local::LocalService::Crc64(body_));
    Svc().AddFault(F(FaultKind::WrongCrc));
    Reply wrong = Get();
    EXPECT_EQ(wrong.body, body_);
    EXPECT_NE(wrong.H("x-zid-hash-crc64ecma"), crc);
    EXPECT_FALSE(wrong.H("x-zid-hash-crc64ecma").empty());

    Svc().AddFault(F(FaultKind::NoCrc));
    EXPECT_FALSE(Get().Has("x-zid-hash-crc64ecma"));
    EXPECT_EQ(Get().H("x-zid-hash-crc64ecma"), crc);

    Svc().AddFault(F(FaultKind::IgnoreRange));
    Reply ignored = Get("bytes=10-19");
    EXPECT_EQ(ignored.status, 200);
    EXPECT_EQ(ignored.body, body_);
    EXPECT_FALSE(ignored.Has("Content-Range"));

    Svc().AddFault(F(FaultKind::WrongContentRange));
    Reply shifted = Get("bytes=10-19");
    EXPECT_EQ(shifted.status, 206);
    EXPECT_EQ(shifted.H("Content-Range"), "bytes 11-20/300000");
    EXPECT_EQ(Get("bytes=10-19").H("Content-Range"), "bytes 10-19/300000");

    std::string etag = "\"" + zid_local::LocalService::Md5Hex(body_) + "\"";
    Svc().AddFault(F(FaultKind::NoETag));
    EXPECT_FALSE(Get().Has("ETag"));
    Svc().AddFault(F(FaultKind::UpperETag));
    std::string upper = etag;
    for (auto& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_EQ(Get().H("ETag"), upper);
    EXPECT_EQ(Get().H("ETag"), etag);
}

TEST_F(FaultTest, EtagFaultsReachXmlAnswers) {
    Req init = Make("POST", "/mp");
    init.params["uploads"] = "";
    std::string id = Client().Send(init).Xml("UploadId");
    Req part = Make("PUT", "/mp", "data");
    part.params["uploadId"] = id;
    part.params["partNumber"] = "1";
    ASSERT_EQ(Client().Send(part).status, 200);
    std::string complete = "<CompleteMultipartUpload><Part><PartNumber>1</PartNumber><ETag>" +
                           zid_local::LocalService::Md5Hex("data") + "</ETag></Part></CompleteMultipartUpload>";
    Fault noEtag = F(FaultKind::NoETag);
    noEtag.queryParam = "uploadId";
    noEtag.method = "POST";
    Svc().AddFault(noEtag);
    Req done = Make("POST", "/mp", complete);
    done.params["uploadId"] = id;
    Reply r = Client().Send(done);
    EXPECT_EQ(r.status, 200) << r.body;
    EXPECT_NE(r.body.find("<CompleteMultipartUploadResult>"), std::string::npos);
    EXPECT_EQ(r.body.find("ETag"), std::string::npos);
}

TEST_F(FaultTest, ErrorBodyWith200AndReplacedObject) {
    Fault f = F(FaultKind::ErrorBody200);
    f.method = "POST";
    Svc().AddFault(f);
    Req post = Make("POST", "/obj", "<CompleteMultipartUpload/>");
    post.params["uploadId"] = "whatever";
    Reply r = Client().Send(post);
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.Xml("Code"), "InternalError");
    EXPECT_FALSE(r.Xml("RequestId").empty());

    // The object changes under the third ranged read.
    Fault replace = F(FaultKind::ReplaceObject);
    replace.method = "GET";
    replace.skip = 2;
    replace.data = std::string(300000, 'Z');
    Svc().AddFault(replace);
    std::string etag = "\"" + zid_local::LocalService::Md5Hex(body_) + "\"";
    for (int i = 0; i < 3; ++i) {
        Req g = Make("GET", "/obj");
        g.headers["Range"] = "bytes=0-9";
        g.headers["If-Match"] = etag;
        Reply rep = Client().Send(g);
        EXPECT_EQ(rep.status, i < 2 ? 206 : 412) << i;
    }
    EXPECT_EQ(Svc().GetObject(kBucket, "obj").value_or(""), std::string(300000, 'Z'));
}

TEST_F(FaultTest, TextBodyWith200) {
    Fault f = F(FaultKind::TextBody200);
    f.method = "POST";
    Svc().AddFault(f);
    Fault page = F(FaultKind::TextBody200);
    page.data = "<html>gateway";
    Svc().AddFault(page);
    Req post = Make("POST", "/obj");
    post.params["uploads"] = "";
    Reply r = Client().Send(post);
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, "OK");
    EXPECT_EQ(Svc().OpenUploadCount(kBucket), 0u);  // nothing was done behind the page
    Reply g = Get();
    EXPECT_EQ(g.status, 200);
    EXPECT_EQ(g.body, "<html>gateway");
    EXPECT_EQ(Get().body, body_);
}

// Clearing the faults lets an answer held by a stall go on at once, whole.
TEST_F(FaultTest, ClearingTheFaultsEndsAStalledAnswer) {
    Fault f = F(FaultKind::Stall);
    f.stallMs = 60000;
    f.chunkBytes = 100000;
    Svc().AddFault(f);
    Svc().ClearRequests();
    Reply held;
    std::thread client([&] { held = Get("", 30000); });
    EXPECT_TRUE(WaitForARequest(Svc())) << "the request never reached the service";
    Svc().ClearFaults();
    client.join();
    EXPECT_TRUE(held.error.empty()) << held.error;
    EXPECT_EQ(held.body, body_);
}

TEST_F(FaultTest, StopEndsAStalledAnswer) {
    zid_local::LocalService own;
    own.Start();
    own.PutObject(kBucket, "s", "slow");
    Fault f = F(FaultKind::Stall);
    f.stallMs = 60000;
    own.AddFault(f);
    std::thread client([&] { TestClient(own.Port()).Send(Make("GET", "/s")); });
    EXPECT_TRUE(WaitForARequest(own)) << "the request never reached the service";
    auto start = std::chrono::steady_clock::now();
    own.Stop();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    client.join();
    EXPECT_LT(ms, 5000);
    EXPECT_FALSE(own.IsRunning());
}

}  // namespace
}  // namespace zid_service_test
