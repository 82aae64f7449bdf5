#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "request/BaseReq.h"
#include "request/Tag.h"

namespace zuzezi_zid {

class AsyncContext;

// (transferred bytes, total bytes, user data)
using TransferProgressCallback = std::function<void(uint64_t, uint64_t, void*)>;
// (context of the finished call, user data)
using DoneCallback = std::function<void(const std::shared_ptr<AsyncContext>&, void*)>;

class ObjectReq : public BaseReq {
public:
    // Throws std::invalid_argument for a bucket name that fails the name check.
    ObjectReq(const std::string& bucket_name, const std::string& object_name);
    ~ObjectReq() override = default;

    virtual std::string GetLocalFilePath() const { return ""; }

    std::string GetBucketName() const { return m_bucket_name; }
    std::string GetObjectName() const { return m_object_name; }
    // Drops one leading "/" and makes the path "/" + name.
    void SetObjectName(const std::string& object_name);

    void SetTransferProgressCallback(const TransferProgressCallback& cb) { m_progress_cb = cb; }
    TransferProgressCallback GetTransferProgressCallback() const { return m_progress_cb; }
    void SetDoneCallback(const DoneCallback& cb) { m_done_cb = cb; }
    DoneCallback GetDoneCallback() const { return m_done_cb; }
    void SetUserData(void* user_data) { m_user_data = user_data; }
    void* GetUserData() const { return m_user_data; }

protected:
    // For requests that fix their method and, for a sub-resource, one empty query parameter.
    ObjectReq(const std::string& bucket_name, const std::string& object_name, const char* method,
              const char* sub_resource = nullptr);
    ObjectReq(const std::string& bucket_name, const std::string& object_name, RegionalProcessing);
    // The name exactly as given, a leading "/" included; the path is "/" + name.
    void SetExactObjectName(const std::string& object_name);

private:
    std::string m_bucket_name;
    std::string m_object_name;
    TransferProgressCallback m_progress_cb;
    DoneCallback m_done_cb;
    void* m_user_data = nullptr;
};

// ---- download ---------------------------------------------------------------

class GetObjectReq : public ObjectReq {
public:
    GetObjectReq(const std::string& bucket_name, const std::string& object_name)
        : ObjectReq(bucket_name, object_name, "GET") {}
};

class GetObjectByStreamReq : public GetObjectReq {
public:
    GetObjectByStreamReq(const std::string& bucket_name, const std::string& object_name,
                         std::ostream& os)
        : GetObjectReq(bucket_name, object_name), m_os(&os) {}
    std::ostream& GetStream() const { return *m_os; }

private:
    std::ostream* m_os;  // the caller's
};

class GetObjectByFileReq : public GetObjectReq {
public:
    // An empty local path means a file named after the key under the working folder.
    GetObjectByFileReq(const std::string& bucket_name, const std::string& object_name,
                       const std::string& local_file_path = "");
    std::string GetLocalFilePath() const override { return m_local_file_path; }

private:
    std::string m_local_file_path;
};

class AsyncGetObjectReq : public GetObjectByFileReq {
public:
    using GetObjectByFileReq::GetObjectByFileReq;
};

class AsyncMultiGetObjectReq : public GetObjectByFileReq {
public:
    using GetObjectByFileReq::GetObjectByFileReq;
};

class HeadObjectReq : public ObjectReq {
public:
    HeadObjectReq(const std::string& bucket_name, const std::string& object_name)
        : ObjectReq(bucket_name, object_name, "HEAD") {}
};

// The key is taken exactly: "/a" deletes "/a", never "a".
class DeleteObjectReq : public ObjectReq {
public:
    DeleteObjectReq(const std::string& bucket_name, const std::string& object_name)
        : ObjectReq(bucket_name, object_name, "DELETE") {
        SetExactObjectName(object_name);
    }
};

// ---- upload -----------------------------------------------------------------

class PutObjectReq : public ObjectReq {
public:
    PutObjectReq(const std::string& bucket_name, const std::string& object_name)
        : ObjectReq(bucket_name, object_name, "PUT") {}

