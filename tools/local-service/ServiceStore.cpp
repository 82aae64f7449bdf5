#include "ServiceStore.h"

#include <sys/mman.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

#include "ServiceAuth.h"

namespace fs = std::filesystem;

namespace zid_local {

namespace {

// Bucket and key become one flat file name each: no key can reach outside the root.
std::string FileName(const std::string& name) {
    return name.empty() ? std::string("%") : auth::PercentEncode(name);
}

std::string NameFromFile(const std::string& file) {
    if (file == "%") return std::string();
    std::string out;
    return auth::PercentDecode(file, &out) ? out : file;
}

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace

int64_t ServiceStore::Now() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void ServiceStore::SetRoot(const std::string& root) {
    std::lock_guard<std::mutex> lock(mu_);
    root_ = root;
    if (root_.empty()) return;
    std::error_code ec;
    fs::create_directories(root_, ec);
    for (const auto& b : fs::directory_iterator(root_, ec)) {
        if (!b.is_directory()) continue;
        std::string bucket = NameFromFile(b.path().filename().string());
        objects_[bucket];
        for (const auto& f : fs::directory_iterator(b.path(), ec)) {
            if (!f.is_regular_file()) continue;
            auto obj = std::make_shared<StoredObject>();
            obj->data = ReadFile(f.path());
            obj->etag = auth::Md5Hex(obj->data);
            obj->crc64 = auth::Crc64(obj->data.data(), obj->data.size());
            struct stat st;
            obj->lastModified = stat(f.path().c_str(), &st) == 0 ? st.st_mtime : Now();
            objects_[bucket][NameFromFile(f.path().filename().string())] = obj;
        }
    }
}

std::string ServiceStore::FilePath(const std::string& bucket, const std::string& key) const {
    return (fs::path(root_) / FileName(bucket) / FileName(key)).string();
}

void ServiceStore::Persist(const std::string& bucket, const std::string& key, const StoredObject& obj) const {
    if (root_.empty()) return;
    fs::path p = FilePath(bucket, key);
    std::error_code ec;
    fs::create_directories(p.parent_path(), ec);
    fs::path tmp = p;
    tmp += ".tmp-write";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out.write(obj.data.data(), static_cast<std::streamsize>(obj.data.size()));
        if (!out) return;
    }
    fs::rename(tmp, p, ec);
}

void ServiceStore::Unpersist(const std::string& bucket, const std::string& key) const {
    if (root_.empty()) return;
    std::error_code ec;
    fs::remove(FilePath(bucket, key), ec);
}

void ServiceStore::PersistBucket(const std::string& bucket) const {
    if (root_.empty()) return;
    std::error_code ec;
    fs::create_directories(fs::path(root_) / FileName(bucket), ec);
}

void ServiceStore::UnpersistBucket(const std::string& bucket) const {
    if (root_.empty()) return;
    // Only an empty folder goes: files the store never loaded stay where they are.
    std::error_code ec;
    fs::remove(fs::path(root_) / FileName(bucket), ec);
}

void ServiceStore::MakeBucket(const std::string& bucket) {
    std::lock_guard<std::mutex> lock(mu_);
    if (objects_.emplace(bucket, std::map<std::string, ObjectPtr>()).second) PersistBucket(bucket);
}

bool ServiceStore::HasBucket(const std::string& bucket) const {
    std::lock_guard<std::mutex> lock(mu_);
    return objects_.count(bucket) > 0;
}

std::string ServiceStore::DeleteBucket(const std::string& bucket) {
    std::lock_guard<std::mutex> lock(mu_);
    auto b = objects_.find(bucket);
    if (b == objects_.end()) return "NoSuchBucket";
    if (!b->second.empty()) return "BucketNotEmpty";
    for (const auto& u : uploads_)
        if (u.second.bucket == bucket) return "BucketNotEmpty";
    objects_.erase(b);
    for (auto it = bucketConfigs_.lower_bound({bucket, std::string()});
         it != bucketConfigs_.end() && it->first.first == bucket;)
        it = bucketConfigs_.erase(it);
    UnpersistBucket(bucket);
    return std::string();
}

void ReserveBytes(std::string* s, size_t n) {
    s->reserve(n);
    constexpr uintptr_t kHuge = uintptr_t{2} << 20;
    if (n < kHuge) return;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(s->data()) + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(s->data()) + n) & ~(kHuge - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);  // a hint only
}

