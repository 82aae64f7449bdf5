#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "request/ProcessReq.h"

using namespace zuzezi_zid;

namespace {

template <typename Req>
std::string Body(const Req& req) {
    std::string body;
    EXPECT_TRUE(req.GenerateRequestBody(&body));
    return body;
}

// The printed form of the data job's "Operation" element, one tab deep.
std::string OperationOf(const std::string& body) {
    const size_t start = body.find("\t<Operation");
    const size_t end = body.find("\t</Operation>\n", start);
    if (start == std::string::npos) return "";
    return end == std::string::npos ? body.substr(start, body.find('\n', start) + 1 - start)
                                    : body.substr(start, end + 14 - start);
}

CreateDataProcessJobsReq DataJob(const std::string& tag) {
    CreateDataProcessJobsReq req("bkt-1250000000");
    req.Options().tag = tag;
    return req;
}

}  // namespace

TEST(QueueBodyTest, EveryElementIsWrittenWithNotifyStateLast) {
    UpdateQueueReq req("", "q1");
    EXPECT_EQ(req.GetPath(), "/queue/q1");
    EXPECT_EQ(req.GetMethod(), "PUT");
    req.Options().queue_id.clear();
    EXPECT_EQ(Body(req),
              "<Request>\n\t<Name/>\n\t<QueueID/>\n\t<State/>\n\t<NotifyConfig>\n\t\t<Url/>\n"
              "\t\t<Type/>\n\t\t<Event/>\n\t\t<State/>\n\t</NotifyConfig>\n</Request>\n\n");

    req.Options() = {"n", "q1", "Active", {"http://cb", "On", "Url", "TaskFinish"}};
    std::string body = "prefix|";
    ASSERT_TRUE(req.GenerateRequestBody(&body));
    EXPECT_EQ(body,
              "prefix|<Request>\n\t<Name>n</Name>\n\t<QueueID>q1</QueueID>\n\t<State>Active</State>\n"
              "\t<NotifyConfig>\n\t\t<Url>http://cb</Url>\n\t\t<Type>Url</Type>\n"
              "\t\t<Event>TaskFinish</Event>\n\t\t<State>On</State>\n\t</NotifyConfig>\n"
              "</Request>\n\n");
}

TEST(DocJobBodyTest, IntegersAppearOnlyAboveZeroAndQueueIdComesLast) {
    CreateDocProcessJobsReq req("bkt-1250000000");
    EXPECT_EQ(req.GetPath(), "/doc_jobs");
    EXPECT_EQ(req.GetMethod(), "POST");
    EXPECT_EQ(Body(req),
              "<Request>\n\t<Tag/>\n\t<Input>\n\t\t<Object/>\n\t</Input>\n\t<Operation>\n"
              "\t\t<Output>\n\t\t\t<Region/>\n\t\t\t<Bucket/>\n\t\t\t<Object/>\n\t\t</Output>\n"
              "\t\t<DocProcess/>\n\t</Operation>\n\t<QueueId/>\n</Request>\n\n");

    auto& o = req.Options();
    o.tag = "DocProcess";
    o.input = {"a.docx", "http://ignored"};
    o.operation.output = {"ap-test", "b", "out/${Page}.jpg", "sprite-ignored", "", "", ""};
    DocProcess& d = o.operation.doc_process;
    d = {"docx", "jpg", 2, -1, 0, "imageMogr2/thumbnail/!50p", "pw & <x>", 1, 0, -3, 100};
    o.queue_id = "p1";
    EXPECT_EQ(Body(req),
              "<Request>\n\t<Tag>DocProcess</Tag>\n\t<Input>\n\t\t<Object>a.docx</Object>\n"
              "\t</Input>\n\t<Operation>\n\t\t<Output>\n\t\t\t<Region>ap-test</Region>\n"
              "\t\t\t<Bucket>b</Bucket>\n\t\t\t<Object>out/${Page}.jpg</Object>\n\t\t</Output>\n"
              "\t\t<DocProcess>\n\t\t\t<SrcType>docx</SrcType>\n\t\t\t<TgtType>jpg</TgtType>\n"
              "\t\t\t<SheetId>2</SheetId>\n"
              "\t\t\t<ImageParams>imageMogr2/thumbnail/!50p</ImageParams>\n"
              "\t\t\t<DocPassword>pw &amp; &lt;x&gt;</DocPassword>\n\t\t\t<Comments>1</Comments>\n"
              "\t\t\t<Zoom>100</Zoom>\n\t\t</DocProcess>\n\t</Operation>\n"
              "\t<QueueId>p1</QueueId>\n</Request>\n\n");
}

