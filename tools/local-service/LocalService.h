// Loopback storage service: a small HTTP/HTTPS server on 127.0.0.1 that speaks the
// storage protocol well enough for the client's tests and the demo. It checks every
// request's signature with its own code and can misbehave on purpose (scripted faults).
// It keeps bucket configurations as the bytes that came and reads none of them; it does not
// keep object versions, does not read grants given in x-zid-grant-* headers, and does not
// check temporary security tokens. A select query
// (POST ?select) answers the whole object, whatever its expression says.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zid_local {

struct ServiceOptions {
    uint16_t port = 0;          // 0: pick a free port
    bool https = false;
    std::string certFile;       // server certificate (PEM), HTTPS only
    std::string keyFile;        // server private key (PEM), HTTPS only
    std::string caFile;         // CA chain offered with the certificate (optional)
    std::string root;           // folder that keeps objects across restarts; empty: memory only
    // Accepted credentials, access key id -> secret key.
    std::map<std::string, std::string> credentials{{"AKID", "SK"}};
    bool checkSignature = true; // off: unsigned requests are served too (the demo's curl)
    bool verbose = false;       // one line per request on stderr
    int idleCloseMs = 10000;    // a kept connection idle this long is closed
    uint64_t listPageSize = 1000;  // keys of an object listing page when max-keys is not sent
    // Bucket of a request whose Host is a bare address (127.0.0.1:PORT), as for a domain bound
    // to that bucket: presigned URLs made with a destination domain name no bucket of their own.
    // Without it such a request answers NoSuchBucket. The bucket is made at the start.
    std::string domainBucket;
    // Buckets made at the start and made again, empty, by Clear().
    std::vector<std::string> buckets;
};

enum class FaultKind {
    Refuse,            // close the connection without answering
    Status,            // answer `status` with an Error body (request id per `withRequestId`)
    CloseMidBody,      // full Content-Length, `afterBytes` of the body, then a clean close
    Reset,             // `afterBytes` of the body (0: nothing at all), then a TCP reset
    Stall,             // wait `stallMs` before each `chunkBytes` of the body (0: one wait)
    WrongCrc,          // "x-zid-hash-crc64ecma" off by one
    NoCrc,             // no "x-zid-hash-crc64ecma" header
    IgnoreRange,       // a ranged GET answers 200 with the whole object
    WrongContentRange, // a ranged GET answers 206 whose Content-Range starts one byte later
    ErrorBody200,      // 200 with an Error document as the body (complete, copy)
    NoETag,            // no ETag header, no ETag element in XML answers
    UpperETag,         // ETag in upper-case hex
    ReplaceObject,     // before serving, replace the object with `data` (new ETag)
    TextBody200,       // 200 with a body that is not XML: `data`, or "OK" when empty (a proxy's page)
    StuckListing,      // a part or object listing says "truncated" but repeats the marker it was asked for
    NoNextMarker,      // an object listing without its NextMarker element
    EmptyTruncatedListing,  // an object listing page without its keys that still says "truncated"
    CloseConnection,   // the answer says "Connection: close", then the connection is closed
    CloseAfterAnswer,  // the whole answer, keep-alive and all, then the connection is closed
    ShortLength,       // a whole-object GET: Content-Length and body `afterBytes` (-1: 1000) short
    ErrorBodyObject200,  // a whole-object GET: 200 and the object's headers over an Error body
};

// A request takes at most one fault of each kind (the first added that matches and is not
// used up); faults of different kinds combine.
struct Fault {
    FaultKind kind = FaultKind::Status;
    int status = 503;
    bool withRequestId = true;
    std::string errorCode = "ServiceUnavailable";
    int stallMs = 0;
    uint64_t chunkBytes = 0;
    int64_t afterBytes = -1;    // CloseMidBody/Reset: body bytes sent first; -1: half the body
                                // ShortLength: bytes left out
    std::string data;           // ReplaceObject: the new content

    // Match (every non-empty field must hold).
    std::string method;         // exact, e.g. "GET"
    std::string keySubstring;   // substring of the object key
    std::string host;           // substring of the Host header
    std::string queryParam;     // a query parameter that must be present, e.g. "partNumber"
    int64_t rangeFrom = -1;     // a Range header ("bytes=N-...") with N at least this; -1: any
    int64_t rangeTo = -1;       // a Range header with N at most this; -1: any
    int skip = 0;               // let this many matching requests pass first
    int times = 1;              // how many requests it hits; -1: all
};

