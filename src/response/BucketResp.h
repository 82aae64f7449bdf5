#pragma once

#include <string>
#include <vector>

#include "response/BaseResp.h"
#include "response/BucketRecords.h"

namespace zuzezi_zid {

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

}  // namespace zuzezi_zid