// The result part of a document job belongs to the answer's side: the request never sends it.
TEST(DocJobBodyTest, ResultPartIsNotSent) {
    CreateDocProcessJobsReq req("bkt-1250000000");
    req.Options().operation.doc_process.tgt_type = "png";
    const std::string without = Body(req);
    DocProcessResult& result = req.Options().operation.doc_process_result;
    result.page_infos = {{"1", "out/1.png"}, {"2", "out/2.png"}};
    result.tgt_type = "jpg";
    result.task_id = "d-task";
    EXPECT_EQ(Body(req), without);
}

TEST(DataJobBodyTest, TagPicksTheOperationBlocks) {
    // No tag: only the output and the plain operation fields; JobLevel for any value but 0.
    auto req = DataJob("");
    auto& o = req.Options();
    o.operation.job_level = -2;
    o.operation.template_id = "t1";
    o.operation.snapshot.mode = "Interval";
    o.operation.transcode.container.format = "mp4";
    o.input.url = "http://in";
    o.queue_id = "q";
    EXPECT_EQ(Body(req),
              "<Request>\n\t<Tag/>\n\t<QueueId>q</QueueId>\n\t<Input>\n\t\t<Url>http://in</Url>\n"
              "\t</Input>\n\t<Operation>\n\t\t<Output/>\n\t\t<JobLevel>-2</JobLevel>\n"
              "\t\t<TemplateId>t1</TemplateId>\n\t</Operation>\n</Request>\n\n");

    // Tags compare exactly.
    o.tag = "snapshot";
    EXPECT_EQ(Body(req).find("<Snapshot>"), std::string::npos);

    auto extract = DataJob("ExtractDigitalWatermark");
    extract.Options().operation.output.bucket = "b";
    extract.Options().operation.extract_digital_watermark = {"Text", "V1"};
    EXPECT_EQ(OperationOf(Body(extract)),
              "\t<Operation>\n\t\t<ExtractDigitalWatermark>\n\t\t\t<Type>Text</Type>\n"
              "\t\t\t<Version>V1</Version>\n\t\t</ExtractDigitalWatermark>\n\t</Operation>\n");
}

TEST(DataJobBodyTest, SnapshotWritesCheckCountBeforeCheckBlackAndMarginBeforePadding) {
    auto req = DataJob("Snapshot");
    Snapshot& s = req.Options().operation.snapshot;
    s.mode = "Average";
    s.is_check_black = "true";
    s.is_check_count = "false";
    s.black_level = "30";
    s.sprite_snapshot_config.padding = "2";
    s.sprite_snapshot_config.margin = "4";
    s.sprite_snapshot_config.columns = "10";
    EXPECT_EQ(OperationOf(Body(req)),
              "\t<Operation>\n\t\t<Output/>\n\t\t<Snapshot>\n\t\t\t<Mode>Average</Mode>\n"
              "\t\t\t<IsCheckCount>false</IsCheckCount>\n\t\t\t<IsCheckBlack>true</IsCheckBlack>\n"
              "\t\t\t<BlackLevel>30</BlackLevel>\n\t\t\t<SpriteSnapshotConfig>\n"
              "\t\t\t\t<Margin>4</Margin>\n\t\t\t\t<Padding>2</Padding>\n"
              "\t\t\t\t<Columns>10</Columns>\n\t\t\t</SpriteSnapshotConfig>\n\t\t</Snapshot>\n"
              "\t</Operation>\n");
}

