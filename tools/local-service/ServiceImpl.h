// What the loopback service's files share: one request as it arrived (Call), the answer
// being built (Answer), the faults it takes, and the service's state (Impl).
#pragma once

#include <Poco/Net/HTTPRequestHandlerFactory.h>
#include <Poco/Net/HTTPServerRequest.h>
#include <Poco/Net/HTTPServerResponse.h>
#include <Poco/Net/TCPServer.h>
#include <Poco/ThreadPool.h>
#include <rapidxml/rapidxml.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "LocalService.h"
#include "ServiceAuth.h"
#include "ServiceStore.h"

namespace zid_local {

// The sockets of the connections being served, so that a stop can end each one. Each is held
// by a descriptor of its own while listed, so the one a stop shuts is never another's.
// Poco's own way, an event the stopping server fires, orders the connection's teardown with
// the firing thread only through a reference count ThreadSanitizer cannot see in Poco.
class ServedSockets {
public:
    int Add(int fd);          // the descriptor to hand back to Remove, or -1
    void Remove(int own);
    // Shuts every listed socket both ways (reads end, writes fail), and each one added after.
    void EndAll();

private:
    std::mutex mu_;
    std::set<int> fds_;
    bool ended_ = false;
};

using HeaderList = std::vector<std::pair<std::string, std::string>>;

inline std::string Lower(const std::string& s) { return auth::Lower(s); }

inline bool IEquals(const std::string& a, const std::string& b) { return Lower(a) == Lower(b); }

std::string Xml(const std::string& text);
std::string Elem(const std::string& name, const std::string& text);
std::string IsoTime(int64_t t);
std::string HttpTime(int64_t t);
std::string Unquote(std::string s);
std::string Trim(const std::string& s);
bool ParseUint(const std::string& s, uint64_t* v);
std::string StripPort(const std::string& host);

// The bucket of a bucket host is its first label; a plain host (an address) names none: "".
std::string BucketOfHost(const std::string& hostHeader);

// Byte range of one "bytes=a-b" / "bytes=a-" / "bytes=-n" against size. Returns false when
// it cannot be served.
bool ParseRange(const std::string& header, uint64_t size, uint64_t* first, uint64_t* last);

std::string DefaultAcl(const std::string& owner, const std::string& canned);

// Wraps rapidxml on a private copy of a body.
struct XmlDoc {
    std::vector<char> buf;
    rapidxml::xml_document<> doc;
    bool ok = false;
    explicit XmlDoc(const std::string& body) : buf(body.begin(), body.end()) {
        buf.push_back('\0');
        try {
            doc.parse<0>(buf.data());
            ok = true;
        } catch (const rapidxml::parse_error&) {
            ok = false;
        }
    }
    rapidxml::xml_node<>* Root(const char* name) { return ok ? doc.first_node(name) : nullptr; }
};

std::string Text(rapidxml::xml_node<>* n);
std::string ChildText(rapidxml::xml_node<>* n, const char* name, bool* present = nullptr);

struct FaultSlot {
    Fault fault;
    int seen = 0;
    int hits = 0;
};

// What the faults of one request ask the answer to do.
struct ActiveFaults {
    bool refuse = false;
    const Fault* status = nullptr;
    const Fault* errorBody200 = nullptr;
    const Fault* closeMidBody = nullptr;
    const Fault* reset = nullptr;
    const Fault* stall = nullptr;
    bool wrongCrc = false;
    bool noCrc = false;
    bool ignoreRange = false;
    bool wrongContentRange = false;
    bool noETag = false;
    bool upperETag = false;
    const Fault* textBody200 = nullptr;
    bool stuckListing = false;
    bool closeConnection = false;
    bool closeAfterAnswer = false;
    bool noNextMarker = false;
    bool emptyTruncatedListing = false;
    const Fault* shortLength = nullptr;
    bool errorBodyObject200 = false;
    std::vector<Fault> replacements;
    std::vector<Fault> kept;  // copies the pointers above refer to
    uint64_t clearings = 0;   // ClearFaults calls before these were taken
};

struct Answer {
    int status = 200;
    HeaderList headers;
    std::string body;
    // A slice of a stored object, sent without copying it.
    ServiceStore::ObjectPtr object;
    uint64_t offset = 0;
    uint64_t length = 0;
    bool useObject = false;
    bool omitRequestId = false;

    void Set(const std::string& name, const std::string& value) {
        for (auto& h : headers)
            if (IEquals(h.first, name)) {
                h.second = value;
                return;
            }
        headers.emplace_back(name, value);
    }
    void Remove(const std::string& name) {
        headers.erase(std::remove_if(headers.begin(), headers.end(),
                                     [&](const std::pair<std::string, std::string>& h) {
                                         return IEquals(h.first, name);
                                     }),
                      headers.end());
    }
    bool Has(const std::string& name) const {
        for (const auto& h : headers)
            if (IEquals(h.first, name)) return true;
        return false;
    }
    std::string Get(const std::string& name) const {
        for (const auto& h : headers)
            if (IEquals(h.first, name)) return h.second;
        return std::string();
    }
};

struct Call {
    std::string method;
    std::string path;
    std::map<std::string, std::string> params;
    HeaderList headers;
    std::string host;
    std::string bucket;
    std::string key;
    std::string body;
    std::string requestId;
    std::string accessKey;

