#pragma once

/// @file
/// Answers about one bucket setting each: ACL, CORS, versioning, location, logging, domain,
/// tagging, intelligent tiering and referer.

#include <string>
#include <vector>

#include "zid/ZidExport.h"
#include "zid/model/BucketRecords.h"
#include "zid/model/SetMask.h"
#include "zid/response/BaseResp.h"
#include "zid/response/PolicyResp.h"

namespace zuzezi_zid {

/// A bucket's owner and grants (an "AccessControlPolicy" document).
class GetBucketACLResp : public AccessControlResp {};

/// A bucket's tags (a "Tagging" document).
class GetBucketTaggingResp : public TagSetResp {};

/// A bucket's cross-origin rules (a "CORSConfiguration" document).
class ZID_API GetBucketCORSResp : public BaseResp {
public:
    /// Reads each "CORSRule"; unknown elements are logged as warnings and skipped.
    /// @param body the "CORSConfiguration" document.
    /// @return false when the body is not XML or has another root.
    bool ParseFromXmlString(const std::string& body) override;
    /// @return the rules in document order.
    std::vector<CORSRule> GetCORSRules() const { return m_rules; }

private:
    std::vector<CORSRule> m_rules;
};

/// Whether a bucket keeps object versions (a "VersioningConfiguration" document).
class ZID_API GetBucketVersioningResp : public BaseResp {
public:
    static constexpr int kEnabled = 1;    ///< GetStatus() for "Status" "Enabled".
    static constexpr int kSuspended = 2;  ///< GetStatus() for "Status" "Suspended".

    /// Reads "Status"; unknown elements are logged as warnings and skipped.
    /// @param body the "VersioningConfiguration" document.
    /// @return false when the body is not XML or has another root.
    bool ParseFromXmlString(const std::string& body) override;
    /// @return kEnabled (1), kSuspended (2), or 0 for any other status and for a bucket
    ///         that never had versioning (no "Status").
    int GetStatus() const { return m_status; }

private:
    int m_status = 0;
};

/// The region a bucket lives in (a "LocationConstraint" document).
class ZID_API GetBucketLocationResp : public BaseResp {
public:
    /// Reads the root's text.
    /// @param body the "LocationConstraint" document.
    /// @return false when the body is not XML or has another root.
    bool ParseFromXmlString(const std::string& body) override;
    /// @return the region, as the service names it.
    std::string GetLocation() const { return m_location; }

private:
    std::string m_location;
};

/// Where a bucket's access log goes (a "BucketLoggingStatus" document).
class ZID_API GetBucketLoggingResp : public BaseResp {
public:
    /// Reads the first "LoggingEnabled"; unknown elements in it are logged as warnings and
    /// skipped.
    /// @param body the "BucketLoggingStatus" document.
    /// @return false when the body is not XML, has another root or has no
    ///         "LoggingEnabled" (a bucket that does not log).
    bool ParseFromXmlString(const std::string& body) override;
    /// @return the log's target; empty (mask 0) when the bucket does not log. Valid while
    ///         this response lives.
    const LoggingEnabled& GetLoggingEnabled() const { return m_logging_enabled; }

private:
    LoggingEnabled m_logging_enabled;
};

/// The answer to a domain put: an empty body, or an "Error" document in a 2xx answer. The
/// call fails on such a document as on an error status, with its code and message in the
/// `ZidResult`.
class ZID_API PutBucketDomainResp : public BaseResp {
public:
    /// Reads the "Error" document, if any; unknown elements are logged as warnings and
    /// skipped.
    /// @param body the answer's body.
    /// @return true for an empty body; false when the body is not XML or its root is not
    ///         "Error".
    bool ParseFromXmlString(const std::string& body) override;
    /// @return the error document's fields; all "" when the body was empty. Valid while
    ///         this response lives.
    const DomainErrorMsg& GetDomainErrorMsg() const { return m_error; }

private:
    DomainErrorMsg m_error;
};

/// A bucket's custom domain (a "DomainConfiguration" document).
class ZID_API GetBucketDomainResp : public BaseResp {
public:
    /// Reads the first "DomainRule"; unknown elements in it are logged as warnings and
    /// skipped.
    /// @param body the "DomainConfiguration" document.
    /// @return false when the body is not XML, has another root or has no "DomainRule".
    bool ParseFromXmlString(const std::string& body) override;
    /// Sets "Status".
    void SetStatus(const std::string& status) { m_status = status; }
    /// Sets "Name".
    void SetName(const std::string& name) { m_name = name; }
    /// Sets "Type".
    void SetType(const std::string& type) { m_type = type; }
    /// @return "DomainRule/Status", the text as written; "" when absent.
    std::string GetStatus() const { return m_status; }
    /// @return "DomainRule/Name": the domain name.
    std::string GetName() const { return m_name; }
    /// @return "DomainRule/Type", the text as written.
    std::string GetType() const { return m_type; }

private:
    std::string m_status;
    std::string m_name;
    std::string m_type;
};

/// A bucket's intelligent-tiering setting (an "IntelligentTieringConfiguration" document).
class ZID_API GetBucketIntelligentTieringResp : public BaseResp {
public:
    /// Reads "Status" and "Transition". An unknown element is logged as a warning and ends
    /// the reading: what came before it is kept.
    /// @param body the "IntelligentTieringConfiguration" document.
    /// @return false when the body is not XML, has another root or holds an unknown
    ///         element.
    bool ParseFromXmlString(const std::string& body) override;
    /// @return "Status", e.g. "Enabled"; "" when absent.
    std::string GetStatus() const { return m_status; }
    /// @return "Transition/Days", in days; 0 when absent or not a number.
    int GetDays() const { return m_days; }
    /// @return "Transition/RequestFrequent"; 0 when absent or not a number.
    int GetRequestFrequent() const { return m_request_frequent; }

private:
    std::string m_status;
    int m_days = 0;
    int m_request_frequent = 0;
};

/// A bucket's hotlink protection (a "RefererConfiguration" document).
class ZID_API GetBucketRefererResp : public BaseResp {
public:
    /// Reads the configuration; unknown elements are logged as warnings and skipped.
    /// @param body the "RefererConfiguration" document.
    /// @return false when the body is not XML or has another root.
    bool ParseFromXmlString(const std::string& body) override;
    /// @return "Status", e.g. "Enabled"; "" when absent.
    std::string GetStatus() const { return m_status; }
    /// @return "RefererType": whether the domain list allows or denies, the text as written.
    std::string GetRefererType() const { return m_referer_type; }
    /// @return the "DomainList/Domain" entries in document order.
    std::vector<std::string> GetDomainList() const { return m_domain_list; }
    /// @return "EmptyReferConfiguration": what happens to requests without a referer, the
    ///         text as written.
    std::string GetEmptyReferConfiguration() const { return m_empty_refer_configuration; }
    /// @return "VerifySignatureURL", the text as written.
    std::string GetVerifySignatureURL() const { return m_verify_signature_url; }

private:
    std::string m_status;
    std::string m_referer_type;
    std::vector<std::string> m_domain_list;
    std::string m_empty_refer_configuration;
    std::string m_verify_signature_url;
};

}  // namespace zuzezi_zid