TEST(DataJobBodyTest, TranscodeLayout) {
    auto req = DataJob("Transcode");
    DataProcessOperation& op = req.Options().operation;
    Transcode& t = op.transcode;
    t.time_interval = {"5", "10"};
    t.container = {"mp4", "60"};
    t.video.codec = "H.264";
    t.video.quality = "1";
    t.audio.sample_format = "fltp";
    t.trans_config.is_hdr2sdr = "false";
    t.trans_config.hls_encrypt = {"true", "k1"};
    t.trans_config.dash_encrypt = {"TRUE", "k2"};
    t.audio_mix.audio_source = "bgm.mp3";
    t.audio_mix.bgm_fade_time = "1.5";
    t.audio_mix_array.push_back(AudioMix{});
    op.watermark_template_ids = {"", "w1"};
    Watermark mark;
    mark.type = "Text";
    mark.text.transparency = "30";
    mark.image.transparency = "70";
    mark.slide.x_slide_speed = "3";  // no SlideMode: no SlideConfig
    op.watermarks = {mark, Watermark{}};
    op.remove_watermark = {"1", "2", "3", "4"};
    op.subtitles = {{"s.srt"}, {""}};
    op.digital_watermark = {"msg", "Text", "V1", "", ""};
    EXPECT_EQ(OperationOf(Body(req)),
              "\t<Operation>\n\t\t<Output/>\n\t\t<Transcode>\n"
              "\t\t\t<TimeInterval>\n\t\t\t\t<Duration>10</Duration>\n\t\t\t\t<Start>5</Start>\n"
              "\t\t\t</TimeInterval>\n"
              "\t\t\t<Container>\n\t\t\t\t<Format>mp4</Format>\n\t\t\t\t<ClipConfig>\n"
              "\t\t\t\t\t<Duration>60</Duration>\n\t\t\t\t</ClipConfig>\n\t\t\t</Container>\n"
              "\t\t\t<Video>\n\t\t\t\t<Codec>H.264</Codec>\n\t\t\t\t<Quality>1</Quality>\n"
              "\t\t\t</Video>\n"
              "\t\t\t<Audio>\n\t\t\t\t<SampleFormat>fltp</SampleFormat>\n\t\t\t</Audio>\n"
              "\t\t\t<TransConfig>\n\t\t\t\t<IsHdr2Sdr>false</IsHdr2Sdr>\n\t\t\t\t<HlsEncrypt>\n"
              "\t\t\t\t\t<IsHlsEncrypt>true</IsHlsEncrypt>\n\t\t\t\t\t<UriKey>k1</UriKey>\n"
              "\t\t\t\t</HlsEncrypt>\n\t\t\t</TransConfig>\n"
              "\t\t\t<AudioMix>\n\t\t\t\t<AudioSource>bgm.mp3</AudioSource>\n"
              "\t\t\t\t<EffectConfig>\n\t\t\t\t\t<BgmFadeTime>1.5</BgmFadeTime>\n"
              "\t\t\t\t</EffectConfig>\n\t\t\t</AudioMix>\n"
              "\t\t\t<AudioMixArray>\n\t\t\t\t<EffectConfig/>\n\t\t\t</AudioMixArray>\n"
              "\t\t</Transcode>\n"
              "\t\t<WatermarkTemplateId>w1</WatermarkTemplateId>\n"
              "\t\t<Watermark>\n\t\t\t<Type>Text</Type>\n"
              "\t\t\t<Text>\n\t\t\t\t<Transparency>30</Transparency>\n\t\t\t</Text>\n"
              "\t\t\t<Image>\n\t\t\t\t<Transparency>70</Transparency>\n\t\t\t</Image>\n"
              "\t\t</Watermark>\n"
              "\t\t<Watermark>\n\t\t\t<Text/>\n\t\t\t<Image/>\n\t\t</Watermark>\n"
              "\t\t<RemoveWatermark>\n\t\t\t<Dx>1</Dx>\n\t\t\t<Dy>2</Dy>\n\t\t\t<Width>3</Width>\n"
              "\t\t\t<Height>4</Height>\n\t\t</RemoveWatermark>\n"
              "\t\t<Subtitles>\n\t\t\t<Subtitle>\n\t\t\t\t<Url>s.srt</Url>\n\t\t\t</Subtitle>\n"
              "\t\t\t<Subtitle/>\n\t\t</Subtitles>\n"
              "\t\t<DigitalWatermark>\n\t\t\t<Message>msg</Message>\n\t\t\t<Type>Text</Type>\n"
              "\t\t\t<Version>V1</Version>\n\t\t</DigitalWatermark>\n\t</Operation>\n");

    // Half a time interval, three quarters of a removal box, or "1" for encryption: left out.
    t.time_interval.duration.clear();
    op.remove_watermark.height.clear();
    t.trans_config.hls_encrypt.is_hls_encrypt = "1";
    t.trans_config.dash_encrypt.is_encrypt = "true";
    const std::string body = Body(req);
    EXPECT_EQ(body.find("<TimeInterval>"), std::string::npos);
    EXPECT_EQ(body.find("<RemoveWatermark>"), std::string::npos);
    EXPECT_EQ(body.find("<HlsEncrypt>"), std::string::npos);
    EXPECT_NE(body.find("\t\t\t\t<DashEncrypt>\n\t\t\t\t\t<IsEncrypt>true</IsEncrypt>\n"
                        "\t\t\t\t\t<UriKey>k2</UriKey>\n\t\t\t\t</DashEncrypt>\n"),
              std::string::npos);
}

