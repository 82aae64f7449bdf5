/// @file
/// ObjectReq, the base of every request addressed to an object, and the object requests:
/// download, upload, multipart, copy and move, multi-delete, access control, tagging,
/// restore and presigned URL.
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

#include "zid/ZidExport.h"
#include "zid/model/Tag.h"
#include "zid/request/BaseReq.h"
#include "zid/trsf/TransferHandler.h"

namespace zuzezi_zid {

/// A request addressed to one object of a bucket: the object key gives the path.
///
/// The progress and done callbacks and the user data are taken by the asynchronous
/// methods of ZidAPI only: no synchronous method calls either callback, the synchronous
/// multipart upload ZidAPI::MultiUploadObject() and the multi-threaded
/// ZidAPI::MultiGetObject() included.
class ZID_API ObjectReq : public BaseReq, public TransferSource {
public:
    /// A request with an empty method and the path "/" + key.
    /// @param bucket_name the bucket, "NAME-APPID" or NAME alone: ASCII letters, digits and
    ///                    "-", not beginning or ending with "-"
    /// @param object_name the object key; one leading "/" is dropped
    /// @throws std::invalid_argument "Invalid bucket_name argument :" + name for a bucket
    ///         name that fails the check
    ObjectReq(const std::string& bucket_name, const std::string& object_name);
    ~ObjectReq() override = default;

    /// The local file of a file transfer; "" for other requests.
    std::string GetLocalFilePath() const override { return ""; }

    /// The bucket name as given.
    std::string GetBucketName() const override { return m_bucket_name; }
    /// The object key, without a leading "/" (except for a DeleteObjectReq).
    std::string GetObjectName() const override { return m_object_name; }
    /// Sets the key: drops one leading "/" and makes the path "/" + key.
    void SetObjectName(const std::string& object_name);

