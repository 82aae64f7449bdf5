#pragma once

// Bucket settings made of rules: replication, lifecycle and the static website.

#include <string>
#include <vector>

#include "response/BaseResp.h"
#include "response/BucketRecords.h"
#include "response/LifecycleRecords.h"
#include "response/WebsiteRecords.h"

// Declared here so that a user of this header needs no XML library's headers.
namespace rapidxml {
template <class Ch>
class xml_node;
}  // namespace rapidxml

namespace zuzezi_zid {

class GetBucketReplicationResp : public BaseResp {
public:
    bool ParseFromXmlString(const std::string& body) override;
    std::string GetRole() const { return m_role; }
    std::vector<ReplicationRule> GetRules() const { return m_rules; }

private:
    std::string m_role;
    std::vector<ReplicationRule> m_rules;
};

class GetBucketLifecycleResp : public BaseResp {
public:
    bool ParseFromXmlString(const std::string& body) override;
    std::vector<LifecycleRule> GetRules() const { return m_rules; }

private:
    std::vector<LifecycleRule> m_rules;
};

class GetBucketWebsiteResp : public BaseResp {
public:
    bool ParseFromXmlString(const std::string& body) override;
    // Fills rule from one "RoutingRule" element.
    bool ParseFromXmlRoutingRule(const rapidxml::xml_node<char>* node, RoutingRule* rule);

    void SetSuffix(const std::string& suffix) { m_suffix = suffix; }
    void SetProtocol(const std::string& protocol) { m_protocol = protocol; }
    void SetKey(const std::string& key) { m_key = key; }
    void AddRoutingRule(const RoutingRule& rule) { m_routing_rules.push_back(rule); }
    std::string GetSuffix() const { return m_suffix; }
    std::string GetProtocol() const { return m_protocol; }
    std::string GetKey() const { return m_key; }
    std::vector<RoutingRule> GetRoutingRules() const { return m_routing_rules; }

private:
    std::string m_suffix;    // of the index document
    std::string m_protocol;  // of the redirect of all requests
    std::string m_key;       // of the error document
    std::vector<RoutingRule> m_routing_rules;
};

}  // namespace zuzezi_zid
