/// @file
/// Answers of the bucket operations that carry no document of their own.
#pragma once

#include <string>
#include <vector>

#include "zid/ZidExport.h"
#include "zid/response/BaseResp.h"

namespace zuzezi_zid {

/// The answer to a HEAD of a bucket: headers only (read them with GetHeader()). A bucket
/// that does not exist gives a failed `ZidResult` with status 404.
class HeadBucketResp : public BaseResp {};

/// Keys that a delete by prefix removed, in the order it removed them. A response passed
/// to several calls holds the keys of all of them; a call that failed part way holds the
/// keys removed before the failure.
class ZID_API DeleteObjectsByPrefixResp : public BaseResp {
public:
    DeleteObjectsByPrefixResp() = default;
    /// Appends a key to the list; the call does this for each key it removed.
    /// @param key the object key.
    void AddDeletedKey(const std::string& key) { m_deleted_keys.push_back(key); }
    /// @return the removed keys, oldest removal first; empty when nothing was removed.
    std::vector<std::string> GetDeletedKeys() const { return m_deleted_keys; }

private:
    std::vector<std::string> m_deleted_keys;
};

}  // namespace zuzezi_zid
