// The bodies of the processing requests, written from tables in the order the service reads.
#include "request/ProcessReq.h"

#include <cstddef>
#include <initializer_list>
#include <vector>

#include "request/XmlBodyWriter.h"
#include "util/StringUtil.h"

namespace zuzezi_zid {

namespace {

using Node = XmlBodyWriter::Node;

enum class Rule { kAlways, kWhenSet, kPositive, kNonZero };

// One child element: a text written always or when set, or an integer written when it is
// greater than 0 or when it is not 0.
template <typename R>
struct Field {
    constexpr Field(const char* name, std::string R::*member, Rule when = Rule::kWhenSet)
        : element(name), text(member), rule(when) {}
    constexpr Field(const char* name, int32_t R::*member, Rule when)
        : element(name), number(member), rule(when) {}

    const char* element;
    std::string R::*text = nullptr;
    int32_t R::*number = nullptr;
    Rule rule;
};

template <typename R, size_t N>
void WriteFields(XmlBodyWriter& writer, Node* parent, const R& record, const Field<R> (&fields)[N]) {
    for (const auto& field : fields) {
        if (field.text) {
            const std::string& value = record.*field.text;
            if (field.rule == Rule::kAlways || !value.empty()) {
                writer.Add(parent, field.element, value);
            }
            continue;
        }
        const int32_t value = record.*field.number;
        if ((field.rule == Rule::kPositive && value > 0) ||
            (field.rule == Rule::kNonZero && value != 0) || field.rule == Rule::kAlways) {
            writer.Add(parent, field.element, StringUtil::FormatInt(value));
        }
    }
}

template <typename R, size_t N>
Node* AddBlock(XmlBodyWriter& writer, Node* parent, const char* name, const R& record,
               const Field<R> (&fields)[N]) {
    Node* node = writer.Add(parent, name);
    WriteFields(writer, node, record, fields);
    return node;
}

// ---- tables, in wire order --------------------------------------------------------------

constexpr Rule kAlways = Rule::kAlways;

const Field<QueueOptions> kQueueFields[] = {{"Name", &QueueOptions::name, kAlways},
                                            {"QueueID", &QueueOptions::queue_id, kAlways},
                                            {"State", &QueueOptions::state, kAlways}};
const Field<NotifyConfig> kNotifyFields[] = {{"Url", &NotifyConfig::url, kAlways},
                                             {"Type", &NotifyConfig::type, kAlways},
                                             {"Event", &NotifyConfig::event, kAlways},
                                             {"State", &NotifyConfig::state, kAlways}};

const Field<ProcessOutput> kDocOutputFields[] = {{"Region", &ProcessOutput::region, kAlways},
                                                 {"Bucket", &ProcessOutput::bucket, kAlways},
                                                 {"Object", &ProcessOutput::object, kAlways}};
const Field<DocProcess> kDocProcessFields[] = {
    {"SrcType", &DocProcess::src_type},
    {"TgtType", &DocProcess::tgt_type},
    {"SheetId", &DocProcess::sheet_id, Rule::kPositive},
    {"StartPage", &DocProcess::start_page, Rule::kPositive},
    {"EndPage", &DocProcess::end_page, Rule::kPositive},
    {"ImageParams", &DocProcess::image_params},
    {"DocPassword", &DocProcess::doc_password},
    {"Comments", &DocProcess::comments, Rule::kPositive},
    {"PaperDirection", &DocProcess::paper_direction, Rule::kPositive},
    {"Quality", &DocProcess::quality, Rule::kPositive},
    {"Zoom", &DocProcess::zoom, Rule::kPositive}};

const Field<ProcessInput> kInputFields[] = {{"Object", &ProcessInput::object},
                                            {"Url", &ProcessInput::url}};
const Field<ProcessOutput> kOutputFields[] = {{"Region", &ProcessOutput::region},
                                              {"Bucket", &ProcessOutput::bucket},
                                              {"Object", &ProcessOutput::object},
                                              {"SpriteObject", &ProcessOutput::sprite_object},
                                              {"AuObject", &ProcessOutput::au_object},
                                              {"BassObject", &ProcessOutput::bass_object},
                                              {"DrumObject", &ProcessOutput::drum_object}};
const Field<DataProcessOperation> kOperationFields[] = {
    {"JobLevel", &DataProcessOperation::job_level, Rule::kNonZero},
    {"UserData", &DataProcessOperation::user_data},
    {"TemplateId", &DataProcessOperation::template_id}};

const Field<Snapshot> kSnapshotFields[] = {
    {"Mode", &Snapshot::mode},
    {"Start", &Snapshot::start},
    {"TimeInterval", &Snapshot::time_interval},
    {"Count", &Snapshot::count},
    {"Width", &Snapshot::width},
    {"Height", &Snapshot::height},
    {"CIParam", &Snapshot::ci_param},
    {"IsCheckCount", &Snapshot::is_check_count},
    {"IsCheckBlack", &Snapshot::is_check_black},
    {"BlackLevel", &Snapshot::black_level},
    {"PixelBlackThreshold", &Snapshot::pixel_black_threshold},
    {"SnapshotOutMode", &Snapshot::snapshot_out_mode}};
const Field<SpriteSnapshotConfig> kSpriteFields[] = {
    {"CellWidth", &SpriteSnapshotConfig::cell_width},
    {"CellHeight", &SpriteSnapshotConfig::cell_height},
    {"Margin", &SpriteSnapshotConfig::margin},
    {"Padding", &SpriteSnapshotConfig::padding},
    {"Color", &SpriteSnapshotConfig::color},
    {"Columns", &SpriteSnapshotConfig::columns},
    {"Lines", &SpriteSnapshotConfig::lines},
    {"ScaleMethod", &SpriteSnapshotConfig::scale_method}};

const Field<TimeInterval> kTimeIntervalFields[] = {{"Duration", &TimeInterval::duration},
                                                   {"Start", &TimeInterval::start}};
const Field<TransConfig> kTransConfigFields[] = {
    {"AdjDarMethod", &TransConfig::adj_dar_method},
    {"IsCheckReso", &TransConfig::is_check_reso},
    {"ResoAdjMethod", &TransConfig::reso_adj_method},
    {"IsCheckVideoBitrate", &TransConfig::is_check_video_bitrate},
    {"VideoBitrateAdjMethod", &TransConfig::video_bitrate_adj_method},
    {"IsCheckAudioBitrate", &TransConfig::is_check_audio_bitrate},
    {"AudioBitrateAdjMethod", &TransConfig::audio_bitrate_adj_method},
    {"IsCheckVideoFps", &TransConfig::is_check_video_fps},
    {"VideoFpsAdjMethod", &TransConfig::video_fps_adj_method},
    {"DeleteMetadata", &TransConfig::delete_metadata},
    {"IsHdr2Sdr", &TransConfig::is_hdr2sdr},
    {"TranscodeIndex", &TransConfig::transcode_index}};
const Field<HlsEncrypt> kHlsFields[] = {{"IsHlsEncrypt", &HlsEncrypt::is_hls_encrypt},
                                        {"UriKey", &HlsEncrypt::uri_key}};
const Field<DashEncrypt> kDashFields[] = {{"IsEncrypt", &DashEncrypt::is_encrypt},
                                          {"UriKey", &DashEncrypt::uri_key}};

const Field<Watermark> kWatermarkFields[] = {
    {"Type", &Watermark::type},           {"Pos", &Watermark::pos},
    {"LocMode", &Watermark::loc_mode},    {"Dx", &Watermark::dx},
    {"Dy", &Watermark::dy},               {"StartTime", &Watermark::start_time},
    {"EndTime", &Watermark::end_time}};
const Field<WatermarkSlide> kSlideFields[] = {{"SlideMode", &WatermarkSlide::slide_mode},
                                              {"XSlideSpeed", &WatermarkSlide::x_slide_speed},
                                              {"YSlideSpeed", &WatermarkSlide::y_slide_speed}};
const Field<WatermarkText> kWatermarkTextFields[] = {
    {"FontSize", &WatermarkText::font_size},
    {"FontType", &WatermarkText::font_type},
    {"FontColor", &WatermarkText::font_color},
    {"Transparency", &WatermarkText::transparency},
    {"Text", &WatermarkText::text}};
const Field<WatermarkImage> kWatermarkImageFields[] = {
    {"Url", &WatermarkImage::url},
    {"Mode", &WatermarkImage::mode},
    {"Width", &WatermarkImage::width},
    {"Height", &WatermarkImage::height},
    {"Transparency", &WatermarkImage::transparency},
    {"Background", &WatermarkImage::background}};

const Field<SmartCover> kSmartCoverFields[] = {
    {"Format", &SmartCover::format}, {"Width", &SmartCover::width},
    {"Height", &SmartCover::height}, {"Count", &SmartCover::count},
    {"DeleteDuplicates", &SmartCover::delete_duplicates}};
const Field<RemoveWatermark> kRemoveWatermarkFields[] = {{"Dx", &RemoveWatermark::dx},
                                                         {"Dy", &RemoveWatermark::dy},
                                                         {"Width", &RemoveWatermark::width},
                                                         {"Height", &RemoveWatermark::height}};
const Field<Segment> kSegmentFields[] = {{"Format", &Segment::format},
                                         {"Duration", &Segment::duration},
                                         {"TranscodeIndex", &Segment::transcode_index},
                                         {"StartTime", &Segment::start_time},
                                         {"EndTime", &Segment::end_time}};
const Field<Subtitle> kSubtitleFields[] = {{"Url", &Subtitle::url}};
const Field<DigitalWatermark> kDigitalWatermarkFields[] = {
    {"Message", &DigitalWatermark::message},
    {"Type", &DigitalWatermark::type},
    {"Version", &DigitalWatermark::version},
    {"IgnoreError", &DigitalWatermark::ignore_error},
    {"State", &DigitalWatermark::state}};
const Field<ExtractDigitalWatermark> kExtractFields[] = {
    {"Type", &ExtractDigitalWatermark::type}, {"Version", &ExtractDigitalWatermark::version}};
const Field<FileUncompressConfig> kUncompressFields[] = {
    {"Prefix", &FileUncompressConfig::prefix},
    {"UnCompressKey", &FileUncompressConfig::un_compress_key},
    {"PrefixReplaced", &FileUncompressConfig::prefix_replaced}};
const Field<VoiceSeparateAudioConfig> kVoiceAudioFields[] = {
    {"Codec", &VoiceSeparateAudioConfig::codec},
    {"Channels", &VoiceSeparateAudioConfig::channels},
    {"Bitrate", &VoiceSeparateAudioConfig::bitrate},
    {"Samplerate", &VoiceSeparateAudioConfig::samplerate}};
const Field<ConcatTemplate> kConcatFields[] = {{"Index", &ConcatTemplate::index},
                                               {"DirectConcat", &ConcatTemplate::direct_concat}};
const Field<ConcatFragment> kFragmentFields[] = {
    {"Url", &ConcatFragment::url},
    {"FragmentIndex", &ConcatFragment::fragment_index},
    {"StartTime", &ConcatFragment::start_time},
    {"EndTime", &ConcatFragment::end_time}};
const Field<SceneChangeInfo> kSceneChangeFields[] = {{"Mode", &SceneChangeInfo::mode},
                                                     {"Time", &SceneChangeInfo::time}};
const Field<DataProcessJobOptions> kCallBackFields[] = {
    {"CallBackFormat", &DataProcessJobOptions::call_back_format},
    {"CallBackType", &DataProcessJobOptions::call_back_type},
    {"CallBack", &DataProcessJobOptions::call_back}};
const Field<CallBackMqConfig> kMqFields[] = {{"MqMode", &CallBackMqConfig::mq_mode},
                                             {"MqRegion", &CallBackMqConfig::mq_region},
                                             {"MqName", &CallBackMqConfig::mq_name}};

const Field<ContainerSettings> kContainerFields[] = {{"Format", &ContainerSettings::format}};
const Field<ContainerSettings> kClipFields[] = {{"Duration", &ContainerSettings::duration}};
const Field<VideoSettings> kVideoFields[] = {
    {"Codec", &VideoSettings::codec},
    {"Width", &VideoSettings::width},
    {"Height", &VideoSettings::height},
    {"Fps", &VideoSettings::fps},
    {"Remove", &VideoSettings::remove},
    {"Profile", &VideoSettings::profile},
    {"Bitrate", &VideoSettings::bitrate},
    {"Crt", &VideoSettings::crt},
    {"Gop", &VideoSettings::gop},
    {"Preset", &VideoSettings::preset},
    {"Bufsize", &VideoSettings::bufsize},
    {"Maxrate", &VideoSettings::maxrate},
    {"Pixfmt", &VideoSettings::pixfmt},
    {"LongShortMode", &VideoSettings::long_short_mode},
    {"Rotate", &VideoSettings::rotate},
    {"Roo", &VideoSettings::roo},
    {"Crop", &VideoSettings::crop},
    {"Interlaced", &VideoSettings::interlaced},
    {"AnimateTimeIntervalOfFrame", &VideoSettings::animate_time_interval_of_frame},
    {"AnimateFramesPerSecond", &VideoSettings::animate_frames_per_second},
    {"Quality", &VideoSettings::quality}};
const Field<AudioSettings> kAudioFields[] = {{"Codec", &AudioSettings::codec},
                                             {"Samplerate", &AudioSettings::samplerate},
                                             {"Bitrate", &AudioSettings::bitrate},
                                             {"Channels", &AudioSettings::channels},
                                             {"Remove", &AudioSettings::remove},
                                             {"SampleFormat", &AudioSettings::sample_format}};
const Field<AudioMix> kAudioMixFields[] = {{"AudioSource", &AudioMix::audio_source},
                                           {"MixMode", &AudioMix::mix_mode},
                                           {"Replace", &AudioMix::replace}};
const Field<AudioMix> kEffectFields[] = {{"EnableStartFadein", &AudioMix::enable_start_fadein},
                                         {"StartFadeinTime", &AudioMix::start_fadein_time},
                                         {"EnableEndFadeout", &AudioMix::enable_end_fadeout},
                                         {"EndFadeoutTime", &AudioMix::end_fadeout_time},
                                         {"EnableBgmFade", &AudioMix::enable_bgm_fade},
                                         {"BgmFadeTime", &AudioMix::bgm_fade_time}};

// ---- the element writers shared by several operation blocks ----------------------------

void AppendContainerSettings(XmlBodyWriter& writer, const ContainerSettings& settings,
                             Node* parent) {
    WriteFields(writer, parent, settings, kContainerFields);
    AddBlock(writer, parent, "ClipConfig", settings, kClipFields);
}

void AppendVideoSettings(XmlBodyWriter& writer, const VideoSettings& settings, Node* parent) {
    WriteFields(writer, parent, settings, kVideoFields);
}

void AppendAudioSettings(XmlBodyWriter& writer, const AudioSettings& settings, Node* parent) {
    WriteFields(writer, parent, settings, kAudioFields);
}

void AppendAudioMix(XmlBodyWriter& writer, const AudioMix& mix, Node* parent) {
    WriteFields(writer, parent, mix, kAudioMixFields);
    AddBlock(writer, parent, "EffectConfig", mix, kEffectFields);
}

void AddContainerVideo(XmlBodyWriter& writer, Node* parent, const ContainerSettings& container,
                       const VideoSettings& video) {
    AppendContainerSettings(writer, container, writer.Add(parent, "Container"));
    AppendVideoSettings(writer, video, writer.Add(parent, "Video"));
}

// "Container", "Video", "Audio", the single mix when it has a source, then the mix list.
void AddMedia(XmlBodyWriter& writer, Node* parent, const ContainerSettings& container,
              const VideoSettings& video, const AudioSettings& audio, const AudioMix& mix,
              const std::vector<AudioMix>& mixes) {
    AddContainerVideo(writer, parent, container, video);
    AppendAudioSettings(writer, audio, writer.Add(parent, "Audio"));
    if (!mix.audio_source.empty()) {
        AppendAudioMix(writer, mix, writer.Add(parent, "AudioMix"));
    }
    for (const auto& entry : mixes) {
        AppendAudioMix(writer, entry, writer.Add(parent, "AudioMixArray"));
    }
}

bool IsOneOf(const std::string& tag, std::initializer_list<const char*> tags) {
    for (const char* candidate : tags) {
        if (tag == candidate) {
            return true;
        }
    }
    return false;
}

void AddTranscode(XmlBodyWriter& writer, Node* operation, const Transcode& transcode) {
    Node* node = writer.Add(operation, "Transcode");
    const TimeInterval& interval = transcode.time_interval;
    if (!interval.start.empty() && !interval.duration.empty()) {
        AddBlock(writer, node, "TimeInterval", interval, kTimeIntervalFields);
    }
    AddContainerVideo(writer, node, transcode.container, transcode.video);
    AppendAudioSettings(writer, transcode.audio, writer.Add(node, "Audio"));
    const TransConfig& config = transcode.trans_config;
    Node* trans = AddBlock(writer, node, "TransConfig", config, kTransConfigFields);
    if (config.hls_encrypt.is_hls_encrypt == "true") {
        AddBlock(writer, trans, "HlsEncrypt", config.hls_encrypt, kHlsFields);
    }
    if (config.dash_encrypt.is_encrypt == "true") {
        AddBlock(writer, trans, "DashEncrypt", config.dash_encrypt, kDashFields);
    }
    if (!transcode.audio_mix.audio_source.empty()) {
        AppendAudioMix(writer, transcode.audio_mix, writer.Add(node, "AudioMix"));
    }
    for (const auto& entry : transcode.audio_mix_array) {
        AppendAudioMix(writer, entry, writer.Add(node, "AudioMixArray"));
    }
}

void AddWatermarks(XmlBodyWriter& writer, Node* operation, const DataProcessOperation& op) {
    for (const auto& id : op.watermark_template_ids) {
        if (!id.empty()) {
            writer.Add(operation, "WatermarkTemplateId", id);
        }
    }
    for (const auto& mark : op.watermarks) {
        Node* node = AddBlock(writer, operation, "Watermark", mark, kWatermarkFields);
        if (!mark.slide.slide_mode.empty()) {
            AddBlock(writer, node, "SlideConfig", mark.slide, kSlideFields);
        }
        AddBlock(writer, node, "Text", mark.text, kWatermarkTextFields);
        AddBlock(writer, node, "Image", mark.image, kWatermarkImageFields);
    }
}

void AddOperation(XmlBodyWriter& writer, Node* request, const DataProcessJobOptions& options) {
    const std::string& tag = options.tag;
    const DataProcessOperation& op = options.operation;
    Node* node = writer.Add(request, "Operation");
    if (tag != "ExtractDigitalWatermark") {
        AddBlock(writer, node, "Output", op.output, kOutputFields);
    }
    WriteFields(writer, node, op, kOperationFields);
    if (tag == "Snapshot") {
        Node* snapshot = AddBlock(writer, node, "Snapshot", op.snapshot, kSnapshotFields);
        AddBlock(writer, snapshot, "SpriteSnapshotConfig", op.snapshot.sprite_snapshot_config,
                 kSpriteFields);
    }
    if (tag == "Transcode") {
        AddTranscode(writer, node, op.transcode);
    }
    if (IsOneOf(tag, {"Watermark", "Transcode", "VideoEnhance", "SuperResolution"})) {
        AddWatermarks(writer, node, op);
    }
    if (tag == "Animation") {
        Node* animation = writer.Add(node, "Animation");
        AddBlock(writer, animation, "TimeInterval", op.animation.time_interval,
                 kTimeIntervalFields);
        AddContainerVideo(writer, animation, op.animation.container, op.animation.video);
    }
    if (tag == "SmartCover") {
        AddBlock(writer, node, "SmartCover", op.smart_cover, kSmartCoverFields);
    }
    const RemoveWatermark& remove = op.remove_watermark;
    if (tag == "Transcode" && !remove.dx.empty() && !remove.dy.empty() && !remove.width.empty() &&
        !remove.height.empty()) {
        AddBlock(writer, node, "RemoveWatermark", remove, kRemoveWatermarkFields);
    }
    if (tag == "Segment") {
        Node* segment = AddBlock(writer, node, "Segment", op.segment, kSegmentFields);
        AddBlock(writer, segment, "HlsEncrypt", op.segment.hls_encrypt, kHlsFields);
    }
    if (tag == "Transcode" && !op.subtitles.empty()) {
        Node* subtitles = writer.Add(node, "Subtitles");
        for (const auto& subtitle : op.subtitles) {
            AddBlock(writer, subtitles, "Subtitle", subtitle, kSubtitleFields);
        }
    }
    if (IsOneOf(tag, {"Transcode", "VideoEnhance", "DigitalWatermark"}) &&
        !op.digital_watermark.message.empty()) {
        AddBlock(writer, node, "DigitalWatermark", op.digital_watermark, kDigitalWatermarkFields);
    }
    if (tag == "ExtractDigitalWatermark") {
        AddBlock(writer, node, "ExtractDigitalWatermark", op.extract_digital_watermark,
                 kExtractFields);
    }
    if (tag == "FileUncompress") {
        AddBlock(writer, node, "FileUncompressConfig", op.file_uncompress_config,
                 kUncompressFields);
    }
    if (tag == "VoiceSeparate") {
        Node* voice = writer.Add(node, "VoiceSeparate");
        if (!op.voice_separate.audio_mode.empty()) {
            writer.Add(voice, "AudioMode", op.voice_separate.audio_mode);
        }
        AddBlock(writer, voice, "AudioConfig", op.voice_separate.audio_config, kVoiceAudioFields);
    }
    if (tag == "VideoMontage") {
        const VideoMontage& montage = op.video_montage;
        Node* node_montage = writer.Add(node, "VideoMontage");
        if (!montage.scene.empty()) {
            writer.Add(node_montage, "Scene", montage.scene);
        }
        AddMedia(writer, node_montage, montage.container, montage.video, montage.audio,
                 montage.audio_mix, montage.audio_mix_array);
    }
    if (tag == "Concat") {
        const ConcatTemplate& concat = op.concat_template;
        Node* node_concat = AddBlock(writer, node, "ConcatTemplate", concat, kConcatFields);
        AddMedia(writer, node_concat, concat.container, concat.video, concat.audio,
                 concat.audio_mix, concat.audio_mix_array);
        for (const auto& fragment : concat.concat_fragments) {
            AddBlock(writer, node_concat, "ConcatFragment", fragment, kFragmentFields);
        }
        AddBlock(writer, node_concat, "SceneChangeInfo", concat.scene_change_info,
                 kSceneChangeFields);
    }
}

}  // namespace

bool UpdateQueueReq::GenerateRequestBody(std::string* body) const {
    XmlBodyWriter writer;
    Node* root = writer.Root("Request");
    WriteFields(writer, root, m_options, kQueueFields);
    AddBlock(writer, root, "NotifyConfig", m_options.notify_config, kNotifyFields);
    writer.PrintTo(body);
    return true;
}

bool CreateDocProcessJobsReq::GenerateRequestBody(std::string* body) const {
    XmlBodyWriter writer;
    Node* root = writer.Root("Request");
    writer.Add(root, "Tag", m_options.tag);
    writer.Add(writer.Add(root, "Input"), "Object", m_options.input.object);
    Node* operation = writer.Add(root, "Operation");
    AddBlock(writer, operation, "Output", m_options.operation.output, kDocOutputFields);
    AddBlock(writer, operation, "DocProcess", m_options.operation.doc_process, kDocProcessFields);
    writer.Add(root, "QueueId", m_options.queue_id);
    writer.PrintTo(body);
    return true;
}

bool CreateDataProcessJobsReq::GenerateRequestBody(std::string* body) const {
    XmlBodyWriter writer;
    Node* root = writer.Root("Request");
    writer.Add(root, "Tag", m_options.tag);
    if (!m_options.queue_id.empty()) {
        writer.Add(root, "QueueId", m_options.queue_id);
    }
    AddBlock(writer, root, "Input", m_options.input, kInputFields);
    AddOperation(writer, root, m_options);
    WriteFields(writer, root, m_options, kCallBackFields);
    const CallBackMqConfig& mq = m_options.call_back_mq_config;
    if (!mq.mq_mode.empty() && !mq.mq_region.empty() && !mq.mq_name.empty()) {
        AddBlock(writer, root, "CallBackMqConfig", mq, kMqFields);
    }
    writer.PrintTo(body);
    return true;
}

void PicOperationTargetCheck(PutObjectWithPicOperationReq& req) {
    const std::string key = req.GetObjectName();
    const size_t slash = key.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : key.substr(0, slash + 1);
    for (const auto& rule : req.GetPicOperation().GetRules()) {
        const std::string& target = rule.fileid;
        const std::string resolved =
            !target.empty() && target[0] == '/' ? target.substr(1) : folder + target;
        if (resolved == key) {
            req.TurnOffCheckETag();
            req.TurnOffComputeConentMd5();
            return;
        }
    }
}

}  // namespace zuzezi_zid
