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
    std::string codec;                           ///< "Codec": the video codec.
    std::string width;                           ///< "Width" of the picture.
    std::string height;                          ///< "Height" of the picture.
    std::string fps;                             ///< "Fps": the frame rate.
    std::string remove;                          ///< "Remove": "true" drops the video stream.
    std::string profile;                         ///< "Profile" of the codec.
    std::string bitrate;                         ///< "Bitrate" of the video stream.
    std::string crt;                             ///< "Crt".
    std::string gop;                             ///< "Gop": the keyframe interval.
    std::string preset;                          ///< "Preset" of the encoder.
    std::string bufsize;                         ///< "Bufsize": the rate control buffer.
    std::string maxrate;                         ///< "Maxrate": the peak bitrate.
    std::string pixfmt;                          ///< "Pixfmt": the pixel format.
    std::string long_short_mode;                 ///< "LongShortMode".
    std::string rotate;                          ///< "Rotate".
    std::string roo;                             ///< "Roo".
    std::string crop;                            ///< "Crop".
    std::string interlaced;                      ///< "Interlaced".
    std::string animate_time_interval_of_frame;  ///< "AnimateTimeIntervalOfFrame", for animations.
    std::string animate_frames_per_second;       ///< "AnimateFramesPerSecond", for animations.
    std::string quality;                         ///< "Quality".
};

/// The children of an "Audio" element, each written when set.
struct AudioSettings {
    std::string codec;          ///< "Codec": the audio codec.
    std::string samplerate;     ///< "Samplerate".
    std::string bitrate;        ///< "Bitrate" of the audio stream.
    std::string channels;       ///< "Channels": the number of channels.
    std::string remove;         ///< "Remove": "true" drops the audio stream.
    std::string sample_format;  ///< "SampleFormat".
};

/// One audio mix ("AudioMix", or one entry of "AudioMixArray"). A single mix is written
/// only when its audio source is set; its "EffectConfig" is written with it.
struct AudioMix {
    std::string audio_source;  ///< "AudioSource": the audio to mix in.
    std::string mix_mode;      ///< "MixMode".
    std::string replace;       ///< "Replace".
    // written inside "EffectConfig"
    std::string enable_start_fadein;  ///< "EffectConfig/EnableStartFadein".
    std::string start_fadein_time;    ///< "EffectConfig/StartFadeinTime".
    std::string enable_end_fadeout;   ///< "EffectConfig/EnableEndFadeout".
    std::string end_fadeout_time;     ///< "EffectConfig/EndFadeoutTime".
    std::string enable_bgm_fade;      ///< "EffectConfig/EnableBgmFade".
    std::string bgm_fade_time;        ///< "EffectConfig/BgmFadeTime".
};

/// The part of the input to process ("TimeInterval").
struct TimeInterval {
    std::string start;     ///< "Start": where the part begins.
    std::string duration;  ///< "Duration" of the part.
};

/// HLS encryption ("HlsEncrypt").
struct HlsEncrypt {
    /// "IsHlsEncrypt"; a transcode writes the block only when this is "true".
    std::string is_hls_encrypt;
    std::string uri_key;  ///< "UriKey": where players fetch the key.
};

/// DASH encryption ("DashEncrypt").
struct DashEncrypt {
    std::string is_encrypt;  ///< "IsEncrypt"; the block is written only when this is "true".
    std::string uri_key;     ///< "UriKey": where players fetch the key.
};

/// How a watermark moves ("SlideConfig"), written only when the slide mode is set.
struct WatermarkSlide {
    std::string slide_mode;     ///< "SlideMode".
    std::string x_slide_speed;  ///< "XSlideSpeed": the horizontal speed.
    std::string y_slide_speed;  ///< "YSlideSpeed": the vertical speed.
};

/// A picture watermark ("Image"); the element is always written, its children when set.
struct WatermarkImage {
    std::string url;           ///< "Url" of the picture.
    std::string mode;          ///< "Mode".
    std::string width;         ///< "Width".
    std::string height;        ///< "Height".
    std::string transparency;  ///< "Transparency".
    std::string background;    ///< "Background".
};

/// A text watermark ("Text"); the element is always written, its children when set.
struct WatermarkText {
    std::string font_size;     ///< "FontSize".
    std::string font_type;     ///< "FontType".
    std::string font_color;    ///< "FontColor".
    std::string transparency;  ///< "Transparency".
    std::string text;          ///< "Text": what is written.
};

