/// @file
/// Owner and Grant, the records of an access-control list, which requests write and
/// responses read.
#pragma once

#include <string>

namespace zuzezi_zid {

/// Owner of an access-control list (element "Owner").
struct Owner {
    std::string m_id;            ///< Element "ID"; required in a request body.
    std::string m_display_name;  ///< Element "DisplayName"; left out when "".
};

/// One grant of an access-control list (element "Grant").
struct Grant {
    std::string m_type;          ///< Value of the grantee's "xsi:type" attribute, such as
                                 ///< "CanonicalUser" or "Group".
    std::string m_id;            ///< Grantee element "ID"; left out when "".
    std::string m_display_name;  ///< Grantee element "DisplayName"; left out when "".
    std::string m_uri;           ///< Grantee element "URI" (a group); left out when "".
    std::string m_perm;          ///< Element "Permission", such as "READ" or "FULL_CONTROL".
};

}  // namespace zuzezi_zid
