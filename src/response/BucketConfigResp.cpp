#include "response/BucketConfigResp.h"

#include "response/XmlTable.h"

namespace zuzezi_zid {

using namespace xml;

namespace {

const char* const kUnknownField = "Unknown field, field_name=%s, xml_body=%s";

}  // namespace

bool GetBucketCORSResp::ParseFromXmlString(const std::string& body) {
    static const Table<CORSRule> kRule{{{"ID", Text(&CORSRule::m_id)},
                                        {"AllowedOrigin", Append(&CORSRule::m_allowed_origins)},
                                        {"AllowedMethod", Append(&CORSRule::m_allowed_methods)},
                                        {"AllowedHeader", Append(&CORSRule::m_allowed_headers)},
                                        {"MaxAgeSeconds", Text(&CORSRule::m_max_age_secs)},
                                        {"ExposeHeader", Append(&CORSRule::m_expose_headers)}},
                                       Unknown::kWarn,
                                       "Unknown field in CORSRule node, field_name=%s"};
    static const Table<GetBucketCORSResp> kRoot{
        {{"CORSRule", AppendRecord(&GetBucketCORSResp::m_rules, kRule)}},
        Unknown::kWarn,
        "Unknown field in CORSConfiguration node, field_name=%s"};
    return ReadDocument(body, "CORSConfiguration", "Miss root node=CORSConfiguration, xml_body=%s",
                        ZID_LOG_SITE, *this, kRoot);
}

bool GetBucketVersioningResp::ParseFromXmlString(const std::string& body) {
    static const Convert<int> kStatus = [](const Node* node) {
        const std::string text = XmlBodyReader::Text(node);
        return text == "Enabled" ? kEnabled : text == "Suspended" ? kSuspended : 0;
    };
    static const Table<GetBucketVersioningResp> kRoot{
        {{"Status", Into(&GetBucketVersioningResp::m_status, kStatus), "status value=%s"}},
        Unknown::kWarn,
        kUnknownField};
    return ReadDocument(body, "VersioningConfiguration",
                        "Miss root node=VersioningConfiguration, xml_body=%s", ZID_LOG_SITE, *this, kRoot);
}

bool GetBucketLocationResp::ParseFromXmlString(const std::string& body) {
    return ReadDocument(body, "LocationConstraint", "Miss root node=LocationConstraint, xml_body=%s",
                        ZID_LOG_SITE, [this](const Node* root, const Walk&) {
                            m_location = XmlBodyReader::Text(root);
                            return true;
                        });
}

bool GetBucketLoggingResp::ParseFromXmlString(const std::string& body) {
    static const Table<LoggingEnabled> kLogging{
        {{"TargetBucket", SetText(&LoggingEnabled::SetTargetBucket), "TargetBucket value=%s"},
         {"TargetPrefix", SetText(&LoggingEnabled::SetTargetPrefix), "TargePrefix value=%s"}},
        Unknown::kWarn,
        kUnknownField};
    return ReadDocument(body, "BucketLoggingStatus",
                        "Miss root node=BucketLoggingConfiguration, xml_body=%s", ZID_LOG_SITE,
                        [this](const Node* root, const Walk& walk) {
                            return ReadRequired(root, "LoggingEnabled", 1,
                                                "Miss node=LoggingEnableConfiguration, xml_body=%s",
                                                m_logging_enabled, kLogging, walk);
                        });
}

bool PutBucketDomainResp::ParseFromXmlString(const std::string& body) {
    static const Table<DomainErrorMsg> kError{
        {{"Code", SetText(&DomainErrorMsg::SetCode), "Code value=%s"},
         {"Message", SetText(&DomainErrorMsg::SetMessage), "Message value=%s"},
         {"Resource", SetText(&DomainErrorMsg::SetResource), "Resource value=%s"},
         {"RequestId", SetText(&DomainErrorMsg::SetRequestid), "RequestId value=%s"},
         {"TraceId", SetText(&DomainErrorMsg::SetTraceid), "traceId value=%s"}},
        Unknown::kWarn,
        kUnknownField};
    if (body.empty()) {
        return true;
    }
    return ReadDocument(body, "Error", "Miss root node=Error, xml_body=%s", ZID_LOG_SITE, m_error, kError);
}

bool GetBucketDomainResp::ParseFromXmlString(const std::string& body) {
    using R = GetBucketDomainResp;
    static const Table<R> kRule{{{"Status", SetText(&R::SetStatus), "Status value=%s"},
                                 {"Name", SetText(&R::SetName), "Name value=%s"},
                                 {"Type", SetText(&R::SetType), "Type value=%s"}},
                                Unknown::kWarn,
                                kUnknownField};
    return ReadDocument(body, "DomainConfiguration", "Miss root node=DomainConfiguration, xml_body=%s",
                        ZID_LOG_SITE, [this](const Node* root, const Walk& walk) {
                            return ReadRequired(root, "DomainRule", 2,
                                                "Miss node=DomainRule, xml_body=%s", *this, kRule,
                                                walk);
                        });
}

bool GetBucketIntelligentTieringResp::ParseFromXmlString(const std::string& body) {
    using R = GetBucketIntelligentTieringResp;
    static const Table<R> kTransition{{{"Days", Int(&R::m_days)},
                                       {"RequestFrequent", Int(&R::m_request_frequent)}},
                                      Unknown::kStop,
                                      "Unknown field in Transition, field_name=%s"};
    static const Table<R> kRoot{{{"Status", Text(&R::m_status)}, {"Transition", Children(kTransition)}},
                                Unknown::kStop,
                                "Unknown field in IntelligentTieringConfiguration, field_name=%s"};
    return ReadDocument(body, "IntelligentTieringConfiguration",
                        "Missing root node IntelligentTieringConfiguration, xml_body=%s", ZID_LOG_SITE,
                        *this, kRoot);
}

bool GetBucketRefererResp::ParseFromXmlString(const std::string& body) {
    using R = GetBucketRefererResp;
    static const Table<R> kDomains{{{"Domain", Append(&R::m_domain_list)}},
                                   Unknown::kWarn,
                                   "Unknown field in DomainList, field_name=%s"};
    static const Table<R> kRoot{{{"Status", Text(&R::m_status)},
                                 {"DomainList", Children(kDomains)},
                                 {"RefererType", Text(&R::m_referer_type)},
                                 {"EmptyReferConfiguration", Text(&R::m_empty_refer_configuration)},
                                 {"VerifySignatureURL", Text(&R::m_verify_signature_url)}},
                                Unknown::kWarn,
                                "Unknown field in RefererConfiguration, field_name=%s"};
    return ReadDocument(body, "RefererConfiguration",
                        "Missing root node RefererConfiguration, xml_body=%s", ZID_LOG_SITE, *this, kRoot);
}

}  // namespace zuzezi_zid
