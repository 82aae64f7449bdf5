#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "request/BaseReq.h"
#include "request/SetMask.h"

namespace zuzezi_zid {

// One object of a bucket listing.
struct Content {
    std::string m_key;
    std::string m_last_modified;  // as the service wrote it
    std::string m_etag;           // without its enclosing quotes
    std::string m_size;           // the decimal text as listed
    std::vector<std::string> m_owner_ids;
    std::string m_storage_class;
};

// One unfinished multipart upload as a bucket listing reports it.
struct Upload {
    std::string m_key;
    std::string m_upload_id;
    std::string m_storage_class;
    std::vector<Owner> m_initiator;
    std::vector<Owner> m_owner;
    std::string m_initiated;  // as the service wrote it
};

// One object version or delete marker of a version listing.
struct ZIDVersionSummary {
    bool m_is_delete_marker = false;
    std::string m_etag;  // without its enclosing quotes
    uint64_t m_size = 0;
    std::string m_storage_class;
    bool m_is_latest = false;
    std::string m_key;
    std::string m_last_modified;
    Owner m_owner;
    std::string m_version_id;
};

struct LiveChannel {
    std::string m_name;
    std::string m_last_modified;
};

struct ReplicationRule {
    bool m_is_enable = false;
    std::string m_id;
    std::string m_prefix;
    std::string m_dest_bucket;
    std::string m_dest_storage_class;
};

struct CORSRule {
    std::string m_id;
    std::string m_max_age_secs;  // the text as given
    std::vector<std::string> m_allowed_headers;
    std::vector<std::string> m_allowed_methods;
    std::vector<std::string> m_allowed_origins;
    std::vector<std::string> m_expose_headers;
};

// Where a bucket's access log goes.
class LoggingEnabled : public SetMask {
public:
    static constexpr uint64_t kTargetBucket = 0x1;
    static constexpr uint64_t kTargetPrefix = 0x2;

    virtual ~LoggingEnabled() = default;

    void SetTargetBucket(const std::string& bucket) { Store(m_target_bucket, bucket, kTargetBucket); }
    void SetTargetPrefix(const std::string& prefix) { Store(m_target_prefix, prefix, kTargetPrefix); }
    std::string GetTargetBucket() const { return m_target_bucket; }
    std::string GetTargetPrefix() const { return m_target_prefix; }

private:
    std::string m_target_bucket;
    std::string m_target_prefix;
};

// The error document a domain put may answer with.
class DomainErrorMsg {
public:
    virtual ~DomainErrorMsg() = default;

    void SetCode(const std::string& code) { m_code = code; }
    void SetMessage(const std::string& message) { m_message = message; }
    void SetResource(const std::string& resource) { m_resource = resource; }
    void SetRequestid(const std::string& request_id) { m_request_id = request_id; }
    void SetTraceid(const std::string& trace_id) { m_trace_id = trace_id; }
    std::string GetCode() const { return m_code; }
    std::string GetMessage() const { return m_message; }
    std::string GetResource() const { return m_resource; }
    std::string GetRequestid() const { return m_request_id; }
    std::string GetTraceid() const { return m_trace_id; }

private:
    std::string m_code;
    std::string m_message;
    std::string m_resource;
    std::string m_request_id;
    std::string m_trace_id;
};

}  // namespace zuzezi_zid