ServiceStore::ObjectPtr ServiceStore::Put(const std::string& bucket, const std::string& key,
                                          std::string data, std::map<std::string, std::string> meta,
                                          std::string etag, std::optional<uint64_t> crc64) {
    auto obj = std::make_shared<StoredObject>();
    obj->etag = etag.empty() ? auth::Md5Hex(data) : etag;
    obj->crc64 = crc64 ? *crc64 : auth::Crc64(data.data(), data.size());
    obj->data = std::move(data);
    obj->lastModified = Now();
    obj->meta = std::move(meta);
    std::lock_guard<std::mutex> lock(mu_);
    auto b = objects_.find(bucket);
    if (b == objects_.end()) return nullptr;
    b->second[key] = obj;
    // A new object starts without the old one's ACL and tags.
    acls_.erase({bucket, key});
    tags_.erase({bucket, key});
    Persist(bucket, key, *obj);
    return obj;
}

ServiceStore::ObjectPtr ServiceStore::Get(const std::string& bucket, const std::string& key) const {
    std::lock_guard<std::mutex> lock(mu_);
    auto b = objects_.find(bucket);
    if (b == objects_.end()) return nullptr;
    auto o = b->second.find(key);
    return o == b->second.end() ? nullptr : o->second;
}

bool ServiceStore::Delete(const std::string& bucket, const std::string& key) {
    std::lock_guard<std::mutex> lock(mu_);
    acls_.erase({bucket, key});
    tags_.erase({bucket, key});
    auto b = objects_.find(bucket);
    if (b == objects_.end()) return false;
    bool had = b->second.erase(key) > 0;
    if (had) Unpersist(bucket, key);
    return had;
}

std::vector<std::pair<std::string, ServiceStore::ObjectPtr>> ServiceStore::List(const std::string& bucket) const {
    std::lock_guard<std::mutex> lock(mu_);
    std::vector<std::pair<std::string, ObjectPtr>> out;
    auto b = objects_.find(bucket);
    if (b != objects_.end())
        for (const auto& o : b->second) out.emplace_back(o.first, o.second);
    return out;
}

void ServiceStore::SetAcl(const std::string& bucket, const std::string& key, const std::string& xml) {
    std::lock_guard<std::mutex> lock(mu_);
    if (xml.empty())
        acls_.erase({bucket, key});
    else
        acls_[{bucket, key}] = xml;
}

std::string ServiceStore::GetAcl(const std::string& bucket, const std::string& key) const {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = acls_.find({bucket, key});
    return it == acls_.end() ? std::string() : it->second;
}

void ServiceStore::SetTags(const std::string& bucket, const std::string& key,
                           std::vector<std::pair<std::string, std::string>> tags) {
    std::lock_guard<std::mutex> lock(mu_);
    if (tags.empty())
        tags_.erase({bucket, key});
    else
        tags_[{bucket, key}] = std::move(tags);
}

std::vector<std::pair<std::string, std::string>> ServiceStore::GetTags(const std::string& bucket,
                                                                       const std::string& key) const {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = tags_.find({bucket, key});
    return it == tags_.end() ? std::vector<std::pair<std::string, std::string>>() : it->second;
}

std::string ServiceStore::InitUpload(const std::string& bucket, const std::string& key,
                                     std::map<std::string, std::string> meta) {
    static thread_local std::mt19937_64 rng(std::random_device{}());
    char id[64];
    std::lock_guard<std::mutex> lock(mu_);
    if (objects_.count(bucket) == 0) return std::string();
    ++uploadSequence_;
    snprintf(id, sizeof id, "%lld%04llu%016llx", static_cast<long long>(Now()),
             static_cast<unsigned long long>(uploadSequence_ % 10000),
             static_cast<unsigned long long>(rng()));
    OpenUpload u;
    u.bucket = bucket;
    u.key = key;
    u.uploadId = id;
    u.sequence = uploadSequence_;
    u.initiated = Now();
    u.meta = std::move(meta);
    uploads_[u.uploadId] = std::move(u);
    return id;
}

bool ServiceStore::PutPart(const std::string& uploadId, uint64_t number, StoredPart part) {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = uploads_.find(uploadId);
    if (it == uploads_.end()) return false;
    part.size = part.data.size();
    it->second.parts[number] = std::move(part);
    return true;
}

bool ServiceStore::GetUpload(const std::string& uploadId, OpenUpload* out, bool withData) const {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = uploads_.find(uploadId);
    if (it == uploads_.end()) return false;
    const OpenUpload& u = it->second;
    out->bucket = u.bucket;
    out->key = u.key;
    out->uploadId = u.uploadId;
    out->sequence = u.sequence;
    out->initiated = u.initiated;
    out->meta = u.meta;
    out->parts.clear();
    for (const auto& p : u.parts) {
        StoredPart part;
        part.etag = p.second.etag;
        part.size = p.second.data.size();
        part.lastModified = p.second.lastModified;
        if (withData) part.data = p.second.data;
        out->parts[p.first] = std::move(part);
    }
    return true;
}

