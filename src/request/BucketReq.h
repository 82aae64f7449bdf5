#pragma once

#include <string>

#include "request/BaseReq.h"

namespace zuzezi_zid {

class BucketReq : public BaseReq {
public:
    // Throws std::invalid_argument for a bucket name that fails the name check.
    explicit BucketReq(const std::string& bucket_name);
    ~BucketReq() override = default;

    // Writes the request's XML body, if it has one.
    virtual bool GenerateRequestBody(std::string* body) const;

    std::string GetBucketName() const { return m_bucket_name; }

private:
    std::string m_bucket_name;
};

class GetBucketReq : public BucketReq {
public:
    explicit GetBucketReq(const std::string& bucket_name);
};

// Unfinished multipart uploads of a bucket.
class ListMultipartUploadReq : public BucketReq {
public:
    explicit ListMultipartUploadReq(const std::string& bucket_name);
    void SetPrefix(const std::string& prefix) { AddParam("prefix", prefix); }
};

class DeleteObjectsByPrefixReq : public BucketReq {
public:
    DeleteObjectsByPrefixReq(const std::string& bucket_name, const std::string& prefix)
        : BucketReq(bucket_name), m_prefix(prefix) {}
    std::string GetPrefix() const { return m_prefix; }

private:
    std::string m_prefix;
};

}  // namespace zuzezi_zid
