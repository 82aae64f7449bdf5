// The service's signature check against a signer of the test's own, over real sockets.
#include <gtest/gtest.h>

#include <ctime>

#include "ServiceAuth.h"
#include "ServiceTestBase.h"

namespace zid_service_test {
namespace {

const std::map<std::string, std::string> kVectorHeaders = {
    {"Host", "h"}, {"Content-Length", "0"}, {"x-zid-acl", "private"}, {"User-Agent", "u"}};
const std::map<std::string, std::string> kVectorParams = {{"uploadId", "A/B"}, {"partNumber", "1"}};
const char* kVectorSignature = "706ac83eb9d5463f88508b159950279a14f881ef";

TEST(SignatureVector, TestSignerGivesKnownSignature) {
    SignParts s = Sign("AKID", "SK", "PUT", "/dir/a b.txt", kVectorHeaders, kVectorParams, 1700000000, 1700003600);
    EXPECT_EQ(s.headerList, "content-length;host;x-zid-acl");
    EXPECT_EQ(s.paramList, "partnumber;uploadid");
    EXPECT_EQ(s.signature, kVectorSignature);
}

TEST(SignatureVector, ServiceAcceptsKnownSignatureOnlyInsideItsWindow) {
    zid_local::auth::SignInput in;
    in.method = "PUT";
    in.path = "/dir/a b.txt";
    in.params = kVectorParams;
    for (const auto& h : kVectorHeaders) in.headers.emplace_back(h.first, h.second);
    std::string auth = std::string("q-sign-algorithm=sha1&q-ak=AKID&q-sign-time=1700000000;1700003600") +
                       "&q-key-time=1700000000;1700003600&q-header-list=content-length;host;x-zid-acl" +
                       "&q-url-param-list=partnumber;uploadid&q-signature=";
    const std::map<std::string, std::string> creds = {{"AKID", "SK"}};

    in.authorization = auth + kVectorSignature;
    in.now = 1700000100;
    EXPECT_TRUE(zid_local::auth::CheckSignature(in, creds).ok);

    in.now = 1700003601;
    auto expired = zid_local::auth::CheckSignature(in, creds);
    EXPECT_FALSE(expired.ok);
    EXPECT_EQ(expired.message, "Request has expired");

    in.now = 1700000100;
    in.authorization = auth + std::string(kVectorSignature).replace(0, 1, "8");
    EXPECT_EQ(zid_local::auth::CheckSignature(in, creds).code, "SignatureDoesNotMatch");

    // The header value is part of what was signed.
    in.authorization = auth + kVectorSignature;
    for (auto& h : in.headers)
        if (h.first == "x-zid-acl") h.second = "public-read";
    EXPECT_EQ(zid_local::auth::CheckSignature(in, creds).code, "SignatureDoesNotMatch");
}

TEST(ServiceChecksums, KnownVectors) {
    EXPECT_EQ(zid_local::LocalService::Crc64("123456789"), 0x995DC9BBDF1939FAULL);
    EXPECT_EQ(zid_local::LocalService::Crc64(""), 0u);
    // Incremental use continues where the last call stopped.
    EXPECT_EQ(zid_local::LocalService::Crc64("6789", zid_local::LocalService::Crc64("12345")), 0x995DC9BBDF1939FAULL);
    EXPECT_EQ(zid_local::LocalService::Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
}

class SignatureTest : public ServiceTestBase {};

TEST_F(SignatureTest, TableOfSignedAndBadRequests) {
    Svc().PutObject(kBucket, "dir/a b+c%d é.txt", "payload");
    struct Case {
        const char* name;
        std::function<void(Req&)> change;
        int status;
        const char* code;
    };
    const Case cases[] = {
        {"signed", [](Req&) {}, 200, ""},
        {"unsigned", [](Req& r) { r.sign = false; }, 403, "AccessDenied"},
        {"wrong secret key", [](Req& r) { r.sk = "other"; }, 403, "SignatureDoesNotMatch"},
        {"unknown access key", [](Req& r) { r.ak = "NOBODY"; }, 403, "InvalidAccessKeyId"},
        {"expired window", [](Req& r) { r.startOffset = -7200; r.lifetime = 3600; }, 403, "AccessDenied"},
        {"window far in the future", [](Req& r) { r.startOffset = 7200; }, 403, "RequestTimeTooSkewed"},
        {"garbage authorization", [](Req& r) { r.headers["Authorization"] = "hello"; }, 403, "AccessDenied"},
    };
    for (const auto& c : cases) {
        Req r = Make("GET", "/dir/a b+c%d é.txt");
        c.change(r);
        Reply rep = Client().Send(r);
        EXPECT_EQ(rep.status, c.status) << c.name << ": " << rep.body;
        if (c.status == 200) {
            EXPECT_EQ(rep.body, "payload") << c.name;
        } else {
            EXPECT_EQ(rep.Xml("Code"), c.code) << c.name;
            EXPECT_FALSE(rep.Xml("RequestId").empty()) << c.name;
            EXPECT_EQ(rep.Xml("RequestId"), rep.H("x-zid-request-id")) << c.name;
        }
    }
}

TEST_F(SignatureTest, WhatTravelsAfterSigningMustBeWhatWasSigned) {
    Svc().PutObject(kBucket, "k", "v");
    uint64_t start = static_cast<uint64_t>(std::time(nullptr));

    // A header changed after signing.
    Req r = Make("GET", "/k");
    r.headers["x-zid-meta-a"] = "1";
    r.headers["Host"] = kHost;
    r.headers["Content-Length"] = "0";
    r.headers["Authorization"] = Sign("AKID", "SK", "GET", "/k", r.headers, {}, start, start + 600).authorization;
    r.headers["x-zid-meta-a"] = "2";
    EXPECT_EQ(Client().Send(r).status, 403);

    // A query parameter that was not signed.
    Req q = Make("GET", "/k");
    q.headers["Host"] = kHost;
    q.headers["Content-Length"] = "0";
    q.headers["Authorization"] = Sign("AKID", "SK", "GET", "/k", q.headers, {}, start, start + 600).authorization;
    q.params["response-content-type"] = "text/plain";
    Reply rq = Client().Send(q);
    EXPECT_EQ(rq.status, 403);
    EXPECT_EQ(rq.Xml("Code"), "SignatureDoesNotMatch");

    // Another path than the one signed.
    Req p = Make("GET", "/k");
    p.headers["Host"] = kHost;
    p.headers["Content-Length"] = "0";
    p.headers["Authorization"] = Sign("AKID", "SK", "GET", "/other", p.headers, {}, start, start + 600).authorization;
    EXPECT_EQ(Client().Send(p).status, 403);

    // Unsigned headers that are not signable do not matter.
    Req u = Make("GET", "/k");
    u.headers["User-Agent"] = "whatever";
    EXPECT_EQ(Client().Send(u).status, 200);
}

TEST_F(SignatureTest, PresignedSignParameter) {
    Svc().PutObject(kBucket, "pre/x.bin", "presigned");
    uint64_t start = static_cast<uint64_t>(std::time(nullptr));
    std::map<std::string, std::string> headers = {{"Host", kHost}};
    std::string auth = Sign("AKID", "SK", "GET", "/pre/x.bin", headers, {}, start, start + 600).authorization;

    Req r = Make("GET", "/pre/x.bin");
    r.sign = false;
    r.params["sign"] = auth;
    Reply ok = Client().Send(r);
    EXPECT_EQ(ok.status, 200) << ok.body;
    EXPECT_EQ(ok.body, "presigned");

    // A temporary token may travel beside the signature; any other extra parameter may not.
    r.params["x-zid-security-token"] = "tok";
    EXPECT_EQ(Client().Send(r).status, 200);
    r.params["response-content-type"] = "text/plain";
    EXPECT_EQ(Client().Send(r).status, 403);
    r.params.erase("response-content-type");

    r.params["sign"] = auth.substr(0, auth.size() - 1) + (auth.back() == '0' ? "1" : "0");
    EXPECT_EQ(Client().Send(r).status, 403);
}

TEST_F(SignatureTest, RecordsWhetherTheSignatureHeld) {
    Svc().PutObject(kBucket, "k", "v");
    Do("GET", "/k");
    Req bad = Make("GET", "/k");
    bad.sign = false;
    Client().Send(bad);
    auto rec = Svc().Requests();
    ASSERT_EQ(rec.size(), 2u);
    EXPECT_TRUE(rec[0].signatureOk);
    EXPECT_EQ(rec[0].status, 200);
    EXPECT_FALSE(rec[1].signatureOk);
    EXPECT_EQ(rec[1].status, 403);
}

}  // namespace
}  // namespace zid_service_test