TEST(DataJobBodyTest, BlocksOfTheOtherTags) {
    struct Case {
        const char* tag;
        void (*fill)(DataProcessOperation&);
        const char* operation;
    };
    const Case cases[] = {
        {"Animation", [](DataProcessOperation&) {},
         "\t<Operation>\n\t\t<Output/>\n\t\t<Animation>\n\t\t\t<TimeInterval/>\n"
         "\t\t\t<Container>\n\t\t\t\t<ClipConfig/>\n\t\t\t</Container>\n\t\t\t<Video/>\n"
         "\t\t</Animation>\n\t</Operation>\n"},
        {"Segment", [](DataProcessOperation& op) { op.segment.end_time = "9"; },
         "\t<Operation>\n\t\t<Output/>\n\t\t<Segment>\n\t\t\t<EndTime>9</EndTime>\n"
         "\t\t\t<HlsEncrypt/>\n\t\t</Segment>\n\t</Operation>\n"},
        {"VoiceSeparate",
         [](DataProcessOperation& op) { op.voice_separate.audio_config = {"aac", "44100", "128", "2"}; },
         "\t<Operation>\n\t\t<Output/>\n\t\t<VoiceSeparate>\n\t\t\t<AudioConfig>\n"
         "\t\t\t\t<Codec>aac</Codec>\n\t\t\t\t<Channels>2</Channels>\n"
         "\t\t\t\t<Bitrate>128</Bitrate>\n\t\t\t\t<Samplerate>44100</Samplerate>\n"
         "\t\t\t</AudioConfig>\n\t\t</VoiceSeparate>\n\t</Operation>\n"},
        {"Concat",
         [](DataProcessOperation& op) {
             op.concat_template.direct_concat = "true";
             op.concat_template.concat_fragments = {{"a.mp4", "0", "", ""}};
             op.concat_template.scene_change_info.time = "1";
         },
         "\t<Operation>\n\t\t<Output/>\n\t\t<ConcatTemplate>\n"
         "\t\t\t<DirectConcat>true</DirectConcat>\n"
         "\t\t\t<Container>\n\t\t\t\t<ClipConfig/>\n\t\t\t</Container>\n\t\t\t<Video/>\n"
         "\t\t\t<Audio/>\n\t\t\t<ConcatFragment>\n\t\t\t\t<Url>a.mp4</Url>\n"
         "\t\t\t\t<FragmentIndex>0</FragmentIndex>\n\t\t\t</ConcatFragment>\n"
         "\t\t\t<SceneChangeInfo>\n\t\t\t\t<Time>1</Time>\n\t\t\t</SceneChangeInfo>\n"
         "\t\t</ConcatTemplate>\n\t</Operation>\n"},
        {"VideoMontage", [](DataProcessOperation& op) { op.video_montage.scene = "Video"; },
         "\t<Operation>\n\t\t<Output/>\n\t\t<VideoMontage>\n\t\t\t<Scene>Video</Scene>\n"
         "\t\t\t<Container>\n\t\t\t\t<ClipConfig/>\n\t\t\t</Container>\n\t\t\t<Video/>\n"
         "\t\t\t<Audio/>\n\t\t</VideoMontage>\n\t</Operation>\n"},
        {"SmartCover", [](DataProcessOperation& op) { op.smart_cover.delete_duplicates = "true"; },
         "\t<Operation>\n\t\t<Output/>\n\t\t<SmartCover>\n"
         "\t\t\t<DeleteDuplicates>true</DeleteDuplicates>\n\t\t</SmartCover>\n\t</Operation>\n"},
        {"FileUncompress",
         [](DataProcessOperation& op) { op.file_uncompress_config.prefix_replaced = "1"; },
         "\t<Operation>\n\t\t<Output/>\n\t\t<FileUncompressConfig>\n"
         "\t\t\t<PrefixReplaced>1</PrefixReplaced>\n\t\t</FileUncompressConfig>\n"
         "\t</Operation>\n"},
        // A digital watermark without a message is left out.
        {"DigitalWatermark", [](DataProcessOperation& op) { op.digital_watermark.type = "Text"; },
         "\t<Operation>\n\t\t<Output/>\n\t</Operation>\n"},
    };
    for (const auto& c : cases) {
        auto req = DataJob(c.tag);
        c.fill(req.Options().operation);
        EXPECT_EQ(OperationOf(Body(req)), c.operation) << c.tag;
    }
}