    bool ShouldComputeContentMd5() const { return m_need_compute_content_md5; }
    bool ShouldCheckETag() const { return m_need_check_etag; }
    void TurnOffComputeConentMd5() { m_need_compute_content_md5 = false; }
    void TurnOffCheckETag() { m_need_check_etag = false; }

private:
    bool m_need_compute_content_md5 = true;
    bool m_need_check_etag = true;
};

class PutObjectByFileReq : public PutObjectReq {
public:
    PutObjectByFileReq(const std::string& bucket_name, const std::string& object_name,
                       const std::string& local_file_path = "");
    std::string GetLocalFilePath() const override { return m_local_file_path; }
    // Size in bytes, -1 when the file cannot be opened.
    virtual int64_t GetLocalFileSize() const;

private:
    std::string m_local_file_path;
};

class AsyncPutObjectReq : public PutObjectByFileReq {
public:
    using PutObjectByFileReq::PutObjectByFileReq;
};

class AsyncMultiPutObjectReq : public PutObjectByFileReq {
public:
    using PutObjectByFileReq::PutObjectByFileReq;
};

class PutObjectByStreamReq : public PutObjectReq {
public:
    PutObjectByStreamReq(const std::string& bucket_name, const std::string& object_name,
                         std::istream& in)
        : PutObjectReq(bucket_name, object_name), m_in(&in) {}
    std::istream& GetStream() const { return *m_in; }

private:
    std::istream* m_in;  // the caller's; must outlive the request
};

class AsyncPutObjectByStreamReq : public PutObjectByStreamReq {
public:
    using PutObjectByStreamReq::PutObjectByStreamReq;
};

class PutDirectoryReq : public PutObjectReq {
public:
    using PutObjectReq::PutObjectReq;
};

// Local folder -> objects under a key prefix.
class PutObjectsByDirectoryReq : public PutObjectReq {
public:
    PutObjectsByDirectoryReq(const std::string& bucket_name, const std::string& directory_name,
                             const std::string& zid_path = "")
        : PutObjectReq(bucket_name, ""), m_directory_name(directory_name), m_zid_path(zid_path) {}
    std::string GetDirectoryName() const { return m_directory_name; }
    std::string GetZidPath() const { return m_zid_path; }

private:
    std::string m_directory_name;
    std::string m_zid_path;
};

// ---- multipart --------------------------------------------------------------

class InitMultiUploadReq : public ObjectReq {
public:
    InitMultiUploadReq(const std::string& bucket_name, const std::string& object_name)
        : ObjectReq(bucket_name, object_name, "POST") {}
};

class UploadPartDataReq : public ObjectReq {
public:
    UploadPartDataReq(const std::string& bucket_name, const std::string& object_name,
                      const std::string& upload_id, std::istream& in);

    std::string GetUploadId() const { return m_upload_id; }
    uint64_t GetPartNumber() const { return m_part_number; }
    void SetPartNumber(uint64_t part_number) { m_part_number = part_number; }
    std::istream& GetStream() const { return *m_in; }
    bool ShouldComputeContentMd5() const { return m_need_compute_content_md5; }
    void SetTrafficLimit(const std::string& limit) { AddHeader("x-zid-traffic-limit", limit); }

private:
    std::istream* m_in;  // the caller's
    std::string m_upload_id;
    uint64_t m_part_number = 1;
    bool m_need_compute_content_md5 = true;
};

class UploadPartCopyDataReq : public ObjectReq {
public:
    // The copy source travels in the "x-zid-copy-source" header (and its range header).
    UploadPartCopyDataReq(const std::string& bucket_name, const std::string& object_name,
                          const std::string& upload_id, uint64_t part_number);
    std::string GetUploadId() const { return m_upload_id; }
    uint64_t GetPartNumber() const { return m_part_number; }

private:
    std::string m_upload_id;
    uint64_t m_part_number;
};

class CompleteMultiUploadReq : public ObjectReq {
public:
    CompleteMultiUploadReq(const std::string& bucket_name, const std::string& object_name,
                           const std::string& upload_id);

    std::string GetUploadId() const { return m_upload_id; }
    void SetPartNumbers(const std::vector<uint64_t>& part_numbers) { m_part_numbers = part_numbers; }
    void SetEtags(const std::vector<std::string>& etags) { m_etags = etags; }
    std::vector<uint64_t> GetPartNumbers() const { return m_part_numbers; }
    std::vector<std::string> GetEtags() const { return m_etags; }

    // False when the two lists differ in length.
    bool GenerateRequestBody(std::string* body) const;

private:
    std::string m_upload_id;
    std::vector<uint64_t> m_part_numbers;
    std::vector<std::string> m_etags;
};

class AbortMultiUploadReq : public ObjectReq {
public:
    AbortMultiUploadReq(const std::string& bucket_name, const std::string& object_name,
                        const std::string& upload_id);
    std::string GetUploadId() const { return m_upload_id; }

private:
    std::string m_upload_id;
};

class ListPartsReq : public ObjectReq {
public:
    ListPartsReq(const std::string& bucket_name, const std::string& object_name,
                 const std::string& upload_id);
    void SetPartNumberMarker(const std::string& marker) { AddParam("part-number-marker", marker); }
};

// ---- copy and move ----------------------------------------------------------

class PutObjectCopyReq : public ObjectReq {
public:
    PutObjectCopyReq(const std::string& bucket_name, const std::string& object_name)
        : ObjectReq(bucket_name, object_name, "PUT") {}
    void SetXZidCopySource(const std::string& src) { AddHeader("x-zid-copy-source", src); }
};

class CopyReq : public ObjectReq {
public:
    CopyReq(const std::string& bucket_name, const std::string& object_name);

    void SetXZidCopySource(const std::string& src) { AddHeader("x-zid-copy-source", src); }
    uint64_t GetPartSize() const { return m_part_size; }
    unsigned GetThreadPoolSize() const { return m_thread_pool_size; }

