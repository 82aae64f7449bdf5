#pragma once

#include <string>
#include <vector>

#include "request/BaseReq.h"

namespace zuzezi_zid {

// One unfinished multipart upload as a bucket listing reports it.
struct Upload {
    std::string m_key;
    std::string m_upload_id;
    std::string m_storage_class;
    std::vector<Owner> m_initiator;
    std::vector<Owner> m_owner;
    std::string m_initiated;  // as the service wrote it
};

}  // namespace zuzezi_zid
