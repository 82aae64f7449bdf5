/// @file
/// BucketReq, the base of every request addressed to a bucket, and the few bucket
/// requests the library defines itself (head, location, listing, inventory, uploads,
/// delete by prefix).
#pragma once

#include <cstdint>
#include <string>

#include "zid/ZidExport.h"
#include "zid/request/BaseReq.h"

namespace zuzezi_zid {

/// A request addressed to a bucket.
///
/// Most bucket methods of ZidAPI (the configuration puts, gets and deletes, the
/// PlainBucketRequest and GenericBucketRequest methods) take a plain BucketReq and send
/// whatever it says: which bucket request goes out is the caller's subclass, not the
/// method's name. The subclass sets the method, the path ("/") and the sub-resource
/// parameter (such as AddParam("lifecycle", "")), and overrides GenerateRequestBody() to
/// write the configuration document for the methods that send one (the Put...
/// configuration methods and the GenericBucketRequest pair); PutBucket and
/// SendBucketBodyWithMd5 send the body given to SetBody() instead, and the plain gets and
/// deletes send none. A BucketReq made directly has an empty method and path and sends an
/// empty body.
/// @code
/// class PutLifecycleReq : public zuzezi_zid::BucketReq {
/// public:
///     explicit PutLifecycleReq(const std::string& bucket) : BucketReq(bucket) {
///         SetMethod("PUT");
///         SetPath("/");
///         AddParam("lifecycle", "");
///     }
///     bool GenerateRequestBody(std::string* body) const override {
///         *body = "<LifecycleConfiguration>...</LifecycleConfiguration>";
///         return true;
///     }
/// };
/// @endcode
class ZID_API BucketReq : public BaseReq {
public:
    /// A request with an empty method and path.
    /// @param bucket_name the bucket, "NAME-APPID" or NAME alone (the host builder adds
    ///                    the app id): ASCII letters, digits and "-", not beginning or
    ///                    ending with "-"
    /// @throws std::invalid_argument "Invalid bucket_name argument :" + name for a bucket
    ///         name that fails the check
    explicit BucketReq(const std::string& bucket_name);
    ~BucketReq() override = default;

    /// Writes the request's XML body. The default writes nothing and returns true, so a
    /// put sends an empty body.
    /// @param body receives the body
    /// @return false to refuse (an exception counts as false): the operation then fails,
    ///         status -1, with its own text, such as "Generate PutBucketLifecycle Request
    ///         Body fail." or "Generate request body fail.", and sends nothing.
    virtual bool GenerateRequestBody(std::string* body) const;

