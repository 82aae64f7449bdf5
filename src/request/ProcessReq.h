#pragma once

#include <string>
#include <vector>

#include "request/BucketReq.h"
#include "request/ObjectReq.h"
#include "request/ProcessRecords.h"

namespace zuzezi_zid {

// A request to the data-processing service: the caller sets its method, path and
// parameters. With an empty bucket name it goes to the regional processing host.
class DataProcessReq : public BucketReq {
public:
    // Throws std::invalid_argument for a bucket name that is neither empty nor valid.
    explicit DataProcessReq(const std::string& bucket_name = "")
        : BucketReq(bucket_name, RegionalProcessing{}) {}
};

// An object-addressed request to the regional processing host, which names no bucket.
class DataProcessRegionReq : public ObjectReq {
public:
    // Throws std::invalid_argument for a bucket name that is neither empty nor valid.
    DataProcessRegionReq(const std::string& bucket_name, const std::string& object_name)
        : ObjectReq(bucket_name, object_name, RegionalProcessing{}) {}
};

// A processing request whose body is written from one options record.
template <typename OptionsRecord>
class DataProcessBodyReq : public DataProcessReq {
public:
    OptionsRecord& Options() { return m_options; }
    const OptionsRecord& Options() const { return m_options; }

protected:
    DataProcessBodyReq(const std::string& bucket_name, const char* method, const std::string& path)
        : DataProcessReq(bucket_name) {
        SetMethod(method);
        SetPath(path);
    }

    OptionsRecord m_options;
};

// One document conversion job: POST /doc_jobs.
class CreateDocProcessJobsReq : public DataProcessBodyReq<DocProcessJobOptions> {
public:
    explicit CreateDocProcessJobsReq(const std::string& bucket_name = "")
        : DataProcessBodyReq(bucket_name, "POST", "/doc_jobs") {}
    bool GenerateRequestBody(std::string* body) const override;
};

// One media or data-processing job: POST /jobs.
class CreateDataProcessJobsReq : public DataProcessBodyReq<DataProcessJobOptions> {
public:
    explicit CreateDataProcessJobsReq(const std::string& bucket_name = "")
        : DataProcessBodyReq(bucket_name, "POST", "/jobs") {}
    bool GenerateRequestBody(std::string* body) const override;
};

// A change to a processing queue: PUT /queue/<queue id> (a document queue's path is
// "/docqueue/<queue id>": set it with SetPath).
class UpdateQueueReq : public DataProcessBodyReq<QueueOptions> {
public:
    UpdateQueueReq(const std::string& bucket_name, const std::string& queue_id)
        : DataProcessBodyReq(bucket_name, "PUT", "/queue/" + queue_id) {
        m_options.queue_id = queue_id;
    }
    bool GenerateRequestBody(std::string* body) const override;
};

// ---- image processing on upload --------------------------------------------------------

// One picture-processing rule: the processed copy is stored under fileid, relative to the
// uploaded object's folder, or to the bucket root when it starts with "/".
struct PicRules {
    std::string bucket;
    std::string fileid;
    std::string rule;
};

class PicOperation {
public:
    void AddRule(const PicRules& rule) { m_rules.push_back(rule); }
    std::vector<PicRules> GetRules() const { return m_rules; }

private:
    std::vector<PicRules> m_rules;
};

// An upload of a local file with picture-processing rules. The rules travel in the
// "pic-operations" header, which the caller writes.
class PutObjectWithPicOperationReq : public PutObjectByFileReq {
public:
    using PutObjectByFileReq::PutObjectByFileReq;
    void SetPicOperation(const PicOperation& op) { m_pic_operation = op; }
    const PicOperation& GetPicOperation() const { return m_pic_operation; }

private:
    PicOperation m_pic_operation;
};

// A rule that stores its result under the uploaded key replaces the uploaded bytes, so
// neither the Content-MD5 nor the returned ETag can match the local file: switches both
// checks off on req, at the first such rule.
void PicOperationTargetCheck(PutObjectWithPicOperationReq& req);

}  // namespace zuzezi_zid
