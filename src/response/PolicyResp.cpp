#include "response/PolicyResp.h"

#include "response/XmlTable.h"

namespace zuzezi_zid {

using namespace xml;

bool AccessControlResp::ParseFromXmlString(const std::string& body) {
    return ParseFromACLXMLString(body, &m_owner_id, &m_owner_display_name, &m_acl);
}

bool TagSetResp::ParseFromXmlString(const std::string& body) {
    static const Table<Tag> kTag{{{"Key", SetText(&Tag::SetKey)}, {"Value", SetText(&Tag::SetValue)}},
                                 Unknown::kSkip};
    static const Table<TagSetResp> kTagSet{{{"Tag", Fill(&TagSetResp::AddTag, kTag)}},
                                           Unknown::kSkip};
    return ReadDocument(body, "Tagging", "Miss root node = Tagging, xml_body=%s", ZID_LOG_SITE,
                        [this](const Node* root, const Walk& walk) {
                            return ReadRequired(root, "TagSet", 2, "Miss node = TagSet, xml_body=%s",
                                                *this, kTagSet, walk);
                        });
}

}  // namespace zuzezi_zid