    /// The bucket name as given.
    std::string GetBucketName() const { return m_bucket_name; }

protected:
    /// Path "/", the method, and for a sub-resource its query parameter with an empty
    /// value.
    BucketReq(const std::string& bucket_name, const char* method,
              const char* sub_resource = nullptr);
    /// A request to the regional processing host: the bucket name may be empty.
    BucketReq(const std::string& bucket_name, RegionalProcessing);

private:
    std::string m_bucket_name;
};

/// "HEAD" of the bucket: whether it exists and may be reached.
class ZID_API HeadBucketReq : public BucketReq {
public:
    /// @param bucket_name as for BucketReq; throws std::invalid_argument for a bad name
    explicit HeadBucketReq(const std::string& bucket_name) : BucketReq(bucket_name) {
        SetMethod("HEAD");
    }
};

/// "GET /?location": the bucket's region.
class ZID_API GetBucketLocationReq : public BucketReq {
public:
    /// @param bucket_name as for BucketReq; throws std::invalid_argument for a bad name
    explicit GetBucketLocationReq(const std::string& bucket_name)
        : BucketReq(bucket_name, "GET", "location") {}
};

/// One page of the bucket's object listing ("GET /").
///
/// The delimiter and the page size have no setter: add them as parameters.
/// @code
/// zuzezi_zid::GetBucketReq req("example");
/// req.SetPrefix("docs/");
/// req.AddParam("delimiter", "/");   // keys below docs/x/ come back as the prefix docs/x/
/// req.AddParam("max-keys", "100");  // at most 100 keys a page
/// @endcode
class ZID_API GetBucketReq : public BucketReq {
public:
    /// @param bucket_name as for BucketReq; throws std::invalid_argument for a bad name
    explicit GetBucketReq(const std::string& bucket_name) : BucketReq(bucket_name, "GET") {}
    /// Lists only keys that begin with prefix (query parameter "prefix").
    void SetPrefix(const std::string& prefix) { AddParam("prefix", prefix); }
    /// Lists keys after marker (query parameter "marker"), the previous page's next marker.
    void SetMarker(const std::string& marker) { AddParam("marker", marker); }
};

/// One inventory configuration of a bucket ("/?inventory"), named by its id.
class ZID_API BucketInventoryReq : public BucketReq {
public:
    /// Sets the configuration's id (query parameter "id"); required: without it the
    /// operation fails with "PutBucketinventory need to set Id." (Get..., Delete...
    /// alike) and sends nothing.
    void SetId(const std::string& id) {
        AddParam("id", id);
        m_mask |= kIdSet;
    }
    /// The id; "" when not set.
    std::string GetId() const { return GetParam("id"); }
    /// True once SetId() was called, even with "".
    bool HasId() const { return (m_mask & kIdSet) != 0; }

protected:
    /// Path "/", the method and the "inventory" parameter.
    BucketInventoryReq(const std::string& bucket_name, const char* method)
        : BucketReq(bucket_name, method, "inventory") {}

private:
    static constexpr uint64_t kIdSet = 0x1;
    uint64_t m_mask = 0;
};

/// "PUT /?inventory&id=...". Its body is the caller's: derive from it and override
/// GenerateRequestBody() to write the configuration; the default sends an empty body.
class ZID_API PutBucketInventoryReq : public BucketInventoryReq {
public:
    /// @param bucket_name as for BucketReq; throws std::invalid_argument for a bad name
    explicit PutBucketInventoryReq(const std::string& bucket_name)
        : BucketInventoryReq(bucket_name, "PUT") {}
};

/// "GET /?inventory&id=...".
class ZID_API GetBucketInventoryReq : public BucketInventoryReq {
public:
    /// @param bucket_name as for BucketReq; throws std::invalid_argument for a bad name
    explicit GetBucketInventoryReq(const std::string& bucket_name)
        : BucketInventoryReq(bucket_name, "GET") {}
};

/// "DELETE /?inventory&id=...".
class ZID_API DeleteBucketInventoryReq : public BucketInventoryReq {
public:
    /// @param bucket_name as for BucketReq; throws std::invalid_argument for a bad name
    explicit DeleteBucketInventoryReq(const std::string& bucket_name)
        : BucketInventoryReq(bucket_name, "DELETE") {}
};

/// Unfinished multipart uploads of a bucket ("GET /?uploads").
class ZID_API ListMultipartUploadReq : public BucketReq {
public:
    /// @param bucket_name as for BucketReq; throws std::invalid_argument for a bad name
    explicit ListMultipartUploadReq(const std::string& bucket_name)
        : BucketReq(bucket_name, "GET", "uploads") {}
    /// Lists only uploads whose key begins with prefix (query parameter "prefix").
    void SetPrefix(const std::string& prefix) { AddParam("prefix", prefix); }
};

/// What ZidAPI::DeleteObjectsByPrefix() deletes: every object of the bucket whose key
/// begins with the prefix. Only its bucket name and prefix are used: the request itself
/// is never sent, and its headers, time-outs and TLS switches do not reach the listings
/// and deletes.
class ZID_API DeleteObjectsByPrefixReq : public BucketReq {
public:
    /// @param bucket_name as for BucketReq; throws std::invalid_argument for a bad name
    /// @param prefix      key prefix; "" deletes every object of the bucket
    DeleteObjectsByPrefixReq(const std::string& bucket_name, const std::string& prefix)
        : BucketReq(bucket_name), m_prefix(prefix) {}
    /// The key prefix.
    std::string GetPrefix() const { return m_prefix; }

private:
    std::string m_prefix;
};

}  // namespace zuzezi_zid
