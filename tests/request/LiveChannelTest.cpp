#include <gtest/gtest.h>

#include <map>
#include <string>

#include "request/LiveChannelReq.h"
#include "response/LiveChannelResp.h"
#include "support/LogCapture.h"

using namespace zuzezi_zid;
using zid_test::LogCapture;

TEST(LiveChannelRequestTest, BodyWritesEveryElementInOrder) {
    PutLiveChannelReq req("live-1250000000", "/cam1");
    LiveChannelConfiguration config;
    config.SetSwitch("Enabled");
    config.SetType("HLS");
    config.SetFragDuration(5);
    config.SetFragCount(3);
    config.SetPlaylistName("play&list.m3u8");
    config.SetPublishUrl("rtmp://never/sent");
    config.SetPlayUrl("http://never/sent");
    req.SetLiveChannelConfiguration(config);
    std::string body = "kept:";
    ASSERT_TRUE(req.GenerateRequestBody(&body));
    EXPECT_EQ(body,
              "kept:<LiveChannelConfiguration>\n"
              "\t<Description/>\n"
              "\t<Switch>Enabled</Switch>\n"
              "\t<Target>\n"
              "\t\t<Type>HLS</Type>\n"
              "\t\t<FragDuration>5</FragDuration>\n"
              "\t\t<FragCount>3</FragCount>\n"
              "\t\t<PlaylistName>play&amp;list.m3u8</PlaylistName>\n"
              "\t</Target>\n"
              "</LiveChannelConfiguration>\n\n");
}

