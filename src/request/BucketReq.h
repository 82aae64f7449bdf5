#pragma once

#include <cstdint>
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

protected:
    // Path "/", the method, and for a sub-resource its empty query parameter.
    BucketReq(const std::string& bucket_name, const char* method,
              const char* sub_resource = nullptr);
    BucketReq(const std::string& bucket_name, RegionalProcessing);

private:
    std::string m_bucket_name;
};

class HeadBucketReq : public BucketReq {
public:
    explicit HeadBucketReq(const std::string& bucket_name) : BucketReq(bucket_name) {
        SetMethod("HEAD");
    }
};

class GetBucketLocationReq : public BucketReq {
public:
    explicit GetBucketLocationReq(const std::string& bucket_name)
        : BucketReq(bucket_name, "GET", "location") {}
};

// One page of the bucket's object listing.
class GetBucketReq : public BucketReq {
public:
    explicit GetBucketReq(const std::string& bucket_name) : BucketReq(bucket_name, "GET") {}
    void SetPrefix(const std::string& prefix) { AddParam("prefix", prefix); }
    void SetMarker(const std::string& marker) { AddParam("marker", marker); }
};

// One inventory configuration of a bucket, named by its id.
class BucketInventoryReq : public BucketReq {
public:
    void SetId(const std::string& id) {
        AddParam("id", id);
        m_mask |= kIdSet;
    }
    std::string GetId() const { return GetParam("id"); }
    bool HasId() const { return (m_mask & kIdSet) != 0; }

protected:
    BucketInventoryReq(const std::string& bucket_name, const char* method)
        : BucketReq(bucket_name, method, "inventory") {}

private:
    static constexpr uint64_t kIdSet = 0x1;
    uint64_t m_mask = 0;
};

// Its body is the caller's: override GenerateRequestBody to write the configuration.
class PutBucketInventoryReq : public BucketInventoryReq {
public:
    explicit PutBucketInventoryReq(const std::string& bucket_name)
        : BucketInventoryReq(bucket_name, "PUT") {}
};

class GetBucketInventoryReq : public BucketInventoryReq {
public:
    explicit GetBucketInventoryReq(const std::string& bucket_name)
        : BucketInventoryReq(bucket_name, "GET") {}
};

class DeleteBucketInventoryReq : public BucketInventoryReq {
public:
    explicit DeleteBucketInventoryReq(const std::string& bucket_name)
        : BucketInventoryReq(bucket_name, "DELETE") {}
};

// Unfinished multipart uploads of a bucket.
class ListMultipartUploadReq : public BucketReq {
public:
    explicit ListMultipartUploadReq(const std::string& bucket_name)
        : BucketReq(bucket_name, "GET", "uploads") {}
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
