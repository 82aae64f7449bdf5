// Copy and move against a service that speaks HTTPS only: every request of the chain,
// the measuring HEAD of the source included, must go with the caller's TLS settings.
#include "OpTestSupport.h"

using namespace zuzezi_zid;

namespace zid_test {
namespace {

class CopyHttpsTest : public ObjectOpTestOn<LocalServiceHttpsFixture> {
protected:
    template <typename Req>
    static void UseTls(Req* req, const std::string& ca) {
        req->SetHttps();
        req->SetCaLocation(ca);
    }
    static std::string SourceHost() { return ClientSettings::BuildBucketHost(kAppId, "ap-test", "bkt", false); }
};

TEST_F(CopyHttpsTest, CopyAndMoveTakeTheCallersTls) {
    const std::string data = RandomBytes(3000);
    Service().PutObject(StoreBucket(), "src", data);

    CopyReq copy("bkt", "copied");
    copy.SetXZidCopySource(SourceHost() + "/src");
    UseTls(&copy, CaFile());
    CopyResp copy_resp;
    ZidResult r = m_op->Copy(copy, &copy_resp);
    ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(*Service().GetObject(StoreBucket(), "copied"), data);

    MoveObjectReq move("bkt", "copied", "moved");
    UseTls(&move, CaFile());
    r = m_op->MoveObject(move);
    ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(*Service().GetObject(StoreBucket(), "moved"), data);
    EXPECT_FALSE(Service().GetObject(StoreBucket(), "copied").has_value());

    // The HEAD checks the certificate with the caller's CA: another CA stops the copy there.
    Service().ClearRequests();
    CopyReq wrong_ca("bkt", "never");
    wrong_ca.SetXZidCopySource(SourceHost() + "/src");
    UseTls(&wrong_ca, Certificates().otherCaFile);
    r = m_op->Copy(wrong_ca, &copy_resp);
    EXPECT_FALSE(r.IsSucc());
    EXPECT_EQ(r.GetErrorMsg(), "Copy fail, can't get source object length.");
    EXPECT_FALSE(Service().GetObject(StoreBucket(), "never").has_value());
}

}  // namespace
}  // namespace zid_test
