/// @file
/// The rules of a bucket's lifecycle configuration and their parts, as its answer lists
/// them. Each record's mask tells a part the answer held from one left at its default.

#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zid/model/SetMask.h"

namespace zuzezi_zid {

/// One "Tag" of a lifecycle rule's filter.
struct LifecycleTag {
    std::string m_key;    ///< "Key".
    std::string m_value;  ///< "Value".
};

/// Which objects a lifecycle rule applies to: a key prefix and tags, all of which must
/// match. Read from "Filter", from "Filter/And" and from a rule's own "Prefix".
class LifecycleFilter : public SetMask {
public:
    static constexpr uint64_t kPrefix = 0x1;  ///< Mask bit of the prefix.
    static constexpr uint64_t kTags = 0x2;    ///< Mask bit of the tags.

    /// Sets the key prefix and its mask bit.
    /// @param prefix the key prefix; "" matches every key.
    void SetPrefix(const std::string& prefix) { Store(m_prefix, prefix, kPrefix); }
    /// Appends a tag and sets the tags' mask bit.
    /// @param tag the tag an object must carry.
    void AddTag(const LifecycleTag& tag) {
        m_tags.push_back(tag);
        Mark(kTags);
    }
    /// @return the key prefix; "" when not set.
    std::string GetPrefix() const { return m_prefix; }
    /// @return the tags in document order.
    std::vector<LifecycleTag> GetTags() const { return m_tags; }

private:
    std::string m_prefix;
    std::vector<LifecycleTag> m_tags;
};

/// When a lifecycle rule moves objects to another storage class (a "Transition" element):
/// after a number of days or on a date.
class LifecycleTransition : public SetMask {
public:
    static constexpr uint64_t kDays = 0x1;          ///< Mask bit of the days.
    static constexpr uint64_t kDate = 0x2;          ///< Mask bit of the date.
    static constexpr uint64_t kStorageClass = 0x4;  ///< Mask bit of the storage class.

    /// Sets "Days" and its mask bit.
    /// @param days days after an object's creation.
    void SetDays(uint64_t days) { Store(m_days, days, kDays); }
    /// Sets "Date" and its mask bit.
    /// @param date the day, as the service writes it.
    void SetDate(const std::string& date) { Store(m_date, date, kDate); }
    /// Sets "StorageClass" and its mask bit.
    /// @param storage_class the class objects move to.
    void SetStorageClass(const std::string& storage_class) {
        Store(m_storage_class, storage_class, kStorageClass);
    }
    /// @return "Days"; 0 when not set or not a number.
    uint64_t GetDays() const { return m_days; }
    /// @return "Date"; "" when not set.
    std::string GetDate() const { return m_date; }
    /// @return "StorageClass"; "" when not set.
    std::string GetStorageClass() const { return m_storage_class; }

private:
    uint64_t m_days = 0;
    std::string m_date;
    std::string m_storage_class;
};

/// When a lifecycle rule deletes objects (an "Expiration" element): after a number of days
/// or on a date; or that it removes delete markers left without versions.
class LifecycleExpiration : public SetMask {
public:
    static constexpr uint64_t kDays = 0x1;  ///< Mask bit of the days.
    static constexpr uint64_t kDate = 0x2;  ///< Mask bit of the date.
    static constexpr uint64_t kExpiredObjDelMarker = 0x4;  ///< Mask bit of the marker flag.

    /// Sets "Days" and its mask bit.
    /// @param days days after an object's creation.
    void SetDays(uint64_t days) { Store(m_days, days, kDays); }
    /// Sets "Date" and its mask bit.
    /// @param date the day, as the service writes it.
    void SetDate(const std::string& date) { Store(m_date, date, kDate); }
    /// Sets "ExpiredObjectDeleteMarker" and its mask bit (also for false).
    /// @param marker true to remove expired delete markers.
    void SetExpiredObjDelMarker(bool marker) {
        Store(m_expired_obj_del_marker, marker, kExpiredObjDelMarker);
    }
    /// @return "Days"; 0 when not set or not a number.
    uint64_t GetDays() const { return m_days; }
    /// @return "Date"; "" when not set.
    std::string GetDate() const { return m_date; }
    /// @return true when "ExpiredObjectDeleteMarker" is "true"; false when not set.
    bool GetExpiredObjDelMarker() const { return m_expired_obj_del_marker; }

private:
    uint64_t m_days = 0;
    std::string m_date;
    bool m_expired_obj_del_marker = false;
};

/// When a lifecycle rule moves older versions to another storage class (a
/// "NoncurrentVersionTransition" element).
class LifecycleNonCurrTransition : public SetMask {
public:
    static constexpr uint64_t kDays = 0x1;          ///< Mask bit of the days.
    static constexpr uint64_t kStorageClass = 0x2;  ///< Mask bit of the storage class.

    /// Sets "NoncurrentDays" and its mask bit.
    /// @param days days after a version stopped being the current one.
    void SetDays(uint64_t days) { Store(m_days, days, kDays); }
    /// Sets "StorageClass" and its mask bit.
    /// @param storage_class the class versions move to.
    void SetStorageClass(const std::string& storage_class) {
        Store(m_storage_class, storage_class, kStorageClass);
    }
    /// @return "NoncurrentDays"; 0 when not set or not a number.
    uint64_t GetDays() const { return m_days; }
    /// @return "StorageClass"; "" when not set.
    std::string GetStorageClass() const { return m_storage_class; }

private:
    uint64_t m_days = 0;
    std::string m_storage_class;
};

/// When a lifecycle rule deletes older versions (a "NoncurrentVersionExpiration" element).
class LifecycleNonCurrExpiration : public SetMask {
public:
    static constexpr uint64_t kDays = 0x1;  ///< Mask bit of the days.

