#pragma once

// Answers that objects and buckets share: the access control policy and the tag set.

#include <string>
#include <vector>

#include "request/BaseReq.h"
#include "request/Tag.h"
#include "response/BaseResp.h"

namespace zuzezi_zid {

class AccessControlResp : public BaseResp {
public:
    bool ParseFromXmlString(const std::string& body) override;
    std::string GetOwnerId() const { return m_owner_id; }
    std::string GetOwnerDisplayName() const { return m_owner_display_name; }
    std::vector<Grant> GetAccessControlList() const { return m_acl; }

private:
    std::string m_owner_id;
    std::string m_owner_display_name;
    std::vector<Grant> m_acl;
};

class TagSetResp : public BaseResp {
public:
    bool ParseFromXmlString(const std::string& body) override;
    void AddTag(const Tag& tag) { m_tags.push_back(tag); }
    std::vector<Tag> GetTagSet() const { return m_tags; }

private:
    std::vector<Tag> m_tags;
};

}  // namespace zuzezi_zid