    /// Sets the progress callback; see TransferProgressCallback for its threads.
    void SetTransferProgressCallback(const TransferProgressCallback& cb) { m_progress_cb = cb; }
    /// The progress callback; empty for none.
    TransferProgressCallback GetTransferProgressCallback() const override { return m_progress_cb; }
    /// Sets the callback called once when an asynchronous call has ended, on the pool
    /// thread that ended it.
    void SetDoneCallback(const DoneCallback& cb) { m_done_cb = cb; }
    /// The done callback; empty for none.
    DoneCallback GetDoneCallback() const override { return m_done_cb; }
    /// Sets the pointer handed to both callbacks; the caller keeps what it points to alive
    /// until the transfer has ended.
    void SetUserData(void* user_data) { m_user_data = user_data; }
    /// The pointer handed to both callbacks; null by default.
    void* GetUserData() const override { return m_user_data; }

protected:
    /// For requests that fix their method and, for a sub-resource, one query parameter
    /// with an empty value.
    ObjectReq(const std::string& bucket_name, const std::string& object_name, const char* method,
              const char* sub_resource = nullptr);
    /// A request to the regional processing host: the bucket name may be empty.
    ObjectReq(const std::string& bucket_name, const std::string& object_name, RegionalProcessing);
    /// Sets the key exactly as given, a leading "/" included; the path is "/" + key.
    void SetExactObjectName(const std::string& object_name);

private:
    std::string m_bucket_name;
    std::string m_object_name;
    TransferProgressCallback m_progress_cb;
    DoneCallback m_done_cb;
    void* m_user_data = nullptr;
};

// ---- download ---------------------------------------------------------------

/// "GET" of an object. Add a "Range" header ("bytes=FIRST-LAST") for part of it; the MD5
/// check is then skipped.
class ZID_API GetObjectReq : public ObjectReq {
public:
    /// @param bucket_name, object_name as for ObjectReq; throws std::invalid_argument for a
    ///        bad bucket name
    GetObjectReq(const std::string& bucket_name, const std::string& object_name)
        : ObjectReq(bucket_name, object_name, "GET") {}
};

/// A download into the caller's stream.
class ZID_API GetObjectByStreamReq : public GetObjectReq {
public:
    /// @param bucket_name, object_name as for ObjectReq
    /// @param os receives the body; the caller keeps it alive while the request is in use.
    ///           Before a backup-domain pass it is put back where it stood, so it should
    ///           be seekable.
    GetObjectByStreamReq(const std::string& bucket_name, const std::string& object_name,
                         std::ostream& os)
        : GetObjectReq(bucket_name, object_name), m_os(&os) {}
    /// The caller's stream.
    std::ostream& GetStream() const { return *m_os; }

private:
    std::ostream* m_os;  // the caller's
};

/// A download into a local file. For the single and multi-threaded downloads the file
/// takes its place only once the whole body was written and closed without error, so a
/// failed download leaves an existing file as it was; the resumable download writes the
/// file in place, beside its checkpoint (the file's name plus ".zidresumabletask").
class ZID_API GetObjectByFileReq : public GetObjectReq {
public:
    /// @param bucket_name, object_name as for ObjectReq
    /// @param local_file_path the file to write; "" means "./" + key under the working
    ///        folder (a key with ".." pieces is folded so that it cannot climb above it)
    GetObjectByFileReq(const std::string& bucket_name, const std::string& object_name,
                       const std::string& local_file_path = "");
    /// The local file.
    std::string GetLocalFilePath() const override { return m_local_file_path; }

private:
    std::string m_local_file_path;
};

/// A download into a local file for ZidAPI::AsyncGetObject() and
/// ZidAPI::AsyncResumableGetObject(); constructed as GetObjectByFileReq.
class ZID_API AsyncGetObjectReq : public GetObjectByFileReq {
public:
    using GetObjectByFileReq::GetObjectByFileReq;
};

/// A multi-threaded download into a local file for ZidAPI::AsyncMultiGetObject();
/// constructed as GetObjectByFileReq.
class ZID_API AsyncMultiGetObjectReq : public GetObjectByFileReq {
public:
    using GetObjectByFileReq::GetObjectByFileReq;
};

/// "HEAD" of an object: its headers without its body.
class ZID_API HeadObjectReq : public ObjectReq {
public:
    /// @param bucket_name, object_name as for ObjectReq; throws std::invalid_argument for a
    ///        bad bucket name
    HeadObjectReq(const std::string& bucket_name, const std::string& object_name)
        : ObjectReq(bucket_name, object_name, "HEAD") {}
};

/// "DELETE" of an object. The key is taken exactly: "/a" deletes "/a", never "a".
/// Add the parameter "versionId" to delete one version.
class ZID_API DeleteObjectReq : public ObjectReq {
public:
    /// @param bucket_name as for ObjectReq
    /// @param object_name the key, exactly as stored
    DeleteObjectReq(const std::string& bucket_name, const std::string& object_name)
        : ObjectReq(bucket_name, object_name, "DELETE") {
        SetExactObjectName(object_name);
    }
};

// ---- upload -----------------------------------------------------------------

/// "PUT" of an object. Headers such as "Content-Type", "x-zid-storage-class", "x-zid-acl"
/// and "x-zid-meta-..." travel as set.
class ZID_API PutObjectReq : public ObjectReq {
public:
    /// @param bucket_name, object_name as for ObjectReq; throws std::invalid_argument for a
    ///        bad bucket name
    PutObjectReq(const std::string& bucket_name, const std::string& object_name)
        : ObjectReq(bucket_name, object_name, "PUT") {}

