// Deleting every object under a prefix, page after page of the bucket listing.
#include <exception>
#include <string>
#include <vector>

#include "ZidAPI.h"
#include "response/BucketResp.h"
#include "util/StringUtil.h"

namespace zuzezi_zid {

namespace {

ZidResult Stopped(const std::string& message) {
    ZidResult result;
    result.SetErrorMsg(message);
    return result;
}

}  // namespace

ZidResult ZidAPI::DeleteObjectsByPrefix(const DeleteObjectsByPrefixReq& req,
                                        DeleteObjectsByPrefixResp* resp) {
    try {
        const std::string bucket = req.GetBucketName();
        const std::string prefix = req.GetPrefix();
        GetBucketReq list(bucket);
        list.SetPrefix(prefix);
        std::string marker;  // where the page being listed starts; "" for the first
        for (;;) {
            GetBucketResp page;
            ZidResult listed = m_bucket_op.GetBucket(list, &page, false);
            if (!listed.IsSucc()) {
                // Asked once of the backup domain, whatever the retry setting; the next page
                // starts on the default domain again.
                page = GetBucketResp();
                listed = m_bucket_op.GetBucket(list, &page, true);
                if (!listed.IsSucc()) {
                    return listed;
                }
            }
            const std::vector<Content> contents = page.GetContents();
            // A listing that strays outside the prefix is not trusted with any of its keys.
            for (const Content& content : contents) {
                if (!StringUtil::HasPrefix(content.m_key, prefix)) {
                    return Stopped("The bucket listing returned the key \"" + content.m_key +
                                   "\", which is outside the prefix \"" + prefix + "\"");
                }
            }
            for (const Content& content : contents) {
                DeleteObjectReq del(bucket, content.m_key);
                DeleteObjectResp del_resp;
                ZidResult deleted = DeleteObject(del, &del_resp);
                if (!deleted.IsSucc()) {
                    return deleted;
                }
                if (resp) {
                    resp->AddDeletedKey(content.m_key);
                }
            }
            if (!page.IsTruncated()) {
                return listed;
            }
            // Without a delimiter the service may leave the next marker out: the page's last
            // key is where the next page starts.
            std::string next = page.GetNextMarker();
            if (next.empty() && !contents.empty()) {
                next = contents.back().m_key;
            }
            // A page may stop early, even before its first key; only a marker that stays
            // put would list the same page again.
            if (next <= marker) {
                return Stopped("The bucket listing did not advance past the marker \"" + marker +
                               "\"");
            }
            marker = next;
            list.SetMarker(marker);
        }
    } catch (const std::exception& e) {
        return Stopped(std::string("DeleteObjectsByPrefix failed, exception: ") + e.what());
    }
}

}  // namespace zuzezi_zid
