// Multipart uploads, part listings, server-side copy and part copy.
#include <gtest/gtest.h>

#include <Poco/MD5Engine.h>

#include "ServiceTestBase.h"

namespace zid_service_test {
namespace {

class MultipartTest : public ServiceTestBase {
protected:
    std::string Init(const std::string& key) {
        Req r = Make("POST", "/" + key);
        r.params["uploads"] = "";
        Reply rep = Client().Send(r);
        EXPECT_EQ(rep.status, 200) << rep.body;
        EXPECT_EQ(rep.Xml("Key"), key);
        EXPECT_EQ(rep.Xml("Bucket"), kBucket);
        return rep.Xml("UploadId");
    }
    Reply Part(const std::string& key, const std::string& id, int n, const std::string& data) {
        Req r = Make("PUT", "/" + key, data);
        r.params["uploadId"] = id;
        r.params["partNumber"] = std::to_string(n);
        return Client().Send(r);
    }
    Reply Complete(const std::string& key, const std::string& id,
                   const std::vector<std::pair<int, std::string>>& parts) {
        std::string body = "<CompleteMultipartUpload>\n";
        for (const auto& p : parts)
            body += "\t<Part>\n\t\t<PartNumber>" + std::to_string(p.first) + "</PartNumber>\n\t\t<ETag>" + p.second +
                    "</ETag>\n\t</Part>\n";
        body += "</CompleteMultipartUpload>\n\n";
        Req r = Make("POST", "/" + key, body);
        r.params["uploadId"] = id;
        return Client().Send(r);
    }
    Reply CopyPart(const std::string& key, const std::string& id, int n, const std::string& source,
                   const std::string& range) {
        Req r = Make("PUT", "/" + key);
        r.params["uploadId"] = id;
        r.params["partNumber"] = std::to_string(n);
        r.headers["x-zid-copy-source"] = source;
        r.headers["x-zid-copy-source-range"] = range;
        return Client().Send(r);
    }
    static std::string Unq(const std::string& e) { return e.size() >= 2 ? e.substr(1, e.size() - 2) : e; }
};

TEST_F(MultipartTest, UploadListAndComplete) {
    std::string id = Init("big.bin");
    ASSERT_FALSE(id.empty());
    std::string a(100000, 'a'), b(50000, 'b'), c = "tail";
    Reply p1 = Part("big.bin", id, 1, a), p2 = Part("big.bin", id, 2, b), p3 = Part("big.bin", id, 3, c);
    ASSERT_EQ(p1.status, 200);
    EXPECT_EQ(p1.H("ETag"), "\"" + zid_local::LocalService::Md5Hex(a) + "\"");
    EXPECT_EQ(p1.H("x-zid-hash-crc64ecma"), std::to_string(zid_local::LocalService::Crc64(a)));
    EXPECT_EQ(Svc().OpenUploadCount(kBucket), 1u);
    EXPECT_FALSE(Svc().GetObject(kBucket, "big.bin").has_value());

    // Paging through the parts, two at a time.
    Req list = Make("GET", "/big.bin");
    list.params["uploadId"] = id;
    list.params["max-parts"] = "2";
    list.params["part-number-marker"] = "0";
    Reply page1 = Client().Send(list);
    ASSERT_EQ(page1.status, 200) << page1.body;
    EXPECT_EQ(page1.Count("Part"), 2u);
    EXPECT_EQ(page1.Xml("IsTruncated"), "true");
    EXPECT_EQ(page1.Xml("NextPartNumberMarker"), "2");
    EXPECT_NE(page1.body.find("<Size>100000</Size>"), std::string::npos);
    list.params["part-number-marker"] = page1.Xml("NextPartNumberMarker");
    Reply page2 = Client().Send(list);
    EXPECT_EQ(page2.Count("Part"), 1u);
    EXPECT_EQ(page2.Xml("IsTruncated"), "false");
    EXPECT_EQ(page2.Xml("PartNumber"), "3");

    Reply done = Complete("big.bin", id, {{1, Unq(p1.H("ETag"))}, {2, p2.H("ETag")}, {3, Unq(p3.H("ETag"))}});
    ASSERT_EQ(done.status, 200) << done.body;
    std::string whole = a + b + c;
    EXPECT_EQ(Svc().GetObject(kBucket, "big.bin").value_or(""), whole);
    EXPECT_EQ(done.H("x-zid-hash-crc64ecma"), std::to_string(zid_local::LocalService::Crc64(whole)));
    EXPECT_EQ(done.Xml("Key"), "big.bin");
    // Multipart ETags are the MD5 of the part digests with the part count.
    EXPECT_NE(done.Xml("ETag").find("-3"), std::string::npos);
    EXPECT_EQ(Svc().OpenUploadCount(kBucket), 0u);
    Reply head = Do("HEAD", "/big.bin");
    EXPECT_EQ(head.H("Content-Length"), std::to_string(whole.size()));
    EXPECT_EQ(head.H("x-zid-hash-crc64ecma"), done.H("x-zid-hash-crc64ecma"));
}

TEST_F(MultipartTest, CompleteRefusesWhatDoesNotMatchTheParts) {
    std::string id = Init("k");
    std::string e1 = Unq(Part("k", id, 1, "one").H("ETag")), e2 = Unq(Part("k", id, 2, "two").H("ETag"));
    struct Case {
        const char* name;
        std::vector<std::pair<int, std::string>> parts;
        const char* code;
    };
    const Case cases[] = {
        {"wrong etag", {{1, e1}, {2, e1}}, "InvalidPart"},
        {"missing part", {{1, e1}, {3, e2}}, "InvalidPart"},
        {"descending", {{2, e2}, {1, e1}}, "InvalidPartOrder"},
        {"duplicate", {{1, e1}, {1, e1}}, "InvalidPartOrder"},
        {"empty list", {}, "MalformedXML"},
    };
    for (const auto& c : cases) {
        Reply rep = Complete("k", id, c.parts);
        EXPECT_EQ(rep.status, 400) << c.name;
        EXPECT_EQ(rep.Xml("Code"), c.code) << c.name;
    }
    EXPECT_EQ(Svc().OpenUploadCount(kBucket), 1u);  // a refused completion keeps the upload
    Req junk = Make("POST", "/k", "not xml");
    junk.params["uploadId"] = id;
    EXPECT_EQ(Client().Send(junk).Xml("Code"), "MalformedXML");

    // Upper-case ETags name the same part.
    std::string upper = e1;
    for (auto& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    Reply ok = Complete("k", id, {{1, upper}});
    EXPECT_EQ(ok.status, 200) << ok.body;
    EXPECT_EQ(Svc().GetObject(kBucket, "k").value_or(""), "one");  // only the listed parts

    EXPECT_EQ(Complete("k", id, {{1, e1}}).Xml("Code"), "NoSuchUpload");
    EXPECT_EQ(Part("k", "no-such-id", 1, "x").status, 404);
    EXPECT_EQ(Part("k", id, 0, "x").status, 400);
}

TEST_F(MultipartTest, ListUploadsAndAbort) {
    std::string a1 = Init("dir/a"), a2 = Init("dir/a"), b = Init("dir/b"), other = Init("zzz");
    Req list = Make("GET", "/");
    list.params["uploads"] = "";
    list.params["prefix"] = "dir/";
    Reply rep = Client().Send(list);
    ASSERT_EQ(rep.status, 200) << rep.body;
    EXPECT_EQ(rep.Count("Upload"), 3u);
    // Same key: in the order they were started, so the last one is the newest.
    size_t p1 = rep.body.find(a1), p2 = rep.body.find(a2), pb = rep.body.find(b);
    EXPECT_LT(p1, p2);
    EXPECT_LT(p2, pb);
    EXPECT_EQ(rep.body.find(other), std::string::npos);

    list.params["max-uploads"] = "2";
    Reply page = Client().Send(list);
    EXPECT_EQ(page.Count("Upload"), 2u);
    EXPECT_EQ(page.Xml("IsTruncated"), "true");
    list.params["key-marker"] = page.Xml("NextKeyMarker");
    list.params["upload-id-marker"] = page.Xml("NextUploadIdMarker");
    Reply rest = Client().Send(list);
    EXPECT_EQ(rest.Count("Upload"), 1u);
    EXPECT_NE(rest.body.find(b), std::string::npos);

    Req abort = Make("DELETE", "/dir/a");
    abort.params["uploadId"] = a1;
    EXPECT_EQ(Client().Send(abort).status, 204);
    EXPECT_EQ(Client().Send(abort).status, 404);
    EXPECT_EQ(Svc().OpenUploadCount(kBucket), 3u);
}

TEST_F(MultipartTest, CopyObject) {
    Svc().PutObject("src-1", "from key", "source bytes");
    Req r = Make("PUT", "/to");
    r.headers["x-zid-copy-source"] = "src-1.zid.ap-test.example/from%20key";
    Reply rep = Client().Send(r);
    ASSERT_EQ(rep.status, 200) << rep.body;
    EXPECT_EQ(rep.Xml("ETag"), "\"" + zid_local::LocalService::Md5Hex("source bytes") + "\"");
    EXPECT_FALSE(rep.Xml("LastModified").empty());
    EXPECT_EQ(rep.Xml("CRC64"), std::to_string(zid_local::LocalService::Crc64("source bytes")));
    EXPECT_EQ(Svc().GetObject(kBucket, "to").value_or(""), "source bytes");
    // An unencoded source key is found too.
    r.headers["x-zid-copy-source"] = "src-1.zid.ap-test.example/from key";
    r.path = "/to-raw";
    EXPECT_EQ(Client().Send(r).status, 200);
    EXPECT_EQ(Svc().GetObject(kBucket, "to-raw").value_or(""), "source bytes");

    struct Case {
        const char* name;
        std::map<std::string, std::string> headers;
        int status;
        const char* code;
    };
    const Case cases[] = {
        {"missing source", {{"x-zid-copy-source", "src-1.zid.ap-test.example/nothing"}}, 404, "NoSuchKey"},
        {"source bucket never made", {{"x-zid-copy-source", "none-1.zid.ap-test.example/from key"}}, 404,
         "NoSuchBucket"},
        {"no key in source", {{"x-zid-copy-source", "src-1.zid.ap-test.example"}}, 400, "InvalidArgument"},
        {"if-match fails",
         {{"x-zid-copy-source", "src-1.zid.ap-test.example/from key"}, {"x-zid-copy-source-If-Match", "\"00\""}},
         412, "PreconditionFailed"},
        {"if-none-match fails",
         {{"x-zid-copy-source", "src-1.zid.ap-test.example/from key"},
          {"x-zid-copy-source-If-None-Match", "\"" + zid_local::LocalService::Md5Hex("source bytes") + "\""}},
         412, "PreconditionFailed"},
    };
    for (const auto& c : cases) {
        Req bad = Make("PUT", "/to2");
        bad.headers = c.headers;
        Reply b = Client().Send(bad);
        EXPECT_EQ(b.status, c.status) << c.name << b.body;
        EXPECT_EQ(b.Xml("Code"), c.code) << c.name;
    }
    EXPECT_FALSE(Svc().GetObject(kBucket, "to2").has_value());
}

TEST_F(MultipartTest, CopyKeepsOrReplacesMetadata) {
    Req src = Make("PUT", "/s", "x");
    src.headers["x-zid-meta-a"] = "1";
    ASSERT_EQ(Client().Send(src).status, 200);
    Req keep = Make("PUT", "/keep");
    keep.headers["x-zid-copy-source"] = std::string(kHost) + "/s";
    keep.headers["x-zid-meta-b"] = "2";
    ASSERT_EQ(Client().Send(keep).status, 200);
    Req replace = keep;
    replace.path = "/replace";
    replace.headers["x-zid-metadata-directive"] = "Replaced";
    ASSERT_EQ(Client().Send(replace).status, 200);
    Reply k = Do("HEAD", "/keep"), r = Do("HEAD", "/replace");
    EXPECT_EQ(k.H("x-zid-meta-a"), "1");
    EXPECT_FALSE(k.Has("x-zid-meta-b"));
    EXPECT_EQ(r.H("x-zid-meta-b"), "2");
    EXPECT_FALSE(r.Has("x-zid-meta-a"));
}

TEST_F(MultipartTest, PartCopyTakesTheRange) {
    Svc().PutObject("src-1", "s", "0123456789");
    std::string id = Init("dst");
    auto copyPart = [&](int n, const std::string& range) {
        return CopyPart("dst", id, n, "src-1.zid.ap-test.example/s", range);
    };
    Reply c1 = copyPart(1, "bytes=0-5"), c2 = copyPart(2, "bytes=6-9");
    ASSERT_EQ(c1.status, 200) << c1.body;
    EXPECT_EQ(c1.Xml("ETag"), "\"" + zid_local::LocalService::Md5Hex("012345") + "\"");
    EXPECT_FALSE(c1.Xml("LastModified").empty());
    EXPECT_EQ(copyPart(3, "bytes=10-20").status, 416);
    Reply done = Complete("dst", id, {{1, Unq(c1.Xml("ETag"))}, {2, Unq(c2.Xml("ETag"))}});
    ASSERT_EQ(done.status, 200) << done.body;
    EXPECT_EQ(Svc().GetObject(kBucket, "dst").value_or(""), "0123456789");
}

TEST_F(MultipartTest, AReportedSizeServesHeadAndPartCopiesOfAVirtualObject) {
    const uint64_t big = 6ULL << 30;
    Svc().PutObject("src-1", "huge", "small real bytes");
    Svc().SetReportedSize("src-1", "huge", big);
    Req head = Make("HEAD", "/huge");
    head.host = "src-1.zid.ap-test.example";
    Reply h = Client().Send(head);
    ASSERT_EQ(h.status, 200);
    EXPECT_EQ(h.H("Content-Length"), std::to_string(big));
    // A GET still serves what is stored.
    Req get = Make("GET", "/huge");
    get.host = head.host;
    EXPECT_EQ(Client().Send(get).body, "small real bytes");

    std::string id = Init("dst");
    auto copyPart = [&](int n, const std::string& range) {
        return CopyPart("dst", id, n, "src-1.zid.ap-test.example/huge", range);
    };
    Reply c1 = copyPart(1, "bytes=0-4294967296");
    Reply c2 = copyPart(2, "bytes=4294967297-" + std::to_string(big - 1));
    ASSERT_EQ(c1.status, 200) << c1.body;
    ASSERT_EQ(c2.status, 200) << c2.body;
    EXPECT_EQ(c1.Xml("ETag"), "\"" + zid_local::LocalService::Md5Hex("0-4294967296\n") + "\"");
    EXPECT_EQ(copyPart(3, "bytes=" + std::to_string(big) + "-" + std::to_string(big + 9)).status, 416);
    Reply done = Complete("dst", id, {{1, Unq(c1.Xml("ETag"))}, {2, Unq(c2.Xml("ETag"))}});
    ASSERT_EQ(done.status, 200) << done.body;
    EXPECT_EQ(Svc().GetObject(kBucket, "dst").value_or(""),
              "0-4294967296\n4294967297-" + std::to_string(big - 1) + "\n");

    // Clear forgets the reported size.
    Svc().Clear();
    Svc().PutObject("src-1", "huge", "abc");
    EXPECT_EQ(Client().Send(head).H("Content-Length"), "3");
}

TEST_F(MultipartTest, StuckListingRepeatsTheMarker) {
    std::string id = Init("k");
    for (int n = 1; n <= 3; ++n) ASSERT_EQ(Part("k", id, n, "p" + std::to_string(n)).status, 200);
    zid_local::Fault f;
    f.kind = zid_local::FaultKind::StuckListing;
    f.times = -1;
    Svc().AddFault(f);
    Req list = Make("GET", "/k");
    list.params["uploadId"] = id;
    list.params["part-number-marker"] = "1";
    Reply page = Client().Send(list);
    ASSERT_EQ(page.status, 200) << page.body;
    EXPECT_EQ(page.Xml("IsTruncated"), "true");
    EXPECT_EQ(page.Xml("NextPartNumberMarker"), "1");
    EXPECT_EQ(page.Count("Part"), 2u);
}

}  // namespace
}  // namespace zid_service_test