    /// Whether the upload computes and sends "Content-MD5" (unless the caller set one);
    /// default true.
    bool ShouldComputeContentMd5() const { return m_need_compute_content_md5; }
    /// Whether the answer's ETag is compared with the MD5 sent; default true. A mismatch
    /// fails with "Response etag is not correct, Please try again.".
    bool ShouldCheckETag() const { return m_need_check_etag; }
    /// Sends no computed "Content-MD5", which also skips the ETag check.
    void TurnOffComputeConentMd5() { m_need_compute_content_md5 = false; }
    /// Skips the ETag check.
    void TurnOffCheckETag() { m_need_check_etag = false; }

private:
    bool m_need_compute_content_md5 = true;
    bool m_need_check_etag = true;
};

/// An upload of a local file, in one request (ZidAPI::PutObject()) or in parts
/// (ZidAPI::MultiUploadObject(), ZidAPI::AsyncMultiPutObject()).
class ZID_API PutObjectByFileReq : public PutObjectReq {
public:
    /// @param bucket_name, object_name as for ObjectReq
    /// @param local_file_path the file to send; "" means "./" + key under the working
    ///        folder (folded as for GetObjectByFileReq)
    PutObjectByFileReq(const std::string& bucket_name, const std::string& object_name,
                       const std::string& local_file_path = "");
    /// The local file.
    std::string GetLocalFilePath() const override { return m_local_file_path; }
    /// Size of the local file in bytes, read now; -1 when the file cannot be opened.
    virtual int64_t GetLocalFileSize() const;

private:
    std::string m_local_file_path;
};

/// An upload of a local file in one request for ZidAPI::AsyncPutObject(); constructed as
/// PutObjectByFileReq.
class ZID_API AsyncPutObjectReq : public PutObjectByFileReq {
public:
    using PutObjectByFileReq::PutObjectByFileReq;
};

/// A multipart upload of a local file for ZidAPI::AsyncMultiPutObject(); constructed as
/// PutObjectByFileReq.
class ZID_API AsyncMultiPutObjectReq : public PutObjectByFileReq {
public:
    using PutObjectByFileReq::PutObjectByFileReq;
};

/// An upload of what is left of the caller's stream, from its position to its end.
class ZID_API PutObjectByStreamReq : public PutObjectReq {
public:
    /// @param bucket_name, object_name as for ObjectReq
    /// @param in the body; it must be seekable (its length is measured first) and the
    ///           caller keeps it alive until the call (or the asynchronous transfer) has
    ///           ended
    PutObjectByStreamReq(const std::string& bucket_name, const std::string& object_name,
                         std::istream& in)
        : PutObjectReq(bucket_name, object_name), m_in(&in) {}
    /// The caller's stream.
    std::istream& GetStream() const { return *m_in; }

private:
    std::istream* m_in;  // the caller's; must outlive the request
};

/// A stream upload for ZidAPI::AsyncPutObject(); constructed as PutObjectByStreamReq.
/// The stream is read from its start and must outlive the transfer.
class ZID_API AsyncPutObjectByStreamReq : public PutObjectByStreamReq {
public:
    using PutObjectByStreamReq::PutObjectByStreamReq;
};

/// An empty object under the key as given, such as a folder's "photos/"; constructed as
/// PutObjectReq.
class ZID_API PutDirectoryReq : public PutObjectReq {
public:
    using PutObjectReq::PutObjectReq;
};

/// A local folder uploaded as objects under a key prefix, one request per file and per
/// sub-folder. Links, FIFOs and other special files are skipped.
class ZID_API PutObjectsByDirectoryReq : public PutObjectReq {
public:
    /// @param bucket_name    as for ObjectReq
    /// @param directory_name the local folder; one that does not exist fails the call with
    ///                       "directory :" + name + " not exists"
    /// @param zid_path       key prefix the relative paths go under; "" for the bucket's
    ///                       root
    PutObjectsByDirectoryReq(const std::string& bucket_name, const std::string& directory_name,
                             const std::string& zid_path = "")
        : PutObjectReq(bucket_name, ""), m_directory_name(directory_name), m_zid_path(zid_path) {}
    /// The local folder.
    std::string GetDirectoryName() const { return m_directory_name; }
    /// The key prefix.
    std::string GetZidPath() const { return m_zid_path; }

private:
    std::string m_directory_name;
    std::string m_zid_path;
};

// ---- multipart --------------------------------------------------------------

/// "POST /KEY?uploads": starts a multipart upload; the answer carries its upload id.
/// Headers set here (content type, storage class, metadata) become the object's.
class ZID_API InitMultiUploadReq : public ObjectReq {
public:
    /// @param bucket_name, object_name as for ObjectReq; throws std::invalid_argument for a
    ///        bad bucket name
    InitMultiUploadReq(const std::string& bucket_name, const std::string& object_name)
        : ObjectReq(bucket_name, object_name, "POST") {}
};

/// "PUT" of one part of a multipart upload, from the caller's stream.
class ZID_API UploadPartDataReq : public ObjectReq {
public:
    /// @param bucket_name, object_name as for ObjectReq
    /// @param upload_id the upload's id, from InitMultiUploadResp
    /// @param in        the part's bytes, from its position to its end; seekable, kept
    ///                  alive by the caller until the call returns. An empty stream fails
    ///                  with "Input Stream is empty."
    UploadPartDataReq(const std::string& bucket_name, const std::string& object_name,
                      const std::string& upload_id, std::istream& in);

