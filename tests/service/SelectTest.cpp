// The select route: the stored object framed as Records, Stats and End with the service's own
// CRC-32, compared byte for byte with frames the test writes itself.
#include <gtest/gtest.h>

#include "ServiceTestBase.h"
#include "support/EventStreamEncoder.h"

namespace zid_service_test {
namespace {

const char* const kSelectBody =
    "<SelectRequest><Expression>select * from COSObject</Expression><ExpressionType>SQL</ExpressionType>"
    "<InputSerialization><CSV/></InputSerialization><OutputSerialization><CSV/></OutputSerialization>"
    "<RequestProgress><Enabled>FALSE</Enabled></RequestProgress></SelectRequest>";

class SelectTest : public ServiceTestBase {
protected:
    static Req SelectOf(const std::string& path, const std::string& body) {
        Req r = Make("POST", path, body);
        r.params["select"] = "";
        r.params["select-type"] = "2";
        r.headers["Content-MD5"] = Md5Base64(body);
        return r;
    }
};

TEST_F(SelectTest, AnswersTheObjectAsRecordsStatsAndEnd) {
    const std::string data("a,b\n\0,c\n", 8);
    Svc().PutObject(kBucket, "t.csv", data);
    Reply r = Client().Send(SelectOf("/t.csv", kSelectBody));
    ASSERT_EQ(r.status, 200) << r.body;
    const std::string stats =
        "<Stats><BytesScanned>8</BytesScanned><BytesProcessed>8</BytesProcessed>"
        "<BytesReturned>8</BytesReturned></Stats>";
    EXPECT_EQ(r.body, zid_test::EsEvent("Records", data, "application/octet-stream") +
                          zid_test::EsEvent("Stats", stats, "text/xml") + zid_test::EsEvent("End"));
}

TEST_F(SelectTest, RefusesWhatIsNoSelect) {
    Svc().PutObject(kBucket, "t.csv", "x");
    struct Case {
        const char* name;
        Req req;
        int status;
        const char* code;
    };
    Req wrong_md5 = SelectOf("/t.csv", kSelectBody);
    wrong_md5.headers["Content-MD5"] = Md5Base64("other");
    const Case cases[] = {
        {"missing object", SelectOf("/none.csv", kSelectBody), 404, "NoSuchKey"},
        {"not a select body", SelectOf("/t.csv", "<Other/>"), 400, "MalformedXML"},
        {"wrong Content-MD5", wrong_md5, 400, "BadDigest"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Reply r = Client().Send(c.req);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.body.find(c.code), std::string::npos) << r.body;
    }
}

}  // namespace
}  // namespace zid_service_test
