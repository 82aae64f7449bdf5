#pragma once

// Answers about one bucket setting each: ACL, CORS, versioning, location, logging, domain,
// tagging, intelligent tiering and referer.

#include <string>
#include <vector>

#include "request/SetMask.h"
#include "response/BaseResp.h"
#include "response/BucketRecords.h"
#include "response/PolicyResp.h"

namespace zuzezi_zid {

class GetBucketACLResp : public AccessControlResp {};

class GetBucketTaggingResp : public TagSetResp {};

class GetBucketCORSResp : public BaseResp {
public:
    bool ParseFromXmlString(const std::string& body) override;
    std::vector<CORSRule> GetCORSRules() const { return m_rules; }

private:
    std::vector<CORSRule> m_rules;
};

class GetBucketVersioningResp : public BaseResp {
public:
    static constexpr int kEnabled = 1;
    static constexpr int kSuspended = 2;

    bool ParseFromXmlString(const std::string& body) override;
    // 1 enabled, 2 suspended, 0 anything else.
    int GetStatus() const { return m_status; }

private:
    int m_status = 0;
};

class GetBucketLocationResp : public BaseResp {
public:
    bool ParseFromXmlString(const std::string& body) override;
    std::string GetLocation() const { return m_location; }

private:
    std::string m_location;
};

class GetBucketLoggingResp : public BaseResp {
public:
    bool ParseFromXmlString(const std::string& body) override;
    const LoggingEnabled& GetLoggingEnabled() const { return m_logging_enabled; }

private:
    LoggingEnabled m_logging_enabled;
};

// A domain put answers with an empty body, or with an error document in a 2xx answer.
class PutBucketDomainResp : public BaseResp {
public:
    bool ParseFromXmlString(const std::string& body) override;
    const DomainErrorMsg& GetDomainErrorMsg() const { return m_error; }

private:
    DomainErrorMsg m_error;
};

class GetBucketDomainResp : public BaseResp {
public:
    bool ParseFromXmlString(const std::string& body) override;
    void SetStatus(const std::string& status) { m_status = status; }
    void SetName(const std::string& name) { m_name = name; }
    void SetType(const std::string& type) { m_type = type; }
    std::string GetStatus() const { return m_status; }
    std::string GetName() const { return m_name; }
    std::string GetType() const { return m_type; }

private:
    std::string m_status;
    std::string m_name;
    std::string m_type;
};

class GetBucketIntelligentTieringResp : public BaseResp {
public:
    bool ParseFromXmlString(const std::string& body) override;
    std::string GetStatus() const { return m_status; }
    int GetDays() const { return m_days; }
    int GetRequestFrequent() const { return m_request_frequent; }

private:
    std::string m_status;
    int m_days = 0;
    int m_request_frequent = 0;
};

class GetBucketRefererResp : public BaseResp {
public:
    bool ParseFromXmlString(const std::string& body) override;
    std::string GetStatus() const { return m_status; }
    std::string GetRefererType() const { return m_referer_type; }
    std::vector<std::string> GetDomainList() const { return m_domain_list; }
    std::string GetEmptyReferConfiguration() const { return m_empty_refer_configuration; }
    std::string GetVerifySignatureURL() const { return m_verify_signature_url; }

private:
    std::string m_status;
    std::string m_referer_type;
    std::vector<std::string> m_domain_list;
    std::string m_empty_refer_configuration;
    std::string m_verify_signature_url;
};

}  // namespace zuzezi_zid
