#include <functional>
#include <sstream>

#include "OpTestSupport.h"
#include "trsf/TransferHandler.h"
#include "util/CodecUtil.h"

using namespace zuzezi_zid;
using zid_local::Fault;
using zid_local::FaultKind;

namespace zid_test {
namespace {

using SingleRequestTest = ObjectOpTest;

TEST_F(SingleRequestTest, PutHeadGetDeleteRoundTrip) {
    std::string data = RandomBytes(3000);
    std::istringstream in(data);
    in.seekg(10);  // the body starts where the caller's stream stands
    PutObjectByStreamReq put("bkt", "a/b.txt", in);
    PutObjectByStreamResp put_resp;
    ZidResult r = m_op->PutObject(put, &put_resp);
    ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(in.tellg(), std::streampos(10));
    EXPECT_EQ(*Service().GetObject(StoreBucket(), "a/b.txt"), data.substr(10));
    EXPECT_TRUE(m_op->ObjectExists("bkt", "a/b.txt"));
    EXPECT_FALSE(m_op->ObjectExists("bkt", "a/none"));

    HeadObjectReq head("bkt", "a/b.txt");
    HeadObjectResp head_resp;
    ASSERT_TRUE(m_op->HeadObject(head, &head_resp).IsSucc());
    EXPECT_EQ(head_resp.GetContentLength(), data.size() - 10);

    std::ostringstream out;
    GetObjectByStreamReq get("bkt", "a/b.txt", out);
    GetObjectResp get_resp;
    ASSERT_TRUE(m_op->GetObject(get, &get_resp).IsSucc());
    EXPECT_EQ(out.str(), data.substr(10));

    auto handler = std::make_shared<TransferHandler>();
    GetObjectByFileReq get_file("bkt", "a/b.txt", Local("g"));
    GetObjectByFileResp get_file_resp;
    ASSERT_TRUE(m_op->GetObject(get_file, &get_file_resp, handler).IsSucc());
    EXPECT_EQ(handler->GetStatus(), COMPLETED);
    EXPECT_EQ(ReadFile(Local("g")), data.substr(10));

    DeleteObjectReq del("bkt", "a/b.txt");
    DeleteObjectResp del_resp;
    ASSERT_TRUE(m_op->DeleteObject(del, &del_resp).IsSucc());
    EXPECT_FALSE(Service().GetObject(StoreBucket(), "a/b.txt").has_value());
    HeadObjectResp gone;
    ZidResult missing = m_op->HeadObject(head, &gone);
    EXPECT_EQ(missing.GetHttpStatus(), 404);
    EXPECT_EQ(missing.GetErrorCode(), "NoSuchKey");
}

TEST_F(SingleRequestTest, PutChecksTheReturnedEtag) {
    struct Case {
        const char* name;
        bool from_file;
        bool turn_off_check;
        FaultKind fault;
        bool succeeds;
    } cases[] = {
        {"stream, upper-case etag", false, false, FaultKind::UpperETag, false},
        {"stream, check off", false, true, FaultKind::UpperETag, true},
        {"file, check off still compares", true, true, FaultKind::UpperETag, false},
        {"file, no etag", true, false, FaultKind::NoETag, true},
    };
    std::string data = "hello etag";
    WriteFile(Local("p"), data);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Service().ClearFaults();
        Fault f;
        f.kind = c.fault;
        f.method = "PUT";
        Service().AddFault(f);
        ZidResult r;
        if (c.from_file) {
            PutObjectByFileReq req("bkt", "p", Local("p"));
            if (c.turn_off_check) req.TurnOffCheckETag();
            PutObjectByFileResp resp;
            r = m_op->PutObject(req, &resp);
        } else {
            std::istringstream in(data);
            PutObjectByStreamReq req("bkt", "p", in);
            if (c.turn_off_check) req.TurnOffCheckETag();
            PutObjectByStreamResp resp;
            r = m_op->PutObject(req, &resp);
            EXPECT_EQ(in.tellg(), std::streampos(0));
        }
        EXPECT_EQ(r.IsSucc(), c.succeeds) << r.GetErrorMsg();
        if (!c.succeeds) EXPECT_EQ(r.GetErrorMsg(), "Response etag is not correct, Please try again.");
    }
}

// A small file goes from memory and a larger one streams: on either side of the change, the
// object and its digest are the file's.
TEST_F(SingleRequestTest, PutFromAFileSendsTheWholeFileAtEverySize) {
    for (const size_t size : {0, 1, 4096, 65535, 65536, 65537, 200000}) {
        SCOPED_TRACE(size);
        const std::string data = RandomBytes(size);
        WriteFile(Local("p"), data);
        PutObjectByFileReq req("bkt", "p", Local("p"));
        PutObjectByFileResp resp;
        ZidResult r = m_op->PutObject(req, &resp);
        ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
        EXPECT_EQ(*Service().GetObject(StoreBucket(), "p"), data);
        const auto reqs = Service().Requests();
        ASSERT_FALSE(reqs.empty());
        EXPECT_EQ(reqs.back().Header("Content-MD5"),
                  CodecUtil::Base64Encode(CodecUtil::Md5Bytes(data)));
    }
}

TEST_F(SingleRequestTest, RefusalsBeforeAnythingIsSent) {
    auto handler = std::make_shared<TransferHandler>();
    GetObjectByFileReq get("bkt", "obj", Local("missing-dir/f"));
    GetObjectByFileResp get_resp;
    ZidResult r = m_op->GetObject(get, &get_resp, handler);
    EXPECT_EQ(r.GetErrorMsg(), "Open local file fail, local file=" + Local("missing-dir/f"));
    EXPECT_EQ(handler->GetStatus(), FAILED);

    PutObjectByFileReq put("bkt", "obj", Local("absent"));
    PutObjectByFileResp put_resp;
    EXPECT_EQ(m_op->PutObject(put, &put_resp).GetErrorMsg(), "Failed to open file " + Local("absent"));

    DeleteObjectReq del("bkt", "");
    DeleteObjectResp del_resp;
    EXPECT_EQ(m_op->DeleteObject(del, &del_resp).GetErrorMsg(), "Delete object's name is empty.");
    EXPECT_TRUE(Service().Requests().empty());
}

TEST_F(SingleRequestTest, DeleteObjectsSendsTheBodyDigest) {
    Service().PutObject(StoreBucket(), "k1", "1");
    Service().PutObject(StoreBucket(), "k2", "2");
    DeleteObjectsReq req("bkt");
    req.AddObject("k1");
    req.AddObject("k2");
    DeleteObjectsResp resp;
    ZidResult r = m_op->DeleteObjects(req, &resp);
    ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(resp.GetDeletedInfos().size(), 2u);
    EXPECT_TRUE(Service().ListKeys(StoreBucket()).empty());
    auto reqs = Service().Requests();
    ASSERT_FALSE(reqs.empty());
    EXPECT_EQ(reqs.back().Header("Content-MD5"),
              CodecUtil::Base64Encode(CodecUtil::Md5Bytes(reqs.back().body)));
}

TEST_F(SingleRequestTest, UploadPartDataRestoresTheStreamAndListPartsPages) {
    InitMultiUploadReq init("bkt", "mp");
    InitMultiUploadResp init_resp;
    ASSERT_TRUE(m_op->InitMultiUpload(init, &init_resp).IsSucc());
    std::string id = init_resp.GetUploadId();
    ASSERT_FALSE(id.empty());
    for (uint64_t n = 1; n <= 3; ++n) {
        std::istringstream in("part-" + std::to_string(n));
        UploadPartDataReq part("bkt", "mp", id, in);
        part.SetPartNumber(n);
        UploadPartDataResp part_resp;
        ZidResult r = m_op->UploadPartData(part, &part_resp);
        ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
        EXPECT_EQ(in.tellg(), std::streampos(0));
    }
    std::istringstream empty("");
    UploadPartDataReq none("bkt", "mp", id, empty);
    UploadPartDataResp none_resp;
    EXPECT_EQ(m_op->UploadPartData(none, &none_resp).GetErrorMsg(), "Input Stream is empty.");

    ListPartsReq list("bkt", "mp", id);
    list.SetPartNumberMarker("1");
    ListPartsResp list_resp;
    ASSERT_TRUE(m_op->ListParts(list, &list_resp).IsSucc());
    ASSERT_EQ(list_resp.GetParts().size(), 2u);
    EXPECT_EQ(list_resp.GetParts()[0].m_part_num, 2u);

    AbortMultiUploadReq abort("bkt", "mp", id);
    AbortMultiUploadResp abort_resp;
    EXPECT_TRUE(m_op->AbortMultiUpload(abort, &abort_resp).IsSucc());
    EXPECT_EQ(Service().OpenUploadCount(StoreBucket()), 0u);
}

// Operations whose answer is a document: a 200 that is not that document is a failure,
// never an empty success (an upload id "", a listing of nothing, a copy without ETag).
TEST_F(SingleRequestTest, DocumentAnswersThatDoNotParseFail) {
    const std::string host = ClientSettings::BuildBucketHost(kAppId, "ap-test", "bkt", false);
    std::string upload_id, part_etag;
    auto setup = [&] {
        Service().Clear();
        Service().PutObject(StoreBucket(), "obj", "object bytes");
        InitMultiUploadReq init("bkt", "mp");
        InitMultiUploadResp init_resp;
        ASSERT_TRUE(m_op->InitMultiUpload(init, &init_resp).IsSucc());
        upload_id = init_resp.GetUploadId();
        std::istringstream in("part one");
        UploadPartDataReq part("bkt", "mp", upload_id, in);
        UploadPartDataResp part_resp;
        ASSERT_TRUE(m_op->UploadPartData(part, &part_resp).IsSucc());
        part_etag = part_resp.GetEtag();
        Service().ClearRequests();
    };
    struct Case {
        const char* name;
        const char* method;
        const char* param;
        std::function<ZidResult()> run;
    } cases[] = {
        {"initiate", "POST", "uploads", [&] {
             InitMultiUploadReq req("bkt", "mp2");
             InitMultiUploadResp resp;
             return m_op->InitMultiUpload(req, &resp);
         }},
        {"complete", "POST", "uploadId", [&] {
             CompleteMultiUploadReq req("bkt", "mp", upload_id);
             req.SetPartNumbers({1});
             req.SetEtags({part_etag});
             CompleteMultiUploadResp resp;
             return m_op->CompleteMultiUpload(req, &resp);
         }},
        {"list parts", "GET", "uploadId", [&] {
             ListPartsReq req("bkt", "mp", upload_id);
             ListPartsResp resp;
             return m_op->ListParts(req, &resp);
         }},
        {"part copy", "PUT", "partNumber", [&] {
             UploadPartCopyDataReq req("bkt", "mp", upload_id, 2);
             req.AddHeader("x-zid-copy-source", host + "/obj");
             UploadPartCopyDataResp resp;
             return m_op->UploadPartCopyData(req, &resp);
         }},
        {"multi-delete", "POST", "delete", [&] {
             DeleteObjectsReq req("bkt");
             req.AddObject("obj");
             DeleteObjectsResp resp;
             return m_op->DeleteObjects(req, &resp);
         }},
        {"get acl", "GET", "acl", [&] {
             GetObjectACLReq req("bkt", "obj");
             GetObjectACLResp resp;
             return m_op->GetObjectACL(req, &resp);
         }},
        {"get tagging", "GET", "tagging", [&] {
             GetObjectTaggingReq req("bkt", "obj");
             GetObjectTaggingResp resp;
             return m_op->GetObjectTagging(req, &resp);
         }},
        {"put object copy", "PUT", "", [&] {
             PutObjectCopyReq req("bkt", "copy");
             req.SetXZidCopySource(host + "/obj");
             PutObjectCopyResp resp;
             return m_op->PutObjectCopy(req, &resp);
         }},
        {"copy", "PUT", "", [&] {
             CopyReq req("bkt", "copy");
             req.SetXZidCopySource(host + "/obj");
             CopyResp resp;
             return m_op->Copy(req, &resp);
         }},
    };
    const std::string page = "<html>gateway sign-in";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The same call succeeds against a well-behaved service.
        setup();
        ZidResult good = c.run();
        EXPECT_TRUE(good.IsSucc()) << good.GetErrorMsg();

        for (FaultKind kind : {FaultKind::TextBody200, FaultKind::ErrorBody200}) {
            SCOPED_TRACE(kind == FaultKind::TextBody200 ? "text body" : "error body");
            setup();
            Fault f;
            f.kind = kind;
            f.method = c.method;
            f.queryParam = c.param;
            f.data = page;
            Service().AddFault(f);
            ZidResult r = c.run();
            EXPECT_FALSE(r.IsSucc());
            EXPECT_EQ(r.GetHttpStatus(), 200);
            EXPECT_EQ(Service().PendingFaults(), 0u);
            if (kind == FaultKind::TextBody200) {
                EXPECT_EQ(r.GetErrorMsg(), page);
            } else {
                // The document's code; its message, or the whole document where the
                // operation quotes it.
                EXPECT_EQ(r.GetErrorCode(), "InternalError");
                EXPECT_NE(r.GetErrorMsg().find("We encountered an internal error. Please try again."),
                          std::string::npos)
                    << r.GetErrorMsg();
            }
        }
    }
}

TEST_F(SingleRequestTest, GetIntoAFileFailsOnATruncatedBody) {
    std::string data = RandomBytes(20000);
    Service().PutObject(StoreBucket(), "cut", data);
    Fault f;
    f.kind = FaultKind::CloseMidBody;
    f.method = "GET";
    Service().AddFault(f);
    auto handler = std::make_shared<TransferHandler>();
    GetObjectByFileReq req("bkt", "cut", Local("cut"));
    GetObjectByFileResp resp;
    ZidResult r = m_op->GetObject(req, &resp, handler);
    EXPECT_FALSE(r.IsSucc());
    EXPECT_EQ(handler->GetStatus(), FAILED);
}

}  // namespace
}  // namespace zid_test
