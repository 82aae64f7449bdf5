#pragma once

/// @file
/// Answers that objects and buckets share: the access control policy and the tag set.

#include <string>
#include <vector>

#include "zid/ZidExport.h"
#include "zid/model/Tag.h"
#include "zid/request/BaseReq.h"
#include "zid/response/BaseResp.h"

namespace zuzezi_zid {

/// An "AccessControlPolicy" document: the owner and the grants of an object or a bucket.
class ZID_API AccessControlResp : public BaseResp {
public:
    /// Reads the owner and the grants; a second parse appends its grants to the first's.
    /// @param body the "AccessControlPolicy" document.
    /// @return false, with an error logged, when the body is not XML or has another root.
    bool ParseFromXmlString(const std::string& body) override;
    /// @return "Owner/ID"; "" when absent.
    std::string GetOwnerId() const { return m_owner_id; }
    /// @return "Owner/DisplayName"; "" when absent.
    std::string GetOwnerDisplayName() const { return m_owner_display_name; }
    /// @return the "AccessControlList/Grant" entries in document order.
    std::vector<Grant> GetAccessControlList() const { return m_acl; }

private:
    std::string m_owner_id;
    std::string m_owner_display_name;
    std::vector<Grant> m_acl;
};

/// A "Tagging" document: the tag set of an object or a bucket.
class ZID_API TagSetResp : public BaseResp {
public:
    /// Reads each "TagSet/Tag" ("Key", "Value"); unknown elements are skipped.
    /// @param body the "Tagging" document.
    /// @return false when the body is not XML, its root is not "Tagging" or it has no
    ///         "TagSet".
    bool ParseFromXmlString(const std::string& body) override;
    /// Appends a tag; the parse does this for each tag it reads.
    /// @param tag the tag.
    void AddTag(const Tag& tag) { m_tags.push_back(tag); }
    /// @return the tags in document order; empty for an empty tag set.
    std::vector<Tag> GetTagSet() const { return m_tags; }

private:
    std::vector<Tag> m_tags;
};

}  // namespace zuzezi_zid
