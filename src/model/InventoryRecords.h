/// @file
/// The inventory configuration of a bucket and its parts, as its answer lists them. Each
/// record's mask tells a field the answer held from one left at its default.

#pragma once

#include <cstdint>
#include <string>

#include "zid/model/SetMask.h"

namespace zuzezi_zid {

/// The bucket an inventory report is written to ("Destination/ZIDBucketDestination").
class ZIDBucketDestination : public SetMask {
public:
    static constexpr uint64_t kFormat = 0x1;      ///< Mask bit of the format.
    static constexpr uint64_t kAccountId = 0x2;   ///< Mask bit of the account id.
    static constexpr uint64_t kBucket = 0x4;      ///< Mask bit of the bucket.
    static constexpr uint64_t kPrefix = 0x8;      ///< Mask bit of the prefix.
    static constexpr uint64_t kEncryption = 0x10; ///< Mask bit of the encryption flag.

    /// Sets "Format" and its mask bit.
    /// @param format the report's file format, e.g. "CSV".
    void SetFormat(const std::string& format) { Store(m_format, format, kFormat); }
    /// Sets "AccountId" and its mask bit.
    /// @param account_id the owner of the destination bucket.
    void SetAccountId(const std::string& account_id) { Store(m_account_id, account_id, kAccountId); }
    /// Sets "Bucket" and its mask bit.
    /// @param bucket the destination bucket, as the service names it.
    void SetBucket(const std::string& bucket) { Store(m_bucket, bucket, kBucket); }
    /// Sets "Prefix" and its mask bit.
    /// @param prefix the key prefix of the report objects.
    void SetPrefix(const std::string& prefix) { Store(m_prefix, prefix, kPrefix); }
    /// Sets the encryption flag and its mask bit (also for false).
    /// @param encryption true when the reports are encrypted.
    void SetEncryption(bool encryption) { Store(m_encryption, encryption, kEncryption); }
    /// @return "Format"; "" when not set.
    std::string GetFormat() const { return m_format; }
    /// @return "AccountId"; "" when not set.
    std::string GetAccountId() const { return m_account_id; }
    /// @return "Bucket"; "" when not set.
    std::string GetBucket() const { return m_bucket; }
    /// @return "Prefix"; "" when not set.
    std::string GetPrefix() const { return m_prefix; }
    /// @return true when the answer held an "Encryption" element, whatever it held.
    bool GetEncryption() const { return m_encryption; }

private:
    std::string m_format;
    std::string m_account_id;
    std::string m_bucket;
    std::string m_prefix;
    bool m_encryption = false;
};

/// Which columns an inventory report carries: one "Field" of "OptionalFields" each, matched
/// on its text. The bits do not follow the field order. A setter sets its bit also for
/// false.
class OptionalFields : public SetMask {
public:
    static constexpr uint64_t kSize = 0x1;                ///< Mask bit of "Size".
    static constexpr uint64_t kLastModified = 0x2;        ///< Mask bit of "LastModifiedDate".
    static constexpr uint64_t kStorageClass = 0x4;        ///< Mask bit of "StorageClass".
    static constexpr uint64_t kMultipartUploaded = 0x8;   ///< Mask bit of "IsMultipartUploaded".
    static constexpr uint64_t kReplicationStatus = 0x10;  ///< Mask bit of "ReplicationStatus".
    static constexpr uint64_t kEtag = 0x20;               ///< Mask bit of "ETag".