    /// The upload's id.
    std::string GetUploadId() const { return m_upload_id; }
    /// The part's number, 1 by default.
    uint64_t GetPartNumber() const { return m_part_number; }
    /// Sets the part's number (1 to 10000); parts are joined in the order of their numbers.
    void SetPartNumber(uint64_t part_number) { m_part_number = part_number; }
    /// The caller's stream.
    std::istream& GetStream() const { return *m_in; }
    /// Whether "Content-MD5" is computed and sent (unless the caller set one); always true.
    bool ShouldComputeContentMd5() const { return m_need_compute_content_md5; }
    /// Caps the part's transfer rate: sets the header "x-zid-traffic-limit" to the text,
    /// which the service reads.
    void SetTrafficLimit(const std::string& limit) { AddHeader("x-zid-traffic-limit", limit); }

private:
    std::istream* m_in;  // the caller's
    std::string m_upload_id;
    uint64_t m_part_number = 1;
    bool m_need_compute_content_md5 = true;
};

/// "PUT" of one part of a multipart upload copied from another object.
class ZID_API UploadPartCopyDataReq : public ObjectReq {
public:
    /// The copy source travels in the "x-zid-copy-source" header (and its range in
    /// "x-zid-copy-source-range", "bytes=FIRST-LAST"), both set with AddHeader().
    /// @param bucket_name, object_name the destination, as for ObjectReq
    /// @param upload_id   the upload's id
    /// @param part_number the part's number
    UploadPartCopyDataReq(const std::string& bucket_name, const std::string& object_name,
                          const std::string& upload_id, uint64_t part_number);
    /// The upload's id.
    std::string GetUploadId() const { return m_upload_id; }
    /// The part's number.
    uint64_t GetPartNumber() const { return m_part_number; }

private:
    std::string m_upload_id;
    uint64_t m_part_number;
};

/// "POST /KEY?uploadId=...": joins the uploaded parts into the object. An answer without
/// an ETag fails the call with code "ServerError" and message "Complete Fail"; a 2xx
/// answer that is an "Error" document fails with its code and message.
class ZID_API CompleteMultiUploadReq : public ObjectReq {
public:
    /// @param bucket_name, object_name as for ObjectReq
    /// @param upload_id the upload's id
    CompleteMultiUploadReq(const std::string& bucket_name, const std::string& object_name,
                           const std::string& upload_id);