/// One "Watermark" element.
struct Watermark {
    std::string type;        ///< "Type": a picture or a text watermark.
    std::string pos;         ///< "Pos": where it is placed.
    std::string loc_mode;    ///< "LocMode".
    std::string dx;          ///< "Dx": the horizontal offset.
    std::string dy;          ///< "Dy": the vertical offset.
    std::string start_time;  ///< "StartTime": when it appears.
    std::string end_time;    ///< "EndTime": when it goes.
    WatermarkSlide slide;    ///< "SlideConfig", written only when its slide mode is set.
    WatermarkImage image;    ///< "Image", always written.
    WatermarkText text;      ///< "Text", always written.
};

/// One input of a concatenation ("ConcatFragment").
struct ConcatFragment {
    std::string url;             ///< "Url" of the input.
    std::string fragment_index;  ///< "FragmentIndex": its place in the result.
    std::string start_time;      ///< "StartTime" within the input.
    std::string end_time;        ///< "EndTime" within the input.
};

/// One "Subtitle" to burn into a transcode.
struct Subtitle {
    std::string url;  ///< "Url" of the subtitle file.
};

// ---- the operation of a media or data-processing job ---------------------------------------

/// Where a job's results go ("Output").
struct ProcessOutput {
    std::string region;         ///< "Region" of the output bucket.
    std::string bucket;         ///< "Bucket": the output bucket.
    std::string object;         ///< "Object": the key of the result.
    std::string sprite_object;  ///< "SpriteObject": the key of a snapshot sprite.
    std::string au_object;      ///< "AuObject": the key of a further result of a voice separation.
    std::string bass_object;  ///< "BassObject": the key of a further result of a voice separation.
    std::string drum_object;  ///< "DrumObject": the key of a further result of a voice separation.
};

/// How snapshots are tiled into a sprite ("SpriteSnapshotConfig"); the element is always
/// written with a snapshot, its children when set.
struct SpriteSnapshotConfig {
    std::string cell_width;    ///< "CellWidth" of one picture.
    std::string cell_height;   ///< "CellHeight" of one picture.
    std::string padding;       ///< "Padding" between pictures.
    std::string margin;        ///< "Margin" around the sprite.
    std::string color;         ///< "Color" of the background.
    std::string columns;       ///< "Columns".
    std::string lines;         ///< "Lines": the number of rows.
    std::string scale_method;  ///< "ScaleMethod".
};

/// A snapshot job's settings ("Snapshot"), written for the tag "Snapshot".
struct Snapshot {
    std::string mode;                             ///< "Mode".
    std::string start;                            ///< "Start": when the first snapshot is taken.
    std::string time_interval;                    ///< "TimeInterval" between snapshots.
    std::string count;                            ///< "Count" of snapshots.
    std::string width;                            ///< "Width" of a snapshot.
    std::string height;                           ///< "Height" of a snapshot.
    std::string ci_param;                         ///< "CIParam".
    std::string is_check_black;                   ///< "IsCheckBlack".
    std::string is_check_count;                   ///< "IsCheckCount".
    std::string black_level;                      ///< "BlackLevel".
    std::string pixel_black_threshold;            ///< "PixelBlackThreshold".
    std::string snapshot_out_mode;                ///< "SnapshotOutMode".
    SpriteSnapshotConfig sprite_snapshot_config;  ///< "SpriteSnapshotConfig".
};

/// How a transcode adapts to its input ("TransConfig"); always written with a transcode,
/// its children when set.
struct TransConfig {
    std::string adj_dar_method;            ///< "AdjDarMethod": how the aspect ratio is adjusted.
    std::string is_check_reso;  ///< "IsCheckReso": whether the input's resolution is checked.
    std::string reso_adj_method;           ///< "ResoAdjMethod".
    std::string is_check_video_bitrate;    ///< "IsCheckVideoBitrate".
    std::string video_bitrate_adj_method;  ///< "VideoBitrateAdjMethod".
    std::string is_check_audio_bitrate;    ///< "IsCheckAudioBitrate".
    std::string audio_bitrate_adj_method;  ///< "AudioBitrateAdjMethod".
    std::string is_check_video_fps;        ///< "IsCheckVideoFps".
    std::string video_fps_adj_method;      ///< "VideoFpsAdjMethod".
    std::string delete_metadata;           ///< "DeleteMetadata".
    std::string is_hdr2sdr;                ///< "IsHdr2Sdr": whether HDR is turned into SDR.
    std::string transcode_index;           ///< "TranscodeIndex".
    HlsEncrypt hls_encrypt;                ///< "HlsEncrypt", written when its flag is "true".
    DashEncrypt dash_encrypt;              ///< "DashEncrypt", written when its flag is "true".
};

