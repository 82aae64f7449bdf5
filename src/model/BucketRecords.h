/// @file
/// The records bucket responses hand out: listed objects, uploads, versions and live
/// channels, and the parts of a bucket's replication, CORS, logging and domain answers.

#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zid/ZidExport.h"
#include "zid/model/AclRecords.h"
#include "zid/model/SetMask.h"

namespace zuzezi_zid {

/// One object of a bucket listing (a "Contents" element). All fields are the service's
/// text; "" when the element was absent.
struct Content {
    std::string m_key;            ///< "Key": the object key.
    std::string m_last_modified;  ///< "LastModified", as the service wrote it.
    std::string m_etag;           ///< "ETag", without its enclosing quotes.
    std::string m_size;           ///< "Size": the size in bytes as the decimal text listed.
    std::vector<std::string> m_owner_ids;  ///< One entry per "ID" under "Owner".
    std::string m_storage_class;  ///< "StorageClass".
};

/// One unfinished multipart upload as a bucket listing reports it (an "Upload" element).
struct Upload {
    std::string m_key;            ///< "Key": the object the upload is for.
    std::string m_upload_id;      ///< "UploadId": what the upload's part requests name.
    std::string m_storage_class;  ///< "StorageClass".
    std::vector<Owner> m_initiator;  ///< One entry per "Initiator" element.
    std::vector<Owner> m_owner;      ///< One entry per "Owner" element.
    std::string m_initiated;      ///< "Initiated": when it began, as the service wrote it.
};

/// One object version or delete marker of a version listing (a "Version" or
/// "DeleteMarker" element).
struct ZIDVersionSummary {
    bool m_is_delete_marker = false;  ///< True for a "DeleteMarker" entry.
    std::string m_etag;               ///< "ETag", without its enclosing quotes.
    uint64_t m_size = 0;              ///< "Size" in bytes; 0 when absent.
    std::string m_storage_class;      ///< "StorageClass".
    bool m_is_latest = false;         ///< True when "IsLatest" is "true".
    std::string m_key;                ///< "Key".
    std::string m_last_modified;      ///< "LastModified", as the service wrote it.
    Owner m_owner;                    ///< "Owner": its "ID" and "DisplayName".
    std::string m_version_id;         ///< "VersionId".
};

/// One live channel of a live-channel listing.
struct LiveChannel {
    std::string m_name;           ///< "Name": the channel's name.
    std::string m_last_modified;  ///< "LastModified", as the service wrote it.
};

/// One "Rule" of a bucket's replication configuration.
struct ReplicationRule {
    bool m_is_enable = false;         ///< True when "Status" is "Enabled".
    std::string m_id;                 ///< "ID".
    std::string m_prefix;             ///< "Prefix": the key prefix of the objects copied.
    std::string m_dest_bucket;        ///< "Destination/Bucket", as the service names it.
    std::string m_dest_storage_class; ///< "Destination/StorageClass".
};

/// One "CORSRule" of a bucket's cross-origin configuration.
struct CORSRule {
    std::string m_id;            ///< "ID".
    std::string m_max_age_secs;  ///< "MaxAgeSeconds": seconds, the text as given.
    std::vector<std::string> m_allowed_headers;  ///< One entry per "AllowedHeader".
    std::vector<std::string> m_allowed_methods;  ///< One entry per "AllowedMethod".
    std::vector<std::string> m_allowed_origins;  ///< One entry per "AllowedOrigin".
    std::vector<std::string> m_expose_headers;   ///< One entry per "ExposeHeader".
};

/// Where a bucket's access log goes (the "LoggingEnabled" element). The mask tells a field
/// that was set from one left at its default.
class ZID_API LoggingEnabled : public SetMask {
public:
    static constexpr uint64_t kTargetBucket = 0x1;  ///< Mask bit of the target bucket.
    static constexpr uint64_t kTargetPrefix = 0x2;  ///< Mask bit of the target prefix.

    virtual ~LoggingEnabled() = default;

    /// Sets "TargetBucket" and its mask bit.
    /// @param bucket the bucket the log is written to.
    void SetTargetBucket(const std::string& bucket) { Store(m_target_bucket, bucket, kTargetBucket); }
    /// Sets "TargetPrefix" and its mask bit.
    /// @param prefix the key prefix of the log objects.
    void SetTargetPrefix(const std::string& prefix) { Store(m_target_prefix, prefix, kTargetPrefix); }
    /// @return "TargetBucket"; "" when not set.
    std::string GetTargetBucket() const { return m_target_bucket; }
    /// @return "TargetPrefix"; "" when not set.
    std::string GetTargetPrefix() const { return m_target_prefix; }

private:
    std::string m_target_bucket;
    std::string m_target_prefix;
};

/// The error document a domain put may answer with, even with a 2xx status.
class ZID_API DomainErrorMsg {
public:
    virtual ~DomainErrorMsg() = default;

    /// Stores "Code" as given.
    void SetCode(const std::string& code) { m_code = code; }
    /// Stores "Message" as given.
    void SetMessage(const std::string& message) { m_message = message; }
    /// Stores "Resource" as given.
    void SetResource(const std::string& resource) { m_resource = resource; }
    /// Stores "RequestId" as given.
    void SetRequestid(const std::string& request_id) { m_request_id = request_id; }
    /// Stores "TraceId" as given.
    void SetTraceid(const std::string& trace_id) { m_trace_id = trace_id; }
    /// @return "Code": the service's error code; "" when absent.
    std::string GetCode() const { return m_code; }
    /// @return "Message": the service's explanation.
    std::string GetMessage() const { return m_message; }
    /// @return "Resource": what the error is about.
    std::string GetResource() const { return m_resource; }
    /// @return "RequestId": the id the service's support asks for.
    std::string GetRequestid() const { return m_request_id; }
    /// @return "TraceId".
    std::string GetTraceid() const { return m_trace_id; }

private:
    std::string m_code;
    std::string m_message;
    std::string m_resource;
    std::string m_request_id;
    std::string m_trace_id;
};

}  // namespace zuzezi_zid
