#pragma once

/// @file
/// The bucket listings: objects, unfinished multipart uploads, object versions, live channels.

#include <cstdint>
#include <string>
#include <vector>

#include "zid/ZidExport.h"
#include "zid/model/BucketRecords.h"
#include "zid/response/BaseResp.h"

namespace zuzezi_zid {

/// One page of the objects of a bucket (a "ListBucketResult" document). A 2xx answer that
/// is not this document fails the call: an "Error" document with its code and message,
/// any other body with the body as its message.
class ZID_API GetBucketResp : public BaseResp {
public:
    /// Reads the page; unknown elements are logged as warnings and skipped.
    /// @param body the "ListBucketResult" document.
    /// @return false when the body is not XML or has another root.
    bool ParseFromXmlString(const std::string& body) override;

    /// @return the "Contents" entries, in the order listed.
    std::vector<Content> GetContents() const { return m_contents; }
    /// @return "Name": the bucket, as the service names it.
    std::string GetName() const { return m_name; }
    /// @return "EncodingType": how the keys are encoded, as asked; "" for plain keys.
    std::string GetEncodingType() const { return m_encoding_type; }
    /// @return "Delimiter" as asked; "" when none.
    std::string GetDelimiter() const { return m_delimiter; }
    /// @return "Prefix" as asked; "" when none.
    std::string GetPrefix() const { return m_prefix; }
    /// @return "Marker": the key this page started after; "" for the first page.
    std::string GetMarker() const { return m_marker; }
    /// @return "MaxKeys": the most entries a page holds; 0 when absent.
    uint64_t GetMaxKeys() const { return m_max_keys; }
    /// @return true when "IsTruncated" is "true": more entries follow this page.
    bool IsTruncated() const { return m_is_truncated; }
    /// @return "NextMarker": where the next page starts. The service may leave it out when
    ///         no delimiter was asked for; the last key listed then serves.
    std::string GetNextMarker() const { return m_next_marker; }
    /// @return the "CommonPrefixes" texts: the keys rolled up by the delimiter, one per
    ///         prefix.
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

/// One page of the unfinished multipart uploads of a bucket (a
/// "ListMultipartUploadsResult" document).
class ZID_API ListMultipartUploadResp : public BaseResp {
public:
    /// Reads the page; unknown elements are logged as warnings and skipped.
    /// @param body the "ListMultipartUploadsResult" document.
    /// @return false when the body is not XML or has another root.
    bool ParseFromXmlString(const std::string& body) override;

    /// @return the "Upload" entries in document order.
    std::vector<Upload> GetUpload() const { return m_uploads; }
    /// @return "Bucket", as the service names it.
    std::string GetBucket() const { return m_bucket; }
    /// @return "EncodingType"; "" for plain keys.
    std::string GetEncodingType() const { return m_encoding_type; }
    /// @return "Delimiter" as asked; "" when none.
    std::string GetDelimiter() const { return m_delimiter; }
    /// @return "Prefix" as asked; "" when none.
    std::string GetPrefix() const { return m_prefix; }
    /// @return "KeyMarker": the key this page started after; "" for the first page.
    std::string GetKeyMarker() const { return m_key_marker; }
    /// @return "UploadIdMarker": the upload this page started after.
    std::string GetUploadIdMarker() const { return m_upload_id_marker; }
    /// @return "NextKeyMarker": the key marker of the next page.
    std::string GetNextKeyMarker() const { return m_next_key_marker; }
    /// @return "NextUploadIdMarker": the upload id marker of the next page.
    std::string GetNextUploadIdMarker() const { return m_next_upload_id_marker; }
    /// @return "MaxUploads", the text as written; "" when absent.
    std::string GetMaxUploads() const { return m_max_uploads; }
    /// @return true when "IsTruncated" is "true": more uploads follow this page.
    bool IsTruncated() const { return m_is_truncated; }
    /// @return the "CommonPrefixes" texts, one per prefix rolled up by the delimiter.
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

/// One page of the object versions and delete markers of a bucket (a "ListVersionsResult"
/// document).
class ZID_API GetBucketObjectVersionsResp : public BaseResp {
public:
    /// Reads the page; unknown elements are logged as warnings and skipped.
    /// @param body the "ListVersionsResult" document.
    /// @return false when the body is not XML or has another root.
    bool ParseFromXmlString(const std::string& body) override;

    /// @return the versions and delete markers in document order.
    std::vector<ZIDVersionSummary> GetVersionSummary() const { return m_summaries; }
    /// @return "Encoding-Type"; "" for plain keys.
    std::string GetEncodingType() const { return m_encoding_type; }
    /// @return true when "IsTruncated" is "true": more entries follow this page.
    bool IsTruncated() const { return m_is_truncated; }
    /// @return "MaxKeys": the most entries a page holds; 0 when absent.
    uint64_t GetMaxKeys() const { return m_max_keys; }
    /// @return "Name": the bucket, as the service names it.
    std::string GetName() const { return m_name; }
    /// @return "KeyMarker": the key this page started after; "" for the first page.
    std::string GetKeyMarker() const { return m_key_marker; }
    /// @return "Prefix" as asked; "" when none.
    std::string GetPrefix() const { return m_prefix; }
    /// @return "VersionIdMarker": the version this page started after.
    std::string GetVersionIdMarker() const { return m_version_id_marker; }
    /// @return "NextKeyMarker": the key marker of the next page.
    std::string GetNextKeyMarker() const { return m_next_key_marker; }
    /// @return "NextVersionIdMarker": the version id marker of the next page.
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

/// One page of a bucket's live channels (a "ListLiveChannelResult" document); the paging
/// fields stay the texts as written.
class ZID_API ListLiveChannelResp : public BaseResp {
public:
    /// Reads the page. An unknown element is logged as a warning and ends the reading:
    /// what came before it is kept.
    /// @param body the "ListLiveChannelResult" document.
    /// @return false when the body is not XML, has another root or holds an unknown
    ///         element.
    bool ParseFromXmlString(const std::string& body) override;

    /// @return "MaxKeys", the text as written; "" when absent.
    std::string GetMaxKeys() const { return m_max_keys; }
    /// @return "Marker": the channel this page started after.
    std::string GetMarker() const { return m_marker; }
    /// @return "Prefix" as asked.
    std::string GetPrefix() const { return m_prefix; }
    /// @return "IsTruncated", the text as written: "true" when more channels follow.
    std::string GetIsTruncated() const { return m_is_truncated; }
    /// @return "NextMarker": where the next page starts.
    std::string GetNextMarker() const { return m_next_marker; }
    /// @return the "LiveChannel" entries in document order.
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
