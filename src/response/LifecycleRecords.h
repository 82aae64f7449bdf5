#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "request/SetMask.h"

namespace zuzezi_zid {

struct LifecycleTag {
    std::string m_key;
    std::string m_value;
};

class LifecycleFilter : public SetMask {
public:
    static constexpr uint64_t kPrefix = 0x1;
    static constexpr uint64_t kTags = 0x2;

    void SetPrefix(const std::string& prefix) { Store(m_prefix, prefix, kPrefix); }
    void AddTag(const LifecycleTag& tag) {
        m_tags.push_back(tag);
        Mark(kTags);
    }
    std::string GetPrefix() const { return m_prefix; }
    std::vector<LifecycleTag> GetTags() const { return m_tags; }

private:
    std::string m_prefix;
    std::vector<LifecycleTag> m_tags;
};

class LifecycleTransition : public SetMask {
public:
    static constexpr uint64_t kDays = 0x1;
    static constexpr uint64_t kDate = 0x2;
    static constexpr uint64_t kStorageClass = 0x4;

    void SetDays(uint64_t days) { Store(m_days, days, kDays); }
    void SetDate(const std::string& date) { Store(m_date, date, kDate); }
    void SetStorageClass(const std::string& storage_class) {
        Store(m_storage_class, storage_class, kStorageClass);
    }
    uint64_t GetDays() const { return m_days; }
    std::string GetDate() const { return m_date; }
    std::string GetStorageClass() const { return m_storage_class; }

private:
    uint64_t m_days = 0;
    std::string m_date;
    std::string m_storage_class;
};

class LifecycleExpiration : public SetMask {
public:
    static constexpr uint64_t kDays = 0x1;
    static constexpr uint64_t kDate = 0x2;
    static constexpr uint64_t kExpiredObjDelMarker = 0x4;

    void SetDays(uint64_t days) { Store(m_days, days, kDays); }
    void SetDate(const std::string& date) { Store(m_date, date, kDate); }
    void SetExpiredObjDelMarker(bool marker) {
        Store(m_expired_obj_del_marker, marker, kExpiredObjDelMarker);
    }
    uint64_t GetDays() const { return m_days; }
    std::string GetDate() const { return m_date; }
    bool GetExpiredObjDelMarker() const { return m_expired_obj_del_marker; }

private:
    uint64_t m_days = 0;
    std::string m_date;
    bool m_expired_obj_del_marker = false;
};

class LifecycleNonCurrTransition : public SetMask {
public:
    static constexpr uint64_t kDays = 0x1;
    static constexpr uint64_t kStorageClass = 0x2;

    void SetDays(uint64_t days) { Store(m_days, days, kDays); }
    void SetStorageClass(const std::string& storage_class) {
        Store(m_storage_class, storage_class, kStorageClass);
    }
    uint64_t GetDays() const { return m_days; }
    std::string GetStorageClass() const { return m_storage_class; }

private:
    uint64_t m_days = 0;
    std::string m_storage_class;
};

class LifecycleNonCurrExpiration : public SetMask {
public:
    static constexpr uint64_t kDays = 0x1;

    void SetDays(uint64_t days) { Store(m_days, days, kDays); }
    uint64_t GetDays() const { return m_days; }

private:
    uint64_t m_days = 0;
};

struct AbortIncompleteMultipartUpload {
    uint64_t m_days_after_initiation = 0;
};

class LifecycleRule : public SetMask {
public:
    static constexpr uint64_t kIsEnable = 0x1;
    static constexpr uint64_t kId = 0x2;
    static constexpr uint64_t kFilter = 0x4;
    static constexpr uint64_t kTransition = 0x8;
    static constexpr uint64_t kExpiration = 0x10;
    static constexpr uint64_t kNonCurrTransition = 0x20;
    static constexpr uint64_t kNonCurrExpiration = 0x40;
    static constexpr uint64_t kAbortIncompleteMultiUpload = 0x80;

    void SetIsEnable(bool enable) { Store(m_is_enable, enable, kIsEnable); }
    void SetId(const std::string& id) { Store(m_id, id, kId); }
    void SetFilter(const LifecycleFilter& filter) { Store(m_filter, filter, kFilter); }
    void AddTransition(const LifecycleTransition& transition) {
        m_transitions.push_back(transition);
        Mark(kTransition);
    }
    void SetExpiration(const LifecycleExpiration& expiration) {
        Store(m_expiration, expiration, kExpiration);
    }
    void SetNonCurrTransition(const LifecycleNonCurrTransition& transition) {
        Store(m_non_curr_transition, transition, kNonCurrTransition);
    }
    void SetNonCurrExpiration(const LifecycleNonCurrExpiration& expiration) {
        Store(m_non_curr_expiration, expiration, kNonCurrExpiration);
    }
    void SetAbortIncompleteMultiUpload(const AbortIncompleteMultipartUpload& abort) {
        Store(m_abort_incomplete_multi_upload, abort, kAbortIncompleteMultiUpload);
    }

    bool GetIsEnable() const { return m_is_enable; }
    std::string GetId() const { return m_id; }
    LifecycleFilter GetFilter() const { return m_filter; }
    std::vector<LifecycleTransition> GetTransitions() const { return m_transitions; }
    LifecycleExpiration GetExpiration() const { return m_expiration; }
    LifecycleNonCurrTransition GetNonCurrTransition() const { return m_non_curr_transition; }
    LifecycleNonCurrExpiration GetNonCurrExpiration() const { return m_non_curr_expiration; }
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