    /// The upload's id.
    std::string GetUploadId() const { return m_upload_id; }
    /// Sets the numbers of the parts to join, in ascending order; matched one to one with
    /// SetEtags().
    void SetPartNumbers(const std::vector<uint64_t>& part_numbers) { m_part_numbers = part_numbers; }
    /// Sets the ETags the part uploads answered, quoted or not.
    void SetEtags(const std::vector<std::string>& etags) { m_etags = etags; }
    /// The part numbers.
    std::vector<uint64_t> GetPartNumbers() const { return m_part_numbers; }
    /// The part ETags.
    std::vector<std::string> GetEtags() const { return m_etags; }

    /// Appends the "CompleteMultipartUpload" document, one "Part" with "PartNumber" and
    /// the unquoted "ETag" each.
    /// @return false when the two lists differ in length; the operation then fails with
    ///         "GenerateCompleteMultiUploadReqBody fail, check your part_numbers and
    ///         etags." and sends nothing.
    bool GenerateRequestBody(std::string* body) const;

private:
    std::string m_upload_id;
    std::vector<uint64_t> m_part_numbers;
    std::vector<std::string> m_etags;
};

/// "DELETE /KEY?uploadId=...": abandons a multipart upload and its parts.
class ZID_API AbortMultiUploadReq : public ObjectReq {
public:
    /// @param bucket_name, object_name as for ObjectReq
    /// @param upload_id the upload's id
    AbortMultiUploadReq(const std::string& bucket_name, const std::string& object_name,
                        const std::string& upload_id);
    /// The upload's id.
    std::string GetUploadId() const { return m_upload_id; }

private:
    std::string m_upload_id;
};

/// "GET /KEY?uploadId=...": the parts a multipart upload holds so far, one page.
class ZID_API ListPartsReq : public ObjectReq {
public:
    /// @param bucket_name, object_name as for ObjectReq
    /// @param upload_id the upload's id (query parameter "uploadId")
    ListPartsReq(const std::string& bucket_name, const std::string& object_name,
                 const std::string& upload_id);
    /// Lists the parts after this part number (query parameter "part-number-marker").
    void SetPartNumberMarker(const std::string& marker) { AddParam("part-number-marker", marker); }
};

// ---- copy and move ----------------------------------------------------------

/// "PUT" with "x-zid-copy-source": a server-side copy in one request (objects under
/// 5 GiB). A 2xx answer that is an "Error" document fails the call.
class ZID_API PutObjectCopyReq : public ObjectReq {
public:
    /// @param bucket_name, object_name the destination, as for ObjectReq
    PutObjectCopyReq(const std::string& bucket_name, const std::string& object_name)
        : ObjectReq(bucket_name, object_name, "PUT") {}
    /// Sets the source (header "x-zid-copy-source"): the source bucket's host, "/" and
    /// the percent-encoded key, optionally "?versionId=..." .
    void SetXZidCopySource(const std::string& src) { AddHeader("x-zid-copy-source", src); }
};

/// A server-side copy of any size (ZidAPI::Copy()): a source under 5 GiB is copied with
/// one PutObjectCopyReq, a larger one in parts of GetPartSize() bytes on
/// GetThreadPoolSize() threads.
class ZID_API CopyReq : public ObjectReq {
public:
    /// Takes the part size (ClientSettings::GetUploadCopyPartSize()) and thread count
    /// (ClientSettings::GetUploadThreadPoolSize()) as they are now.
    /// @param bucket_name, object_name the destination, as for ObjectReq
    CopyReq(const std::string& bucket_name, const std::string& object_name);

    /// Sets the source (header "x-zid-copy-source") as for PutObjectCopyReq; required:
    /// without it the copy fails with "You must SetXZidCopySource before call Copy.", and
    /// a source that names no host and key with "Check XZidCopySource." or "Copy fail,
    /// please check XZidCopySource.".
    void SetXZidCopySource(const std::string& src) { AddHeader("x-zid-copy-source", src); }
    /// Part size of a multipart copy in bytes. A source of 10000 parts or more fails with
    /// "Could not copy object, because of object size is too large or part size is too
    /// small."
    uint64_t GetPartSize() const { return m_part_size; }
    /// Threads of a multipart copy.
    unsigned GetThreadPoolSize() const { return m_thread_pool_size; }

