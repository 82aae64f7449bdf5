// Objects, multipart uploads, ACLs, tags and bucket configurations of the loopback service, in memory, optionally
// mirrored into a folder (ROOT/<bucket>/<encoded key>) so the demo's data survives a restart.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "LocalService.h"

namespace zid_local {

// Reserves room for n bytes of s, backed by huge pages where the system allows: the service
// holds whole objects in memory, and faulting them in 4 KiB at a time cost more than the rest
// of an upload.
void ReserveBytes(std::string* s, size_t n);

struct StoredPart {
    std::string data;
    uint64_t size = 0;
    std::string etag;  // hex MD5, no quotes
    uint64_t crc64 = 0;
    int64_t lastModified = 0;
};

struct OpenUpload {
    std::string bucket;
    std::string key;
    std::string uploadId;
    uint64_t sequence = 0;  // initiation order
    int64_t initiated = 0;
    std::map<std::string, std::string> meta;
    std::map<uint64_t, StoredPart> parts;
};

class ServiceStore {
public:
    using ObjectPtr = std::shared_ptr<const StoredObject>;

    void SetRoot(const std::string& root);  // loads what the folder holds
    const std::string& Root() const { return root_; }

    // A bucket exists once made; making an existing bucket changes nothing.
    void MakeBucket(const std::string& bucket);
    bool HasBucket(const std::string& bucket) const;
    // Removes an empty bucket and its configurations. Returns the error code
    // ("NoSuchBucket", "BucketNotEmpty") or empty on success.
    std::string DeleteBucket(const std::string& bucket);

    // Null when the bucket does not exist (it may have gone since the request was routed).
    ObjectPtr Put(const std::string& bucket, const std::string& key, std::string data,
                  std::map<std::string, std::string> meta, std::string etag = std::string(),
                  std::optional<uint64_t> crc64 = std::nullopt);
    ObjectPtr Get(const std::string& bucket, const std::string& key) const;
    bool Delete(const std::string& bucket, const std::string& key);
    // Keys of a bucket in byte order.
    std::vector<std::pair<std::string, ObjectPtr>> List(const std::string& bucket) const;

    void SetAcl(const std::string& bucket, const std::string& key, const std::string& xml);  // empty: default
    std::string GetAcl(const std::string& bucket, const std::string& key) const;  // empty: default
    void SetTags(const std::string& bucket, const std::string& key,
                 std::vector<std::pair<std::string, std::string>> tags);
    std::vector<std::pair<std::string, std::string>> GetTags(const std::string& bucket,
                                                             const std::string& key) const;

    // Empty when the bucket does not exist.
    std::string InitUpload(const std::string& bucket, const std::string& key,
                           std::map<std::string, std::string> meta);
    bool PutPart(const std::string& uploadId, uint64_t number, StoredPart part);
    // Copy of an upload; part data only when asked for.
    bool GetUpload(const std::string& uploadId, OpenUpload* out, bool withData = false) const;
    std::vector<OpenUpload> ListUploads(const std::string& bucket) const;  // without part data
    bool AbortUpload(const std::string& uploadId);
    // Checks the part list (ascending numbers, parts present, ETags equal) and, when it holds,
    // removes the upload and hands its parts over; the caller stores the assembled object.
    // Returns the error code ("NoSuchUpload", "InvalidPart", ...) or empty on success.
    std::string TakeUpload(const std::string& uploadId,
                           const std::vector<std::pair<uint64_t, std::string>>& list,
                           std::string* message, OpenUpload* out);

    // Bucket configurations by sub-resource name, kept as sent.
    void SetBucketConfig(const std::string& bucket, const std::string& name, std::string body);
    bool GetBucketConfig(const std::string& bucket, const std::string& name, std::string* body) const;
    void DeleteBucketConfig(const std::string& bucket, const std::string& name);
    // Names that begin with prefix, in byte order, with their bodies.
    std::vector<std::pair<std::string, std::string>> ListBucketConfigs(const std::string& bucket,
                                                                       const std::string& prefix) const;

    void Clear();

    static int64_t Now();

private:
    std::string FilePath(const std::string& bucket, const std::string& key) const;
    void Persist(const std::string& bucket, const std::string& key, const StoredObject& obj) const;
    void Unpersist(const std::string& bucket, const std::string& key) const;
    void PersistBucket(const std::string& bucket) const;
    void UnpersistBucket(const std::string& bucket) const;

    mutable std::mutex mu_;
    std::string root_;
    // Every bucket that exists has an entry, empty ones too.
    std::map<std::string, std::map<std::string, ObjectPtr>> objects_;
    std::map<std::pair<std::string, std::string>, std::string> acls_;
    std::map<std::pair<std::string, std::string>, std::vector<std::pair<std::string, std::string>>> tags_;
    std::map<std::string, OpenUpload> uploads_;
    std::map<std::pair<std::string, std::string>, std::string> bucketConfigs_;
    uint64_t uploadSequence_ = 0;
};

}  // namespace zid_local
