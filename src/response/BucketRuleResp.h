#pragma once

/// @file
/// Answers of the bucket settings made of rules: replication, lifecycle and the static
/// website.

#include <string>
#include <vector>

#include "zid/ZidExport.h"
#include "zid/model/BucketRecords.h"
#include "zid/model/LifecycleRecords.h"
#include "zid/model/WebsiteRecords.h"
#include "zid/response/BaseResp.h"

// Declared here so that a user of this header needs no XML library's headers.
namespace rapidxml {
template <class Ch>
class xml_node;
}  // namespace rapidxml

namespace zuzezi_zid {

/// A bucket's replication configuration (a "ReplicationConfiguration" document).
class ZID_API GetBucketReplicationResp : public BaseResp {
public:
    /// Reads "Role" and each "Rule"; unknown elements are logged as warnings and skipped.
    /// @param body the "ReplicationConfiguration" document.
    /// @return false when the body is not XML or has another root.
    bool ParseFromXmlString(const std::string& body) override;
    /// @return "Role": the identity the service replicates as; "" when absent.
    std::string GetRole() const { return m_role; }
    /// @return the rules in document order.
    std::vector<ReplicationRule> GetRules() const { return m_rules; }

private:
    std::string m_role;
    std::vector<ReplicationRule> m_rules;
};

/// A bucket's lifecycle configuration (a "LifecycleConfiguration" document).
class ZID_API GetBucketLifecycleResp : public BaseResp {
public:
    /// Reads each "Rule"; unknown elements are logged as warnings and skipped.
    /// @param body the "LifecycleConfiguration" document.
    /// @return false when the body is not XML or has another root.
    bool ParseFromXmlString(const std::string& body) override;
    /// @return the rules in document order; each rule's mask tells which parts it held.
    std::vector<LifecycleRule> GetRules() const { return m_rules; }

private:
    std::vector<LifecycleRule> m_rules;
};

/// A bucket's static-website configuration (a "WebsiteConfiguration" document).
class ZID_API GetBucketWebsiteResp : public BaseResp {
public:
    /// Reads the index document, the redirect of all requests, the error document and the
    /// routing rules; unknown elements are logged as warnings and skipped.
    /// @param body the "WebsiteConfiguration" document.
    /// @return false when the body is not XML or has another root.
    bool ParseFromXmlString(const std::string& body) override;
    /// Fills a rule from one "RoutingRule" element; used by ParseFromXmlString(), a caller
    /// has no need of it. A second "Condition" or "Redirect" replaces the first.
    /// @param node the element, of the document being parsed.
    /// @param rule the rule to fill.
    /// @return always true.
    bool ParseFromXmlRoutingRule(const rapidxml::xml_node<char>* node, RoutingRule* rule);

    /// Sets the index document's suffix.
    void SetSuffix(const std::string& suffix) { m_suffix = suffix; }
    /// Sets the protocol of the redirect of all requests.
    void SetProtocol(const std::string& protocol) { m_protocol = protocol; }
    /// Sets the error document's key.
    void SetKey(const std::string& key) { m_key = key; }
    /// Appends a copy of a routing rule.
    void AddRoutingRule(const RoutingRule& rule) { m_routing_rules.push_back(rule); }
    /// @return "IndexDocument/Suffix", e.g. "index.html"; "" when absent.
    std::string GetSuffix() const { return m_suffix; }
    /// @return "RedirectAllRequestsTo/Protocol"; "" when all requests are not redirected.
    std::string GetProtocol() const { return m_protocol; }
    /// @return "ErrorDocument/Key": the object shown on an error; "" when absent.
    std::string GetKey() const { return m_key; }
    /// @return the "RoutingRules/RoutingRule" entries in document order.
    std::vector<RoutingRule> GetRoutingRules() const { return m_routing_rules; }

private:
    std::string m_suffix;    // of the index document
    std::string m_protocol;  // of the redirect of all requests
    std::string m_key;       // of the error document
    std::vector<RoutingRule> m_routing_rules;
};

}  // namespace zuzezi_zid
