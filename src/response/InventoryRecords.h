#pragma once

#include <cstdint>
#include <string>

#include "request/SetMask.h"

namespace zuzezi_zid {

// The bucket an inventory report is written to.
class ZIDBucketDestination : public SetMask {
public:
    static constexpr uint64_t kFormat = 0x1;
    static constexpr uint64_t kAccountId = 0x2;
    static constexpr uint64_t kBucket = 0x4;
    static constexpr uint64_t kPrefix = 0x8;
    static constexpr uint64_t kEncryption = 0x10;

    void SetFormat(const std::string& format) { Store(m_format, format, kFormat); }
    void SetAccountId(const std::string& account_id) { Store(m_account_id, account_id, kAccountId); }
    void SetBucket(const std::string& bucket) { Store(m_bucket, bucket, kBucket); }
    void SetPrefix(const std::string& prefix) { Store(m_prefix, prefix, kPrefix); }
    void SetEncryption(bool encryption) { Store(m_encryption, encryption, kEncryption); }
    std::string GetFormat() const { return m_format; }
    std::string GetAccountId() const { return m_account_id; }
    std::string GetBucket() const { return m_bucket; }
    std::string GetPrefix() const { return m_prefix; }
    bool GetEncryption() const { return m_encryption; }

private:
    std::string m_format;
    std::string m_account_id;
    std::string m_bucket;
    std::string m_prefix;
    bool m_encryption = false;
};

// Which columns an inventory report carries. The bits do not follow the field order.
class OptionalFields : public SetMask {
public:
    static constexpr uint64_t kSize = 0x1;
    static constexpr uint64_t kLastModified = 0x2;
    static constexpr uint64_t kStorageClass = 0x4;
    static constexpr uint64_t kMultipartUploaded = 0x8;
    static constexpr uint64_t kReplicationStatus = 0x10;
    static constexpr uint64_t kEtag = 0x20;

    void SetIsSize(bool on) { Store(m_is_size, on, kSize); }
    void SetIsEtag(bool on) { Store(m_is_etag, on, kEtag); }
    void SetIsLastModified(bool on) { Store(m_is_last_modified, on, kLastModified); }
    void SetIsStorageClass(bool on) { Store(m_is_storage_class, on, kStorageClass); }
    void SetIsReplicationStatus(bool on) { Store(m_is_replication_status, on, kReplicationStatus); }
    void SetIsMultipartUploaded(bool on) { Store(m_is_multipart_uploaded, on, kMultipartUploaded); }
    bool GetIsSize() const { return m_is_size; }
    bool GetIsEtag() const { return m_is_etag; }
    bool GetIsLastModified() const { return m_is_last_modified; }
    bool GetIsStorageClass() const { return m_is_storage_class; }
    bool GetIsReplicationStatus() const { return m_is_replication_status; }
    bool GetIsMultipartUploaded() const { return m_is_multipart_uploaded; }

private:
    bool m_is_size = false;
    bool m_is_etag = false;
    bool m_is_last_modified = false;
    bool m_is_storage_class = false;
    bool m_is_replication_status = false;
    bool m_is_multipart_uploaded = false;
};

class Inventory : public SetMask {
public:
    static constexpr uint64_t kId = 0x1;
    static constexpr uint64_t kIsEnable = 0x2;
    static constexpr uint64_t kIncludedObjectVersions = 0x4;
    static constexpr uint64_t kFilter = 0x8;
    static constexpr uint64_t kDestination = 0x10;
    static constexpr uint64_t kOptionalFields = 0x20;
    static constexpr uint64_t kFrequency = 0x40;

    void SetId(const std::string& id) { Store(m_id, id, kId); }
    void SetIncludedObjectVersions(const std::string& versions) {
        Store(m_included_object_versions, versions, kIncludedObjectVersions);
    }
    void SetFilter(const std::string& filter) { Store(m_filter, filter, kFilter); }
    // The service knows only these two schedules; anything else is dropped, not sent.
    void SetFrequency(const std::string& frequency) {
        if (frequency == "Daily" || frequency == "Weekly") {
            Store(m_frequency, frequency, kFrequency);
        } else {
            m_frequency.clear();
        }
    }
    void SetIsEnable(bool enable) { Store(m_is_enable, enable, kIsEnable); }
    void SetZIDBucketDestination(const ZIDBucketDestination& destination) {
        Store(m_destination, destination, kDestination);
    }
    void SetOptionalFields(const OptionalFields& fields) {
        Store(m_optional_fields, fields, kOptionalFields);
    }

    std::string GetId() const { return m_id; }
    std::string GetIncludedObjectVersions() const { return m_included_object_versions; }
    std::string GetFilter() const { return m_filter; }
    std::string GetFrequency() const { return m_frequency; }
    bool GetIsEnable() const { return m_is_enable; }
    const ZIDBucketDestination& GetZIDBucketDestination() const { return m_destination; }
    const OptionalFields& GetOptionalFields() const { return m_optional_fields; }

private:
    std::string m_id;
    std::string m_included_object_versions;
    std::string m_filter;
    std::string m_frequency;
    bool m_is_enable = true;
    ZIDBucketDestination m_destination;
    OptionalFields m_optional_fields;
};

}  // namespace zuzezi_zid