struct RecordedRequest {
    std::string method;
    std::string uri;            // as it arrived (path and query, still encoded)
    std::string path;           // decoded path
    std::string query;          // raw query text
    std::map<std::string, std::string> params;  // decoded query parameters
    std::string host;           // the Host header
    std::vector<std::pair<std::string, std::string>> headers;  // as they arrived
    std::string bucket;
    std::string key;
    uint64_t bodySize = 0;
    std::string body;           // kept when at most 1 MiB
    int status = 0;             // what the service answered (0: no answer, fault)
    bool signatureOk = false;

    // Case-insensitive header look-up; empty when absent.
    std::string Header(const std::string& name) const;
    bool HasHeader(const std::string& name) const;
};

struct StoredObject {
    std::string data;
    std::string etag;           // hex MD5 (or multipart form) without quotes
    uint64_t crc64 = 0;
    int64_t lastModified = 0;   // seconds since the epoch
    std::map<std::string, std::string> meta;  // Content-Type, x-zid-meta-* ...
};

class LocalService {
public:
    explicit LocalService(ServiceOptions options = ServiceOptions());
    ~LocalService();
    LocalService(const LocalService&) = delete;
    LocalService& operator=(const LocalService&) = delete;

    // Throws std::runtime_error when the port cannot be bound or the TLS files are bad.
    void Start();
    void Stop();
    bool IsRunning() const;
    uint16_t Port() const;
    std::string DestDomain() const;           // "127.0.0.1:PORT"
    const ServiceOptions& Options() const;

    // Direct store access for tests. A request's bucket is the first label of its Host header
    // ("b-1250000000" for "b-1250000000.zid.ap-x.objstore.example"); a plain address or
    // "localhost" as Host names the domain bucket of the options, or none.
    // Keys are the decoded path without its first "/".
    // Buckets: a request to a bucket not made answers 404 NoSuchBucket. A bucket is made by a
    // PUT of the bucket, by CreateBucket, by Seed (every folder, empty ones too), by the options'
    // `buckets` and by PutObject here, which makes the bucket it names.
    void CreateBucket(const std::string& bucket);
    bool HasBucket(const std::string& bucket) const;
    void PutObject(const std::string& bucket, const std::string& key, const std::string& data);
    std::optional<std::string> GetObject(const std::string& bucket, const std::string& key) const;
    std::optional<StoredObject> GetStoredObject(const std::string& bucket, const std::string& key) const;
    bool DeleteObject(const std::string& bucket, const std::string& key);
    std::vector<std::string> ListKeys(const std::string& bucket) const;
    std::string GetObjectAcl(const std::string& bucket, const std::string& key) const;    // XML
    std::map<std::string, std::string> GetObjectTags(const std::string& bucket, const std::string& key) const;
    size_t OpenUploadCount(const std::string& bucket) const;
    // Makes a HEAD of the object report `size` as its Content-Length, so that copies of
    // objects far larger than memory can be exercised. A part copy from it may range over
    // `size` bytes and stores the text "FIRST-LAST\n" of its range instead of the bytes.
    // Other requests see the stored data. Clear() forgets it; 0 forgets it for this object.
    void SetReportedSize(const std::string& bucket, const std::string& key, uint64_t size);
    // A bucket configuration as it was put ("cors", "inventory:ID", ...).
    std::optional<std::string> GetBucketConfig(const std::string& bucket, const std::string& name) const;
    // Object listings without max-keys (1 to 1000 keys); Clear() puts back the options' value.
    void SetListPageSize(uint64_t keys);
    // Loads ROOT/<bucket>/<key...> files as objects.
    void Seed(const std::string& folder);
    // Buckets (but those of the options), objects, uploads, ACLs, tags, bucket configurations,
    // faults, the request record and the listing page size.
    void Clear();

    void AddFault(const Fault& fault);
    // Also ends the stalls under way: their answers go on at once.
    void ClearFaults();
    size_t PendingFaults() const;

    std::vector<RecordedRequest> Requests() const;
    void ClearRequests();

    // Connections accepted since the start, and those open now.
    int AcceptedConnections() const;
    int OpenConnections() const;

    // The service's own checksums (shared with its tests).
    static uint64_t Crc64(const std::string& data, uint64_t crc = 0);
    static std::string Md5Hex(const std::string& data);

    struct Impl;
private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace zid_local