std::vector<OpenUpload> ServiceStore::ListUploads(const std::string& bucket) const {
    std::lock_guard<std::mutex> lock(mu_);
    std::vector<OpenUpload> out;
    for (const auto& u : uploads_) {
        if (u.second.bucket != bucket) continue;
        OpenUpload copy;
        copy.bucket = u.second.bucket;
        copy.key = u.second.key;
        copy.uploadId = u.second.uploadId;
        copy.sequence = u.second.sequence;
        copy.initiated = u.second.initiated;
        out.push_back(std::move(copy));
    }
    std::sort(out.begin(), out.end(), [](const OpenUpload& a, const OpenUpload& b) {
        return a.key != b.key ? a.key < b.key : a.sequence < b.sequence;
    });
    return out;
}

bool ServiceStore::AbortUpload(const std::string& uploadId) {
    std::lock_guard<std::mutex> lock(mu_);
    return uploads_.erase(uploadId) > 0;
}

std::string ServiceStore::TakeUpload(const std::string& uploadId,
                                     const std::vector<std::pair<uint64_t, std::string>>& list,
                                     std::string* message, OpenUpload* out) {
    auto lower = [](std::string t) {
        for (auto& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return t;
    };
    std::lock_guard<std::mutex> lock(mu_);
    auto it = uploads_.find(uploadId);
    if (it == uploads_.end()) {
        *message = "The specified upload does not exist.";
        return "NoSuchUpload";
    }
    if (list.empty()) {
        *message = "The XML you provided was not well-formed or did not validate against our published schema.";
        return "MalformedXML";
    }
    uint64_t previous = 0;
    for (const auto& entry : list) {
        if (entry.first <= previous) {
            *message = "The list of parts was not in ascending order.";
            return "InvalidPartOrder";
        }
        previous = entry.first;
        auto part = it->second.parts.find(entry.first);
        if (part == it->second.parts.end() || lower(part->second.etag) != lower(entry.second)) {
            *message = "One or more of the specified parts could not be found or the ETag did not match: part " +
                       std::to_string(entry.first);
            return "InvalidPart";
        }
    }
    *out = std::move(it->second);
    uploads_.erase(it);
    // Only the listed parts make the object.
    for (auto p = out->parts.begin(); p != out->parts.end();) {
        bool listed = std::any_of(list.begin(), list.end(),
                                  [&](const std::pair<uint64_t, std::string>& e) { return e.first == p->first; });
        p = listed ? std::next(p) : out->parts.erase(p);
    }
    return std::string();
}

void ServiceStore::Clear() {
    std::lock_guard<std::mutex> lock(mu_);
    if (!root_.empty()) {
        for (const auto& b : objects_) {
            for (const auto& o : b.second) Unpersist(b.first, o.first);
            UnpersistBucket(b.first);
        }
    }
    objects_.clear();
    acls_.clear();
    tags_.clear();
    uploads_.clear();
    bucketConfigs_.clear();
}

void ServiceStore::SetBucketConfig(const std::string& bucket, const std::string& name, std::string body) {
    std::lock_guard<std::mutex> lock(mu_);
    bucketConfigs_[{bucket, name}] = std::move(body);
}

bool ServiceStore::GetBucketConfig(const std::string& bucket, const std::string& name, std::string* body) const {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = bucketConfigs_.find({bucket, name});
    if (it == bucketConfigs_.end()) return false;
    *body = it->second;
    return true;
}

void ServiceStore::DeleteBucketConfig(const std::string& bucket, const std::string& name) {
    std::lock_guard<std::mutex> lock(mu_);
    bucketConfigs_.erase({bucket, name});
}

std::vector<std::pair<std::string, std::string>> ServiceStore::ListBucketConfigs(const std::string& bucket,
                                                                                 const std::string& prefix) const {
    std::lock_guard<std::mutex> lock(mu_);
    std::vector<std::pair<std::string, std::string>> out;
    for (auto it = bucketConfigs_.lower_bound({bucket, prefix});
         it != bucketConfigs_.end() && it->first.first == bucket &&
         it->first.second.compare(0, prefix.size(), prefix) == 0;
         ++it)
        out.emplace_back(it->first.second, it->second);
    return out;
}

}  // namespace zid_local