TEST(LiveChannelRequestTest, RequestsCarryTheirMethodPathAndQuery) {
    using Params = std::map<std::string, std::string>;
    struct Case {
        ObjectReq req;
        const char* method;
        const char* path;
        Params params;
    };
    const Case cases[] = {
        {PutLiveChannelReq("b-1", "cam"), "PUT", "/cam", Params{{"live", ""}}},
        {PutLiveChannelSwitchReq("b-1", "cam", false), "PUT", "/cam",
         Params{{"live", ""}, {"switch", "disabled"}}},
        {GetLiveChannelReq("b-1", "cam"), "GET", "/cam", Params{{"live", ""}}},
        {GetLiveChannelHistoryReq("b-1", "cam"), "GET", "/cam",
         Params{{"live", ""}, {"comp", "history"}}},
        {GetLiveChannelStatusReq("b-1", "cam"), "GET", "/cam",
         Params{{"live", ""}, {"comp", "status"}}},
        {DeleteLiveChannelReq("b-1", "cam"), "DELETE", "/cam", Params{{"live", ""}}},
        {GetLiveChannelVodPlaylistReq("b-1", "cam", 100, 200), "GET", "/cam",
         Params{{"vod", ""}, {"starttime", "100"}, {"endtime", "200"}}},
        {PostLiveChannelVodPlaylistReq("b-1", "cam", "day.m3u8", 100, 200), "POST",
         "/cam/day.m3u8", Params{{"vod", ""}, {"starttime", "100"}, {"endtime", "200"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path + std::string(" ") + c.method);
        EXPECT_EQ(c.req.GetMethod(), c.method);
        EXPECT_EQ(c.req.GetPath(), c.path);
        EXPECT_EQ(c.req.GetParams(), c.params);
    }
}

TEST(PutLiveChannelRespTest, ReadsTheFirstUrlOfEachList) {
    PutLiveChannelResp resp;
    EXPECT_TRUE(resp.ParseFromXmlString(
        "<CreateLiveChannelResult><PublishUrls><Url>rtmp://a/live/cam</Url><Url>rtmp://b</Url>"
        "</PublishUrls><PlayUrls><Url>http://a/cam/play.m3u8</Url></PlayUrls>"
        "</CreateLiveChannelResult>"));
    EXPECT_EQ(resp.GetPublishUrl(), "rtmp://a/live/cam");
    EXPECT_EQ(resp.GetPlayUrl(), "http://a/cam/play.m3u8");
}

TEST(PutLiveChannelRespTest, StopsAtWhatIsMissing) {
    struct Case {
        const char* body;
        const char* log;
        const char* publish_url;
    };
    const Case cases[] = {
        {"<CreateLiveChannelResult><PublishUrls><Url>rtmp://p</Url></PublishUrls>"
         "</CreateLiveChannelResult>",
         "Miss node PlayUrls, xml_body=", "rtmp://p"},
        {"<CreateLiveChannelResult><PublishUrls><Url>rtmp://p</Url></PublishUrls>"
         "<PlayUrls><Link>x</Link></PlayUrls></CreateLiveChannelResult>",
         "Miss node PlayUrls, xml_body=", "rtmp://p"},
        {"<CreateLiveChannelResult><PublishUrls/></CreateLiveChannelResult>",
         "Miss node PublishUrls Url, xml_body=", ""},
        {"<CreateLiveChannelResult><PlayUrls><Url>x</Url></PlayUrls></CreateLiveChannelResult>",
         "Miss node PublishUrls, xml_body=", ""},
        {"<Other/>", "Miss root node=CreateLiveChannelResult, xml_body=<Other/>", ""},
        {"<CreateLiveChannelResult>", "Parse string to xml doc error, xml_body=", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        LogCapture log;
        PutLiveChannelResp resp;
        EXPECT_FALSE(resp.ParseFromXmlString(c.body));
        EXPECT_TRUE(log.Contains(c.log));
        EXPECT_EQ(resp.GetPublishUrl(), c.publish_url);
    }
}

TEST(GetLiveChannelRespTest, ReadsTheConfigurationWithItsUrls) {
    GetLiveChannelResp resp;
    EXPECT_TRUE(resp.ParseFromXmlString(
        "<LiveChannelConfiguration><Description>lobby</Description><Switch>Disabled</Switch>"
        "<Target><Type>HLS</Type><FragDuration>x5</FragDuration><FragCount>7</FragCount>"
        "<PlaylistName>p.m3u8</PlaylistName><PublishUrls><Url>rtmp://pub</Url></PublishUrls>"
        "<PlayUrls><Url>http://play</Url></PlayUrls></Target></LiveChannelConfiguration>"));
    const LiveChannelConfiguration& c = resp.GetLiveChannelConfiguration();
    EXPECT_EQ(c.GetDescription(), "lobby");
    EXPECT_EQ(c.GetSwitch(), "Disabled");
    EXPECT_EQ(c.GetType(), "HLS");
    EXPECT_EQ(c.GetFragDuration(), 0);  // no leading digits
    EXPECT_EQ(c.GetFragCount(), 7);
    EXPECT_EQ(c.GetPlaylistName(), "p.m3u8");
    EXPECT_EQ(c.GetPublishUrl(), "rtmp://pub");
    EXPECT_EQ(c.GetPlayUrl(), "http://play");
}

TEST(GetLiveChannelRespTest, UnknownElementStopsTheParse) {
    struct Case {
        const char* body;
        const char* log;
    };
    const Case cases[] = {
        {"<LiveChannelConfiguration><Target><Type>HLS</Type><Extra/><FragCount>4</FragCount>"
         "</Target><Switch>Enabled</Switch></LiveChannelConfiguration>",
         "Unknown field in Target, field_name=Extra"},
        {"<LiveChannelConfiguration><Target><Type>HLS</Type></Target><Bogus/>"
         "<Switch>Enabled</Switch></LiveChannelConfiguration>",
         "Unknown field in LiveChannelConfiguration, field_name=Bogus"},
        {"<LiveChannelConfiguration><Target><Type>HLS</Type><PublishUrls><Link/></PublishUrls>"
         "<FragCount>4</FragCount></Target></LiveChannelConfiguration>",
         "Missing node PublishUrls Url"},
        {"<LiveChannelConfiguration><Target><Type>HLS</Type><PlayUrls/><FragCount>4</FragCount>"
         "</Target></LiveChannelConfiguration>",
         "Missing node PlayUrls Url"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        LogCapture log;
        GetLiveChannelResp resp;
        EXPECT_FALSE(resp.ParseFromXmlString(c.body));
        EXPECT_TRUE(log.Contains(c.log));
        // Kept what came before the stop, read nothing after it.
        EXPECT_EQ(resp.GetLiveChannelConfiguration().GetType(), "HLS");
        EXPECT_EQ(resp.GetLiveChannelConfiguration().GetFragCount(), 0);
        EXPECT_EQ(resp.GetLiveChannelConfiguration().GetSwitch(), "");
    }
}

TEST(GetLiveChannelHistoryRespTest, RecordsInDocumentOrderAppended) {
    GetLiveChannelHistoryResp resp;
    const std::string body =
        "<LiveChannelHistory>"
        "<LiveRecord><StartTime>t1</StartTime><EndTime>e1</EndTime><RemoteAddr>1.1.1.1</RemoteAddr>"
        "<RequestId>r1</RequestId></LiveRecord>"
        "<LiveRecord><StartTime>t2</StartTime><StartTime>t2b</StartTime></LiveRecord>"
        "<LiveRecord><RequestId>r3</RequestId></LiveRecord>"
        "</LiveChannelHistory>";
    ASSERT_TRUE(resp.ParseFromXmlString(body));
    const auto& r = resp.GetLiveRecords();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].m_start_time, "t1");
    EXPECT_EQ(r[0].m_end_time, "e1");
    EXPECT_EQ(r[0].m_remote_addr, "1.1.1.1");
    EXPECT_EQ(r[0].m_request_id, "r1");
    EXPECT_EQ(r[1].m_start_time, "t2b");  // a repeated child overwrites
    EXPECT_EQ(r[2].m_request_id, "r3");
    ASSERT_TRUE(resp.ParseFromXmlString(body));
    EXPECT_EQ(resp.GetLiveRecords().size(), 6u);
}

TEST(GetLiveChannelHistoryRespTest, UnknownElementStopsWithoutTheRecord) {
    struct Case {
        const char* body;
        const char* log;
    };
    const Case cases[] = {
        {"<LiveChannelHistory><LiveRecord><StartTime>t1</StartTime></LiveRecord>"
         "<LiveRecord><StartTime>t2</StartTime><Port>1</Port></LiveRecord></LiveChannelHistory>",
         "Unknown field in LiveRecord, field_name=Port"},
        {"<LiveChannelHistory><LiveRecord><StartTime>t1</StartTime></LiveRecord><Marker/>"
         "<LiveRecord/></LiveChannelHistory>",
         "Unknown field in LiveChannelHistory, field_name=Marker"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        LogCapture log;
        GetLiveChannelHistoryResp resp;
        EXPECT_FALSE(resp.ParseFromXmlString(c.body));
        EXPECT_TRUE(log.Contains(c.log));
        ASSERT_EQ(resp.GetLiveRecords().size(), 1u);
        EXPECT_EQ(resp.GetLiveRecords()[0].m_start_time, "t1");
    }
}

TEST(GetLiveChannelStatusRespTest, ReadsStateVideoAndAudio) {
    GetLiveChannelStatusResp resp;
    ASSERT_TRUE(resp.ParseFromXmlString(
        "<LiveChannelStatus><Status>Live</Status><ConnectedTime>2026-12-10T13:00:00Z</ConnectedTime>"
        "<RemoteAddr>10.0.0.1:1935</RemoteAddr><RequestId>rid</RequestId>"
        "<Video><Width>1280</Width><Height>720</Height><FrameRate>25</FrameRate>"
        "<Bandwidth>2000</Bandwidth><Codec>H264</Codec></Video>"
        "<Audio><Bandwidth>128</Bandwidth><SampleRate>44100</SampleRate><Codec>AAC</Codec></Audio>"
        "</LiveChannelStatus>"));
    EXPECT_EQ(resp.GetStatus(), "Live");
    EXPECT_EQ(resp.GetConnectedTime(), "2026-12-10T13:00:00Z");
    EXPECT_EQ(resp.GetRemoteAddr(), "10.0.0.1:1935");
    EXPECT_EQ(resp.GetRequestId(), "rid");
    EXPECT_TRUE(resp.HasVideo());
    EXPECT_EQ(resp.GetVideoWidth(), "1280");
    EXPECT_EQ(resp.GetVideoHeight(), "720");
    EXPECT_EQ(resp.GetVideoFrameRate(), "25");
    EXPECT_EQ(resp.GetVideoBandwidth(), "2000");
    EXPECT_EQ(resp.GetVideoCodec(), "H264");
    EXPECT_TRUE(resp.HasAudio());
    EXPECT_EQ(resp.GetAudioBandwidth(), "128");
    EXPECT_EQ(resp.GetAudioSampleRate(), "44100");
    EXPECT_EQ(resp.GetAudioCodec(), "AAC");

    GetLiveChannelStatusResp idle;
    ASSERT_TRUE(idle.ParseFromXmlString("<LiveChannelStatus><Status>Idle</Status></LiveChannelStatus>"));
    EXPECT_EQ(idle.GetStatus(), "Idle");
    EXPECT_FALSE(idle.HasVideo());
    EXPECT_FALSE(idle.HasAudio());
}

TEST(GetLiveChannelStatusRespTest, RejectsWhatItDoesNotKnow) {
    struct Case {
        const char* body;
        const char* log;
    };
    const Case cases[] = {
        {"<LiveChannelStatus><RequestId>rid</RequestId><Status>live</Status>"
         "<RemoteAddr>a</RemoteAddr></LiveChannelStatus>",
         "Unknown Status in LiveChannelStatus, Status:live"},
        {"<LiveChannelStatus><RequestId>rid</RequestId><Video><Depth>8</Depth></Video>"
         "<RemoteAddr>a</RemoteAddr></LiveChannelStatus>",
         "Unknown field in Video, field_name=Depth"},
        {"<LiveChannelStatus><RequestId>rid</RequestId><Audio><Channels>2</Channels></Audio>"
         "<RemoteAddr>a</RemoteAddr></LiveChannelStatus>",
         "Unknown field in Audio, field_name=Channels"},
        {"<LiveChannelStatus><RequestId>rid</RequestId><Uptime>9</Uptime>"
         "<RemoteAddr>a</RemoteAddr></LiveChannelStatus>",
         "Unknown field in LiveChannelStatus, field_name=Uptime"},
        {"<Status/>", "Miss root node LiveChannelStatus"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        LogCapture log;
        GetLiveChannelStatusResp resp;
        EXPECT_FALSE(resp.ParseFromXmlString(c.body));
        EXPECT_TRUE(log.Contains(c.log));
        EXPECT_EQ(resp.GetStatus(), "");
        EXPECT_EQ(resp.GetRemoteAddr(), "");
    }
}