    /// Sets "NoncurrentDays" and its mask bit.
    /// @param days days after a version stopped being the current one.
    void SetDays(uint64_t days) { Store(m_days, days, kDays); }
    /// @return "NoncurrentDays"; 0 when not set or not a number.
    uint64_t GetDays() const { return m_days; }

private:
    uint64_t m_days = 0;
};

/// When a lifecycle rule aborts unfinished multipart uploads (an
/// "AbortIncompleteMultipartUpload" element).
struct AbortIncompleteMultipartUpload {
    uint64_t m_days_after_initiation = 0;  ///< "DaysAfterInitiation": days after the start.
};

/// One "Rule" of a bucket's lifecycle configuration. The mask tells which parts the rule
/// held: a part whose bit is clear keeps its default and means nothing.
class LifecycleRule : public SetMask {
public:
    static constexpr uint64_t kIsEnable = 0x1;            ///< Mask bit of the status.
    static constexpr uint64_t kId = 0x2;                  ///< Mask bit of the id.
    static constexpr uint64_t kFilter = 0x4;              ///< Mask bit of the filter.
    static constexpr uint64_t kTransition = 0x8;          ///< Mask bit of the transitions.
    static constexpr uint64_t kExpiration = 0x10;         ///< Mask bit of the expiration.
    /// Mask bit of the older versions' transition.
    static constexpr uint64_t kNonCurrTransition = 0x20;
    /// Mask bit of the older versions' expiration.
    static constexpr uint64_t kNonCurrExpiration = 0x40;
    /// Mask bit of the upload abort.
    static constexpr uint64_t kAbortIncompleteMultiUpload = 0x80;

    /// Sets the status and its mask bit.
    /// @param enable true for "Status" "Enabled".
    void SetIsEnable(bool enable) { Store(m_is_enable, enable, kIsEnable); }
    /// Sets "ID" and its mask bit.
    void SetId(const std::string& id) { Store(m_id, id, kId); }
    /// Stores a copy of the filter and sets its mask bit.
    void SetFilter(const LifecycleFilter& filter) { Store(m_filter, filter, kFilter); }
    /// Appends a transition and sets the transitions' mask bit.
    void AddTransition(const LifecycleTransition& transition) {
        m_transitions.push_back(transition);
        Mark(kTransition);
    }
    /// Stores a copy of the expiration and sets its mask bit.
    void SetExpiration(const LifecycleExpiration& expiration) {
        Store(m_expiration, expiration, kExpiration);
    }
    /// Stores a copy of the older versions' transition and sets its mask bit.
    void SetNonCurrTransition(const LifecycleNonCurrTransition& transition) {
        Store(m_non_curr_transition, transition, kNonCurrTransition);
    }
    /// Stores a copy of the older versions' expiration and sets its mask bit.
    void SetNonCurrExpiration(const LifecycleNonCurrExpiration& expiration) {
        Store(m_non_curr_expiration, expiration, kNonCurrExpiration);
    }
    /// Stores a copy of the upload abort and sets its mask bit.
    void SetAbortIncompleteMultiUpload(const AbortIncompleteMultipartUpload& abort) {
        Store(m_abort_incomplete_multi_upload, abort, kAbortIncompleteMultiUpload);
    }

    /// @return true when "Status" is "Enabled"; false otherwise or when not set.
    bool GetIsEnable() const { return m_is_enable; }
    /// @return "ID"; "" when not set.
    std::string GetId() const { return m_id; }
    /// @return a copy of the filter; a rule's own "Prefix" is read into it too.
    LifecycleFilter GetFilter() const { return m_filter; }
    /// @return the "Transition" entries in document order.
    std::vector<LifecycleTransition> GetTransitions() const { return m_transitions; }
    /// @return the "Expiration"; an empty one when not set.
    LifecycleExpiration GetExpiration() const { return m_expiration; }
    /// @return the "NoncurrentVersionTransition"; an empty one when not set.
    LifecycleNonCurrTransition GetNonCurrTransition() const { return m_non_curr_transition; }
    /// @return the "NoncurrentVersionExpiration"; an empty one when not set.
    LifecycleNonCurrExpiration GetNonCurrExpiration() const { return m_non_curr_expiration; }
    /// @return the "AbortIncompleteMultipartUpload"; 0 days when not set.
    AbortIncompleteMultipartUpload GetAbortIncompleteMultiUpload() const {
        return m_abort_incomplete_multi_upload;
    }

private:
    bool m_is_enable = false;
    std::string m_id;
    LifecycleFilter m_filter;
    std::vector<LifecycleTransition> m_transitions;
    LifecycleExpiration m_expiration;
    LifecycleNonCurrTransition m_non_curr_transition;
    LifecycleNonCurrExpiration m_non_curr_expiration;
    AbortIncompleteMultipartUpload m_abort_incomplete_multi_upload;
};

}  // namespace zuzezi_zid
