// Single-object requests: store, read, ranges, preconditions, errors, bucket selection.
#include <gtest/gtest.h>

#include <Poco/Net/StreamSocket.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <thread>

#include "ServiceTestBase.h"

namespace zid_service_test {
namespace {

class ObjectTest : public ServiceTestBase {};

TEST_F(ObjectTest, PutThenHeadGetDelete) {
    Req put = Make("PUT", "/dir/123456789.txt", "123456789");
    put.headers["Content-Type"] = "text/plain";
    put.headers["x-zid-meta-color"] = "blue";
    Reply p = Client().Send(put);
    ASSERT_EQ(p.status, 200) << p.body;
    EXPECT_EQ(p.H("ETag"), "\"25f9e794323b453885f5181f1b624d0b\"");
    EXPECT_EQ(p.H("x-zid-hash-crc64ecma"), "11051210869376104954");  // 0x995DC9BBDF1939FA
    EXPECT_FALSE(p.H("x-zid-request-id").empty());
    EXPECT_EQ(Svc().GetObject(kBucket, "dir/123456789.txt").value_or(""), "123456789");

    Reply h = Do("HEAD", "/dir/123456789.txt");
    EXPECT_EQ(h.status, 200);
    EXPECT_EQ(h.H("Content-Length"), "9");
    EXPECT_EQ(h.H("ETag"), p.H("ETag"));
    EXPECT_EQ(h.H("x-zid-hash-crc64ecma"), "11051210869376104954");
    EXPECT_EQ(h.H("Content-Type"), "text/plain");
    EXPECT_EQ(h.H("x-zid-meta-color"), "blue");
    EXPECT_FALSE(h.H("Last-Modified").empty());
    EXPECT_FALSE(h.H("x-zid-request-id").empty());
    EXPECT_TRUE(h.body.empty());

    Reply g = Do("GET", "/dir/123456789.txt");
    EXPECT_EQ(g.status, 200);
    EXPECT_EQ(g.body, "123456789");
    EXPECT_NE(g.H("x-zid-request-id"), h.H("x-zid-request-id"));

    EXPECT_EQ(Do("DELETE", "/dir/123456789.txt").status, 204);
    Reply gone = Do("GET", "/dir/123456789.txt");
    EXPECT_EQ(gone.status, 404);
    EXPECT_EQ(gone.Xml("Code"), "NoSuchKey");
    EXPECT_FALSE(gone.Xml("Message").empty());
    EXPECT_EQ(gone.Xml("RequestId"), gone.H("x-zid-request-id"));
    EXPECT_EQ(Do("DELETE", "/dir/123456789.txt").status, 204);  // deleting twice is no error
}

TEST_F(ObjectTest, RangesAnswer206OrRefuseWith416) {
    Svc().PutObject(kBucket, "r", "0123456789");
    struct Case {
        const char* range;
        int status;
        const char* body;
        const char* contentRange;
    };
    const Case cases[] = {
        {"bytes=0-4", 206, "01234", "bytes 0-4/10"},
        {"bytes=6-", 206, "6789", "bytes 6-9/10"},
        {"bytes=-3", 206, "789", "bytes 7-9/10"},
        {"bytes=8-100", 206, "89", "bytes 8-9/10"},
        {"bytes=9-9", 206, "9", "bytes 9-9/10"},
        {"bytes=0-9", 206, "0123456789", "bytes 0-9/10"},
        {"bytes=10-12", 416, nullptr, "bytes */10"},
        {"bytes=5-2", 416, nullptr, "bytes */10"},
        {"bytes=x-y", 416, nullptr, "bytes */10"},
        {"lines=0-1", 416, nullptr, "bytes */10"},
    };
    for (const auto& c : cases) {
        Req r = Make("GET", "/r");
        r.headers["Range"] = c.range;
        Reply rep = Client().Send(r);
        EXPECT_EQ(rep.status, c.status) << c.range;
        EXPECT_EQ(rep.H("Content-Range"), c.contentRange) << c.range;
        if (c.body) {
            EXPECT_EQ(rep.body, c.body) << c.range;
            EXPECT_EQ(rep.H("Content-Length"), std::to_string(std::string(c.body).size())) << c.range;
            // The checksum header always describes the whole object.
            EXPECT_EQ(rep.H("x-zid-hash-crc64ecma"), std::to_string(zid_local::LocalService::Crc64("0123456789")));
        } else {
            EXPECT_EQ(rep.Xml("Code"), "InvalidRange") << c.range;
        }
    }
}

TEST_F(ObjectTest, Preconditions) {
    Svc().PutObject(kBucket, "p", "data");
    std::string etag = "\"" + zid_local::LocalService::Md5Hex("data") + "\"";
    struct Case {
        const char* header;
        std::string value;
        int status;
    };
    const Case cases[] = {
        {"If-Match", etag, 200},
        {"If-Match", zid_local::LocalService::Md5Hex("data"), 200},  // unquoted too
        {"If-Match", "\"0123\"", 412},
        {"If-Match", "*", 200},
        {"If-None-Match", etag, 304},
        {"If-None-Match", "\"0123\"", 200},
        {"If-Unmodified-Since", "Sat, 01 Jan 2000 00:00:00 GMT", 412},
        {"If-Modified-Since", "Fri, 01 Jan 2100 00:00:00 GMT", 304},
    };
    for (const auto& c : cases) {
        Req r = Make("GET", "/p");
        r.headers[c.header] = c.value;
        Reply rep = Client().Send(r);
        EXPECT_EQ(rep.status, c.status) << c.header << ": " << c.value;
        if (c.status == 412) EXPECT_EQ(rep.Xml("Code"), "PreconditionFailed");
        if (c.status == 200) EXPECT_EQ(rep.body, "data");
    }
    // A ranged read of a replaced object fails instead of mixing versions.
    Svc().PutObject(kBucket, "p", "DATA2");
    Req r = Make("GET", "/p");
    r.headers["If-Match"] = etag;
    r.headers["Range"] = "bytes=0-1";
    EXPECT_EQ(Client().Send(r).status, 412);
}

TEST_F(ObjectTest, ContentMd5AndLengthAreChecked) {
    Req good = Make("PUT", "/m", "body");
    good.headers["Content-MD5"] = Md5Base64("body");
    EXPECT_EQ(Client().Send(good).status, 200);

    Req bad = Make("PUT", "/m2", "body");
    bad.headers["Content-MD5"] = Md5Base64("other");
    Reply rep = Client().Send(bad);
    EXPECT_EQ(rep.status, 400);
    EXPECT_EQ(rep.Xml("Code"), "BadDigest");
    EXPECT_FALSE(Svc().GetObject(kBucket, "m2").has_value());
}

TEST_F(ObjectTest, BucketComesFromTheHostHeader) {
    Req a = Make("PUT", "/same", "in a");
    a.host = "alpha-7.zid.ap-test.example";
    Req b = Make("PUT", "/same", "in b");
    b.host = "beta-7.zid.ap-test.example:443";
    Req plain = Make("PUT", "/same", "default");
    plain.host = "127.0.0.1:" + std::to_string(Svc().Port());
    Svc().CreateBucket("alpha-7");
    Svc().CreateBucket("beta-7");
    ASSERT_EQ(Client().Send(a).status, 200);
    ASSERT_EQ(Client().Send(b).status, 200);
    EXPECT_EQ(Client().Send(plain).status, 404) << "a bare address names no bucket";
    EXPECT_EQ(Svc().GetObject("alpha-7", "same").value_or(""), "in a");
    EXPECT_EQ(Svc().GetObject("beta-7", "same").value_or(""), "in b");
    EXPECT_FALSE(Svc().GetObject("", "same").has_value());

    auto rec = Svc().Requests();
    ASSERT_EQ(rec.size(), 3u);
    EXPECT_EQ(rec[1].host, "beta-7.zid.ap-test.example:443");
    EXPECT_EQ(rec[1].bucket, "beta-7");
    EXPECT_EQ(rec[1].key, "same");
    EXPECT_EQ(rec[1].method, "PUT");
    EXPECT_EQ(rec[1].bodySize, 4u);
}

TEST_F(ObjectTest, KeysAreDecodedExactly) {
    const std::string keys[] = {"a b", "100%", "x+y", "é/ü", "/lead", "semi;colon=1&2"};
    for (const auto& k : keys) {
        Reply p = Do("PUT", "/" + k, "v:" + k);
        ASSERT_EQ(p.status, 200) << k << " " << p.body;
        EXPECT_EQ(Svc().GetObject(kBucket, k).value_or("missing"), "v:" + k) << k;
        EXPECT_EQ(Do("GET", "/" + k).body, "v:" + k) << k;
    }
}

TEST_F(ObjectTest, ResponseOverridesAndRestore) {
    Svc().PutObject(kBucket, "o", "x");
    Req r = Make("GET", "/o");
    r.params["response-content-type"] = "text/csv";
    EXPECT_EQ(Client().Send(r).H("Content-Type"), "text/csv");

    std::string restore = "<RestoreRequest>\n\t<Days>1</Days>\n</RestoreRequest>\n\n";
    Req post = Make("POST", "/o", restore);
    post.params["restore"] = "";
    post.headers["Content-MD5"] = Md5Base64(restore);
    EXPECT_EQ(Client().Send(post).status, 202);
    post.path = "/missing";
    EXPECT_EQ(Client().Send(post).status, 404);
}

TEST_F(ObjectTest, FolderRootKeepsObjectsAcrossRestarts) {
    char tmpl[] = "/tmp/zid-svc-root-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    zid_local::ServiceOptions o;
    o.root = tmpl;
    auto inBucket = [](const std::string& method, const std::string& name) {
        Req r = Make(method, "/");
        r.host = name + ".zid.ap-test.example";
        return r;
    };
    {
        zid_local::LocalService s(o);
        s.Start();
        ASSERT_EQ(TestClient(s.Port()).Send(Make("PUT", "/")).status, 200);
        Req r = Make("PUT", "/../../escape/a b", "kept");
        ASSERT_EQ(TestClient(s.Port()).Send(r).status, 200);
        ASSERT_EQ(TestClient(s.Port()).Send(inBucket("PUT", "empty-7")).status, 200);
        ASSERT_EQ(TestClient(s.Port()).Send(inBucket("PUT", "gone-7")).status, 200);
        ASSERT_EQ(TestClient(s.Port()).Send(inBucket("DELETE", "gone-7")).status, 204);
    }
    zid_local::LocalService again(o);
    again.Start();
    Reply g = TestClient(again.Port()).Send(Make("GET", "/../../escape/a b"));
    EXPECT_EQ(g.status, 200);
    EXPECT_EQ(g.body, "kept");
    // Buckets are kept as folders: an empty one too, a deleted one not.
    EXPECT_EQ(TestClient(again.Port()).Send(inBucket("HEAD", "empty-7")).status, 200);
    EXPECT_EQ(TestClient(again.Port()).Send(inBucket("HEAD", "gone-7")).status, 404);
    // Nothing was written outside the root.
    EXPECT_FALSE(std::ifstream(std::string(tmpl) + "/../escape/a b").good());
    again.Clear();
    std::system((std::string("rm -rf ") + tmpl).c_str());
}

TEST_F(ObjectTest, ManyClientsAtOnce) {
    std::string data(1 << 20, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7919 % 251);
    Svc().PutObject(kBucket, "shared", data);
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 16; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 8; ++i) {
                uint64_t first = static_cast<uint64_t>((t * 8 + i) * 8191);
                Req r = Make("GET", "/shared");
                r.headers["Range"] = "bytes=" + std::to_string(first) + "-" + std::to_string(first + 65535);
                Reply rep = Client().Send(r);
                Reply put = Do("PUT", "/own/" + std::to_string(t) + "/" + std::to_string(i), rep.body);
                if (rep.status == 206 && rep.body == data.substr(first, 65536) && put.status == 200) ++good;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(good.load(), 16 * 8);
    EXPECT_EQ(Svc().ListKeys(kBucket).size(), 16u * 8u + 1u);
    EXPECT_EQ(Svc().Requests().size(), 2u * 16u * 8u);
}

TEST_F(ObjectTest, TruncatedUploadIsRefusedNotStored) {
    std::string id;
    {
        Req init = Make("POST", "/part");
        init.params["uploads"] = "";
        id = Client().Send(init).Xml("UploadId");
    }
    struct Case {
        const char* name;
        std::string target;
        std::map<std::string, std::string> params;
    };
    const Case cases[] = {
        {"object", "/short", {}},
        {"part", "/part", {{"partNumber", "1"}, {"uploadId", id}}},
    };
    for (const auto& c : cases) {
        std::map<std::string, std::string> headers = {{"Host", kHost}, {"Content-Length", "10"}};
        uint64_t now = static_cast<uint64_t>(std::time(nullptr));
        std::string auth = Sign("AKID", "SK", "PUT", c.target, headers, c.params, now - 10, now + 600).authorization;
        Poco::Net::StreamSocket s(Poco::Net::SocketAddress("127.0.0.1", Svc().Port()));
        std::string head = "PUT " + c.target + TestClient::Query(c.params) + " HTTP/1.1\r\nHost: " + kHost +
                           "\r\nContent-Length: 10\r\nAuthorization: " + auth + "\r\n\r\nabc";
        s.sendBytes(head.data(), static_cast<int>(head.size()));
        s.shutdownSend();
        std::string answer;
        char buf[4096];
        s.setReceiveTimeout(Poco::Timespan(5, 0));
        for (int n; (n = s.receiveBytes(buf, sizeof buf)) > 0;) answer.append(buf, n);
        EXPECT_EQ(answer.compare(0, 12, "HTTP/1.1 400"), 0) << c.name << ": " << answer;
        EXPECT_NE(answer.find("<Code>IncompleteBody</Code>"), std::string::npos) << c.name;
    }
    EXPECT_FALSE(Svc().GetObject(kBucket, "short").has_value());
    Req list = Make("GET", "/part");
    list.params["uploadId"] = id;
    EXPECT_EQ(Client().Send(list).Count("Part"), 0u);
}

}  // namespace
}  // namespace zid_service_test