    /// The headers handed on to the initiation of a multipart copy: "Cache-Control",
    /// "Content-Disposition", "Content-Encoding", "Content-Type", "Expires", storage
    /// class, ACL and grant headers and "x-zid-meta-..." (names in any case).
    std::map<std::string, std::string> GetInitHeader() const;
    /// The headers handed on to every part copy: "x-zid-copy-source" and its four
    /// conditions ("...-If-Modified-Since", "...-If-Unmodified-Since", "...-If-Match",
    /// "...-If-None-Match").
    std::map<std::string, std::string> GetPartCopyHeader() const;

private:
    uint64_t m_part_size;
    unsigned m_thread_pool_size;
};

/// A rename within one bucket: a copy (as ZidAPI::Copy()) followed by a delete of the
/// source. A failed copy deletes nothing; a failed delete leaves both objects and fails
/// the call with the delete's result.
class ZID_API MoveObjectReq : public ObjectReq {
public:
    /// @param bucket_name     as for ObjectReq
    /// @param src_object_name the key to move; one leading "/" is ignored
    /// @param dst_object_name the new key; the same key as the source fails with "Move
    ///                        failed, source and destination are the same object: " and
    ///                        the key, touching nothing
    MoveObjectReq(const std::string& bucket_name, const std::string& src_object_name,
                  const std::string& dst_object_name)
        : ObjectReq(bucket_name, src_object_name),
          m_src_object_name(src_object_name),
          m_dst_object_name(dst_object_name) {}
    /// The source key as given.
    std::string GetSrcObjectName() const { return m_src_object_name; }
    /// The destination key as given.
    std::string GetDstObjectName() const { return m_dst_object_name; }

private:
    std::string m_src_object_name;
    std::string m_dst_object_name;
};

// ---- several objects at once ------------------------------------------------

/// "POST /?delete": deletes several objects in one request ("Delete" document); the
/// answer lists what was deleted and what failed.
class ZID_API DeleteObjectsReq : public ObjectReq {
public:
    /// @param bucket_name as for ObjectReq; throws std::invalid_argument for a bad name
    explicit DeleteObjectsReq(const std::string& bucket_name);

    /// Sets element "Quiet": true asks the service to list only the failures.
    void SetQuiet(bool quiet) { m_is_quiet = quiet; }
    /// Element "Quiet"; false by default.
    bool IsQuiet() const { return m_is_quiet; }
    /// Adds one key to delete.
    /// @param key        the object key (element "Key")
    /// @param version_id element "VersionId"; "" deletes the current version
    void AddObject(const std::string& key, const std::string& version_id = "") {
        m_objects.emplace_back(key, version_id);
    }
    /// The (key, version id) pairs added.
    const std::vector<std::pair<std::string, std::string>>& GetObjects() const { return m_objects; }

    /// Appends the "Delete" document; always true.
    bool GenerateRequestBody(std::string* body) const;

private:
    bool m_is_quiet = false;
    std::vector<std::pair<std::string, std::string>> m_objects;  // key, version id
};

// ---- access control, tagging, restore ---------------------------------------

/// "GET /KEY?acl": the object's access-control list.
class ZID_API GetObjectACLReq : public ObjectReq {
public:
    /// @param bucket_name, object_name as for ObjectReq; throws std::invalid_argument for a
    ///        bad bucket name
    GetObjectACLReq(const std::string& bucket_name, const std::string& object_name)
        : ObjectReq(bucket_name, object_name, "GET", "acl") {}
};

/// "PUT /KEY?acl": sets the object's access-control list, either by header ("x-zid-acl",
/// "x-zid-grant-read", "x-zid-grant-write", "x-zid-grant-full-control", names in lower
/// case) or, when none of those is set, by an "AccessControlPolicy" body built from the
/// owner and the grants.
class ZID_API PutObjectACLReq : public ObjectReq {
public:
    /// @param bucket_name, object_name as for ObjectReq; throws std::invalid_argument for a
    ///        bad bucket name
    PutObjectACLReq(const std::string& bucket_name, const std::string& object_name)
        : ObjectReq(bucket_name, object_name, "PUT", "acl") {}

