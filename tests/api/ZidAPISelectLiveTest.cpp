#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ApiTestSupport.h"
#include "support/LivePushSignature.h"

using namespace zuzezi_zid;
using zid_local::Fault;
using zid_local::FaultKind;

namespace zid_test {
namespace {

class ZidAPISelectLive : public RelayedApiFixture {};

const char* const kCreated =
    "<CreateLiveChannelResult><PublishUrls><Url>rtmp://push/live/cam</Url></PublishUrls>"
    "<PlayUrls><Url>http://play/cam.m3u8</Url></PlayUrls></CreateLiveChannelResult>";

SelectObjectContentReq Select() {
    SelectObjectContentReq req(kBucketName, "t.csv");
    req.SetExpression("select * from COSObject");
    req.SetExpressionType("SQL");
    req.SetInputSerialization("<InputSerialization><CSV/></InputSerialization>");
    req.SetOutputSerialization("<OutputSerialization><CSV/></OutputSerialization>");
    return req;
}

// Every method, with the primary domain failing in a way that qualifies: one pass with the
// retry setting off, and with it on a second on the backup domain whose answer wins.
TEST_F(ZidAPISelectLive, EachMethodRepeatsOnTheBackupDomainOnlyWhenAllowed) {
    Seed("t.csv", "1,2\n");
    using Call = std::function<ZidResult(ZidAPI&)>;
    const std::vector<std::pair<const char*, Call>> calls = {
        {"SelectObjectContent", [](ZidAPI& api) { SelectObjectContentResp resp;
             return api.SelectObjectContent(Select(), &resp); }},
        {"PutLiveChannel", [](ZidAPI& api) { PutLiveChannelResp resp;
             ZidResult r = api.PutLiveChannel(PutLiveChannelReq(kBucketName, "cam"), &resp);
             // Signed once, by the pass that succeeded.
             if (r.IsSucc()) EXPECT_EQ(resp.GetPublishUrl().find('?'), resp.GetPublishUrl().rfind('?'));
             return r; }},
        {"LiveChannelRequest1", [](ZidAPI& api) { BaseResp resp;
             return api.LiveChannelRequest1(PutLiveChannelSwitchReq(kBucketName, "cam", true), &resp); }},
        {"LiveChannelRequest2", [](ZidAPI& api) { GetLiveChannelResp resp;
             return api.LiveChannelRequest2(GetLiveChannelReq(kBucketName, "cam"), &resp); }},
        {"LiveChannelRequest3", [](ZidAPI& api) { GetLiveChannelHistoryResp resp;
             return api.LiveChannelRequest3(GetLiveChannelHistoryReq(kBucketName, "cam"), &resp); }},
        {"LiveChannelRequest4", [](ZidAPI& api) { GetLiveChannelStatusResp resp;
             return api.LiveChannelRequest4(GetLiveChannelStatusReq(kBucketName, "cam"), &resp); }},
        {"LiveChannelRequest5", [](ZidAPI& api) { BaseResp resp;
             return api.LiveChannelRequest5(DeleteLiveChannelReq(kBucketName, "cam"), &resp); }},
        {"LiveChannelRequest6", [](ZidAPI& api) { BaseResp resp;
             return api.LiveChannelRequest6(GetLiveChannelVodPlaylistReq(kBucketName, "cam", 1, 2), &resp); }},
        {"LiveChannelRequest7", [](ZidAPI& api) { BaseResp resp;
             return api.LiveChannelRequest7(
                 PostLiveChannelVodPlaylistReq(kBucketName, "cam", "p.m3u8", 1, 2), &resp); }},
    };
    for (const auto& call : calls) {
        for (bool retry : {false, true}) {
            SCOPED_TRACE(std::string(call.first) + (retry ? " with retry" : " without retry"));
            Service().ClearFaults();
            Service().ClearRequests();
            ClientSettings::SetRetryOnBackupDomain(retry);
            Service().AddFault(OnPrimary(FaultKind::Refuse));
            // The live-channel answers of the backup domain are canned; the select is served.
            if (std::string(call.first) != "SelectObjectContent") {
                Fault canned = OnHost(ClientSettings::kBackupDomainSuffix, FaultKind::TextBody200, 200, true);
                canned.data = kCreated;
                Service().AddFault(canned);
            }
            ZidAPI api(LoopbackConfig());
            ZidResult r = call.second(api);
            EXPECT_EQ(Primary(), 1);
            EXPECT_EQ(Backup(), retry ? 1 : 0);
            EXPECT_EQ(r.IsSucc(), retry) << r.GetErrorMsg();
            EXPECT_EQ(r.GetHttpStatus(), retry ? 200 : -1);
        }
    }
}

TEST_F(ZidAPISelectLive, SelectThroughTheFacadeReturnsTheRecords) {
    Seed("t.csv", "1,2\n3,4\n");
    ZidAPI api(LoopbackConfig());
    SelectObjectContentResp resp;
    ZidResult r = api.SelectObjectContent(Select(), &resp);
    ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    ASSERT_FALSE(resp.GetMessages().empty());
    EXPECT_EQ(resp.GetMessages()[0].m_payload, "1,2\n3,4\n");
}

TEST_F(ZidAPISelectLive, PushUrlIsTheDefaultEndpointSignedWithoutAnyExchange) {
    ZidConfig config = LoopbackConfig();
    config.SetDestDomain("dest.example:81");
    config.SetCredentials(LocalServiceFixture::kAccessKey, LocalServiceFixture::kSecretKey, "TOK");
    ClientSettings::SetDestDomain("other.example");
    ZidAPI api(config);
    const std::string url = api.BuildLivePushUrl("MyBucket", "cam", 300, {{"b", "2"}, {"a", "1"}});
    const std::string host = std::string("rtmp://MyBucket.") + ClientSettings::kServiceLabel + "." +
                             kRegion + ClientSettings::kPrimaryDomainSuffix;
    const std::string prefix = host + "/live/cam?q-sign-algorithm=sha1&q-ak=AKID&q-sign-time=";
    ASSERT_EQ(url.compare(0, prefix.size(), prefix), 0) << url;
    const std::string sign_time = Between(url, "&q-sign-time=", "&");
    EXPECT_EQ(WindowLength(sign_time), 300);
    const std::string params = "a=1&b=2&x-zid-security-token=TOK";
    EXPECT_EQ(Between(url, "&q-signature=", "&"),
              ExpectedPushSignature(LocalServiceFixture::kSecretKey, sign_time, "MyBucket", "cam", params));
    EXPECT_EQ(url.substr(url.size() - params.size() - 1), "&" + params);
    EXPECT_TRUE(Service().Requests().empty());

    // A negative lifetime signs an expired window, never one that wraps around.
    EXPECT_EQ(WindowLength(Between(api.BuildLivePushUrl("b", "c", -5, {}), "&q-sign-time=", "&")), 0);
    ClientSettings::SetDestDomain("");
}

// Temporary tokens and caller parameters may hold any byte; each must reach the receiver as
// one field with its own value, under a signature over the values as given.
TEST_F(ZidAPISelectLive, PushUrlEncodesEachParameterAndSignsItAsGiven) {
    struct Case {
        const char* name;
        const char* token;
        std::map<std::string, std::string> params;
    };
    const Case cases[] = {
        {"temporary token", "Ab+c/d==&e", {{"a", "1"}}},
        {"reserved characters in values", "", {{"next", "x=1&y=2"}, {"q", "a b+c%41#d?"}}},
        {"reserved characters in names", "T", {{"a&b", "1"}, {"c=d", "2"}, {"e f", ""}}},
        {"bytes beyond ASCII", "", {{"title", "\xe6\x97\xa5\x01"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ZidConfig config = LoopbackConfig();
        config.SetCredentials(LocalServiceFixture::kAccessKey, LocalServiceFixture::kSecretKey,
                              c.token);
        ZidAPI api(config);
        const std::string url = api.BuildLivePushUrl("MyBucket", "cam", 300, c.params);
        std::map<std::string, std::string> expected = c.params;
        if (*c.token) expected["x-zid-security-token"] = c.token;
        EXPECT_EQ(PushQueryProblem(url, LocalServiceFixture::kSecretKey, "MyBucket", "cam", expected),
                  "");
        const std::string query = url.substr(url.find('?') + 1);
        EXPECT_EQ(query.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                          "0123456789-_.~%&=;"),
                  std::string::npos)
            << url;
    }
}

}  // namespace
}  // namespace zid_test