/// A transcode job's settings ("Transcode"), written for the tag "Transcode".
struct Transcode {
    TimeInterval time_interval;  ///< "TimeInterval", written only when both parts are set.
    ContainerSettings container;            ///< "Container", always written.
    VideoSettings video;                    ///< "Video", always written.
    AudioSettings audio;                    ///< "Audio", always written.
    TransConfig trans_config;               ///< "TransConfig", always written.
    AudioMix audio_mix;                     ///< "AudioMix", written when its source is set.
    std::vector<AudioMix> audio_mix_array;  ///< One "AudioMixArray" element each.
};

/// The area a transcode blurs out ("RemoveWatermark"), written only when all four are set.
struct RemoveWatermark {
    std::string dx;      ///< "Dx": the horizontal offset of the area.
    std::string dy;      ///< "Dy": the vertical offset of the area.
    std::string width;   ///< "Width" of the area.
    std::string height;  ///< "Height" of the area.
};

/// An invisible watermark to embed ("DigitalWatermark"), written only when the message is
/// set.
struct DigitalWatermark {
    std::string message;       ///< "Message": what is embedded.
    std::string type;          ///< "Type".
    std::string version;       ///< "Version".
    std::string ignore_error;  ///< "IgnoreError".
    std::string state;         ///< "State".
};

/// Reading an invisible watermark back ("ExtractDigitalWatermark"), written for the tag
/// "ExtractDigitalWatermark".
struct ExtractDigitalWatermark {
    std::string type;     ///< "Type".
    std::string version;  ///< "Version".
};

/// Unpacking an archive ("FileUncompressConfig"), written for the tag "FileUncompress".
struct FileUncompressConfig {
    std::string prefix;           ///< "Prefix": the key prefix of the unpacked files.
    std::string un_compress_key;  ///< "UnCompressKey".
    std::string prefix_replaced;  ///< "PrefixReplaced".
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
    std::string format;             ///< "Format" of the pictures.
    std::string width;              ///< "Width".
    std::string height;             ///< "Height".
    std::string count;              ///< "Count" of pictures.
    std::string delete_duplicates;  ///< "DeleteDuplicates".
};

/// How the inputs of a concatenation are joined ("SceneChangeInfo"); always written with
/// a concatenation.
struct SceneChangeInfo {
    std::string mode;  ///< "Mode".
    std::string time;  ///< "Time".
};

/// A concatenation job's settings ("ConcatTemplate"), written for the tag "Concat".
struct ConcatTemplate {
    std::vector<ConcatFragment> concat_fragments;  ///< One "ConcatFragment" each.
    AudioSettings audio;                           ///< "Audio", always written.
    VideoSettings video;                           ///< "Video", always written.
    ContainerSettings container;                   ///< "Container", always written.
    AudioMix audio_mix;                            ///< "AudioMix", written when its source is set.
    std::vector<AudioMix> audio_mix_array;         ///< One "AudioMixArray" element each.
    std::string index;                             ///< "Index".
    std::string direct_concat;                     ///< "DirectConcat".
    SceneChangeInfo scene_change_info;             ///< "SceneChangeInfo".
};

/// A montage job's settings ("VideoMontage"), written for the tag "VideoMontage".
struct VideoMontage {
    AudioSettings audio;                    ///< "Audio", always written.
    VideoSettings video;                    ///< "Video", always written.
    ContainerSettings container;            ///< "Container", always written.
    AudioMix audio_mix;                     ///< "AudioMix", written when its source is set.
    std::vector<AudioMix> audio_mix_array;  ///< One "AudioMixArray" element each.
    std::string scene;                      ///< "Scene".
};

/// The audio of a voice separation's results ("AudioConfig"); always written with it.
struct VoiceSeparateAudioConfig {
    std::string codec;       ///< "Codec".
    std::string samplerate;  ///< "Samplerate".
    std::string bitrate;     ///< "Bitrate".
    std::string channels;    ///< "Channels".
};

