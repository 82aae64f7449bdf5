#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <Poco/TemporaryFile.h>

#include "OpTestSupport.h"
#include "support/EventStreamEncoder.h"
#include "support/LivePushSignature.h"
#include "support/LogCapture.h"
#include "util/CodecUtil.h"

using namespace zuzezi_zid;
using zid_local::Fault;
using zid_local::FaultKind;

namespace zid_test {
namespace {

const char* const kInput =
    "<InputSerialization><CSV><FileHeaderInfo>NONE</FileHeaderInfo></CSV></InputSerialization>";
const char* const kOutput = "<OutputSerialization><CSV/></OutputSerialization>";

// A 200 whose body is `data`, for the next request of that method carrying `param`.
Fault CannedAnswer(const std::string& method, const std::string& param, const std::string& data) {
    Fault f;
    f.kind = FaultKind::TextBody200;
    f.method = method;
    f.queryParam = param;
    f.data = data;
    return f;
}

class SelectLiveTest : public ObjectOpTest {
protected:
    SelectObjectContentReq Select(const std::string& key) const {
        SelectObjectContentReq req("bkt", key);
        req.SetExpression("select * from COSObject");
        req.SetExpressionType("SQL");
        req.SetInputSerialization(kInput);
        req.SetOutputSerialization(kOutput);
        return req;
    }
    // Credentials with a temporary token, and a creation answer with both URLs to come.
    void ExpectChannelCreatedWithToken(const std::string& token) {
        m_config->SetCredentials(kAccessKey, kSecretKey, token);
        m_op.reset(new ObjectOp(m_config));
        Service().AddFault(CannedAnswer(
            "PUT", "live",
            "<CreateLiveChannelResult><PublishUrls><Url>rtmp://push.example/live/cam</Url>"
            "</PublishUrls><PlayUrls><Url>http://play.example/cam/p.m3u8</Url></PlayUrls>"
            "</CreateLiveChannelResult>"));
    }
    const zid_local::RecordedRequest& OnlyRequest() const {
        static std::vector<zid_local::RecordedRequest> kept;
        kept = Service().Requests();
        EXPECT_EQ(kept.size(), 1u);
        if (kept.empty()) kept.emplace_back();
        return kept.back();
    }
};

TEST_F(SelectLiveTest, SelectRunsEndToEndWithASignedBodyAndItsMd5) {
    const std::string data("id,name\n1,a\0b\n2,c\n", 19);
    Service().PutObject(StoreBucket(), "tables/t.csv", data);
    SelectObjectContentReq req = Select("tables/t.csv");
    SelectObjectContentResp resp;
    ZidResult r = m_op->SelectObjectContent(req, &resp);
    ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(r.GetHttpStatus(), 200);
    EXPECT_EQ(resp.GetStreamState(), SelectObjectContentResp::StreamState::Complete);
    ASSERT_EQ(resp.GetMessages().size(), 2u);
    EXPECT_EQ(resp.GetMessages()[0].m_event_type, "Records");
    EXPECT_EQ(resp.GetMessages()[0].m_payload, data);
    EXPECT_EQ(resp.GetMessages()[1].m_event_type, "Stats");
    EXPECT_NE(resp.GetMessages()[1].m_payload.find("<BytesScanned>19</BytesScanned>"), std::string::npos);

    std::string body;
    ASSERT_TRUE(req.GenerateRequestBody(&body));
    const auto& sent = OnlyRequest();
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.path, "/tables/t.csv");
    EXPECT_EQ(sent.params, (std::map<std::string, std::string>{{"select", ""}, {"select-type", "2"}}));
    EXPECT_EQ(sent.host.find(StoreBucket() + "."), 0u) << sent.host;
    EXPECT_TRUE(sent.signatureOk);
    EXPECT_EQ(sent.body, body);
    EXPECT_EQ(sent.Header("Content-MD5"), CodecUtil::Base64Encode(CodecUtil::Md5Bytes(body)));

