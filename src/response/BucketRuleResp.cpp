#include "response/BucketRuleResp.h"

#include "response/XmlTable.h"

namespace zuzezi_zid {

using namespace xml;

namespace {

bool IsEnabled(const Node* node) { return XmlBodyReader::Text(node) == "Enabled"; }

// A leaf whose first content is text; an empty element or one that opens with an element
// is not.
bool IsLeafWithText(const Node* node) {
    const Node* first = node->first_node();
    return first && (first->type() == rapidxml::node_data || first->type() == rapidxml::node_cdata);
}

// Runs action on a copy of the rule's filter and stores the copy back.
Action<LifecycleRule> OnFilter(Action<LifecycleFilter> action) {
    return [action](LifecycleRule& rule, const Node* node, const Walk& walk) {
        LifecycleFilter filter = rule.GetFilter();
        const bool go_on = action(filter, node, walk);
        rule.SetFilter(filter);
        return go_on;
    };
}

}  // namespace

bool GetBucketReplicationResp::ParseFromXmlString(const std::string& body) {
    using Rule = ReplicationRule;
    static const Table<Rule> kLeaf{{{"Status", Into(&Rule::m_is_enable, Convert<bool>(&IsEnabled))},
                                    {"ID", Text(&Rule::m_id)},
                                    {"Prefix", Text(&Rule::m_prefix)}},
                                   Unknown::kWarn,
                                   "Unknown field in rule node, field_name=[%s]"};
    static const Table<Rule> kDestination{{{"Bucket", Text(&Rule::m_dest_bucket)},
                                           {"StorageClass", Text(&Rule::m_dest_storage_class)}},
                                          Unknown::kWarn,
                                          "Unknown field in destionation node, field_name=%s"};
    static const Table<Rule> kNode{{{"Destination", Children(kDestination)}},
                                   Unknown::kWarn,
                                   "Unknown field in rule node, field_name=%s"};
    using R = GetBucketReplicationResp;
    static const Table<R> kRoot{
        {{"Role", Text(&R::m_role)},
         {"Rule",
          [](R& resp, const Node* node, const Walk& walk) {
              Rule rule;
              ZID_FOR_EACH_CHILD(child, node) {
                  ReadElement(child, rule, IsLeafWithText(child) ? kLeaf : kNode, walk);
              }
              resp.m_rules.push_back(rule);
              return true;
          }}},
        Unknown::kWarn,
        "Unknown field, field_name=%s, xml_body=%s"};
    return ReadDocument(body, "ReplicationConfiguration",
                        "Miss root node=BucketReplicationRoot, xml_body=%s", ZID_LOG_SITE, *this, kRoot);
}

bool GetBucketLifecycleResp::ParseFromXmlString(const std::string& body) {
    static const Table<LifecycleTag> kTag{{{"Key", Text(&LifecycleTag::m_key)},
                                           {"Value", Text(&LifecycleTag::m_value)}},
                                          Unknown::kWarn,
                                          "Unknown field in tag node, field_name=%s"};
    using F = LifecycleFilter;
    static const Row<F> kPrefix{"Prefix", SetText(&F::SetPrefix)};
    static const Row<F> kTagRow{"Tag", Fill(&F::AddTag, kTag)};
    static const Table<F> kAnd{{kPrefix, kTagRow}, Unknown::kWarn,
                               "Unknown field in and node, field_name=%s"};
    static const Table<F> kFilter{{{"And", Children(kAnd)}, kPrefix, kTagRow},
                                  Unknown::kWarn,
                                  "Unknown field in filter node, field_name=%s"};
    using T = LifecycleTransition;
    static const Table<T> kTransition{{{"Days", SetNumber(&T::SetDays)},
                                       {"Date", SetText(&T::SetDate)},
                                       {"StorageClass", SetText(&T::SetStorageClass)}},
                                      Unknown::kWarn,
                                      "Unknown field in transition node, field_name=%s"};
    using E = LifecycleExpiration;
    static const Table<E> kExpiration{
        {{"Days", SetNumber(&E::SetDays)},
         {"Date", SetText(&E::SetDate)},
         {"ExpiredObjectDeleteMarker",
          Call(&E::SetExpiredObjDelMarker, Convert<bool>(&XmlBodyReader::Flag))}},
        Unknown::kWarn,
        "Unknown field in expiration node, field_name=%s"};
    using NT = LifecycleNonCurrTransition;
    static const Table<NT> kNonCurrTransition{
        {{"NoncurrentDays", SetNumber(&NT::SetDays)}, {"StorageClass", SetText(&NT::SetStorageClass)}},
        Unknown::kWarn,
        "Unknown field in NoncurrentVersionTransition node,field_name=%s"};
    using NE = LifecycleNonCurrExpiration;
    static const Table<NE> kNonCurrExpiration{
        {{"NoncurrentDays", SetNumber(&NE::SetDays)}},
        Unknown::kWarn,
        "Unknown field in NoncurrentVersionExpiration node,field_name=%s"};
    using A = AbortIncompleteMultipartUpload;
    static const Table<A> kAbort{{{"DaysAfterInitiation", Number(&A::m_days_after_initiation)}},
                                 Unknown::kWarn,
                                 "Unknown field in AbortIncompleteMultipartUpload node,field_name=%s"};
    using L = LifecycleRule;
    static const Table<L> kRule{
        {{"ID", SetText(&L::SetId)},
         {"Prefix", OnFilter(kPrefix.action)},
         {"Filter", OnFilter(Children(kFilter))},
         {"Status", Call(&L::SetIsEnable, Convert<bool>(&IsEnabled))},
         {"Transition", Fill(&L::AddTransition, kTransition)},
         {"Expiration", Fill(&L::SetExpiration, kExpiration)},
         {"NoncurrentVersionTransition", Fill(&L::SetNonCurrTransition, kNonCurrTransition)},
         {"NoncurrentVersionExpiration", Fill(&L::SetNonCurrExpiration, kNonCurrExpiration)},
         {"AbortIncompleteMultipartUpload", Fill(&L::SetAbortIncompleteMultiUpload, kAbort)}},
        Unknown::kWarn,
        "Unknown field in Rule node, field_name=%s"};
    static const Table<GetBucketLifecycleResp> kRoot{
        {{"Rule", AppendRecord(&GetBucketLifecycleResp::m_rules, kRule)}},
        Unknown::kWarn,
        "Unknown field in LifecycleConfiguration node, field_name=%s"};
    return ReadDocument(body, "LifecycleConfiguration",
                        "Miss root node=LifecycleConfiguration, xml_body=%s", ZID_LOG_SITE, *this, kRoot);
}

bool GetBucketWebsiteResp::ParseFromXmlString(const std::string& body) {
    using R = GetBucketWebsiteResp;
    static const Table<R> kRules{{{"RoutingRule",
                                   [](R& resp, const Node* node, const Walk&) {
                                       RoutingRule rule;
                                       resp.ParseFromXmlRoutingRule(node, &rule);
                                       resp.AddRoutingRule(rule);
                                       return true;
                                   }}},
                                 Unknown::kSkip};
    static const Table<R> kRoot{
        {{"IndexDocument", FirstChild<R>({"Suffix", SetText(&R::SetSuffix), "suffix value=%s"})},
         {"RedirectAllRequestsTo",
          FirstChild<R>({"Protocol", SetText(&R::SetProtocol), "Protocol value=%s"})},
         {"ErrorDocument", FirstChild<R>({"Key", SetText(&R::SetKey), "key_name value=%s"})},
         {"RoutingRules", Children(kRules)}},
        Unknown::kWarn,
        "Unknown field, field_name=%s, xml_body=%s"};
    return ReadDocument(body, "WebsiteConfiguration",
                        "Miss root node=WebsiteConfiguration, xml_body=%s", ZID_LOG_SITE, *this, kRoot);
}

bool GetBucketWebsiteResp::ParseFromXmlRoutingRule(const rapidxml::xml_node<>* node,
                                                   RoutingRule* rule) {
    static const Table<Condition> kCondition{
        {{"HttpErrorCodeReturnedEquals",
          Call(&Condition::SetHttpErrorCodeReturnedEquals, Convert<int>(&XmlBodyReader::Int))},
         {"KeyPrefixEquals", SetText(&Condition::SetKeyPrefixEquals)}},
        Unknown::kWarn,
        "Condition have no contents, condition_name = %s."};
    static const Table<Redirect> kRedirect{
        {{"Protocol", SetText(&Redirect::SetProtocol)},
         {"ReplaceKeyWith", SetText(&Redirect::SetReplaceKeyWith)},
         {"ReplaceKeyPrefixWith", SetText(&Redirect::SetReplaceKeyPrefixWith)}},
        Unknown::kWarn,
        "Redirect have no contents, redirect_node_name = %s"};
    static const Table<RoutingRule> kRule{{{"Condition", Fill(&RoutingRule::SetCondition, kCondition)},
                                           {"Redirect", Fill(&RoutingRule::SetRedirect, kRedirect)}},
                                          Unknown::kWarn,
                                          "RoutingRule have no contents, rule_node_name = %s."};
    static const std::string kNoBody;
    ReadChildren(node, *rule, kRule, Walk{kNoBody, ZID_LOG_SITE});
    return true;
}

}  // namespace zuzezi_zid
