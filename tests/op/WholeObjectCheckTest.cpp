// A whole-object GET of an object uploaded in parts: its ETag is no MD5 of the body, so the
// service's CRC-64 is what tells a body that is not the object from the object.
#include <sstream>

#include "OpTestSupport.h"
#include "trsf/TransferHandler.h"

using namespace zuzezi_zid;
using zid_local::Fault;
using zid_local::FaultKind;

namespace zid_test {
namespace {

class WholeObjectCheckTest : public ObjectOpTest {
protected:
    void SetUp() override {
        ObjectOpTest::SetUp();
        ClientSettings::SetUploadPartSize(4096);
        ClientSettings::SetUploadThreadPoolSize(1);
        m_data = RandomBytes(5 * 4096 + 1500, 11);
        const std::string source = Local("source.bin");
        WriteFile(source, m_data);
        PutObjectByFileReq put("bkt", "parts", source);
        MultiPutObjectResp put_resp;
        ZidResult put_result = m_op->MultiUploadObject(put, &put_resp, nullptr, false);
        ASSERT_TRUE(put_result.IsSucc()) << put_result.GetErrorMsg();
        auto stored = Service().GetStoredObject(StoreBucket(), "parts");
        ASSERT_TRUE(stored.has_value());
        ASSERT_NE(stored->etag.find('-'), std::string::npos) << stored->etag;
        m_path = Local("pkg.zip");
        WriteFile(m_path, "the user's earlier file");
    }
    static Fault OnGet(FaultKind kind) {
        Fault f;
        f.kind = kind;
        f.method = "GET";
        f.keySubstring = "parts";
        return f;
    }

    std::string m_data;
    std::string m_path;
};

// A body that is not the object fails the GET (with the MD5 check asked for too, which an ETag
// of parts cannot give), and the staged file download leaves the earlier file as it was.
TEST_F(WholeObjectCheckTest, ABodyThatIsNotTheObjectFailsTheGet) {
    const struct {
        const char* name;
        FaultKind kind;
    } faults[] = {{"length short by 1000", FaultKind::ShortLength},
                  {"error document as the body", FaultKind::ErrorBodyObject200}};
    for (const auto& fault : faults) {
        for (bool check_md5 : {false, true}) {
            SCOPED_TRACE(std::string(fault.name) + (check_md5 ? ", MD5 check on" : ""));
            Service().AddFault(OnGet(fault.kind));
            auto handler = std::make_shared<TransferHandler>();
            GetObjectByFileReq file_req("bkt", "parts", m_path);
            file_req.SetCheckMD5(check_md5);
            GetObjectByFileResp file_resp;
            ZidResult r = m_op->GetObject(file_req, &file_resp, handler, false);
            EXPECT_FALSE(r.IsSucc());
            EXPECT_NE(r.GetErrorMsg().find("crc64"), std::string::npos) << r.GetErrorMsg();
            EXPECT_EQ(handler->GetStatus(), FAILED);
            EXPECT_EQ(ReadFile(m_path), "the user's earlier file");

            Service().AddFault(OnGet(fault.kind));
            std::ostringstream out;
            GetObjectByStreamReq stream_req("bkt", "parts", out);
            stream_req.SetCheckMD5(check_md5);
            GetObjectResp stream_resp;
            r = m_op->GetObject(stream_req, &stream_resp, false);
            EXPECT_FALSE(r.IsSucc());
            EXPECT_NE(r.GetErrorMsg().find("crc64"), std::string::npos) << r.GetErrorMsg();
            EXPECT_EQ(Service().PendingFaults(), 0u);
            Service().ClearFaults();
        }
    }
}

// The check passes the object itself, and leaves alone what the whole object's CRC-64 does
// not describe: a range, and an answer without the header.
TEST_F(WholeObjectCheckTest, TheObjectAndItsRangesStillArrive) {
    auto handler = std::make_shared<TransferHandler>();
    GetObjectByFileReq file_req("bkt", "parts", m_path);
    GetObjectByFileResp file_resp;
    ZidResult r = m_op->GetObject(file_req, &file_resp, handler, false);
    ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(ReadFile(m_path), m_data);

    std::ostringstream whole;
    GetObjectByStreamReq whole_req("bkt", "parts", whole);
    GetObjectResp whole_resp;
    r = m_op->GetObject(whole_req, &whole_resp, false);
    ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(whole.str(), m_data);
    EXPECT_FALSE(whole_resp.GetXZidHashCrc64Ecma().empty());

    std::ostringstream part;
    GetObjectByStreamReq range_req("bkt", "parts", part);
    range_req.AddHeader("Range", "bytes=100-5099");
    GetObjectResp range_resp;
    r = m_op->GetObject(range_req, &range_resp, false);
    ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(part.str(), m_data.substr(100, 5000));

    Service().AddFault(OnGet(FaultKind::NoCrc));
    std::ostringstream unchecked;
    GetObjectByStreamReq unchecked_req("bkt", "parts", unchecked);
    GetObjectResp unchecked_resp;
    r = m_op->GetObject(unchecked_req, &unchecked_resp, false);
    ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(unchecked.str(), m_data);
}

}  // namespace
}  // namespace zid_test