    /// Sets whether the report lists "Size".
    void SetIsSize(bool on) { Store(m_is_size, on, kSize); }
    /// Sets whether the report lists "ETag".
    void SetIsEtag(bool on) { Store(m_is_etag, on, kEtag); }
    /// Sets whether the report lists "LastModifiedDate".
    void SetIsLastModified(bool on) { Store(m_is_last_modified, on, kLastModified); }
    /// Sets whether the report lists "StorageClass".
    void SetIsStorageClass(bool on) { Store(m_is_storage_class, on, kStorageClass); }
    /// Sets whether the report lists "ReplicationStatus".
    void SetIsReplicationStatus(bool on) { Store(m_is_replication_status, on, kReplicationStatus); }
    /// Sets whether the report lists "IsMultipartUploaded".
    void SetIsMultipartUploaded(bool on) { Store(m_is_multipart_uploaded, on, kMultipartUploaded); }
    /// @return true when the report lists "Size".
    bool GetIsSize() const { return m_is_size; }
    /// @return true when the report lists "ETag".
    bool GetIsEtag() const { return m_is_etag; }
    /// @return true when the report lists "LastModifiedDate".
    bool GetIsLastModified() const { return m_is_last_modified; }
    /// @return true when the report lists "StorageClass".
    bool GetIsStorageClass() const { return m_is_storage_class; }
    /// @return true when the report lists "ReplicationStatus".
    bool GetIsReplicationStatus() const { return m_is_replication_status; }
    /// @return true when the report lists "IsMultipartUploaded".
    bool GetIsMultipartUploaded() const { return m_is_multipart_uploaded; }

private:
    bool m_is_size = false;
    bool m_is_etag = false;
    bool m_is_last_modified = false;
    bool m_is_storage_class = false;
    bool m_is_replication_status = false;
    bool m_is_multipart_uploaded = false;
};

/// One inventory configuration of a bucket (an "InventoryConfiguration" element): what is
/// listed, how often and where the report goes.
class Inventory : public SetMask {
public:
    static constexpr uint64_t kId = 0x1;                      ///< Mask bit of the id.
    static constexpr uint64_t kIsEnable = 0x2;                ///< Mask bit of the status.
    static constexpr uint64_t kIncludedObjectVersions = 0x4;  ///< Mask bit of the versions.
    static constexpr uint64_t kFilter = 0x8;                  ///< Mask bit of the filter.
    static constexpr uint64_t kDestination = 0x10;            ///< Mask bit of the destination.
    static constexpr uint64_t kOptionalFields = 0x20;         ///< Mask bit of the columns.
    static constexpr uint64_t kFrequency = 0x40;              ///< Mask bit of the frequency.

    /// Sets "Id" and its mask bit.
    /// @param id the configuration's name within the bucket.
    void SetId(const std::string& id) { Store(m_id, id, kId); }
    /// Sets "IncludedObjectVersions" and its mask bit.
    /// @param versions "All" or "Current".
    void SetIncludedObjectVersions(const std::string& versions) {
        Store(m_included_object_versions, versions, kIncludedObjectVersions);
    }
    /// Sets the filter ("Filter/Prefix") and its mask bit.
    /// @param filter the key prefix of the objects listed.
    void SetFilter(const std::string& filter) { Store(m_filter, filter, kFilter); }
    /// Sets "Schedule/Frequency" and its mask bit. The service knows only these two
    /// schedules; anything else is dropped, not sent: the frequency becomes "" and the mask
    /// is left as it was.
    /// @param frequency "Daily" or "Weekly", in that letter case.
    void SetFrequency(const std::string& frequency) {
        if (frequency == "Daily" || frequency == "Weekly") {
            Store(m_frequency, frequency, kFrequency);
        } else {
            m_frequency.clear();
        }
    }
    /// Sets "IsEnabled" and its mask bit.
    /// @param enable true when the service writes reports.
    void SetIsEnable(bool enable) { Store(m_is_enable, enable, kIsEnable); }
    /// Stores a copy of the destination and sets its mask bit.
    void SetZIDBucketDestination(const ZIDBucketDestination& destination) {
        Store(m_destination, destination, kDestination);
    }
    /// Stores a copy of the report's columns and sets its mask bit.
    void SetOptionalFields(const OptionalFields& fields) {
        Store(m_optional_fields, fields, kOptionalFields);
    }

    /// @return "Id"; "" when not set.
    std::string GetId() const { return m_id; }
    /// @return "IncludedObjectVersions"; "" when not set.
    std::string GetIncludedObjectVersions() const { return m_included_object_versions; }
    /// @return "Filter/Prefix"; "" when not set.
    std::string GetFilter() const { return m_filter; }
    /// @return "Daily" or "Weekly"; "" when not set or not one of them.
    std::string GetFrequency() const { return m_frequency; }
    /// @return true when "IsEnabled" is "true" in any letter case, or when not set.
    bool GetIsEnable() const { return m_is_enable; }
    /// @return the destination; valid while this record lives.
    const ZIDBucketDestination& GetZIDBucketDestination() const { return m_destination; }
    /// @return the report's columns; valid while this record lives.
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