    // Without a response of the caller's the stream is still decoded and checked.
    EXPECT_TRUE(m_op->SelectObjectContent(req, nullptr).IsSucc());
}

TEST_F(SelectLiveTest, SelectFailsOnStreamsThatAreNotWhole) {
    struct Case {
        const char* name;
        std::string stream;
        const char* code;
        const char* message;
        size_t kept;
    };
    const Case cases[] = {
        {"error event", EsEvent("Records", "1\n") + EsError("InvalidSql", "bad token near FROM"),
         "InvalidSql", "bad token near FROM", 1},
        {"no End", EsEvent("Records", "1\n") + EsEvent("Stats", "<Stats/>"), "",
         "ended without its End event", 2},
        {"bad CRC",
         EsEvent("Records", "1\n") +
             EsMessage(EsHeaderBlock({{":message-type", "event"}, {":event-type", "End"}}), "",
                       {std::nullopt, std::nullopt, false, true}),
         "", "Message data crc check faield", 1},
        {"truncated", (EsEvent("Records", "1\n") + EsEvent("End")).substr(0, 70), "",
         "Incomplete message", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Service().AddFault(CannedAnswer("POST", "select", c.stream));
        SelectObjectContentResp resp;
        ZidResult r = m_op->SelectObjectContent(Select("any.csv"), &resp);
        EXPECT_FALSE(r.IsSucc());
        EXPECT_EQ(r.GetHttpStatus(), 200);
        EXPECT_EQ(r.GetErrorCode(), c.code);
        EXPECT_NE(r.GetErrorMsg().find(c.message), std::string::npos) << r.GetErrorMsg();
        EXPECT_EQ(resp.GetMessages().size(), c.kept);
    }
}

// One response kept for a run of queries: each answer is judged and kept on its own.
TEST_F(SelectLiveTest, SelectIntoAReusedResponseKeepsOnlyTheLatestAnswer) {
    Service().PutObject(StoreBucket(), "t.csv", "1,2\n");
    SelectObjectContentResp resp;
    Service().AddFault(CannedAnswer("POST", "select",
                                    EsEvent("Records", "old\n") + EsError("InvalidSql", "bad")));
    EXPECT_FALSE(m_op->SelectObjectContent(Select("t.csv"), &resp).IsSucc());
    ASSERT_EQ(resp.GetErrorCode(), "InvalidSql");

    ZidResult r = m_op->SelectObjectContent(Select("t.csv"), &resp);
    ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(resp.GetErrorCode(), "");
    EXPECT_EQ(resp.GetErrorMsg(), "");
    ASSERT_FALSE(resp.GetMessages().empty());
    EXPECT_EQ(resp.GetMessages()[0].m_payload, "1,2\n");
    EXPECT_EQ(resp.GetMessages().size(), 2u);  // Records and Stats of this answer only
    Poco::TemporaryFile file;
    ASSERT_EQ(resp.WriteResultToLocalFile(file.path()), 0);
    std::ifstream in(file.path(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
              "1,2\n");
}

TEST_F(SelectLiveTest, SelectFailuresBeforeOrWithoutAStream) {
    SelectObjectContentReq bad = Select("t.csv");
    bad.SetExpressionType("sql");
    ZidResult refused = m_op->SelectObjectContent(bad, nullptr);
    EXPECT_FALSE(refused.IsSucc());
    EXPECT_EQ(refused.GetHttpStatus(), -1);
    EXPECT_EQ(refused.GetErrorMsg(), "Generate SelectObjectContent Request Body fail.");
    EXPECT_TRUE(Service().Requests().empty());

    SelectObjectContentResp resp;
    ZidResult missing = m_op->SelectObjectContent(Select("none.csv"), &resp);
    EXPECT_EQ(missing.GetHttpStatus(), 404);
    EXPECT_EQ(missing.GetErrorCode(), "NoSuchKey");
    EXPECT_EQ(resp.GetStreamState(), SelectObjectContentResp::StreamState::NotDecoded);
}

TEST_F(SelectLiveTest, PutLiveChannelSignsThePublishUrlItWasGiven) {
    ExpectChannelCreatedWithToken("TOKEN-42");
    PutLiveChannelReq req("bkt", "cam");
    LiveChannelConfiguration config;
    config.SetSwitch("Enabled");
    config.SetType("HLS");
    config.SetFragDuration(5);
    config.SetFragCount(3);
    config.SetPlaylistName("p.m3u8");
    req.SetLiveChannelConfiguration(config);
    req.SetUrlParams({{"a", "1"}});
    req.SetExpire(600);
    PutLiveChannelResp resp;
    LogCapture log;
    ZidResult r = m_op->PutLiveChannel(req, &resp);
    ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(resp.GetPlayUrl(), "http://play.example/cam/p.m3u8");

    const std::string url = resp.GetPublishUrl();
    const std::string prefix = "rtmp://push.example/live/cam?q-sign-algorithm=sha1&q-ak=AKID&q-sign-time=";
    ASSERT_EQ(url.compare(0, prefix.size(), prefix), 0) << url;
    const std::string sign_time = Between(url, "&q-sign-time=", "&");
    EXPECT_EQ(WindowLength(sign_time), 600);
    EXPECT_EQ(Between(url, "&q-key-time=", "&"), sign_time);
    const std::string params = "a=1&x-zid-security-token=TOKEN-42";
    EXPECT_EQ(Between(url, "&q-signature=", "&"),
              ExpectedPushSignature(kSecretKey, sign_time, "bkt", "cam", params));
    EXPECT_EQ(url.substr(url.size() - params.size() - 1), "&" + params);
    for (const auto& line : log.All()) {
        EXPECT_EQ(line.find("TOKEN-42"), std::string::npos) << line;
    }

    std::string body;
    ASSERT_TRUE(req.GenerateRequestBody(&body));
    const auto& sent = OnlyRequest();
    EXPECT_EQ(sent.method, "PUT");
    EXPECT_EQ(sent.path, "/cam");
    EXPECT_EQ(sent.params, (std::map<std::string, std::string>{{"live", ""}}));
    EXPECT_EQ(sent.body, body);
    EXPECT_EQ(sent.Header("Content-MD5"), CodecUtil::Base64Encode(CodecUtil::Md5Bytes(body)));
    EXPECT_EQ(sent.Header("x-zid-security-token"), "TOKEN-42");
    EXPECT_TRUE(sent.signatureOk);
}

TEST_F(SelectLiveTest, PutLiveChannelEncodesTheTokenAndParametersItSigns) {
    const std::string token = "tmp+Tok/en==&x";
    ExpectChannelCreatedWithToken(token);
    PutLiveChannelReq req("bkt", "cam");
    const std::map<std::string, std::string> params = {{"back", "a=1&b=2"}, {"who am", "I+%"}};
    req.SetUrlParams(params);
    PutLiveChannelResp resp;
    LogCapture quiet;
    ZidResult r = m_op->PutLiveChannel(req, &resp);
    ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    std::map<std::string, std::string> expected = params;
    expected["x-zid-security-token"] = token;
    EXPECT_EQ(PushQueryProblem(resp.GetPublishUrl(), kSecretKey, "bkt", "cam", expected), "");
    EXPECT_EQ(resp.GetPublishUrl().find(token), std::string::npos);
    // The request itself still carries the token as it is.
    EXPECT_EQ(OnlyRequest().Header("x-zid-security-token"), token);
    EXPECT_TRUE(OnlyRequest().signatureOk);
}

TEST_F(SelectLiveTest, PutLiveChannelWithoutAPublishUrlFails) {
    struct Case {
        const char* name;
        Fault fault;
        int status;
        const char* play_url;
    };
    Fault denied;
    denied.kind = FaultKind::Status;
    denied.status = 403;
    denied.errorCode = "AccessDenied";
    const Case cases[] = {
        {"403", denied, 403, ""},
        {"answer without publish URL",
         CannedAnswer("PUT", "live",
                      "<CreateLiveChannelResult><PublishUrls/><PlayUrls><Url>http://p</Url></PlayUrls>"
                      "</CreateLiveChannelResult>"),
         200, ""},
        {"answer that is no document", CannedAnswer("PUT", "live", "OK"), 200, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Service().AddFault(c.fault);
        PutLiveChannelResp resp;
        ZidResult r = m_op->PutLiveChannel(PutLiveChannelReq("bkt", "cam"), &resp);
        EXPECT_FALSE(r.IsSucc());
        EXPECT_EQ(r.GetHttpStatus(), c.status);
        EXPECT_EQ(resp.GetPublishUrl(), "");
        EXPECT_EQ(resp.GetPlayUrl(), c.play_url);
    }
}

TEST_F(SelectLiveTest, PlainLiveChannelOperationsSendTheirRequestAndReadTheAnswer) {
    using Member = ZidResult (ObjectOp::*)(const ObjectReq&, BaseResp*, bool);
    GetLiveChannelResp config_resp;
    GetLiveChannelHistoryResp history_resp;
    GetLiveChannelStatusResp status_resp;
    BaseResp plain;
    struct Case {
        Member member;
        ObjectReq req;
        BaseResp* resp;
        const char* answer;
        const char* method;
        const char* param;
    };
    const Case cases[] = {
        {&ObjectOp::LiveChannelRequest1, PutLiveChannelSwitchReq("bkt", "cam", true), &plain, "", "PUT", "switch"},
        {&ObjectOp::LiveChannelRequest2, GetLiveChannelReq("bkt", "cam"), &config_resp,
         "<LiveChannelConfiguration><Switch>Enabled</Switch><Target><FragCount>4</FragCount></Target>"
         "</LiveChannelConfiguration>", "GET", "live"},
        {&ObjectOp::LiveChannelRequest3, GetLiveChannelHistoryReq("bkt", "cam"), &history_resp,
         "<LiveChannelHistory><LiveRecord><RequestId>r1</RequestId></LiveRecord></LiveChannelHistory>",
         "GET", "comp"},
        {&ObjectOp::LiveChannelRequest4, GetLiveChannelStatusReq("bkt", "cam"), &status_resp,
         "<LiveChannelStatus><Status>Idle</Status></LiveChannelStatus>", "GET", "comp"},
        {&ObjectOp::LiveChannelRequest5, DeleteLiveChannelReq("bkt", "cam"), &plain, "", "DELETE", "live"},
        {&ObjectOp::LiveChannelRequest6, GetLiveChannelVodPlaylistReq("bkt", "cam", 1, 2), &plain,
         "#EXTM3U", "GET", "vod"},
        {&ObjectOp::LiveChannelRequest7, PostLiveChannelVodPlaylistReq("bkt", "cam", "p.m3u8", 1, 2),
         &plain, "", "POST", "vod"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.req.GetMethod() + " " + c.param);
        Service().ClearRequests();
        Service().AddFault(CannedAnswer(c.method, c.param, c.answer));
        ZidResult r = ((*m_op).*c.member)(c.req, c.resp, false);
        EXPECT_TRUE(r.IsSucc()) << r.GetErrorMsg();
        const auto& sent = OnlyRequest();
        EXPECT_EQ(sent.method, c.method);
        EXPECT_EQ(sent.path, c.req.GetPath());
        EXPECT_EQ(sent.params, c.req.GetParams());
        EXPECT_EQ(sent.bodySize, 0u);
        EXPECT_TRUE(sent.signatureOk);
    }
    EXPECT_EQ(config_resp.GetLiveChannelConfiguration().GetFragCount(), 4);
    ASSERT_EQ(history_resp.GetLiveRecords().size(), 1u);
    EXPECT_EQ(history_resp.GetLiveRecords()[0].m_request_id, "r1");
    EXPECT_EQ(status_resp.GetStatus(), "Idle");
}

}  // namespace
}  // namespace zid_test