    bool Has(const std::string& p) const { return params.count(p) > 0; }
    std::string Param(const std::string& p) const {
        auto it = params.find(p);
        return it == params.end() ? std::string() : it->second;
    }
    std::string Header(const std::string& name) const {
        for (const auto& h : headers)
            if (IEquals(h.first, name)) return h.second;
        return std::string();
    }
    bool HasHeader(const std::string& name) const {
        for (const auto& h : headers)
            if (IEquals(h.first, name)) return true;
        return false;
    }
};

struct LocalService::Impl {
    ServiceOptions options;
    ServiceStore store;

    mutable std::mutex faultMu;
    std::vector<FaultSlot> faults;

    mutable std::mutex recordMu;
    std::vector<RecordedRequest> record;

    mutable std::mutex sizeMu;
    std::map<std::pair<std::string, std::string>, uint64_t> reportedSizes;
    // 0 when the object has no reported size.
    uint64_t ReportedSize(const std::string& bucket, const std::string& key) const {
        std::lock_guard<std::mutex> lock(sizeMu);
        auto it = reportedSizes.find({bucket, key});
        return it == reportedSizes.end() ? 0 : it->second;
    }

    std::unique_ptr<Poco::ThreadPool> pool;
    std::unique_ptr<Poco::Net::TCPServer> server;
    Poco::Net::HTTPRequestHandlerFactory::Ptr handlers;
    std::shared_ptr<ServedSockets> open = std::make_shared<ServedSockets>();
    uint16_t port = 0;
    std::atomic<bool> running{false};
    std::atomic<uint64_t> requestCounter{0};
    std::atomic<uint64_t> listPageSize;

    // Handlers in flight; Stop waits for them so none outlives the service.
    std::mutex activeMu;
    std::condition_variable activeCv;
    int active = 0;
    bool stopping = false;
    uint64_t faultClearings = 0;  // a stall ends once the faults it came from are cleared

    explicit Impl(ServiceOptions o) : options(std::move(o)), listPageSize(options.listPageSize) {}

    // The buckets of the options, there from the start and again after Clear().
    void MakeStandingBuckets() {
        for (const auto& b : options.buckets) store.MakeBucket(b);
        if (!options.domainBucket.empty()) store.MakeBucket(options.domainBucket);
    }

    void Handle(Poco::Net::HTTPServerRequest& req, Poco::Net::HTTPServerResponse& resp);

    // Sleeps up to ms, or until the faults taken after `clearings` clearings are cleared;
    // false when the service is stopping.
    bool Sleep(int ms, uint64_t clearings) {
        std::unique_lock<std::mutex> lock(activeMu);
        activeCv.wait_for(lock, std::chrono::milliseconds(ms),
                          [&] { return stopping || faultClearings != clearings; });
        return !stopping;
    }

    std::string NewRequestId() {
        char buf[64];
        snprintf(buf, sizeof buf, "zid-%08llx-%06llx", static_cast<unsigned long long>(ServiceStore::Now()),
                 static_cast<unsigned long long>(++requestCounter));
        return buf;
    }

    ActiveFaults TakeFaults(const Call& c);
    // Bends a listing answer as its faults ask.
    void ApplyListingFaults(const ActiveFaults& faults, const Call& c, Answer* a) const;
    Answer Route(Call& c);

    // Families of routes, asked in the order Route lists them: each answers the calls it
    // knows and leaves the others (nullopt) to the next one.
    using RouteFamily = std::optional<Answer> (Impl::*)(Call& c);
    // First of all: a request to a bucket not made answers NoSuchBucket.
    std::optional<Answer> BucketExistence(Call& c);
    std::optional<Answer> MultipartRoutes(Call& c);
    std::optional<Answer> AclTaggingRoutes(Call& c);
    std::optional<Answer> CopyRoutes(Call& c);
    std::optional<Answer> SelectRoutes(Call& c);
    std::optional<Answer> LocationRoutes(Call& c);
    std::optional<Answer> BucketConfigRoutes(Call& c);
    std::optional<Answer> BucketRoutes(Call& c);
    std::optional<Answer> ObjectRoutes(Call& c);

    Answer Error(const Call& c, int status, const std::string& code, const std::string& message,
                 bool withRequestId = true) const;
    // The bucket was deleted while the request was under way.
    Answer GoneBucket(const Call& c) const { return Error(c, 404, "NoSuchBucket", "The specified bucket does not exist."); }

    Answer ObjectHead(const ServiceStore::ObjectPtr& obj, int status = 200) const;
    Answer GetObject(Call& c);
    Answer PutObject(Call& c);
    Answer CopyObject(Call& c);
    Answer InitUpload(Call& c);
    Answer UploadPart(Call& c);
    Answer CompleteUpload(Call& c);
    Answer ListParts(Call& c);
    Answer ListUploads(Call& c);
    Answer ListBucket(Call& c);
    Answer DeleteMany(Call& c);
    Answer PutAcl(Call& c);
    Answer GetAcl(Call& c);
    Answer PutTagging(Call& c);
    Answer GetTagging(Call& c);

    // Resolves an "x-zid-copy-source" to a stored object, or fills the error answer.
    ServiceStore::ObjectPtr CopySource(const Call& c, Answer* error, std::string* bucket = nullptr,
                                       std::string* key = nullptr) const;
    std::map<std::string, std::string> MetaFromHeaders(const Call& c) const;
    bool CheckContentMd5(const Call& c, Answer* error) const;
    // Preconditions of a read: 412 / 304, or nothing.
    bool Preconditions(const Call& c, const StoredObject& obj, const std::string& prefix, Answer* out) const;

    void Send(Poco::Net::HTTPServerRequest& req, Poco::Net::HTTPServerResponse& resp, Answer& a,
              const ActiveFaults& f, bool head, const std::string& requestId);
};

}  // namespace zid_local