/// A voice separation job's settings ("VoiceSeparate"), written for the tag
/// "VoiceSeparate".
struct VoiceSeparate {
    std::string audio_mode;                 ///< "AudioMode", written when set.
    VoiceSeparateAudioConfig audio_config;  ///< "AudioConfig".
};

/// A segmenting job's settings ("Segment"), written for the tag "Segment".
struct Segment {
    std::string format;           ///< "Format" of the segments.
    std::string duration;         ///< "Duration" of one segment.
    std::string transcode_index;  ///< "TranscodeIndex".
    HlsEncrypt hls_encrypt;       ///< "HlsEncrypt", always written with a segment.
    std::string start_time;       ///< "StartTime" within the input.
    std::string end_time;         ///< "EndTime" within the input.
};

/// The "Operation" of a media or data-processing job. Which blocks are written depends on
/// the job's tag (DataProcessJobOptions::tag), as each member says.
struct DataProcessOperation {
    ProcessOutput output;   ///< "Output", written for every tag but "ExtractDigitalWatermark".
    int32_t job_level = 0;  ///< "JobLevel": the job's priority; written when not 0.
    std::string user_data;  ///< "UserData": the caller's own text, kept with the job.
    /// "TemplateId": a template held by the service, instead of inline settings.
    std::string template_id;
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
    std::string object;  ///< "Object": the key of the input in the request's bucket.
    std::string url;     ///< "Url": an input elsewhere, by address.
};

/// Where the service sends the job's notification by message queue ("CallBackMqConfig"),
/// written only when all three are set.
struct CallBackMqConfig {
    std::string mq_region;  ///< "MqRegion".
    std::string mq_mode;    ///< "MqMode".
    std::string mq_name;    ///< "MqName": the queue or topic.
};

/// One media or data-processing job. The tag names the job kind and picks which operation
/// blocks the body carries ("Snapshot", "Transcode", "Watermark", "Animation", ...).
struct DataProcessJobOptions {
    std::string tag;                       ///< "Tag": the job kind; always written.
    ProcessInput input;                    ///< "Input", always written.
    DataProcessOperation operation;        ///< "Operation", always written.
    std::string queue_id;                  ///< "QueueId": the queue the job runs in.
    std::string call_back_format;          ///< "CallBackFormat" of the notification.
    std::string call_back_type;            ///< "CallBackType": how the notification is sent.
    std::string call_back;                 ///< "CallBack": the address the notification goes to.
    CallBackMqConfig call_back_mq_config;  ///< "CallBackMqConfig", when all three are set.
};

// ---- document jobs and queues ----------------------------------------------------------------

/// How a document is converted ("DocProcess"). Texts are written when set, numbers when
/// greater than 0.
struct DocProcess {
    std::string src_type;    ///< "SrcType": the source document's type.
    std::string tgt_type;    ///< "TgtType": the type to convert to.
    int32_t sheet_id = 0;    ///< "SheetId": the sheet of a spreadsheet.
    int32_t start_page = 0;  ///< "StartPage": the first page converted.
    int32_t end_page = 0;    ///< "EndPage": the last page converted.
    /// "ImageParams": picture processing applied to each converted page.
    std::string image_params;
    std::string doc_password;     ///< "DocPassword": the source document's password.
    int32_t comments = 0;         ///< "Comments".
    int32_t paper_direction = 0;  ///< "PaperDirection".
    int32_t quality = 0;          ///< "Quality" of the converted pages.
    int32_t zoom = 0;             ///< "Zoom".
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
    std::string url;    ///< "Url": the address notified.
    std::string state;  ///< "State": whether notifications are sent.
    std::string type;   ///< "Type" of the notification.
    std::string event;  ///< "Event": what is notified.
};

/// A processing queue's settings, written by UpdateQueueReq; every element is written,
/// also when empty.
struct QueueOptions {
    std::string name;            ///< "Name" of the queue.
    std::string queue_id;        ///< "QueueID"; UpdateQueueReq sets it from its constructor.
    std::string state;           ///< "State": whether the queue takes jobs.
    NotifyConfig notify_config;  ///< "NotifyConfig".
};

}  // namespace zuzezi_zid