TEST(DataJobBodyTest, CallbacksAfterTheOperation) {
    auto req = DataJob("");
    auto& o = req.Options();
    o.call_back = "http://cb";
    o.call_back_mq_config = {"ap-test", "Queue", ""};
    std::string body = Body(req);
    EXPECT_NE(body.find("\t</Operation>\n\t<CallBack>http://cb</CallBack>\n</Request>"),
              std::string::npos);
    o.call_back_mq_config.mq_name = "mq";
    EXPECT_NE(Body(req).find("\t<CallBackMqConfig>\n\t\t<MqMode>Queue</MqMode>\n"
                             "\t\t<MqRegion>ap-test</MqRegion>\n\t\t<MqName>mq</MqName>\n"
                             "\t</CallBackMqConfig>\n</Request>"),
              std::string::npos);
}

TEST(ProcessRequestTest, OnlyRegionalProcessingRequestsMayNameNoBucket) {
    EXPECT_NO_THROW(DataProcessReq(""));
    EXPECT_NO_THROW(CreateDataProcessJobsReq(""));
    EXPECT_NO_THROW(DataProcessRegionReq("", "k"));
    EXPECT_THROW(DataProcessReq("bad_name!"), std::invalid_argument);
    EXPECT_THROW(DataProcessRegionReq("bad_name!", "k"), std::invalid_argument);
    EXPECT_THROW(BucketReq(""), std::invalid_argument);
    EXPECT_THROW(GetObjectReq("", "k"), std::invalid_argument);
}

TEST(PicOperationTargetCheckTest, SwitchesGoOffOnlyForARuleThatOverwritesTheKey) {
    struct Case {
        const char* key;
        std::vector<const char*> targets;
        bool overwrites;
    };
    const Case cases[] = {
        {"photos/a.jpg", {"a.jpg"}, true},
        {"photos/a.jpg", {"/photos/a.jpg"}, true},
        {"photos/a.jpg", {"//photos/a.jpg"}, false},
        {"photos/a.jpg", {"photos/a.jpg"}, false},
        {"a.jpg", {"a.jpg"}, true},
        {"a.jpg", {"A.jpg"}, false},
        {"a.jpg", {}, false},
        {"a.jpg", {"b.jpg", "/a.jpg", "a.jpg"}, true},
    };
    for (const auto& c : cases) {
        PutObjectWithPicOperationReq req("bkt", c.key, "/tmp/none");
        PicOperation op;
        for (const char* target : c.targets) op.AddRule({"bkt", target, "imageMogr2/rotate/90"});
        req.SetPicOperation(op);
        PicOperationTargetCheck(req);
        EXPECT_EQ(req.ShouldCheckETag(), !c.overwrites) << c.key;
        EXPECT_EQ(req.ShouldComputeContentMd5(), !c.overwrites) << c.key;
    }
}