    // Headers handed on to the initiation and to every part copy of a multipart copy.
    std::map<std::string, std::string> GetInitHeader() const;
    std::map<std::string, std::string> GetPartCopyHeader() const;

private:
    uint64_t m_part_size;
    unsigned m_thread_pool_size;
};

class MoveObjectReq : public ObjectReq {
public:
    MoveObjectReq(const std::string& bucket_name, const std::string& src_object_name,
                  const std::string& dst_object_name)
        : ObjectReq(bucket_name, src_object_name),
          m_src_object_name(src_object_name),
          m_dst_object_name(dst_object_name) {}
    std::string GetSrcObjectName() const { return m_src_object_name; }
    std::string GetDstObjectName() const { return m_dst_object_name; }

private:
    std::string m_src_object_name;
    std::string m_dst_object_name;
};

// ---- several objects at once ------------------------------------------------

class DeleteObjectsReq : public ObjectReq {
public:
    explicit DeleteObjectsReq(const std::string& bucket_name);

    void SetQuiet(bool quiet) { m_is_quiet = quiet; }
    bool IsQuiet() const { return m_is_quiet; }
    // An empty version id deletes the current version.
    void AddObject(const std::string& key, const std::string& version_id = "") {
        m_objects.emplace_back(key, version_id);
    }
    const std::vector<std::pair<std::string, std::string>>& GetObjects() const { return m_objects; }

    bool GenerateRequestBody(std::string* body) const;

private:
    bool m_is_quiet = false;
    std::vector<std::pair<std::string, std::string>> m_objects;  // key, version id
};

// ---- access control, tagging, restore ---------------------------------------

class GetObjectACLReq : public ObjectReq {
public:
    GetObjectACLReq(const std::string& bucket_name, const std::string& object_name)
        : ObjectReq(bucket_name, object_name, "GET", "acl") {}
};

class PutObjectACLReq : public ObjectReq {
public:
    PutObjectACLReq(const std::string& bucket_name, const std::string& object_name)
        : ObjectReq(bucket_name, object_name, "PUT", "acl") {}

    void SetOwner(const Owner& owner) { m_owner = owner; }
    const Owner& GetOwner() const { return m_owner; }
    void AddAccessControlList(const Grant& grant) { m_acl.push_back(grant); }
    void SetAccessControlList(const std::vector<Grant>& acl) { m_acl = acl; }
    const std::vector<Grant>& GetAccessControlList() const { return m_acl; }
    void SetXZidAcl(const std::string& acl) { AddHeader("x-zid-acl", acl); }

    bool GenerateRequestBody(std::string* body) const;

private:
    Owner m_owner;
    std::vector<Grant> m_acl;
};

class GetObjectTaggingReq : public ObjectReq {
public:
    GetObjectTaggingReq(const std::string& bucket_name, const std::string& object_name)
        : ObjectReq(bucket_name, object_name, "GET", "tagging") {}
};

class PutObjectTaggingReq : public ObjectReq {
public:
    PutObjectTaggingReq(const std::string& bucket_name, const std::string& object_name)
        : ObjectReq(bucket_name, object_name, "PUT", "tagging") {}

    void AddTag(const Tag& tag) { m_tags.push_back(tag); }
    void SetTagSet(const std::vector<Tag>& tags) { m_tags = tags; }
    const std::vector<Tag>& GetTagSet() const { return m_tags; }

    bool GenerateRequestBody(std::string* body) const;

private:
    std::vector<Tag> m_tags;
};

class DeleteObjectTaggingReq : public ObjectReq {
public:
    DeleteObjectTaggingReq(const std::string& bucket_name, const std::string& object_name)
        : ObjectReq(bucket_name, object_name, "DELETE", "tagging") {}
};

class PostObjectRestoreReq : public ObjectReq {
public:
    PostObjectRestoreReq(const std::string& bucket_name, const std::string& object_name)
        : ObjectReq(bucket_name, object_name, "POST", "restore") {}

    void SetExpiryDays(uint64_t days) { m_expiry_days = days; }
    uint64_t GetExpiryDays() const { return m_expiry_days; }
    void SetTier(const std::string& tier) { m_tier = tier; }
    std::string GetTier() const { return m_tier; }

    bool GenerateRequestBody(std::string* body) const;

private:
    uint64_t m_expiry_days = 0;
    std::string m_tier;
};

// ---- presigned URL ----------------------------------------------------------

class GeneratePresignedUrlReq : public ObjectReq {
public:
    // method: 0 HEAD, 1 GET, 2 PUT, 3 POST, 4 DELETE, 5 OPTIONS.
    GeneratePresignedUrlReq(const std::string& bucket_name, const std::string& object_name,
                            int method);

    void SetStartTimeInSec(uint64_t start) { m_start_time_in_s = start; }
    uint64_t GetStartTimeInSec() const { return m_start_time_in_s; }
    void SetExpiredTimeInSec(uint64_t expired) { m_expired_time_in_s = expired; }
    uint64_t GetExpiredTimeInSec() const { return m_expired_time_in_s; }
    void SetUseHttps(bool on) { m_use_https = on; }
    bool UseHttps() const { return m_use_https; }

private:
    uint64_t m_start_time_in_s = 0;
    uint64_t m_expired_time_in_s = 0;
    bool m_use_https = true;
};

}  // namespace zuzezi_zid
