// Answers of the bucket operations that carry no document of their own.
#pragma once

#include <string>
#include <vector>

#include "response/BaseResp.h"

namespace zuzezi_zid {

// HEAD of a bucket: headers only.
class HeadBucketResp : public BaseResp {};

// Keys that a delete by prefix removed, in the order it removed them; a response passed
// to several calls holds the keys of all of them.
class DeleteObjectsByPrefixResp : public BaseResp {
public:
    DeleteObjectsByPrefixResp() = default;
    void AddDeletedKey(const std::string& key) { m_deleted_keys.push_back(key); }
    std::vector<std::string> GetDeletedKeys() const { return m_deleted_keys; }

private:
    std::vector<std::string> m_deleted_keys;
};

}  // namespace zuzezi_zid
