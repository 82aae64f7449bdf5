/// @file
/// The data-processing requests: free-form processing calls, job and queue requests whose
/// bodies are written from the records of ProcessRecords.h, and the upload with
/// picture-processing rules.

#pragma once

#include <string>
#include <vector>

#include "zid/ZidExport.h"
#include "zid/request/BucketReq.h"
#include "zid/request/ObjectReq.h"
#include "zid/request/ProcessRecords.h"

namespace zuzezi_zid {

/// A request to the data-processing service: the caller sets its method, path and
/// parameters, and sends it with `ZidAPI::DataProcessQuery1` to 4 (no body) or
/// `ZidAPI::DataProcessRequest01` to 24 (body from GenerateRequestBody(), with
/// "Content-MD5" when not empty). With an empty bucket name it goes to the regional
/// processing host. None of these calls is repeated on the backup domain.
class ZID_API DataProcessReq : public BucketReq {
public:
    /// @param bucket_name the bucket, "NAME-APPID" or NAME alone; "" for the regional
    ///                    processing host
    /// @throws std::invalid_argument for a bucket name that is neither empty nor valid
    explicit DataProcessReq(const std::string& bucket_name = "")
        : BucketReq(bucket_name, RegionalProcessing{}) {}
};

/// An object-addressed request to the regional processing host, which names no bucket;
/// sent with `ZidAPI::DataProcessRegionRequest`, without a body.
class ZID_API DataProcessRegionReq : public ObjectReq {
public:
    /// @param bucket_name the bucket, or ""
    /// @param object_name the key, or the processing path, the request addresses
    /// @throws std::invalid_argument for a bucket name that is neither empty nor valid
    DataProcessRegionReq(const std::string& bucket_name, const std::string& object_name)
        : ObjectReq(bucket_name, object_name, RegionalProcessing{}) {}
};

/// A processing request whose body is written from one options record: fill Options(),
/// then send the request with one of the `ZidAPI::DataProcessRequest01` to 24 calls.
/// @tparam OptionsRecord the record the body is written from
template <typename OptionsRecord>
class ZID_API DataProcessBodyReq : public DataProcessReq {
public:
    /// The settings the body is written from, for filling in.
    OptionsRecord& Options() { return m_options; }
    /// The settings the body is written from.
    const OptionsRecord& Options() const { return m_options; }

protected:
    /// @param bucket_name as for DataProcessReq
    /// @param method      the HTTP method
    /// @param path        the processing path, such as "/jobs"
    DataProcessBodyReq(const std::string& bucket_name, const char* method, const std::string& path)
        : DataProcessReq(bucket_name) {
        SetMethod(method);
        SetPath(path);
    }

    OptionsRecord m_options;  ///< See Options().
};

/// One document conversion job: POST /doc_jobs with a "Request" body.
class ZID_API CreateDocProcessJobsReq : public DataProcessBodyReq<DocProcessJobOptions> {
public:
    /// @param bucket_name as for DataProcessReq
    /// @throws std::invalid_argument for a bucket name that is neither empty nor valid
    explicit CreateDocProcessJobsReq(const std::string& bucket_name = "")
        : DataProcessBodyReq(bucket_name, "POST", "/doc_jobs") {}
    /// Writes "Tag", "Input/Object", "Operation" ("Output" and "DocProcess") and
    /// "QueueId".
    /// @param body the document is appended to it
    /// @return always true
    bool GenerateRequestBody(std::string* body) const override;
};

/// One media or data-processing job: POST /jobs with a "Request" body whose operation
/// blocks follow the options' tag.
class ZID_API CreateDataProcessJobsReq : public DataProcessBodyReq<DataProcessJobOptions> {
public:
    /// @param bucket_name as for DataProcessReq
    /// @throws std::invalid_argument for a bucket name that is neither empty nor valid
    explicit CreateDataProcessJobsReq(const std::string& bucket_name = "")
        : DataProcessBodyReq(bucket_name, "POST", "/jobs") {}
    /// Writes "Tag", "QueueId", "Input", "Operation" and the notification settings, each
    /// as DataProcessJobOptions says.
    /// @param body the document is appended to it
    /// @return always true
    bool GenerateRequestBody(std::string* body) const override;
};

/// A change to a processing queue: `PUT /queue/<queue id>` (a document queue's path is
/// `/docqueue/<queue id>`: set it with SetPath).
class ZID_API UpdateQueueReq : public DataProcessBodyReq<QueueOptions> {
public:
    /// @param bucket_name as for DataProcessReq
    /// @param queue_id    the queue; also written as the body's "QueueID"
    /// @throws std::invalid_argument for a bucket name that is neither empty nor valid
    UpdateQueueReq(const std::string& bucket_name, const std::string& queue_id)
        : DataProcessBodyReq(bucket_name, "PUT", "/queue/" + queue_id) {
        m_options.queue_id = queue_id;
    }
    /// Writes "Name", "QueueID", "State" and "NotifyConfig", also when empty.
    /// @param body the document is appended to it
    /// @return always true
    bool GenerateRequestBody(std::string* body) const override;
};

// ---- image processing on upload --------------------------------------------------------

/// One picture-processing rule: the processed copy is stored under fileid, relative to the
/// uploaded object's folder, or to the bucket root when it starts with "/".
struct PicRules {
    std::string bucket;  ///< Travels with the rule; the client does not read it.
    std::string fileid;  ///< The key the processed copy is stored under, as above.
    std::string rule;    ///< The processing to apply; the client does not read it.
};

/// The picture-processing rules of one upload, in order.
class PicOperation {
public:
    /// Appends a copy of a rule.
    void AddRule(const PicRules& rule) { m_rules.push_back(rule); }
    /// @return the rules in the order added.
    std::vector<PicRules> GetRules() const { return m_rules; }

private:
    std::vector<PicRules> m_rules;
};

/// An upload of a local file with picture-processing rules, sent with
/// `ZidAPI::PutObjectWithPicOperation`. The rules travel in the "pic-operations" header,
/// which the caller writes; the PicOperation held here only decides the checks (see
/// PicOperationTargetCheck()).
class ZID_API PutObjectWithPicOperationReq : public PutObjectByFileReq {
public:
    using PutObjectByFileReq::PutObjectByFileReq;
    /// Sets the rules; none by default.
    void SetPicOperation(const PicOperation& op) { m_pic_operation = op; }
    /// The rules.
    const PicOperation& GetPicOperation() const { return m_pic_operation; }

private:
    PicOperation m_pic_operation;
};

/// A rule that stores its result under the uploaded key replaces the uploaded bytes, so
/// neither the Content-MD5 nor the returned ETag can match the local file: switches both
/// checks off on req, at the first such rule. `ZidAPI::PutObjectWithPicOperation` does
/// this on its own copy of the request.
/// @param req the upload; changed in place, and only when a rule targets its key
ZID_API void PicOperationTargetCheck(PutObjectWithPicOperationReq& req);

}  // namespace zuzezi_zid
