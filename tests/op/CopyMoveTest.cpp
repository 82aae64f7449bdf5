#include <Poco/ThreadPool.h>

#include "OpTestSupport.h"
#include "op/FileCopyTask.h"
#include "util/AuthTool.h"

using namespace zuzezi_zid;
using zid_local::Fault;
using zid_local::FaultKind;

namespace zid_test {
namespace {

using CopyMoveTest = ObjectOpTest;

std::string SourceHost(const std::string& region = "ap-test") {
    return ClientSettings::BuildBucketHost(1250000000, region, "bkt", false);
}

TEST_F(CopyMoveTest, CopyOfASmallObjectIsOneRequestInAnyRegion) {
    std::string data = RandomBytes(5000);
    Service().PutObject(StoreBucket(), "src", data);
    for (const char* region : {"ap-test", "cn-east", "eu-far"}) {
        SCOPED_TRACE(region);
        Service().ClearRequests();
        CopyReq req("bkt", std::string("dst-") + region);
        req.SetXZidCopySource(SourceHost(region) + "/src");
        CopyResp resp;
        ZidResult r = m_op->Copy(req, &resp);
        ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
        EXPECT_EQ(resp.GetRespKind(), "PutObjectCopy");
        EXPECT_EQ(*Service().GetObject(StoreBucket(), std::string("dst-") + region), data);
        EXPECT_EQ(CountRequests("PUT"), 1u);
        EXPECT_EQ(CountRequests("POST", "uploads"), 0u);
    }
}

// A version travels as a parameter of the source's HEAD, never as part of its key.
TEST_F(CopyMoveTest, AVersionedSourceIsMeasuredByItsKeyAndVersion) {
    struct Case {
        const char* source_path;  // after the host, as the caller writes it
        const char* key;          // what the service holds
        const char* version;
    } cases[] = {{"/src?versionId=v1", "src", "v1"},
                 {"/dir/a%20b?versionId=MTg0NDUx%3D", "dir/a b", "MTg0NDUx="}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source_path);
        Service().Clear();
        Service().PutObject(StoreBucket(), c.key, "versioned bytes");
        CopyReq req("bkt", "dst");
        req.SetXZidCopySource(SourceHost() + c.source_path);
        CopyResp resp;
        ZidResult r = m_op->Copy(req, &resp);
        ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
        EXPECT_EQ(*Service().GetObject(StoreBucket(), "dst"), "versioned bytes");
        size_t heads = 0;
        for (const auto& rec : Service().Requests()) {
            if (rec.method != "HEAD") continue;
            ++heads;
            EXPECT_EQ(rec.key, c.key);
            ASSERT_EQ(rec.params.count("versionId"), 1u);
            EXPECT_EQ(rec.params.at("versionId"), c.version);
            EXPECT_TRUE(rec.signatureOk);
        }
        EXPECT_EQ(heads, 1u);
    }
}

TEST_F(CopyMoveTest, CopyRefusesBadSources) {
    struct Case {
        const char* source;
        const char* message;
    } cases[] = {{"", "You must SetXZidCopySource before call Copy."},
                 {"justahost/key", "Check XZidCopySource."},
                 {"bkt-1250000000.zid.ap-test.objstore.example", "Copy fail, please check XZidCopySource."}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        CopyReq req("bkt", "dst");
        if (*c.source) req.SetXZidCopySource(c.source);
        CopyResp resp;
        ZidResult r = m_op->Copy(req, &resp);
        EXPECT_FALSE(r.IsSucc());
        EXPECT_EQ(r.GetErrorMsg(), c.message);
    }
    // A source bucket that fails the name check is a failed result, not an exception.
    CopyReq bad("bkt", "dst");
    bad.SetXZidCopySource("Bad_Bucket!.zid.ap-test.objstore.example/key");
    CopyResp bad_resp;
    ZidResult bad_result;
    EXPECT_NO_THROW(bad_result = m_op->Copy(bad, &bad_resp));
    EXPECT_FALSE(bad_result.IsSucc());
    EXPECT_NE(bad_result.GetErrorMsg().find("Bad_Bucket!"), std::string::npos) << bad_result.GetErrorMsg();

    CopyReq missing("bkt", "dst");
    missing.SetXZidCopySource(SourceHost() + "/nothing");
    CopyResp resp;
    ZidResult r = m_op->Copy(missing, &resp);
    EXPECT_FALSE(r.IsSucc());
    EXPECT_EQ(r.GetErrorMsg(), "Copy fail, can't get source object length.");
}

TEST_F(CopyMoveTest, CopyWithoutEtagInTheAnswerFails) {
    Service().PutObject(StoreBucket(), "src", "abc");
    Fault f;
    f.kind = FaultKind::NoETag;
    f.method = "PUT";
    Service().AddFault(f);
    CopyReq req("bkt", "dst");
    req.SetXZidCopySource(SourceHost() + "/src");
    CopyResp resp;
    ZidResult r = m_op->Copy(req, &resp);
    EXPECT_FALSE(r.IsSucc());
    EXPECT_EQ(r.GetErrorCode(), "ServerError");
}

TEST_F(CopyMoveTest, PartCopyWorkerCopiesARangeAndRetries) {
    std::string data = RandomBytes(10000);
    Service().PutObject(StoreBucket(), "src", data);
    InitMultiUploadReq init("bkt", "dst");
    InitMultiUploadResp init_resp;
    ASSERT_TRUE(m_op->InitMultiUpload(init, &init_resp).IsSucc());
    std::string id = init_resp.GetUploadId();

    std::string host = SourceHost();
    std::string url = m_op->GetRealUrl(host, "/dst", false);
    FileCopyTask task(url, 5000, 5000);
    auto prepare = [&](uint64_t part, const std::string& range) {
        std::map<std::string, std::string> params{{"uploadId", id}, {"partNumber", std::to_string(part)}};
        std::map<std::string, std::string> headers{{"Host", host},
                                                   {"x-zid-copy-source", host + "/src"},
                                                   {"x-zid-copy-source-range", range},
                                                   {"Content-Length", "0"}};
        headers["Authorization"] = AuthTool::SignFromNow(kAccessKey, kSecretKey, "PUT", "/dst", headers, params);
        task.SetParams(params);
        task.SetHeaders(headers);
    };
    Fault f;
    f.kind = FaultKind::Status;
    f.status = 500;
    f.method = "PUT";
    f.times = 3;
    Service().AddFault(f);
    std::vector<std::string> etags;
    prepare(1, "bytes=0-5999");
    task.run();
    ASSERT_TRUE(task.IsTaskSuccess()) << task.GetRespBody();
    EXPECT_EQ(task.GetEtag().find('"'), std::string::npos);
    etags.push_back(task.GetEtag());
    prepare(2, "bytes=6000-9999");
    task.run();
    ASSERT_TRUE(task.IsTaskSuccess());
    etags.push_back(task.GetEtag());
    EXPECT_EQ(CountRequests("PUT", "partNumber"), 5u);

    CompleteMultiUploadReq comp("bkt", "dst", id);
    comp.SetEtags(etags);
    comp.SetPartNumbers({1, 2});
    CompleteMultiUploadResp comp_resp;
    ASSERT_TRUE(m_op->CompleteMultiUpload(comp, &comp_resp).IsSucc());
    EXPECT_EQ(*Service().GetObject(StoreBucket(), "dst"), data);

    // Four failures end the run with the last status.
    Service().ClearRequests();
    f.times = 4;
    Service().AddFault(f);
    task.run();
    EXPECT_FALSE(task.IsTaskSuccess());
    EXPECT_EQ(task.GetHttpStatus(), 500);
    EXPECT_EQ(CountRequests("PUT"), 4u);
}

// Sources the service reports as larger than it holds: the size alone picks the branch.
class LargeCopyTest : public ObjectOpTest {
protected:
    static constexpr uint64_t kFiveGiB = 5368709120ULL;
    void SetUp() override {
        ObjectOpTest::SetUp();
        m_copy_part = ClientSettings::GetUploadCopyPartSize();
        Service().PutObject(StoreBucket(), "huge", "real bytes");
    }
    void TearDown() override {
        ClientSettings::SetUploadCopyPartSize(m_copy_part);
        ObjectOpTest::TearDown();
    }
    ZidResult CopyHuge(uint64_t reported, CopyResp* resp) {
        Service().SetReportedSize(StoreBucket(), "huge", reported);
        CopyReq req("bkt", "dst");
        req.SetXZidCopySource(SourceHost() + "/huge");
        return m_op->Copy(req, resp);
    }
    // What the service stores for a multipart copy of a reported-size source: its ranges.
    static std::string Ranges(uint64_t length, uint64_t part_size) {
        std::string out;
        for (uint64_t offset = 0; offset < length;) {
            uint64_t end = std::min(offset + part_size, length - 1);
            out += std::to_string(offset) + "-" + std::to_string(end) + "\n";
            offset = end + 1;
        }
        return out;
    }
    size_t PartCopies() const { return CountRequests("PUT", "partNumber"); }

private:
    uint64_t m_copy_part = 0;
};

TEST_F(LargeCopyTest, SizeChoosesSingleOrMultipartCopy) {
    ClientSettings::SetUploadThreadPoolSize(5);
    CopyResp resp;
    ZidResult r = CopyHuge(kFiveGiB - 1, &resp);
    ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(resp.GetRespKind(), "PutObjectCopy");
    EXPECT_EQ(*Service().GetObject(StoreBucket(), "dst"), "real bytes");
    EXPECT_EQ(CountRequests("POST", "uploads"), 0u);
    EXPECT_EQ(PartCopies(), 0u);

    // 5 GiB with the default part size: 255 parts of part size + 1 bytes, a shorter last one.
    Service().ClearRequests();
    CopyResp big_resp;
    r = CopyHuge(kFiveGiB, &big_resp);
    ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(big_resp.GetRespKind(), "Complete");
    EXPECT_FALSE(static_cast<const BaseResp&>(big_resp).GetEtag().empty());
    const uint64_t part = ClientSettings::GetUploadCopyPartSize();
    ASSERT_EQ(part, 20971520u);
    std::string ranges = Ranges(kFiveGiB, part);
    EXPECT_EQ(*Service().GetObject(StoreBucket(), "dst"), ranges);
    EXPECT_NE(ranges.find("\n5347737855-5368709119\n"), std::string::npos);
    EXPECT_EQ(CountRequests("POST", "uploads"), 1u);
    EXPECT_EQ(PartCopies(), 256u);
    EXPECT_EQ(CountRequests("POST", "uploadId"), 1u);
    EXPECT_EQ(Service().OpenUploadCount(StoreBucket()), 0u);
    // The completion lists every part, in order.
    for (const auto& rec : Service().Requests()) {
        if (rec.method != "POST" || !rec.params.count("uploadId")) continue;
        EXPECT_NE(rec.body.find("<PartNumber>256</PartNumber>"), std::string::npos);
        EXPECT_EQ(rec.body.find("<PartNumber>257</PartNumber>"), std::string::npos);
        EXPECT_LT(rec.body.find("<PartNumber>1</PartNumber>"), rec.body.find("<PartNumber>2</PartNumber>"));
    }

    // Part size x 10000 is too large: refused after the HEAD alone.
    Service().Clear();
    Service().PutObject(StoreBucket(), "huge", "real bytes");
    ClientSettings::SetUploadCopyPartSize(1 << 20);
    CopyResp refused;
    r = CopyHuge((1ULL << 20) * 10000, &refused);
    EXPECT_FALSE(r.IsSucc());
    EXPECT_EQ(r.GetErrorMsg(),
              "Could not copy object, because of object size is too large or part size is too small.");
    ASSERT_EQ(Service().Requests().size(), 1u);
    EXPECT_EQ(Service().Requests()[0].method, "HEAD");
}

TEST_F(LargeCopyTest, AFailedPartCopyAbortsTheUpload) {
    ClientSettings::SetUploadCopyPartSize(1ULL << 30);  // five parts
    ClientSettings::SetUploadThreadPoolSize(2);
    Fault part;
    part.kind = FaultKind::Status;
    part.status = 500;
    part.errorCode = "InternalError";
    part.method = "PUT";
    part.queryParam = "partNumber";
    part.skip = 2;  // the second batch fails
    part.times = -1;
    Fault abort_fails;
    abort_fails.kind = FaultKind::Status;
    abort_fails.status = 503;
    abort_fails.method = "DELETE";
    struct Case {
        const char* name;
        bool abort_fails;
        int status;
    } cases[] = {{"abort succeeds", false, 500}, {"abort fails too", true, 503}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Service().Clear();
        Service().PutObject(StoreBucket(), "huge", "real bytes");
        Service().AddFault(part);
        if (c.abort_fails) Service().AddFault(abort_fails);
        CopyResp resp;
        ZidResult r = CopyHuge(kFiveGiB, &resp);
        EXPECT_FALSE(r.IsSucc());
        EXPECT_EQ(r.GetHttpStatus(), c.status);
        EXPECT_EQ(PartCopies(), 2u + 2u * 4u);  // no third batch
        EXPECT_EQ(CountRequests("DELETE", "uploadId"), 1u);
        EXPECT_EQ(CountRequests("POST", "uploadId"), 0u);
        EXPECT_EQ(Service().OpenUploadCount(StoreBucket()), c.abort_fails ? 1u : 0u);
        EXPECT_FALSE(Service().GetObject(StoreBucket(), "dst").has_value());
    }
    // The failed part's answer becomes the result.
    Service().Clear();
    Service().PutObject(StoreBucket(), "huge", "real bytes");
    Service().AddFault(part);
    CopyResp resp;
    ZidResult r = CopyHuge(kFiveGiB, &resp);
    EXPECT_EQ(r.GetErrorCode(), "InternalError");
    EXPECT_FALSE(r.GetXZidRequestId().empty());
}

TEST_F(CopyMoveTest, MoveCopiesThenDeletesAndRefusesItself) {
    std::string data = "moving data";
    Service().PutObject(StoreBucket(), "dir/a b+c.txt", data);
    MoveObjectReq req("bkt", "dir/a b+c.txt", "new/place.txt");
    ZidResult r = m_op->MoveObject(req);
    ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(*Service().GetObject(StoreBucket(), "new/place.txt"), data);
    EXPECT_FALSE(Service().GetObject(StoreBucket(), "dir/a b+c.txt").has_value());

    MoveObjectReq self("bkt", "new/place.txt", "/new/place.txt");
    r = m_op->MoveObject(self);
    EXPECT_FALSE(r.IsSucc());
    EXPECT_EQ(*Service().GetObject(StoreBucket(), "new/place.txt"), data);

    // A leading "/" of the source names one object for the copy and the delete.
    Service().PutObject(StoreBucket(), "lead", data);
    MoveObjectReq slash("bkt", "/lead", "led");
    ASSERT_TRUE(m_op->MoveObject(slash).IsSucc());
    EXPECT_FALSE(Service().GetObject(StoreBucket(), "lead").has_value());
    EXPECT_EQ(*Service().GetObject(StoreBucket(), "led"), data);

    // A failed copy deletes nothing.
    Service().ClearRequests();
    MoveObjectReq missing("bkt", "absent", "elsewhere");
    EXPECT_FALSE(m_op->MoveObject(missing).IsSucc());
    EXPECT_EQ(CountRequests("DELETE"), 0u);
}

}  // namespace
}  // namespace zid_test