    /// Sets the body's owner; its id is required for a body.
    void SetOwner(const Owner& owner) { m_owner = owner; }
    /// The body's owner.
    const Owner& GetOwner() const { return m_owner; }
    /// Adds one grant to the body.
    void AddAccessControlList(const Grant& grant) { m_acl.push_back(grant); }
    /// Replaces the body's grants.
    void SetAccessControlList(const std::vector<Grant>& acl) { m_acl = acl; }
    /// The body's grants.
    const std::vector<Grant>& GetAccessControlList() const { return m_acl; }
    /// Sets a canned ACL (header "x-zid-acl"), such as "private" or "public-read"; no body
    /// is sent then.
    void SetXZidAcl(const std::string& acl) { AddHeader("x-zid-acl", acl); }

    /// Appends the "AccessControlPolicy" document (see GenerateAclRequestBody()).
    /// @return false for an owner without id or no grant; the operation then fails with
    ///         "Generate PutObjectACL Request Body fail." and sends nothing.
    bool GenerateRequestBody(std::string* body) const;

private:
    Owner m_owner;
    std::vector<Grant> m_acl;
};

/// "GET /KEY?tagging": the object's tag set.
class ZID_API GetObjectTaggingReq : public ObjectReq {
public:
    /// @param bucket_name, object_name as for ObjectReq; throws std::invalid_argument for a
    ///        bad bucket name
    GetObjectTaggingReq(const std::string& bucket_name, const std::string& object_name)
        : ObjectReq(bucket_name, object_name, "GET", "tagging") {}
};

/// "PUT /KEY?tagging": replaces the object's tag set ("Tagging" document with its
/// "TagSet").
class ZID_API PutObjectTaggingReq : public ObjectReq {
public:
    /// @param bucket_name, object_name as for ObjectReq; throws std::invalid_argument for a
    ///        bad bucket name
    PutObjectTaggingReq(const std::string& bucket_name, const std::string& object_name)
        : ObjectReq(bucket_name, object_name, "PUT", "tagging") {}

    /// Adds one tag.
    void AddTag(const Tag& tag) { m_tags.push_back(tag); }
    /// Replaces the tags.
    void SetTagSet(const std::vector<Tag>& tags) { m_tags = tags; }
    /// The tags.
    const std::vector<Tag>& GetTagSet() const { return m_tags; }

    /// Appends the "Tagging" document; a tag's half that was never set is left out (and
    /// logged as an error), so the service decides. Always true.
    bool GenerateRequestBody(std::string* body) const;

private:
    std::vector<Tag> m_tags;
};

/// "DELETE /KEY?tagging": removes the object's tag set.
class ZID_API DeleteObjectTaggingReq : public ObjectReq {
public:
    /// @param bucket_name, object_name as for ObjectReq; throws std::invalid_argument for a
    ///        bad bucket name
    DeleteObjectTaggingReq(const std::string& bucket_name, const std::string& object_name)
        : ObjectReq(bucket_name, object_name, "DELETE", "tagging") {}
};

/// "POST /KEY?restore": restores an archived object for a number of days
/// ("RestoreRequest" document).
class ZID_API PostObjectRestoreReq : public ObjectReq {
public:
    /// @param bucket_name, object_name as for ObjectReq; throws std::invalid_argument for a
    ///        bad bucket name
    PostObjectRestoreReq(const std::string& bucket_name, const std::string& object_name)
        : ObjectReq(bucket_name, object_name, "POST", "restore") {}

