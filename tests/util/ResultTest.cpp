#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "ClientSettings.h"
#include "SettingsGuard.h"
#include "trsf/ZidResult.h"

using namespace zuzezi_zid;

namespace {

std::vector<std::string> g_lines;
void Capture(const std::string& line) { g_lines.push_back(line); }

class ResultTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClientSettings::SetLogLevel(4);
        ClientSettings::SetLogOutType(0);
        ClientSettings::SetLogCallback(&Capture);
        g_lines.clear();
    }
    size_t LinesWith(const std::string& text) const {
        size_t n = 0;
        for (const auto& l : g_lines) {
            n += l.find(text) != std::string::npos ? 1 : 0;
        }
        return n;
    }
    zid_util_test::SettingsGuard guard_;
};

}  // namespace

TEST_F(ResultTest, DefaultsAndDump) {
    ZidResult r;
    EXPECT_FALSE(r.IsSucc());
    EXPECT_EQ(r.GetHttpStatus(), -1);
    EXPECT_EQ(r.GetErrorMsg(), "");
    EXPECT_EQ(r.GetXZidRequestId(), "");
    EXPECT_EQ(r.DumpText(),
              "IsSucc=false\nHttpStatus=-1\n\tErrorCode=\tErrorMsg=\tResourceAddr="
              "\tXZidRequestId=\tXZidTraceId=]");
}

TEST_F(ResultTest, ErrorBodyFillsFieldsAndBodyIdWins) {
    ZidResult r;
    r.SetHttpStatus(404);
    const std::string body =
        "<Error><Code>NoSuchKey</Code><Message>m</Message><Resource>/b/k</Resource>"
        "<RequestId>r</RequestId><ServerTime>t</ServerTime><Extra>e</Extra></Error>";
    EXPECT_TRUE(
        r.ParseFromHttpResponse({{"x-zid-request-id", "h"}, {"x-zid-trace-id", "tr"}}, body));
    EXPECT_EQ(r.GetErrorCode(), "NoSuchKey");
    EXPECT_EQ(r.GetErrorMsg(), "m");
    EXPECT_EQ(r.GetResourceAddr(), "/b/k");
    EXPECT_EQ(r.GetXZidRequestId(), "r");
    EXPECT_EQ(r.GetXZidTraceId(), "tr");
    EXPECT_EQ(r.GetXZidServerTime(), "t");
    EXPECT_FALSE(r.IsSucc());
    EXPECT_EQ(r.GetHttpStatus(), 404);
    EXPECT_EQ(LinesWith("[WARN] "), 1u);
    EXPECT_EQ(LinesWith("field_name=Extra"), 1u);
    EXPECT_EQ(r.DumpText(),
              "IsSucc=false\nHttpStatus=404\n\tErrorCode=NoSuchKey\tErrorMsg=m\tResourceAddr=/b/k"
              "\tXZidRequestId=r\tXZidTraceId=tr]");
}

TEST_F(ResultTest, BodiesThatAreNotErrorDocuments) {
    ZidResult bad;
    EXPECT_FALSE(bad.ParseFromHttpResponse({{"x-zid-request-id", "h"}}, "not <xml"));
    EXPECT_EQ(bad.GetXZidRequestId(), "h");
    EXPECT_EQ(bad.GetErrorCode(), "");
    EXPECT_EQ(LinesWith("[ERR] "), 1u);
    EXPECT_EQ(LinesWith("Parse string to xml doc error, xml_body=not <xml"), 1u);

    g_lines.clear();
    ZidResult other;
    EXPECT_FALSE(other.ParseFromHttpResponse(
        {{"X-Zid-Request-Id", "h"}}, "<ListBucketResult><Code>c</Code></ListBucketResult>"));
    EXPECT_EQ(other.GetXZidRequestId(), "");  // header names are matched exactly
    EXPECT_EQ(other.GetErrorCode(), "");
    EXPECT_TRUE(g_lines.empty());

    ZidResult empty_error;
    EXPECT_TRUE(empty_error.ParseFromHttpResponse({}, "<Error><Code/><Code>second</Code></Error>"));
    EXPECT_EQ(empty_error.GetErrorCode(), "second");
}

TEST_F(ResultTest, CopiesDropTheServerTime) {
    ZidResult src;
    src.SetSucc();
    src.SetHttpStatus(500);
    src.SetRealByte(77);
    ASSERT_TRUE(src.ParseFromHttpResponse(
        {},
        "<Error><Code>c</Code><Message>m</Message><RequestId>r</RequestId>"
        "<TraceId>t</TraceId><Resource>x</Resource><ServerTime>s1</ServerTime></Error>"));
    const ZidResult copy(src);
    EXPECT_TRUE(copy.IsSucc());
    EXPECT_EQ(copy.GetHttpStatus(), 500);
    EXPECT_EQ(copy.GetErrorCode(), "c");
    EXPECT_EQ(copy.GetErrorMsg(), "m");
    EXPECT_EQ(copy.GetXZidRequestId(), "r");
    EXPECT_EQ(copy.GetXZidTraceId(), "t");
    EXPECT_EQ(copy.GetResourceAddr(), "x");
    EXPECT_EQ(copy.GetRealByte(), 77u);
    EXPECT_EQ(copy.GetXZidServerTime(), "");

    ZidResult target;
    ASSERT_TRUE(target.ParseFromHttpResponse({}, "<Error><ServerTime>s2</ServerTime></Error>"));
    target = src;
    EXPECT_EQ(target.GetXZidServerTime(), "s2");
    EXPECT_EQ(target.GetErrorCode(), "c");
    ZidResult& self = target;
    target = self;
    EXPECT_EQ(target.GetErrorCode(), "c");
}

TEST_F(ResultTest, BackupDomainRetryRule) {
    struct Case {
        int status;
        const char* request_id;
        bool setting;
        bool expected;
    };
    const Case cases[] = {
        {503, "", true, true}, {503, "id", true, false}, {-1, "", false, false},
        {-1, "", true, true},  {200, "", true, false},   {299, "", true, false},
        {199, "", true, true}, {300, "", true, true},    {404, "", false, false},
    };
    for (const auto& c : cases) {
        ZidResult r;
        r.SetHttpStatus(c.status);
        r.SetXZidRequestId(c.request_id);
        ClientSettings::SetRetryOnBackupDomain(c.setting);
        EXPECT_EQ(NeedsBackupDomainRetry(r), c.expected)
            << c.status << " '" << c.request_id << "' " << c.setting;
    }
}
