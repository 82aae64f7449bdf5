#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The settings of data-processing jobs and queues. Every field is named after the element it
// is written as; a text counts as set when it is not empty.
namespace zuzezi_zid {

// ---- records shared by several operations ------------------------------------------------

struct ContainerSettings {
    std::string format;
    std::string duration;  // written inside "ClipConfig"
};

struct VideoSettings {
    std::string codec, width, height, fps, remove, profile, bitrate, crt, gop, preset, bufsize,
        maxrate, pixfmt, long_short_mode, rotate, roo, crop, interlaced,
        animate_time_interval_of_frame, animate_frames_per_second, quality;
};

struct AudioSettings {
    std::string codec, samplerate, bitrate, channels, remove, sample_format;
};

struct AudioMix {
    std::string audio_source, mix_mode, replace;
    // written inside "EffectConfig"
    std::string enable_start_fadein, start_fadein_time, enable_end_fadeout, end_fadeout_time,
        enable_bgm_fade, bgm_fade_time;
};

struct TimeInterval {
    std::string start, duration;
};

struct HlsEncrypt {
    std::string is_hls_encrypt, uri_key;
};

struct DashEncrypt {
    std::string is_encrypt, uri_key;
};

struct WatermarkSlide {
    std::string slide_mode, x_slide_speed, y_slide_speed;
};

struct WatermarkImage {
    std::string url, mode, width, height, transparency, background;
};

struct WatermarkText {
    std::string font_size, font_type, font_color, transparency, text;
};

struct Watermark {
    std::string type, pos, loc_mode, dx, dy, start_time, end_time;
    WatermarkSlide slide;
    WatermarkImage image;
    WatermarkText text;
};

struct ConcatFragment {
    std::string url, fragment_index, start_time, end_time;
};

struct Subtitle {
    std::string url;
};

// ---- the operation of a media or data-processing job ---------------------------------------

struct ProcessOutput {
    std::string region, bucket, object, sprite_object, au_object, bass_object, drum_object;
};

struct SpriteSnapshotConfig {
    std::string cell_width, cell_height, padding, margin, color, columns, lines, scale_method;
};

struct Snapshot {
    std::string mode, start, time_interval, count, width, height, ci_param, is_check_black,
        is_check_count, black_level, pixel_black_threshold, snapshot_out_mode;
    SpriteSnapshotConfig sprite_snapshot_config;
};

struct TransConfig {
    std::string adj_dar_method, is_check_reso, reso_adj_method, is_check_video_bitrate,
        video_bitrate_adj_method, is_check_audio_bitrate, audio_bitrate_adj_method,
        is_check_video_fps, video_fps_adj_method, delete_metadata, is_hdr2sdr, transcode_index;
    HlsEncrypt hls_encrypt;
    DashEncrypt dash_encrypt;
};

struct Transcode {
    TimeInterval time_interval;
    ContainerSettings container;
    VideoSettings video;
    AudioSettings audio;
    TransConfig trans_config;
    AudioMix audio_mix;
    std::vector<AudioMix> audio_mix_array;
};

struct RemoveWatermark {
    std::string dx, dy, width, height;
};

struct DigitalWatermark {
    std::string message, type, version, ignore_error, state;
};

struct ExtractDigitalWatermark {
    std::string type, version;
};

struct FileUncompressConfig {
    std::string prefix, un_compress_key, prefix_replaced;
};

struct Animation {
    TimeInterval time_interval;
    ContainerSettings container;
    VideoSettings video;
};

struct SmartCover {
    std::string format, width, height, count, delete_duplicates;
};

struct SceneChangeInfo {
    std::string mode, time;
};

struct ConcatTemplate {
    std::vector<ConcatFragment> concat_fragments;
    AudioSettings audio;
    VideoSettings video;
    ContainerSettings container;
    AudioMix audio_mix;
    std::vector<AudioMix> audio_mix_array;
    std::string index, direct_concat;
    SceneChangeInfo scene_change_info;
};

struct VideoMontage {
    AudioSettings audio;
    VideoSettings video;
    ContainerSettings container;
    AudioMix audio_mix;
    std::vector<AudioMix> audio_mix_array;
    std::string scene;
};

struct VoiceSeparateAudioConfig {
    std::string codec, samplerate, bitrate, channels;
};

struct VoiceSeparate {
    std::string audio_mode;
    VoiceSeparateAudioConfig audio_config;
};

struct Segment {
    std::string format, duration, transcode_index;
    HlsEncrypt hls_encrypt;
    std::string start_time, end_time;
};

struct DataProcessOperation {
    ProcessOutput output;
    int32_t job_level = 0;
    std::string user_data, template_id;
    Snapshot snapshot;
    Transcode transcode;
    std::vector<Watermark> watermarks;
    std::vector<std::string> watermark_template_ids;
    RemoveWatermark remove_watermark;
    std::vector<Subtitle> subtitles;
    DigitalWatermark digital_watermark;
    ExtractDigitalWatermark extract_digital_watermark;
    FileUncompressConfig file_uncompress_config;
    Animation animation;
    SmartCover smart_cover;
    ConcatTemplate concat_template;
    VideoMontage video_montage;
    VoiceSeparate voice_separate;
    Segment segment;
};

struct ProcessInput {
    std::string object, url;
};

struct CallBackMqConfig {
    std::string mq_region, mq_mode, mq_name;
};

// One media or data-processing job. The tag names the job kind and picks which operation
// blocks the body carries ("Snapshot", "Transcode", "Watermark", "Animation", ...).
struct DataProcessJobOptions {
    std::string tag;
    ProcessInput input;
    DataProcessOperation operation;
    std::string queue_id;
    std::string call_back_format, call_back_type, call_back;
    CallBackMqConfig call_back_mq_config;
};

// ---- document jobs and queues ----------------------------------------------------------------

struct DocProcess {
    std::string src_type, tgt_type;
    int32_t sheet_id = 0, start_page = 0, end_page = 0;
    std::string image_params, doc_password;
    int32_t comments = 0, paper_direction = 0, quality = 0, zoom = 0;
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

struct DocProcessJobOptions {
    std::string tag;
    ProcessInput input;  // only the object is written
    DocProcessOperation operation;
    std::string queue_id;
};

struct NotifyConfig {
    std::string url, state, type, event;
};

struct QueueOptions {
    std::string name, queue_id, state;
    NotifyConfig notify_config;
};

}  // namespace zuzezi_zid
