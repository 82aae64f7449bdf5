#pragma once

// The bucket listings: objects, unfinished multipart uploads, object versions, live channels.

#include <cstdint>
#include <string>
#include <vector>

#include "response/BaseResp.h"
#include "response/BucketRecords.h"

namespace zuzezi_zid {

class GetBucketResp : public BaseResp {
public:
    bool ParseFromXmlString(const std::string& body) override;

    std::vector<Content> GetContents() const { return m_contents; }
    std::string GetName() const { return m_name; }
    std::string GetEncodingType() const { return m_encoding_type; }
    std::string GetDelimiter() const { return m_delimiter; }
    std::string GetPrefix() const { return m_prefix; }
    std::string GetMarker() const { return m_marker; }
    uint64_t GetMaxKeys() const { return m_max_keys; }
    bool IsTruncated() const { return m_is_truncated; }
    std::string GetNextMarker() const { return m_next_marker; }
    std::vector<std::string> GetCommonPrefixes() const { return m_common_prefixes; }

private:
    std::vector<Content> m_contents;
    std::string m_name;
    std::string m_encoding_type;
    std::string m_delimiter;
    std::string m_prefix;
    std::string m_marker;
    uint64_t m_max_keys = 0;
    bool m_is_truncated = false;
    std::string m_next_marker;
    std::vector<std::string> m_common_prefixes;
};

class ListMultipartUploadResp : public BaseResp {
public:
    bool ParseFromXmlString(const std::string& body) override;

    std::vector<Upload> GetUpload() const { return m_uploads; }
    std::string GetBucket() const { return m_bucket; }
    std::string GetEncodingType() const { return m_encoding_type; }
    std::string GetDelimiter() const { return m_delimiter; }
    std::string GetPrefix() const { return m_prefix; }
    std::string GetKeyMarker() const { return m_key_marker; }
    std::string GetUploadIdMarker() const { return m_upload_id_marker; }
    std::string GetNextKeyMarker() const { return m_next_key_marker; }
    std::string GetNextUploadIdMarker() const { return m_next_upload_id_marker; }
    std::string GetMaxUploads() const { return m_max_uploads; }  // the text as written
    bool IsTruncated() const { return m_is_truncated; }
    std::vector<std::string> GetCommonPrefixes() const { return m_common_prefixes; }

private:
    std::vector<Upload> m_uploads;
    std::string m_bucket;
    std::string m_encoding_type;
    std::string m_delimiter;
    std::string m_prefix;
    std::string m_key_marker;
    std::string m_upload_id_marker;
    std::string m_next_key_marker;
    std::string m_next_upload_id_marker;
    std::string m_max_uploads;
    bool m_is_truncated = false;
    std::vector<std::string> m_common_prefixes;
};

class GetBucketObjectVersionsResp : public BaseResp {
public:
    bool ParseFromXmlString(const std::string& body) override;

    // Versions and delete markers in document order.
    std::vector<ZIDVersionSummary> GetVersionSummary() const { return m_summaries; }
    std::string GetEncodingType() const { return m_encoding_type; }
    bool IsTruncated() const { return m_is_truncated; }
    uint64_t GetMaxKeys() const { return m_max_keys; }
    std::string GetName() const { return m_name; }
    std::string GetKeyMarker() const { return m_key_marker; }
    std::string GetPrefix() const { return m_prefix; }
    std::string GetVersionIdMarker() const { return m_version_id_marker; }
    std::string GetNextKeyMarker() const { return m_next_key_marker; }
    std::string GetNextVersionIdMarker() const { return m_next_version_id_marker; }

private:
    std::vector<ZIDVersionSummary> m_summaries;
    std::string m_encoding_type;
    bool m_is_truncated = false;
    uint64_t m_max_keys = 0;
    std::string m_name;
    std::string m_key_marker;
    std::string m_prefix;
    std::string m_version_id_marker;
    std::string m_next_key_marker;
    std::string m_next_version_id_marker;
};

// One page of a bucket's live channels; the paging fields stay the texts as written.
class ListLiveChannelResp : public BaseResp {
public:
    bool ParseFromXmlString(const std::string& body) override;

    std::string GetMaxKeys() const { return m_max_keys; }
    std::string GetMarker() const { return m_marker; }
    std::string GetPrefix() const { return m_prefix; }
    std::string GetIsTruncated() const { return m_is_truncated; }
    std::string GetNextMarker() const { return m_next_marker; }
    std::vector<LiveChannel> GetLiveChannels() const { return m_live_channels; }

private:
    std::string m_max_keys;
    std::string m_marker;
    std::string m_prefix;
    std::string m_is_truncated;
    std::string m_next_marker;
    std::vector<LiveChannel> m_live_channels;
};

}  // namespace zuzezi_zid