    /// Sets how long the restored copy stays, in days (element "Days").
    void SetExpiryDays(uint64_t days) { m_expiry_days = days; }
    /// Days the restored copy stays; 0 by default.
    uint64_t GetExpiryDays() const { return m_expiry_days; }
    /// Sets the restore speed (element "Tier" under "CASJobParameters"), a name the
    /// service defines.
    void SetTier(const std::string& tier) { m_tier = tier; }
    /// The restore tier; "" by default (sent as an empty element).
    std::string GetTier() const { return m_tier; }

    /// Appends the "RestoreRequest" document; always true.
    bool GenerateRequestBody(std::string* body) const;

private:
    uint64_t m_expiry_days = 0;
    std::string m_tier;
};

// ---- presigned URL ----------------------------------------------------------

/// What ZidAPI::GeneratePresignedUrl() signs: method, key, headers and parameters, and a
/// time window. Nothing is sent.
///
/// Mind the time: SetExpiredTimeInSec() takes a lifetime in seconds counted from the
/// start time, not an end time, while the four- and five-argument
/// ZidAPI::GeneratePresignedUrl() take an end time. The window is used only when both the
/// start and the lifetime are non-zero; otherwise the URL is signed from now for
/// ClientSettings::GetSignExpiredTime() seconds (3600 by default).
class ZID_API GeneratePresignedUrlReq : public ObjectReq {
public:
    /// @param bucket_name as for ObjectReq; throws std::invalid_argument for a bad name
    /// @param object_name the key, used as given (a leading "/" is kept); "" makes
    ///                    ZidAPI::GeneratePresignedUrl() answer "ObjectName does not
    ///                    support empty, please check!" instead of a URL
    /// @param method      0 HEAD, 1 GET, 2 PUT, 3 POST, 4 DELETE, 5 OPTIONS; any other
    ///                    value signs the method "UNKNOWN", which no service accepts
    GeneratePresignedUrlReq(const std::string& bucket_name, const std::string& object_name,
                            int method);

    /// Sets the start of the window, in seconds since 1970 (UTC). 0 (default) means no
    /// window of the caller's: the URL is then signed from now for
    /// ClientSettings::GetSignExpiredTime() seconds, whatever SetExpiredTimeInSec() says.
    void SetStartTimeInSec(uint64_t start) { m_start_time_in_s = start; }
    /// The start of the window in seconds since 1970; 0 for none.
    uint64_t GetStartTimeInSec() const { return m_start_time_in_s; }
    /// Sets the URL's lifetime in seconds from the start time: a duration, not an end
    /// time. 0 (default) for the process-wide signature lifetime.
    ///
    /// It counts only together with SetStartTimeInSec(): SetExpiredTimeInSec(2) alone
    /// signs a window of ClientSettings::GetSignExpiredTime() seconds (3600 by default),
    /// not of 2. For a short window from now, set both:
    /// @code
    /// req.SetStartTimeInSec(static_cast<uint64_t>(std::time(nullptr)));
    /// req.SetExpiredTimeInSec(2);
    /// @endcode
    void SetExpiredTimeInSec(uint64_t expired) { m_expired_time_in_s = expired; }
    /// The lifetime in seconds; 0 for none.
    uint64_t GetExpiredTimeInSec() const { return m_expired_time_in_s; }
    /// Chooses "https://" (default) or "http://" for the URL. The four- and
    /// five-argument ZidAPI::GeneratePresignedUrl() have no such choice and always give
    /// "https://"; for a service that speaks plain HTTP, such as a loopback one, build
    /// this request and call SetUseHttps(false).
    void SetUseHttps(bool on) { m_use_https = on; }
    /// True for an "https://" URL.
    bool UseHttps() const { return m_use_https; }

private:
    uint64_t m_start_time_in_s = 0;
    uint64_t m_expired_time_in_s = 0;
    bool m_use_https = true;
};

}  // namespace zuzezi_zid
