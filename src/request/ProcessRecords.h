#pragma once

#include <cstdint>
#include <string>
#include <vector>

/// @file
/// The settings of data-processing jobs and queues, written into the bodies of
/// CreateDataProcessJobsReq, CreateDocProcessJobsReq and UpdateQueueReq. Every field is
/// named after the element it is written as; a text counts as set when it is not empty,
/// and a field left unset is not written unless its comment says otherwise. No value is
/// checked: the service judges them.
namespace zuzezi_zid {

// ---- records shared by several operations ------------------------------------------------

/// The output container: "Format" in a "Container" element, "Duration" in its
/// "ClipConfig".
struct ContainerSettings {
    std::string format;    ///< "Format": the container format, e.g. "mp4".
    std::string duration;  ///< "ClipConfig/Duration"; written inside "ClipConfig".
};

/// The children of a "Video" element, each written when set.
struct VideoSettings {
    std::string codec, width, height, fps, remove, profile, bitrate, crt, gop, preset, bufsize,
        maxrate, pixfmt, long_short_mode, rotate, roo, crop, interlaced,
        animate_time_interval_of_frame, animate_frames_per_second, quality;
    /// @var VideoSettings::codec
    /// "Codec": the video codec.
    /// @var VideoSettings::width
    /// "Width" of the picture.
    /// @var VideoSettings::height
    /// "Height" of the picture.
    /// @var VideoSettings::fps
    /// "Fps": the frame rate.
    /// @var VideoSettings::remove
    /// "Remove": "true" drops the video stream.
    /// @var VideoSettings::profile
    /// "Profile" of the codec.
    /// @var VideoSettings::bitrate
    /// "Bitrate" of the video stream.
    /// @var VideoSettings::crt
    /// "Crt".
    /// @var VideoSettings::gop
    /// "Gop": the keyframe interval.
    /// @var VideoSettings::preset
    /// "Preset" of the encoder.
    /// @var VideoSettings::bufsize
    /// "Bufsize": the rate control buffer.
    /// @var VideoSettings::maxrate
    /// "Maxrate": the peak bitrate.
    /// @var VideoSettings::pixfmt
    /// "Pixfmt": the pixel format.
    /// @var VideoSettings::long_short_mode
    /// "LongShortMode".
    /// @var VideoSettings::rotate
    /// "Rotate".
    /// @var VideoSettings::roo
    /// "Roo".
    /// @var VideoSettings::crop
    /// "Crop".
    /// @var VideoSettings::interlaced
    /// "Interlaced".
    /// @var VideoSettings::animate_time_interval_of_frame
    /// "AnimateTimeIntervalOfFrame", for animations.
    /// @var VideoSettings::animate_frames_per_second
    /// "AnimateFramesPerSecond", for animations.
    /// @var VideoSettings::quality
    /// "Quality".
};

/// The children of an "Audio" element, each written when set.
struct AudioSettings {
    std::string codec, samplerate, bitrate, channels, remove, sample_format;
    /// @var AudioSettings::codec
    /// "Codec": the audio codec.
    /// @var AudioSettings::samplerate
    /// "Samplerate".
    /// @var AudioSettings::bitrate
    /// "Bitrate" of the audio stream.
    /// @var AudioSettings::channels
    /// "Channels": the number of channels.
    /// @var AudioSettings::remove
    /// "Remove": "true" drops the audio stream.
    /// @var AudioSettings::sample_format
    /// "SampleFormat".
};

/// One audio mix ("AudioMix", or one entry of "AudioMixArray"). A single mix is written
/// only when its audio source is set; its "EffectConfig" is written with it.
struct AudioMix {
    std::string audio_source, mix_mode, replace;
    /// @var AudioMix::audio_source
    /// "AudioSource": the audio to mix in.
    /// @var AudioMix::mix_mode
    /// "MixMode".
    /// @var AudioMix::replace
    /// "Replace".
    // written inside "EffectConfig"
    std::string enable_start_fadein, start_fadein_time, enable_end_fadeout, end_fadeout_time,
        enable_bgm_fade, bgm_fade_time;
    /// @var AudioMix::enable_start_fadein
    /// "EffectConfig/EnableStartFadein".
    /// @var AudioMix::start_fadein_time
    /// "EffectConfig/StartFadeinTime".
    /// @var AudioMix::enable_end_fadeout
    /// "EffectConfig/EnableEndFadeout".
    /// @var AudioMix::end_fadeout_time
    /// "EffectConfig/EndFadeoutTime".
    /// @var AudioMix::enable_bgm_fade
    /// "EffectConfig/EnableBgmFade".
    /// @var AudioMix::bgm_fade_time
    /// "EffectConfig/BgmFadeTime".
};

/// The part of the input to process ("TimeInterval").
struct TimeInterval {
    std::string start, duration;
    /// @var TimeInterval::start
    /// "Start": where the part begins.
    /// @var TimeInterval::duration
    /// "Duration" of the part.
};

/// HLS encryption ("HlsEncrypt").
struct HlsEncrypt {
    std::string is_hls_encrypt, uri_key;
    /// @var HlsEncrypt::is_hls_encrypt
    /// "IsHlsEncrypt"; a transcode writes the block only when this is "true".
    /// @var HlsEncrypt::uri_key
    /// "UriKey": where players fetch the key.
};

/// DASH encryption ("DashEncrypt").
struct DashEncrypt {
    std::string is_encrypt, uri_key;
    /// @var DashEncrypt::is_encrypt
    /// "IsEncrypt"; the block is written only when this is "true".
    /// @var DashEncrypt::uri_key
    /// "UriKey": where players fetch the key.
};

/// How a watermark moves ("SlideConfig"), written only when the slide mode is set.
struct WatermarkSlide {
    std::string slide_mode, x_slide_speed, y_slide_speed;
    /// @var WatermarkSlide::slide_mode
    /// "SlideMode".
    /// @var WatermarkSlide::x_slide_speed
    /// "XSlideSpeed": the horizontal speed.
    /// @var WatermarkSlide::y_slide_speed
    /// "YSlideSpeed": the vertical speed.
};

/// A picture watermark ("Image"); the element is always written, its children when set.
struct WatermarkImage {
    std::string url, mode, width, height, transparency, background;
    /// @var WatermarkImage::url
    /// "Url" of the picture.
    /// @var WatermarkImage::mode
    /// "Mode".
    /// @var WatermarkImage::width
    /// "Width".
    /// @var WatermarkImage::height
    /// "Height".
    /// @var WatermarkImage::transparency
    /// "Transparency".
    /// @var WatermarkImage::background
    /// "Background".
};

/// A text watermark ("Text"); the element is always written, its children when set.
struct WatermarkText {
    std::string font_size, font_type, font_color, transparency, text;
    /// @var WatermarkText::font_size
    /// "FontSize".
    /// @var WatermarkText::font_type
    /// "FontType".
    /// @var WatermarkText::font_color
    /// "FontColor".
    /// @var WatermarkText::transparency
    /// "Transparency".
    /// @var WatermarkText::text
    /// "Text": what is written.
};

/// One "Watermark" element.
struct Watermark {
    std::string type, pos, loc_mode, dx, dy, start_time, end_time;
    /// @var Watermark::type
    /// "Type": a picture or a text watermark.
    /// @var Watermark::pos
    /// "Pos": where it is placed.
    /// @var Watermark::loc_mode
    /// "LocMode".
    /// @var Watermark::dx
    /// "Dx": the horizontal offset.
    /// @var Watermark::dy
    /// "Dy": the vertical offset.
    /// @var Watermark::start_time
    /// "StartTime": when it appears.
    /// @var Watermark::end_time
    /// "EndTime": when it goes.
    WatermarkSlide slide;  ///< "SlideConfig", written only when its slide mode is set.
    WatermarkImage image;  ///< "Image", always written.
    WatermarkText text;    ///< "Text", always written.
};

/// One input of a concatenation ("ConcatFragment").
struct ConcatFragment {
    std::string url, fragment_index, start_time, end_time;
    /// @var ConcatFragment::url
    /// "Url" of the input.
    /// @var ConcatFragment::fragment_index
    /// "FragmentIndex": its place in the result.
    /// @var ConcatFragment::start_time
    /// "StartTime" within the input.
    /// @var ConcatFragment::end_time
    /// "EndTime" within the input.
};

/// One "Subtitle" to burn into a transcode.
struct Subtitle {
    std::string url;  ///< "Url" of the subtitle file.
};

// ---- the operation of a media or data-processing job ---------------------------------------

/// Where a job's results go ("Output").
struct ProcessOutput {
    std::string region, bucket, object, sprite_object, au_object, bass_object, drum_object;
    /// @var ProcessOutput::region
    /// "Region" of the output bucket.
    /// @var ProcessOutput::bucket
    /// "Bucket": the output bucket.
    /// @var ProcessOutput::object
    /// "Object": the key of the result.
    /// @var ProcessOutput::sprite_object
    /// "SpriteObject": the key of a snapshot sprite.
    /// @var ProcessOutput::au_object
    /// "AuObject": the key of a further result of a voice separation.
    /// @var ProcessOutput::bass_object
    /// "BassObject": the key of a further result of a voice separation.
    /// @var ProcessOutput::drum_object
    /// "DrumObject": the key of a further result of a voice separation.
};

/// How snapshots are tiled into a sprite ("SpriteSnapshotConfig"); the element is always
/// written with a snapshot, its children when set.
struct SpriteSnapshotConfig {
    std::string cell_width, cell_height, padding, margin, color, columns, lines, scale_method;
    /// @var SpriteSnapshotConfig::cell_width
    /// "CellWidth" of one picture.
    /// @var SpriteSnapshotConfig::cell_height
    /// "CellHeight" of one picture.
    /// @var SpriteSnapshotConfig::padding
    /// "Padding" between pictures.
    /// @var SpriteSnapshotConfig::margin
    /// "Margin" around the sprite.
    /// @var SpriteSnapshotConfig::color
    /// "Color" of the background.
    /// @var SpriteSnapshotConfig::columns
    /// "Columns".
    /// @var SpriteSnapshotConfig::lines
    /// "Lines": the number of rows.
    /// @var SpriteSnapshotConfig::scale_method
    /// "ScaleMethod".
};

/// A snapshot job's settings ("Snapshot"), written for the tag "Snapshot".
struct Snapshot {
    std::string mode, start, time_interval, count, width, height, ci_param, is_check_black,
        is_check_count, black_level, pixel_black_threshold, snapshot_out_mode;
    /// @var Snapshot::mode
    /// "Mode".
    /// @var Snapshot::start
    /// "Start": when the first snapshot is taken.
    /// @var Snapshot::time_interval
    /// "TimeInterval" between snapshots.
    /// @var Snapshot::count
    /// "Count" of snapshots.
    /// @var Snapshot::width
    /// "Width" of a snapshot.
    /// @var Snapshot::height
    /// "Height" of a snapshot.
    /// @var Snapshot::ci_param
    /// "CIParam".
    /// @var Snapshot::is_check_black
    /// "IsCheckBlack".
    /// @var Snapshot::is_check_count
    /// "IsCheckCount".
    /// @var Snapshot::black_level
    /// "BlackLevel".
    /// @var Snapshot::pixel_black_threshold
    /// "PixelBlackThreshold".
    /// @var Snapshot::snapshot_out_mode
    /// "SnapshotOutMode".
    SpriteSnapshotConfig sprite_snapshot_config;  ///< "SpriteSnapshotConfig".
};

/// How a transcode adapts to its input ("TransConfig"); always written with a transcode,
/// its children when set.
struct TransConfig {
    std::string adj_dar_method, is_check_reso, reso_adj_method, is_check_video_bitrate,
        video_bitrate_adj_method, is_check_audio_bitrate, audio_bitrate_adj_method,
        is_check_video_fps, video_fps_adj_method, delete_metadata, is_hdr2sdr, transcode_index;
    /// @var TransConfig::adj_dar_method
    /// "AdjDarMethod": how the aspect ratio is adjusted.
    /// @var TransConfig::is_check_reso
    /// "IsCheckReso": whether the input's resolution is checked.
    /// @var TransConfig::reso_adj_method
    /// "ResoAdjMethod".
    /// @var TransConfig::is_check_video_bitrate
    /// "IsCheckVideoBitrate".
    /// @var TransConfig::video_bitrate_adj_method
    /// "VideoBitrateAdjMethod".
    /// @var TransConfig::is_check_audio_bitrate
    /// "IsCheckAudioBitrate".
    /// @var TransConfig::audio_bitrate_adj_method
    /// "AudioBitrateAdjMethod".
    /// @var TransConfig::is_check_video_fps
    /// "IsCheckVideoFps".
    /// @var TransConfig::video_fps_adj_method
    /// "VideoFpsAdjMethod".
    /// @var TransConfig::delete_metadata
    /// "DeleteMetadata".
    /// @var TransConfig::is_hdr2sdr
    /// "IsHdr2Sdr": whether HDR is turned into SDR.
    /// @var TransConfig::transcode_index
    /// "TranscodeIndex".
    HlsEncrypt hls_encrypt;    ///< "HlsEncrypt", written when its flag is "true".
    DashEncrypt dash_encrypt;  ///< "DashEncrypt", written when its flag is "true".
};

/// A transcode job's settings ("Transcode"), written for the tag "Transcode".
struct Transcode {
    TimeInterval time_interval;   ///< "TimeInterval", written only when both parts are set.
    ContainerSettings container;  ///< "Container", always written.
    VideoSettings video;          ///< "Video", always written.
    AudioSettings audio;          ///< "Audio", always written.
    TransConfig trans_config;     ///< "TransConfig", always written.
    AudioMix audio_mix;           ///< "AudioMix", written when its source is set.
    std::vector<AudioMix> audio_mix_array;  ///< One "AudioMixArray" element each.
};

/// The area a transcode blurs out ("RemoveWatermark"), written only when all four are set.
struct RemoveWatermark {
    std::string dx, dy, width, height;
    /// @var RemoveWatermark::dx
    /// "Dx": the horizontal offset of the area.
    /// @var RemoveWatermark::dy
    /// "Dy": the vertical offset of the area.
    /// @var RemoveWatermark::width
    /// "Width" of the area.
    /// @var RemoveWatermark::height
    /// "Height" of the area.
};

/// An invisible watermark to embed ("DigitalWatermark"), written only when the message is
/// set.
struct DigitalWatermark {
    std::string message, type, version, ignore_error, state;
    /// @var DigitalWatermark::message
    /// "Message": what is embedded.
    /// @var DigitalWatermark::type
    /// "Type".
    /// @var DigitalWatermark::version
    /// "Version".
    /// @var DigitalWatermark::ignore_error
    /// "IgnoreError".
    /// @var DigitalWatermark::state
    /// "State".
};

/// Reading an invisible watermark back ("ExtractDigitalWatermark"), written for the tag
/// "ExtractDigitalWatermark".
struct ExtractDigitalWatermark {
    std::string type, version;
    /// @var ExtractDigitalWatermark::type
    /// "Type".
    /// @var ExtractDigitalWatermark::version
    /// "Version".
};

/// Unpacking an archive ("FileUncompressConfig"), written for the tag "FileUncompress".
struct FileUncompressConfig {
    std::string prefix, un_compress_key, prefix_replaced;
    /// @var FileUncompressConfig::prefix
    /// "Prefix": the key prefix of the unpacked files.
    /// @var FileUncompressConfig::un_compress_key
    /// "UnCompressKey".
    /// @var FileUncompressConfig::prefix_replaced
    /// "PrefixReplaced".
};

/// An animation job's settings ("Animation"), written for the tag "Animation"; its three
/// parts are always written.
struct Animation {
    TimeInterval time_interval;   ///< "TimeInterval": the part of the input animated.
    ContainerSettings container;  ///< "Container".
    VideoSettings video;          ///< "Video".
};

/// A cover picture job's settings ("SmartCover"), written for the tag "SmartCover".
struct SmartCover {
    std::string format, width, height, count, delete_duplicates;
    /// @var SmartCover::format
    /// "Format" of the pictures.
    /// @var SmartCover::width
    /// "Width".
    /// @var SmartCover::height
    /// "Height".
    /// @var SmartCover::count
    /// "Count" of pictures.
    /// @var SmartCover::delete_duplicates
    /// "DeleteDuplicates".
};

/// How the inputs of a concatenation are joined ("SceneChangeInfo"); always written with
/// a concatenation.
struct SceneChangeInfo {
    std::string mode, time;
    /// @var SceneChangeInfo::mode
    /// "Mode".
    /// @var SceneChangeInfo::time
    /// "Time".
};

/// A concatenation job's settings ("ConcatTemplate"), written for the tag "Concat".
struct ConcatTemplate {
    std::vector<ConcatFragment> concat_fragments;  ///< One "ConcatFragment" each.
    AudioSettings audio;          ///< "Audio", always written.
    VideoSettings video;          ///< "Video", always written.
    ContainerSettings container;  ///< "Container", always written.
    AudioMix audio_mix;           ///< "AudioMix", written when its source is set.
    std::vector<AudioMix> audio_mix_array;  ///< One "AudioMixArray" element each.
    std::string index, direct_concat;
    /// @var ConcatTemplate::index
    /// "Index".
    /// @var ConcatTemplate::direct_concat
    /// "DirectConcat".
    SceneChangeInfo scene_change_info;  ///< "SceneChangeInfo".
};

/// A montage job's settings ("VideoMontage"), written for the tag "VideoMontage".
struct VideoMontage {
    AudioSettings audio;          ///< "Audio", always written.
    VideoSettings video;          ///< "Video", always written.
    ContainerSettings container;  ///< "Container", always written.
    AudioMix audio_mix;           ///< "AudioMix", written when its source is set.
    std::vector<AudioMix> audio_mix_array;  ///< One "AudioMixArray" element each.
    std::string scene;            ///< "Scene".
};

/// The audio of a voice separation's results ("AudioConfig"); always written with it.
struct VoiceSeparateAudioConfig {
    std::string codec, samplerate, bitrate, channels;
    /// @var VoiceSeparateAudioConfig::codec
    /// "Codec".
    /// @var VoiceSeparateAudioConfig::samplerate
    /// "Samplerate".
    /// @var VoiceSeparateAudioConfig::bitrate
    /// "Bitrate".
    /// @var VoiceSeparateAudioConfig::channels
    /// "Channels".
};

/// A voice separation job's settings ("VoiceSeparate"), written for the tag
/// "VoiceSeparate".
struct VoiceSeparate {
    std::string audio_mode;                  ///< "AudioMode", written when set.
    VoiceSeparateAudioConfig audio_config;   ///< "AudioConfig".
};

/// A segmenting job's settings ("Segment"), written for the tag "Segment".
struct Segment {
    std::string format, duration, transcode_index;
    /// @var Segment::format
    /// "Format" of the segments.
    /// @var Segment::duration
    /// "Duration" of one segment.
    /// @var Segment::transcode_index
    /// "TranscodeIndex".
    HlsEncrypt hls_encrypt;  ///< "HlsEncrypt", always written with a segment.
    std::string start_time, end_time;
    /// @var Segment::start_time
    /// "StartTime" within the input.
    /// @var Segment::end_time
    /// "EndTime" within the input.
};

/// The "Operation" of a media or data-processing job. Which blocks are written depends on
/// the job's tag (DataProcessJobOptions::tag), as each member says.
struct DataProcessOperation {
    ProcessOutput output;  ///< "Output", written for every tag but "ExtractDigitalWatermark".
    int32_t job_level = 0;  ///< "JobLevel": the job's priority; written when not 0.
    std::string user_data, template_id;
    /// @var DataProcessOperation::user_data
    /// "UserData": the caller's own text, kept with the job.
    /// @var DataProcessOperation::template_id
    /// "TemplateId": a template held by the service, instead of inline settings.
    Snapshot snapshot;    ///< For the tag "Snapshot".
    Transcode transcode;  ///< For the tag "Transcode".
    /// One "Watermark" each, for the tags "Watermark", "Transcode", "VideoEnhance" and
    /// "SuperResolution".
    std::vector<Watermark> watermarks;
    /// One "WatermarkTemplateId" each ("" entries are left out), for the same tags.
    std::vector<std::string> watermark_template_ids;
    RemoveWatermark remove_watermark;  ///< For the tag "Transcode", when all four are set.
    std::vector<Subtitle> subtitles;   ///< "Subtitles", for the tag "Transcode".
    /// For the tags "Transcode", "VideoEnhance" and "DigitalWatermark".
    DigitalWatermark digital_watermark;
    /// For the tag "ExtractDigitalWatermark".
    ExtractDigitalWatermark extract_digital_watermark;
    FileUncompressConfig file_uncompress_config;  ///< For the tag "FileUncompress".
    Animation animation;                          ///< For the tag "Animation".
    SmartCover smart_cover;                       ///< For the tag "SmartCover".
    ConcatTemplate concat_template;               ///< For the tag "Concat".
    VideoMontage video_montage;                   ///< For the tag "VideoMontage".
    VoiceSeparate voice_separate;                 ///< For the tag "VoiceSeparate".
    Segment segment;                              ///< For the tag "Segment".
};

/// What a job processes ("Input").
struct ProcessInput {
    std::string object, url;
    /// @var ProcessInput::object
    /// "Object": the key of the input in the request's bucket.
    /// @var ProcessInput::url
    /// "Url": an input elsewhere, by address.
};

/// Where the service sends the job's notification by message queue ("CallBackMqConfig"),
/// written only when all three are set.
struct CallBackMqConfig {
    std::string mq_region, mq_mode, mq_name;
    /// @var CallBackMqConfig::mq_region
    /// "MqRegion".
    /// @var CallBackMqConfig::mq_mode
    /// "MqMode".
    /// @var CallBackMqConfig::mq_name
    /// "MqName": the queue or topic.
};

/// One media or data-processing job. The tag names the job kind and picks which operation
/// blocks the body carries ("Snapshot", "Transcode", "Watermark", "Animation", ...).
struct DataProcessJobOptions {
    std::string tag;                 ///< "Tag": the job kind; always written.
    ProcessInput input;              ///< "Input", always written.
    DataProcessOperation operation;  ///< "Operation", always written.
    std::string queue_id;            ///< "QueueId": the queue the job runs in.
    std::string call_back_format, call_back_type, call_back;
    /// @var DataProcessJobOptions::call_back_format
    /// "CallBackFormat" of the notification.
    /// @var DataProcessJobOptions::call_back_type
    /// "CallBackType": how the notification is sent.
    /// @var DataProcessJobOptions::call_back
    /// "CallBack": the address the notification goes to.
    CallBackMqConfig call_back_mq_config;  ///< "CallBackMqConfig", when all three are set.
};

// ---- document jobs and queues ----------------------------------------------------------------

/// How a document is converted ("DocProcess"). Texts are written when set, numbers when
/// greater than 0.
struct DocProcess {
    std::string src_type, tgt_type;
    /// @var DocProcess::src_type
    /// "SrcType": the source document's type.
    /// @var DocProcess::tgt_type
    /// "TgtType": the type to convert to.
    int32_t sheet_id = 0, start_page = 0, end_page = 0;
    /// @var DocProcess::sheet_id
    /// "SheetId": the sheet of a spreadsheet.
    /// @var DocProcess::start_page
    /// "StartPage": the first page converted.
    /// @var DocProcess::end_page
    /// "EndPage": the last page converted.
    std::string image_params, doc_password;
    /// @var DocProcess::image_params
    /// "ImageParams": picture processing applied to each converted page.
    /// @var DocProcess::doc_password
    /// "DocPassword": the source document's password.
    int32_t comments = 0, paper_direction = 0, quality = 0, zoom = 0;
    /// @var DocProcess::comments
    /// "Comments".
    /// @var DocProcess::paper_direction
    /// "PaperDirection".
    /// @var DocProcess::quality
    /// "Quality" of the converted pages.
    /// @var DocProcess::zoom
    /// "Zoom".
};

/// One converted page of a document job's result.
struct PageInfo {
    std::string page_no;  ///< number of the page in the source document
    std::string tgt_uri;  ///< where the converted page was stored
};

/// The result part of a document job's operation: the converted pages and two texts. No
/// request body writes it and nothing in the client fills or reads it.
struct DocProcessResult {
    std::vector<PageInfo> page_infos;  ///< the converted pages, in page order
    std::string tgt_type;              ///< type of the converted pages
    std::string task_id;               ///< the service's id of the job
};

/// The operation of a document job: where the output goes, how to convert, and the result.
struct DocProcessOperation {
    ProcessOutput output;                 ///< only region, bucket and object are written
    DocProcess doc_process;               ///< the conversion settings, written as "DocProcess"
    DocProcessResult doc_process_result;  ///< never written into a request body
};

/// One document conversion job. Every element is written, also when empty.
struct DocProcessJobOptions {
    std::string tag;                ///< "Tag": the job kind.
    ProcessInput input;             ///< "Input"; only the object is written.
    DocProcessOperation operation;  ///< "Operation".
    std::string queue_id;           ///< "QueueId": the queue the job runs in.
};

/// Where a queue's notifications go ("NotifyConfig"); every element is written, also when
/// empty.
struct NotifyConfig {
    std::string url, state, type, event;
    /// @var NotifyConfig::url
    /// "Url": the address notified.
    /// @var NotifyConfig::state
    /// "State": whether notifications are sent.
    /// @var NotifyConfig::type
    /// "Type" of the notification.
    /// @var NotifyConfig::event
    /// "Event": what is notified.
};

/// A processing queue's settings, written by UpdateQueueReq; every element is written,
/// also when empty.
struct QueueOptions {
    std::string name, queue_id, state;
    /// @var QueueOptions::name
    /// "Name" of the queue.
    /// @var QueueOptions::queue_id
    /// "QueueID"; UpdateQueueReq sets it from its constructor.
    /// @var QueueOptions::state
    /// "State": whether the queue takes jobs.
    NotifyConfig notify_config;  ///< "NotifyConfig".
};

}  // namespace zuzezi_zid
