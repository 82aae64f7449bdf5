#include "LocalService.h"

#include <Poco/DateTimeFormat.h>
#include <Poco/DateTimeFormatter.h>
#include <Poco/DateTimeParser.h>
#include <Poco/Net/Context.h>
#include <Poco/Net/HTTPRequestHandler.h>
#include <Poco/Net/HTTPRequestHandlerFactory.h>
#include <Poco/Net/HTTPServer.h>
#include <Poco/Net/HTTPServerParams.h>
#include <Poco/Net/HTTPServerRequest.h>
#include <Poco/Net/HTTPServerRequestImpl.h>
#include <Poco/Net/HTTPServerResponse.h>
#include <Poco/Net/SecureServerSocket.h>
#include <Poco/Net/ServerSocket.h>
#include <Poco/Net/SocketAddress.h>
#include <Poco/ThreadPool.h>
#include <Poco/Timestamp.h>
#include <rapidxml/rapidxml.hpp>

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>

#include "ServiceAuth.h"
#include "ServiceStore.h"

namespace zid_local {

namespace {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

std::string Lower(const std::string& s) { return auth::Lower(s); }

bool IEquals(const std::string& a, const std::string& b) { return Lower(a) == Lower(b); }

std::string Xml(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string Elem(const std::string& name, const std::string& text) {
    return "<" + name + ">" + Xml(text) + "</" + name + ">";
}

std::string IsoTime(int64_t t) {
    return Poco::DateTimeFormatter::format(Poco::Timestamp::fromEpochTime(static_cast<time_t>(t)),
                                           "%Y-%m-%dT%H:%M:%S.000Z");
}

std::string HttpTime(int64_t t) {
    return Poco::DateTimeFormatter::format(Poco::Timestamp::fromEpochTime(static_cast<time_t>(t)),
                                           Poco::DateTimeFormat::HTTP_FORMAT);
}

std::string Unquote(std::string s) {
    if (s.size() >= 2 && s.compare(0, 2, "W/") == 0) s = s.substr(2);
    if (!s.empty() && s.front() == '"') s.erase(0, 1);
    if (!s.empty() && s.back() == '"') s.pop_back();
    return s;
}

std::string Trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return std::string();
    size_t b = s.find_last_not_of(" \t");
    return s.substr(a, b - a + 1);
}

bool ParseUint(const std::string& s, uint64_t* v) {
    if (s.empty() || s.size() > 19) return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    *v = std::strtoull(s.c_str(), nullptr, 10);
    return true;
}

bool IsPlainHost(const std::string& host) {
    if (host.empty() || host == "localhost" || host.front() == '[') return true;
    if (host.find('.') == std::string::npos) return true;
    return std::all_of(host.begin(), host.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)) || c == '.'; });
}

std::string StripPort(const std::string& host) {
    if (!host.empty() && host.front() == '[') {
        size_t close = host.find(']');
        return close == std::string::npos ? host : host.substr(0, close + 1);
    }
    size_t colon = host.rfind(':');
    return colon == std::string::npos ? host : host.substr(0, colon);
}

// The bucket of a bucket host is its first label; a plain host (an address) means the
// default bucket "".
std::string BucketOfHost(const std::string& hostHeader) {
    std::string host = StripPort(hostHeader);
    if (IsPlainHost(host)) return std::string();
    return host.substr(0, host.find('.'));
}

// Byte range of one "bytes=a-b" / "bytes=a-" / "bytes=-n" against size. Returns false when
// it cannot be served.
bool ParseRange(const std::string& header, uint64_t size, uint64_t* first, uint64_t* last) {
    std::string h = Trim(header);
    if (h.compare(0, 6, "bytes=") != 0) return false;
    std::string ranges = Trim(h.substr(6));
    if (ranges.find(',') != std::string::npos) return false;
    size_t dash = ranges.find('-');
    if (dash == std::string::npos) return false;
    std::string a = Trim(ranges.substr(0, dash)), b = Trim(ranges.substr(dash + 1));
    uint64_t x = 0, y = 0;
    if (a.empty()) {
        if (!ParseUint(b, &y) || y == 0 || size == 0) return false;
        *first = y >= size ? 0 : size - y;
        *last = size - 1;
        return true;
    }
    if (!ParseUint(a, &x) || x >= size) return false;
    if (b.empty()) {
        *first = x;
        *last = size - 1;
        return true;
    }
    if (!ParseUint(b, &y) || y < x) return false;
    *first = x;
    *last = std::min(y, size - 1);
    return true;
}

const char* kXsi = "http://www.w3.org/2001/XMLSchema-instance";
const char* kAllUsers = "http://zid.invalid/groups/global/AllUsers";

std::string DefaultAcl(const std::string& owner, const std::string& canned) {
    std::string id = "zid::owner/" + owner;
    std::string grants = "<Grant><Grantee xmlns:xsi=\"" + std::string(kXsi) +
                         "\" xsi:type=\"CanonicalUser\">" + Elem("ID", id) + Elem("DisplayName", owner) +
                         "</Grantee><Permission>FULL_CONTROL</Permission></Grant>";
    if (canned == "public-read" || canned == "public-read-write") {
        grants += "<Grant><Grantee xmlns:xsi=\"" + std::string(kXsi) + "\" xsi:type=\"Group\">" +
                  Elem("URI", kAllUsers) + "</Grantee><Permission>READ</Permission></Grant>";
    }
    if (canned == "public-read-write") {
        grants += "<Grant><Grantee xmlns:xsi=\"" + std::string(kXsi) + "\" xsi:type=\"Group\">" +
                  Elem("URI", kAllUsers) + "</Grantee><Permission>WRITE</Permission></Grant>";
    }
    return "<AccessControlPolicy><Owner>" + Elem("ID", id) + Elem("DisplayName", owner) +
           "</Owner><AccessControlList>" + grants + "</AccessControlList></AccessControlPolicy>";
}

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

std::string Text(rapidxml::xml_node<>* n) { return n ? std::string(n->value(), n->value_size()) : std::string(); }

std::string ChildText(rapidxml::xml_node<>* n, const char* name, bool* present = nullptr) {
    rapidxml::xml_node<>* c = n ? n->first_node(name) : nullptr;
    if (present) *present = c != nullptr;
    return Text(c);
}

}  // namespace

// ---------------------------------------------------------------------------------------------

std::string RecordedRequest::Header(const std::string& name) const {
    for (const auto& h : headers)
        if (IEquals(h.first, name)) return h.second;
    return std::string();
}

bool RecordedRequest::HasHeader(const std::string& name) const {
    for (const auto& h : headers)
        if (IEquals(h.first, name)) return true;
    return false;
}

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
    std::vector<Fault> replacements;
    std::vector<Fault> kept;  // copies the pointers above refer to
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
    std::unique_ptr<Poco::Net::HTTPServer> server;
    uint16_t port = 0;
    std::atomic<bool> running{false};
    std::atomic<uint64_t> requestCounter{0};

    // Handlers in flight; Stop waits for them so none outlives the service.
    std::mutex activeMu;
    std::condition_variable activeCv;
    int active = 0;
    bool stopping = false;

    explicit Impl(ServiceOptions o) : options(std::move(o)) {}

    void Handle(Poco::Net::HTTPServerRequest& req, Poco::Net::HTTPServerResponse& resp);

    // Sleeps up to ms; false when the service is stopping.
    bool Sleep(int ms) {
        std::unique_lock<std::mutex> lock(activeMu);
        return !activeCv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping; });
    }

    std::string NewRequestId() {
        char buf[64];
        snprintf(buf, sizeof buf, "zid-%08llx-%06llx", static_cast<unsigned long long>(ServiceStore::Now()),
                 static_cast<unsigned long long>(++requestCounter));
        return buf;
    }

    ActiveFaults TakeFaults(const Call& c);
    Answer Route(Call& c);

    Answer Error(const Call& c, int status, const std::string& code, const std::string& message,
                 bool withRequestId = true) const;

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

namespace {

class Handler : public Poco::Net::HTTPRequestHandler {
public:
    explicit Handler(LocalService::Impl& impl) : impl_(impl) {}
    void handleRequest(Poco::Net::HTTPServerRequest& req, Poco::Net::HTTPServerResponse& resp) override {
        impl_.Handle(req, resp);
    }

private:
    LocalService::Impl& impl_;
};

class Factory : public Poco::Net::HTTPRequestHandlerFactory {
public:
    explicit Factory(LocalService::Impl& impl) : impl_(impl) {}
    Poco::Net::HTTPRequestHandler* createRequestHandler(const Poco::Net::HTTPServerRequest&) override {
        return new Handler(impl_);
    }

private:
    LocalService::Impl& impl_;
};

}  // namespace

Answer LocalService::Impl::Error(const Call& c, int status, const std::string& code,
                                 const std::string& message, bool withRequestId) const {
    Answer a;
    a.status = status;
    a.Set("Content-Type", "application/xml");
    std::string resource = c.host + c.path;
    a.body = "<?xml version='1.0' encoding='utf-8' ?>\n<Error>\n\t" + Elem("Code", code) + "\n\t" +
             Elem("Message", message) + "\n\t" + Elem("Resource", resource) + "\n";
    if (withRequestId) a.body += "\t" + Elem("RequestId", c.requestId) + "\n";
    a.body += "</Error>";
    a.omitRequestId = !withRequestId;
    return a;
}

ActiveFaults LocalService::Impl::TakeFaults(const Call& c) {
    ActiveFaults out;
    std::lock_guard<std::mutex> lock(faultMu);
    out.kept.reserve(faults.size());
    // One fault per kind and request: faults of one kind queue up in the order they were added.
    std::set<FaultKind> taken;
    for (auto& slot : faults) {
        const Fault& f = slot.fault;
        if (f.times >= 0 && slot.hits >= f.times) continue;
        if (taken.count(f.kind)) continue;
        if (!f.method.empty() && f.method != c.method) continue;
        if (!f.keySubstring.empty() && c.key.find(f.keySubstring) == std::string::npos) continue;
        if (!f.host.empty() && c.host.find(f.host) == std::string::npos) continue;
        if (!f.queryParam.empty() && !c.Has(f.queryParam)) continue;
        if (slot.seen++ < f.skip) continue;
        ++slot.hits;
        taken.insert(f.kind);
        out.kept.push_back(f);
    }
    for (const Fault& f : out.kept) {
        switch (f.kind) {
            case FaultKind::Refuse: out.refuse = true; break;
            case FaultKind::Status: if (!out.status) out.status = &f; break;
            case FaultKind::ErrorBody200: if (!out.errorBody200) out.errorBody200 = &f; break;
            case FaultKind::CloseMidBody: if (!out.closeMidBody) out.closeMidBody = &f; break;
            case FaultKind::Reset: if (!out.reset) out.reset = &f; break;
            case FaultKind::Stall: if (!out.stall) out.stall = &f; break;
            case FaultKind::WrongCrc: out.wrongCrc = true; break;
            case FaultKind::NoCrc: out.noCrc = true; break;
            case FaultKind::IgnoreRange: out.ignoreRange = true; break;
            case FaultKind::WrongContentRange: out.wrongContentRange = true; break;
            case FaultKind::NoETag: out.noETag = true; break;
            case FaultKind::UpperETag: out.upperETag = true; break;
            case FaultKind::ReplaceObject: out.replacements.push_back(f); break;
            case FaultKind::TextBody200: if (!out.textBody200) out.textBody200 = &f; break;
            case FaultKind::StuckListing: out.stuckListing = true; break;
        }
    }
    return out;
}

void LocalService::Impl::Handle(Poco::Net::HTTPServerRequest& req, Poco::Net::HTTPServerResponse& resp) {
    {
        std::lock_guard<std::mutex> lock(activeMu);
        if (stopping) {
            static_cast<Poco::Net::HTTPServerRequestImpl&>(req).socket().close();
            return;
        }
        ++active;
    }
    struct Leave {
        Impl& impl;
        ~Leave() {
            std::lock_guard<std::mutex> lock(impl.activeMu);
            --impl.active;
            impl.activeCv.notify_all();
        }
    } leave{*this};

    RecordedRequest rec;
    Call c;
    c.method = req.getMethod();
    c.requestId = NewRequestId();
    rec.method = c.method;
    rec.uri = req.getURI();
    size_t q = rec.uri.find('?');
    std::string rawPath = rec.uri.substr(0, q);
    rec.query = q == std::string::npos ? std::string() : rec.uri.substr(q + 1);
    bool badUri = !auth::PercentDecode(rawPath, &c.path);
    if (!rec.query.empty()) {
        size_t start = 0;
        while (start <= rec.query.size()) {
            size_t amp = rec.query.find('&', start);
            std::string piece = rec.query.substr(start, amp == std::string::npos ? std::string::npos : amp - start);
            if (!piece.empty()) {
                size_t eq = piece.find('=');
                std::string k, v;
                badUri |= !auth::PercentDecode(piece.substr(0, eq), &k);
                if (eq != std::string::npos) badUri |= !auth::PercentDecode(piece.substr(eq + 1), &v);
                c.params[k] = v;
            }
            if (amp == std::string::npos) break;
            start = amp + 1;
        }
    }
    for (const auto& h : req) c.headers.emplace_back(h.first, h.second);
    c.host = req.get("Host", "");
    c.bucket = BucketOfHost(c.host);
    c.key = c.path.size() > 1 ? c.path.substr(1) : std::string();

    bool shortBody = false;
    {
        // Read straight into the body string: a 1 GiB upload must not be held three times.
        std::istream& in = req.stream();
        if (req.hasContentLength() && req.getContentLength64() > 0) {
            c.body.resize(static_cast<size_t>(req.getContentLength64()));
            in.read(&c.body[0], static_cast<std::streamsize>(c.body.size()));
            c.body.resize(static_cast<size_t>(in.gcount()));
            shortBody = c.body.size() != static_cast<size_t>(req.getContentLength64());
        } else {
            std::ostringstream body;
            body << in.rdbuf();
            c.body = body.str();
        }
    }
    rec.path = c.path;
    rec.params = c.params;
    rec.host = c.host;
    rec.headers = c.headers;
    rec.bucket = c.bucket;
    rec.key = c.key;
    rec.bodySize = c.body.size();
    if (c.body.size() <= (1u << 20)) rec.body = c.body;

    ActiveFaults faults = TakeFaults(c);
    bool head = c.method == "HEAD";
    Answer a;
    bool answered = true;
    try {
        for (const Fault& f : faults.replacements) store.Put(c.bucket, c.key, f.data, {});
        if (faults.refuse) {
            answered = false;
            auto& impl = static_cast<Poco::Net::HTTPServerRequestImpl&>(req);
            resp.setKeepAlive(false);
            impl.socket().shutdown();
            impl.socket().close();
        } else if (badUri) {
            a = Error(c, 400, "InvalidURI", "Couldn't parse the specified URI.");
        } else if (faults.status) {
            const Fault& f = *faults.status;
            a = Error(c, f.status, f.errorCode, "Scripted fault", f.withRequestId);
        } else {
            auth::SignInput in;
            in.method = c.method;
            in.path = c.path;
            in.params = c.params;
            in.headers = c.headers;
            in.authorization = c.Header("Authorization");
            if (in.authorization.empty()) in.authorization = c.Param("sign");
            size_t ak = in.authorization.find("q-ak=");
            if (ak != std::string::npos)
                c.accessKey = in.authorization.substr(ak + 5, in.authorization.find('&', ak) - ak - 5);
            in.now = ServiceStore::Now();
            auth::SignCheck check;
            if (options.checkSignature) {
                check = auth::CheckSignature(in, options.credentials);
                rec.signatureOk = check.ok;
            } else {
                check.ok = true;
            }
            if (!check.ok) {
                a = Error(c, check.status, check.code, check.message);
            } else if (faults.errorBody200) {
                a = Error(c, 500, faults.errorBody200->errorCode == "ServiceUnavailable" ? "InternalError"
                                                                                       : faults.errorBody200->errorCode,
                          "We encountered an internal error. Please try again.");
                a.status = 200;
            } else if (faults.textBody200) {
                a = Answer();
                a.Set("Content-Type", "text/plain");
                a.body = faults.textBody200->data.empty() ? "OK" : faults.textBody200->data;
            } else if (shortBody) {
                // Never store a truncated upload as if it were whole.
                a = Error(c, 400, "IncompleteBody", "The request body is shorter than its Content-Length.");
            } else {
                a = Route(c);
            }
        }
    } catch (const std::exception& e) {
        a = Error(c, 500, "InternalError", e.what());
    }

    if (answered) {
        if (faults.stuckListing && a.status == 200 && a.body.compare(0, 17, "<ListPartsResult>") == 0) {
            std::string marker = c.Has("part-number-marker") ? c.Param("part-number-marker") : "0";
            auto replace = [&a](const std::string& name, const std::string& value) {
                std::string open = "<" + name + ">", close = "</" + name + ">";
                size_t p = a.body.find(open);
                size_t e = p == std::string::npos ? p : a.body.find(close, p);
                if (e != std::string::npos) a.body.replace(p + open.size(), e - p - open.size(), value);
            };
            replace("IsTruncated", "true");
            replace("NextPartNumberMarker", Xml(marker));
        }
        if (faults.ignoreRange && a.status == 206 && a.useObject) {
            a.status = 200;
            a.offset = 0;
            a.length = a.object->data.size();
            a.Remove("Content-Range");
        }
        if (faults.wrongContentRange && a.status == 206 && a.useObject) {
            uint64_t size = a.object->data.size();
            uint64_t first = a.offset + 1 < size ? a.offset + 1 : a.offset;
            uint64_t last = std::min(first + a.length - 1, size - 1);
            a.Set("Content-Range", "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
                                       std::to_string(size));
        }
        rec.status = a.status;
    }
    if (options.verbose) {
        std::cerr << c.method << " " << rec.uri << " host=" << c.host << " -> " << rec.status << "\n";
    }
    {
        std::lock_guard<std::mutex> lock(recordMu);
        record.push_back(rec);
    }
    if (!answered) return;
    try {
        Send(req, resp, a, faults, head, c.requestId);
    } catch (const std::exception&) {
        // The client went away; nothing to tell it.
    }
}

void LocalService::Impl::Send(Poco::Net::HTTPServerRequest& req, Poco::Net::HTTPServerResponse& resp,
                              Answer& a, const ActiveFaults& f, bool head, const std::string& requestId) {
    if (f.noCrc) a.Remove("x-zid-hash-crc64ecma");
    if (f.wrongCrc && a.Has("x-zid-hash-crc64ecma")) {
        uint64_t v = std::strtoull(a.Get("x-zid-hash-crc64ecma").c_str(), nullptr, 10);
        a.Set("x-zid-hash-crc64ecma", std::to_string(v + 1));
    }
    auto upper = [](std::string s) {
        for (auto& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        return s;
    };
    if (f.noETag) {
        a.Remove("ETag");
        for (size_t p; (p = a.body.find("<ETag>")) != std::string::npos;) {
            size_t e = a.body.find("</ETag>", p);
            if (e == std::string::npos) break;
            a.body.erase(p, e + 7 - p);
        }
    }
    if (f.upperETag) {
        if (a.Has("ETag")) a.Set("ETag", upper(a.Get("ETag")));
        for (size_t p = 0; (p = a.body.find("<ETag>", p)) != std::string::npos;) {
            size_t e = a.body.find("</ETag>", p);
            if (e == std::string::npos) break;
            // Hex digits only: the quotes around the value are entities.
            for (size_t i = p + 6; i < e; ++i)
                if (a.body[i] >= 'a' && a.body[i] <= 'f') a.body[i] = static_cast<char>(a.body[i] - 'a' + 'A');
            p = e;
        }
    }

    resp.setStatusAndReason(static_cast<Poco::Net::HTTPResponse::HTTPStatus>(a.status));
    for (const auto& h : a.headers) resp.set(h.first, h.second);
    if (!a.omitRequestId) resp.set("x-zid-request-id", requestId);

    const char* data = a.useObject ? a.object->data.data() + a.offset : a.body.data();
    uint64_t length = a.useObject ? a.length : a.body.size();
    resp.setContentLength64(static_cast<Poco::Int64>(length));

    const Fault* cut = f.closeMidBody ? f.closeMidBody : f.reset;
    if (cut || f.stall) resp.setKeepAlive(false);
    std::ostream& out = resp.send();
    if (head || a.status == 304) return;

    uint64_t limit = length;
    if (cut) limit = cut->afterBytes < 0 ? length / 2 : std::min<uint64_t>(length, cut->afterBytes);
    uint64_t chunk = 64 * 1024;
    if (f.stall && f.stall->chunkBytes > 0) chunk = f.stall->chunkBytes;
    bool stallOnce = f.stall && f.stall->chunkBytes == 0;
    uint64_t sent = 0;
    if (stallOnce && !Sleep(f.stall->stallMs)) return;
    while (sent < limit) {
        if (f.stall && !stallOnce && !Sleep(f.stall->stallMs)) return;
        uint64_t n = std::min(chunk, limit - sent);
        out.write(data + sent, static_cast<std::streamsize>(n));
        if (f.stall) out.flush();
        if (!out) return;
        sent += n;
    }
    if (cut) {
        out.flush();
        auto& impl = static_cast<Poco::Net::HTTPServerRequestImpl&>(req);
        if (cut->kind == FaultKind::Reset) impl.socket().setLinger(true, 0);
        else impl.socket().shutdown();
        impl.socket().close();
    }
}

// ---------------------------------------------------------------------------------------------
// Routes

Answer LocalService::Impl::Route(Call& c) {
    const std::string& m = c.method;
    if (c.key.empty()) {
        if (m == "GET" && c.Has("uploads")) return ListUploads(c);
        if (m == "GET") return ListBucket(c);
        if (m == "HEAD" || m == "PUT") return Answer();
        if (m == "POST" && c.Has("delete")) return DeleteMany(c);
        if (m == "DELETE") {
            if (!store.List(c.bucket).empty())
                return Error(c, 409, "BucketNotEmpty", "The bucket you tried to delete is not empty.");
            Answer a;
            a.status = 204;
            return a;
        }
        return Error(c, 405, "MethodNotAllowed", "The specified method is not allowed against this resource.");
    }
    if (m == "PUT") {
        if (c.Has("partNumber") && c.Has("uploadId")) return UploadPart(c);
        if (c.Has("acl")) return PutAcl(c);
        if (c.Has("tagging")) return PutTagging(c);
        if (c.HasHeader("x-zid-copy-source")) return CopyObject(c);
        return PutObject(c);
    }
    if (m == "POST") {
        if (c.Has("uploads")) return InitUpload(c);
        if (c.Has("uploadId")) return CompleteUpload(c);
        if (c.Has("restore")) {
            Answer md5err;
            if (!CheckContentMd5(c, &md5err)) return md5err;
            XmlDoc doc(c.body);
            if (!doc.Root("RestoreRequest"))
                return Error(c, 400, "MalformedXML", "The XML you provided was not well-formed.");
            if (!store.Get(c.bucket, c.key)) return Error(c, 404, "NoSuchKey", "The specified key does not exist.");
            Answer a;
            a.status = 202;
            return a;
        }
        return Error(c, 405, "MethodNotAllowed", "The specified method is not allowed against this resource.");
    }
    if (m == "GET" || m == "HEAD") {
        if (m == "GET" && c.Has("uploadId")) return ListParts(c);
        if (m == "GET" && c.Has("acl")) return GetAcl(c);
        if (m == "GET" && c.Has("tagging")) return GetTagging(c);
        return GetObject(c);
    }
    if (m == "DELETE") {
        if (c.Has("uploadId")) {
            if (!store.AbortUpload(c.Param("uploadId")))
                return Error(c, 404, "NoSuchUpload", "The specified upload does not exist.");
            Answer a;
            a.status = 204;
            return a;
        }
        if (c.Has("acl")) {
            // Back to the owner-only default; the object itself stays.
            if (!store.Get(c.bucket, c.key)) return Error(c, 404, "NoSuchKey", "The specified key does not exist.");
            store.SetAcl(c.bucket, c.key, std::string());
            Answer a;
            a.status = 204;
            return a;
        }
        if (c.Has("tagging")) {
            if (!store.Get(c.bucket, c.key)) return Error(c, 404, "NoSuchKey", "The specified key does not exist.");
            store.SetTags(c.bucket, c.key, {});
            Answer a;
            a.status = 204;
            return a;
        }
        store.Delete(c.bucket, c.key);
        Answer a;
        a.status = 204;
        return a;
    }
    return Error(c, 405, "MethodNotAllowed", "The specified method is not allowed against this resource.");
}

std::map<std::string, std::string> LocalService::Impl::MetaFromHeaders(const Call& c) const {
    static const std::set<std::string> kept = {"content-type", "content-disposition", "content-encoding",
                                               "cache-control", "expires", "content-language",
                                               "x-zid-storage-class"};
    std::map<std::string, std::string> meta;
    for (const auto& h : c.headers) {
        std::string n = Lower(h.first);
        if (kept.count(n) || n.compare(0, 11, "x-zid-meta-") == 0) meta[n] = h.second;
    }
    return meta;
}

bool LocalService::Impl::CheckContentMd5(const Call& c, Answer* error) const {
    if (!c.HasHeader("Content-MD5")) return true;
    if (Trim(c.Header("Content-MD5")) == auth::Base64(auth::Md5Raw(c.body))) return true;
    *error = Error(c, 400, "BadDigest", "The Content-MD5 you specified did not match what we received.");
    return false;
}

bool LocalService::Impl::Preconditions(const Call& c, const StoredObject& obj, const std::string& prefix,
                                       Answer* out) const {
    auto matches = [&](const std::string& list) {
        std::stringstream ss(list);
        std::string item;
        while (std::getline(ss, item, ',')) {
            item = Trim(item);
            if (item == "*" || Unquote(item) == obj.etag) return true;
        }
        return false;
    };
    auto parseTime = [](const std::string& text, int64_t* t) {
        try {
            int tz = 0;
            Poco::DateTime dt = Poco::DateTimeParser::parse(Trim(text), tz);
            *t = static_cast<int64_t>(dt.timestamp().epochTime()) - tz;
            return true;
        } catch (const std::exception&) {
            return false;
        }
    };
    bool copy = !prefix.empty();
    const std::string& h = prefix;
    if (c.HasHeader(h + "If-Match") && !matches(c.Header(h + "If-Match"))) {
        *out = Error(c, 412, "PreconditionFailed", "At least one of the preconditions you specified did not hold.");
        return false;
    }
    int64_t t = 0;
    if (c.HasHeader(h + "If-Unmodified-Since") && parseTime(c.Header(h + "If-Unmodified-Since"), &t) &&
        obj.lastModified > t) {
        *out = Error(c, 412, "PreconditionFailed", "At least one of the preconditions you specified did not hold.");
        return false;
    }
    if (c.HasHeader(h + "If-None-Match") && matches(c.Header(h + "If-None-Match"))) {
        if (copy)
            *out = Error(c, 412, "PreconditionFailed", "At least one of the preconditions you specified did not hold.");
        else {
            *out = ObjectHead(std::make_shared<StoredObject>(obj), 304);
        }
        return false;
    }
    if (c.HasHeader(h + "If-Modified-Since") && parseTime(c.Header(h + "If-Modified-Since"), &t) &&
        obj.lastModified <= t) {
        if (copy)
            *out = Error(c, 412, "PreconditionFailed", "At least one of the preconditions you specified did not hold.");
        else
            *out = ObjectHead(std::make_shared<StoredObject>(obj), 304);
        return false;
    }
    return true;
}

Answer LocalService::Impl::ObjectHead(const ServiceStore::ObjectPtr& obj, int status) const {
    Answer a;
    a.status = status;
    a.Set("Content-Type", "application/octet-stream");
    for (const auto& m : obj->meta) a.Set(m.first, m.second);
    a.Set("ETag", "\"" + obj->etag + "\"");
    a.Set("Last-Modified", HttpTime(obj->lastModified));
    a.Set("Accept-Ranges", "bytes");
    a.Set("x-zid-hash-crc64ecma", std::to_string(obj->crc64));
    a.Set("x-zid-object-type", "normal");
    a.object = obj;
    return a;
}

Answer LocalService::Impl::GetObject(Call& c) {
    auto obj = store.Get(c.bucket, c.key);
    if (!obj) return Error(c, 404, "NoSuchKey", "The specified key does not exist.");
    Answer pre;
    if (!Preconditions(c, *obj, "", &pre)) return pre;
    Answer a = ObjectHead(obj);
    a.useObject = true;
    uint64_t size = obj->data.size();
    a.offset = 0;
    a.length = size;
    if (c.method == "HEAD" && !c.HasHeader("Range")) {
        // A HEAD sends no body, so the length may be one the store does not hold.
        uint64_t reported = ReportedSize(c.bucket, c.key);
        if (reported) a.length = reported;
    }
    if (c.HasHeader("Range")) {
        uint64_t first = 0, last = 0;
        if (!ParseRange(c.Header("Range"), size, &first, &last)) {
            Answer e = Error(c, 416, "InvalidRange", "The requested range is not satisfiable");
            e.Set("Content-Range", "bytes */" + std::to_string(size));
            return e;
        }
        a.status = 206;
        a.offset = first;
        a.length = last - first + 1;
        a.Set("Content-Range", "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
                                   std::to_string(size));
    }
    for (const char* p : {"response-content-type", "response-content-disposition", "response-cache-control",
                          "response-content-encoding", "response-expires", "response-content-language"}) {
        if (c.Has(p)) a.Set(std::string(p).substr(9), c.Param(p));
    }
    return a;
}

Answer LocalService::Impl::PutObject(Call& c) {
    Answer err;
    if (!CheckContentMd5(c, &err)) return err;
    auto obj = store.Put(c.bucket, c.key, std::move(c.body), MetaFromHeaders(c));
    c.body.clear();
    if (c.HasHeader("x-zid-acl")) store.SetAcl(c.bucket, c.key, DefaultAcl(c.accessKey, c.Header("x-zid-acl")));
    Answer a;
    a.Set("ETag", "\"" + obj->etag + "\"");
    a.Set("x-zid-hash-crc64ecma", std::to_string(obj->crc64));
    return a;
}

ServiceStore::ObjectPtr LocalService::Impl::CopySource(const Call& c, Answer* error, std::string* bucketOut,
                                                      std::string* keyOut) const {
    std::string source = Trim(c.Header("x-zid-copy-source"));
    size_t slash = source.find('/');
    if (source.empty() || slash == std::string::npos || slash + 1 >= source.size()) {
        *error = Error(c, 400, "InvalidArgument", "Copy Source must mention the source bucket and key: host/key");
        return nullptr;
    }
    std::string host = source.substr(0, slash);
    std::string rawKey = source.substr(slash + 1);
    size_t q = rawKey.find('?');
    if (q != std::string::npos) rawKey = rawKey.substr(0, q);
    // Sources arrive percent-encoded or as they are; the encoded reading wins.
    std::string key;
    if (!auth::PercentDecode(rawKey, &key)) key = rawKey;
    auto obj = store.Get(BucketOfHost(host), key);
    if (!obj && key != rawKey) {
        obj = store.Get(BucketOfHost(host), rawKey);
        if (obj) key = rawKey;
    }
    if (bucketOut) *bucketOut = BucketOfHost(host);
    if (keyOut) *keyOut = key;
    if (!obj) {
        *error = Error(c, 404, "NoSuchKey", "The specified copy source does not exist.");
        return nullptr;
    }
    if (!Preconditions(c, *obj, "x-zid-copy-source-", error)) return nullptr;
    return obj;
}

Answer LocalService::Impl::CopyObject(Call& c) {
    Answer err;
    auto src = CopySource(c, &err);
    if (!src) return err;
    std::map<std::string, std::string> meta = src->meta;
    if (IEquals(Trim(c.Header("x-zid-metadata-directive")), "Replaced")) meta = MetaFromHeaders(c);
    auto obj = store.Put(c.bucket, c.key, src->data, meta, src->etag);
    Answer a;
    a.Set("Content-Type", "application/xml");
    a.Set("x-zid-hash-crc64ecma", std::to_string(obj->crc64));
    a.body = "<CopyObjectResult>" + Elem("ETag", "\"" + obj->etag + "\"") +
             Elem("LastModified", IsoTime(obj->lastModified)) + Elem("CRC64", std::to_string(obj->crc64)) +
             "</CopyObjectResult>";
    return a;
}

Answer LocalService::Impl::InitUpload(Call& c) {
    std::string id = store.InitUpload(c.bucket, c.key, MetaFromHeaders(c));
    Answer a;
    a.Set("Content-Type", "application/xml");
    a.body = "<InitiateMultipartUploadResult>" + Elem("Bucket", c.bucket) + Elem("Key", c.key) +
             Elem("UploadId", id) + "</InitiateMultipartUploadResult>";
    return a;
}

Answer LocalService::Impl::UploadPart(Call& c) {
    uint64_t number = 0;
    if (!ParseUint(c.Param("partNumber"), &number) || number < 1 || number > 10000)
        return Error(c, 400, "InvalidArgument", "Part number must be an integer between 1 and 10000, inclusive.");
    OpenUpload upload;
    if (!store.GetUpload(c.Param("uploadId"), &upload) || upload.bucket != c.bucket || upload.key != c.key)
        return Error(c, 404, "NoSuchUpload", "The specified upload does not exist.");

    StoredPart part;
    part.lastModified = ServiceStore::Now();
    bool copy = c.HasHeader("x-zid-copy-source");
    if (copy) {
        Answer err;
        std::string srcBucket, srcKey;
        auto src = CopySource(c, &err, &srcBucket, &srcKey);
        if (!src) return err;
        uint64_t reported = ReportedSize(srcBucket, srcKey);
        uint64_t size = reported ? reported : src->data.size();
        uint64_t first = 0, last = size == 0 ? 0 : size - 1;
        if (c.HasHeader("x-zid-copy-source-range")) {
            if (!ParseRange(c.Header("x-zid-copy-source-range"), size, &first, &last))
                return Error(c, 416, "InvalidRange", "The requested range is not satisfiable");
        }
        if (reported) {
            part.data = std::to_string(first) + "-" + std::to_string(last) + "\n";
        } else if (!src->data.empty()) {
            part.data = src->data.substr(first, last - first + 1);
        }
    } else {
        Answer err;
        if (!CheckContentMd5(c, &err)) return err;
        part.data = std::move(c.body);
        c.body.clear();
    }
    part.etag = auth::Md5Hex(part.data);
    std::string etag = part.etag;
    uint64_t crc = auth::Crc64(part.data.data(), part.data.size());
    int64_t lm = part.lastModified;
    if (!store.PutPart(c.Param("uploadId"), number, std::move(part)))
        return Error(c, 404, "NoSuchUpload", "The specified upload does not exist.");
    Answer a;
    if (copy) {
        a.Set("Content-Type", "application/xml");
        a.body = "<CopyPartResult>" + Elem("ETag", "\"" + etag + "\"") + Elem("LastModified", IsoTime(lm)) +
                 "</CopyPartResult>";
    } else {
        a.Set("ETag", "\"" + etag + "\"");
        a.Set("x-zid-hash-crc64ecma", std::to_string(crc));
    }
    return a;
}

Answer LocalService::Impl::CompleteUpload(Call& c) {
    XmlDoc doc(c.body);
    rapidxml::xml_node<>* root = doc.Root("CompleteMultipartUpload");
    if (!root) return Error(c, 400, "MalformedXML", "The XML you provided was not well-formed or did not validate against our published schema.");
    std::vector<std::pair<uint64_t, std::string>> list;
    for (auto* p = root->first_node("Part"); p; p = p->next_sibling("Part")) {
        uint64_t n = 0;
        bool hasEtag = false;
        std::string etag = ChildText(p, "ETag", &hasEtag);
        if (!ParseUint(Trim(ChildText(p, "PartNumber")), &n) || !hasEtag)
            return Error(c, 400, "MalformedXML", "Each Part needs a PartNumber and an ETag.");
        list.emplace_back(n, Unquote(Trim(etag)));
    }
    OpenUpload upload;
    if (!store.GetUpload(c.Param("uploadId"), &upload) || upload.bucket != c.bucket || upload.key != c.key)
        return Error(c, 404, "NoSuchUpload", "The specified upload does not exist.");
    std::string message;
    std::string code = store.TakeUpload(c.Param("uploadId"), list, &message, &upload);
    if (!code.empty()) return Error(c, code == "NoSuchUpload" ? 404 : 400, code, message);

    std::string data, md5s;
    size_t total = 0;
    for (const auto& p : upload.parts) total += p.second.data.size();
    data.reserve(total);
    for (auto& p : upload.parts) {
        data += p.second.data;
        md5s += auth::Md5Raw(p.second.data);
        std::string().swap(p.second.data);
    }
    std::string etag = auth::Md5Hex(md5s) + "-" + std::to_string(upload.parts.size());
    auto obj = store.Put(c.bucket, c.key, std::move(data), upload.meta, etag);
    Answer a;
    a.Set("Content-Type", "application/xml");
    a.Set("x-zid-hash-crc64ecma", std::to_string(obj->crc64));
    a.body = "<CompleteMultipartUploadResult>" + Elem("Location", StripPort(c.host) + "/" + c.key) +
             Elem("Bucket", c.bucket) + Elem("Key", c.key) + Elem("ETag", "\"" + etag + "\"") +
             "</CompleteMultipartUploadResult>";
    return a;
}

Answer LocalService::Impl::ListParts(Call& c) {
    OpenUpload upload;
    if (!store.GetUpload(c.Param("uploadId"), &upload) || upload.bucket != c.bucket || upload.key != c.key)
        return Error(c, 404, "NoSuchUpload", "The specified upload does not exist.");
    uint64_t marker = 0, maxParts = 1000;
    if (c.Has("part-number-marker") && !ParseUint(c.Param("part-number-marker"), &marker))
        return Error(c, 400, "InvalidArgument", "part-number-marker must be a number.");
    if (c.Has("max-parts") && (!ParseUint(c.Param("max-parts"), &maxParts) || maxParts == 0))
        return Error(c, 400, "InvalidArgument", "max-parts must be a positive number.");
    std::string owner = "<ID>zid::owner/" + Xml(c.accessKey) + "</ID><DisplayName>" + Xml(c.accessKey) + "</DisplayName>";
    std::string body = "<ListPartsResult>" + Elem("Bucket", c.bucket) + Elem("Key", c.key) +
                       Elem("UploadId", upload.uploadId) + "<Initiator>" + owner + "</Initiator><Owner>" + owner +
                       "</Owner>" + Elem("PartNumberMarker", std::to_string(marker));
    uint64_t count = 0, next = marker;
    bool truncated = false;
    for (const auto& p : upload.parts) {
        if (p.first <= marker) continue;
        if (count == maxParts) {
            truncated = true;
            break;
        }
        body += "<Part>" + Elem("PartNumber", std::to_string(p.first)) +
                Elem("LastModified", IsoTime(p.second.lastModified)) + Elem("ETag", "\"" + p.second.etag + "\"") +
                Elem("Size", std::to_string(p.second.size)) + "</Part>";
        next = p.first;
        ++count;
    }
    body += Elem("NextPartNumberMarker", std::to_string(next)) + Elem("StorageClass", "STANDARD") +
            Elem("MaxParts", std::to_string(maxParts)) + Elem("IsTruncated", truncated ? "true" : "false") +
            "</ListPartsResult>";
    Answer a;
    a.Set("Content-Type", "application/xml");
    a.body = body;
    return a;
}

Answer LocalService::Impl::ListUploads(Call& c) {
    std::string prefix = c.Param("prefix"), keyMarker = c.Param("key-marker"),
                idMarker = c.Param("upload-id-marker"), delimiter = c.Param("delimiter");
    uint64_t maxUploads = 1000;
    if (c.Has("max-uploads") && (!ParseUint(c.Param("max-uploads"), &maxUploads) || maxUploads == 0))
        return Error(c, 400, "InvalidArgument", "max-uploads must be a positive number.");
    std::string owner = "<ID>zid::owner/" + Xml(c.accessKey) + "</ID><DisplayName>" + Xml(c.accessKey) + "</DisplayName>";
    std::string items, prefixes;
    std::set<std::string> seenPrefixes;
    uint64_t count = 0;
    bool truncated = false;
    std::string nextKey, nextId;
    auto uploads = store.ListUploads(c.bucket);
    // The marker pair (key, upload id) is exclusive; an id marker counts only with its key.
    bool passedMarker = keyMarker.empty();
    for (const auto& u : uploads) {
        if (!passedMarker) {
            if (u.key < keyMarker) continue;
            if (u.key == keyMarker) {
                if (idMarker.empty()) continue;
                if (u.uploadId == idMarker) {
                    passedMarker = true;
                    continue;
                }
                continue;
            }
            passedMarker = true;
        }
        if (u.key.compare(0, prefix.size(), prefix) != 0) continue;
        if (count == maxUploads) {
            truncated = true;
            break;
        }
        if (!delimiter.empty()) {
            size_t d = u.key.find(delimiter, prefix.size());
            if (d != std::string::npos) {
                std::string cp = u.key.substr(0, d + delimiter.size());
                if (seenPrefixes.insert(cp).second) {
                    prefixes += "<CommonPrefixes>" + Elem("Prefix", cp) + "</CommonPrefixes>";
                    ++count;
                }
                nextKey = u.key;
                nextId = u.uploadId;
                continue;
            }
        }
        items += "<Upload>" + Elem("Key", u.key) + Elem("UploadId", u.uploadId) + Elem("StorageClass", "STANDARD") +
                 "<Initiator>" + owner + "</Initiator><Owner>" + owner + "</Owner>" +
                 Elem("Initiated", IsoTime(u.initiated)) + "</Upload>";
        nextKey = u.key;
        nextId = u.uploadId;
        ++count;
    }
    Answer a;
    a.Set("Content-Type", "application/xml");
    a.body = "<ListMultipartUploadsResult>" + Elem("Bucket", c.bucket) + Elem("KeyMarker", keyMarker) +
             Elem("UploadIdMarker", idMarker) + Elem("NextKeyMarker", truncated ? nextKey : "") +
             Elem("NextUploadIdMarker", truncated ? nextId : "") + Elem("MaxUploads", std::to_string(maxUploads)) +
             Elem("IsTruncated", truncated ? "true" : "false") + Elem("Prefix", prefix) +
             Elem("Delimiter", delimiter) + items + prefixes + "</ListMultipartUploadsResult>";
    return a;
}

Answer LocalService::Impl::ListBucket(Call& c) {
    std::string prefix = c.Param("prefix"), marker = c.Param("marker"), delimiter = c.Param("delimiter");
    bool urlEncode = c.Param("encoding-type") == "url";
    uint64_t maxKeys = 1000;
    if (c.Has("max-keys") && !ParseUint(c.Param("max-keys"), &maxKeys))
        return Error(c, 400, "InvalidArgument", "max-keys must be a number.");
    if (maxKeys > 1000) maxKeys = 1000;
    auto enc = [&](const std::string& s) { return urlEncode ? auth::PercentEncode(s) : s; };
    std::string contents, prefixes, nextMarker;
    std::set<std::string> seenPrefixes;
    uint64_t count = 0;
    bool truncated = false;
    for (const auto& o : store.List(c.bucket)) {
        const std::string& key = o.first;
        if (!marker.empty() && key <= marker) continue;
        // A marker that is a common prefix stands for every key below it.
        if (!delimiter.empty() && marker.size() >= delimiter.size() &&
            marker.compare(marker.size() - delimiter.size(), delimiter.size(), delimiter) == 0 &&
            key.compare(0, marker.size(), marker) == 0)
            continue;
        if (key.compare(0, prefix.size(), prefix) != 0) continue;
        std::string cp;
        if (!delimiter.empty()) {
            size_t d = key.find(delimiter, prefix.size());
            if (d != std::string::npos) cp = key.substr(0, d + delimiter.size());
        }
        if (!cp.empty() && seenPrefixes.count(cp)) continue;
        if (count == maxKeys) {
            truncated = true;
            break;
        }
        if (!cp.empty()) {
            seenPrefixes.insert(cp);
            prefixes += "<CommonPrefixes>" + Elem("Prefix", enc(cp)) + "</CommonPrefixes>";
            nextMarker = cp;
        } else {
            contents += "<Contents>" + Elem("Key", enc(key)) + Elem("LastModified", IsoTime(o.second->lastModified)) +
                        Elem("ETag", "\"" + o.second->etag + "\"") + Elem("Size", std::to_string(o.second->data.size())) +
                        "<Owner>" + Elem("ID", "zid::owner/" + c.accessKey) + "</Owner>" +
                        Elem("StorageClass", "STANDARD") + "</Contents>";
            nextMarker = key;
        }
        ++count;
    }
    std::string body = "<ListBucketResult>" + Elem("Name", c.bucket);
    if (urlEncode) body += Elem("EncodingType", "url");
    body += Elem("Prefix", enc(prefix)) + Elem("Marker", enc(marker)) + Elem("MaxKeys", std::to_string(maxKeys));
    if (!delimiter.empty()) body += Elem("Delimiter", enc(delimiter));
    body += Elem("IsTruncated", truncated ? "true" : "false");
    if (truncated) body += Elem("NextMarker", enc(nextMarker));
    body += contents + prefixes + "</ListBucketResult>";
    Answer a;
    a.Set("Content-Type", "application/xml");
    a.body = body;
    return a;
}

Answer LocalService::Impl::DeleteMany(Call& c) {
    Answer err;
    if (!CheckContentMd5(c, &err)) return err;
    XmlDoc doc(c.body);
    rapidxml::xml_node<>* root = doc.Root("Delete");
    if (!root) return Error(c, 400, "MalformedXML", "The XML you provided was not well-formed or did not validate against our published schema.");
    bool quiet = Trim(ChildText(root, "Quiet")) == "true";
    std::string body = "<DeleteResult>";
    for (auto* o = root->first_node("Object"); o; o = o->next_sibling("Object")) {
        bool hasKey = false;
        std::string key = ChildText(o, "Key", &hasKey);
        std::string version = ChildText(o, "VersionId");
        if (!hasKey || key.empty()) {
            body += "<Error>" + Elem("Key", key) + Elem("Code", "InvalidArgument") +
                    Elem("Message", "Object key must not be empty.") + "</Error>";
            continue;
        }
        store.Delete(c.bucket, key);
        if (!quiet) {
            body += "<Deleted>" + Elem("Key", key);
            if (!version.empty()) body += Elem("VersionId", version);
            body += "</Deleted>";
        }
    }
    body += "</DeleteResult>";
    Answer a;
    a.Set("Content-Type", "application/xml");
    a.body = body;
    return a;
}

Answer LocalService::Impl::PutAcl(Call& c) {
    if (!store.Get(c.bucket, c.key)) return Error(c, 404, "NoSuchKey", "The specified key does not exist.");
    Answer err;
    if (!CheckContentMd5(c, &err)) return err;
    if (c.body.empty()) {
        std::string canned = Trim(c.Header("x-zid-acl"));
        if (canned.empty()) return Error(c, 400, "MissingSecurityHeader", "Your request is missing a required header: x-zid-acl or a body.");
        if (canned != "private" && canned != "public-read" && canned != "public-read-write" && canned != "default")
            return Error(c, 400, "InvalidArgument", "Unknown x-zid-acl: " + canned);
        store.SetAcl(c.bucket, c.key, DefaultAcl(c.accessKey, canned));
        return Answer();
    }
    XmlDoc doc(c.body);
    rapidxml::xml_node<>* root = doc.Root("AccessControlPolicy");
    rapidxml::xml_node<>* owner = root ? root->first_node("Owner") : nullptr;
    rapidxml::xml_node<>* list = root ? root->first_node("AccessControlList") : nullptr;
    if (!root || !owner || !owner->first_node("ID") || !list || !list->first_node("Grant"))
        return Error(c, 400, "MalformedXML", "The XML you provided was not well-formed or did not validate against our published schema.");
    for (auto* g = list->first_node("Grant"); g; g = g->next_sibling("Grant")) {
        std::string perm = Trim(ChildText(g, "Permission"));
        static const std::set<std::string> perms = {"READ", "WRITE", "FULL_CONTROL", "READ_ACP", "WRITE_ACP"};
        if (!g->first_node("Grantee") || !perms.count(perm))
            return Error(c, 400, "MalformedXML", "Grant needs a Grantee and a known Permission.");
    }
    store.SetAcl(c.bucket, c.key, c.body);
    return Answer();
}

Answer LocalService::Impl::GetAcl(Call& c) {
    if (!store.Get(c.bucket, c.key)) return Error(c, 404, "NoSuchKey", "The specified key does not exist.");
    std::string acl = store.GetAcl(c.bucket, c.key);
    Answer a;
    a.Set("Content-Type", "application/xml");
    a.body = acl.empty() ? DefaultAcl(c.accessKey, "private") : acl;
    return a;
}

Answer LocalService::Impl::PutTagging(Call& c) {
    if (!store.Get(c.bucket, c.key)) return Error(c, 404, "NoSuchKey", "The specified key does not exist.");
    Answer err;
    if (!CheckContentMd5(c, &err)) return err;
    XmlDoc doc(c.body);
    rapidxml::xml_node<>* root = doc.Root("Tagging");
    rapidxml::xml_node<>* set = root ? root->first_node("TagSet") : nullptr;
    if (!set) return Error(c, 400, "MalformedXML", "The XML you provided was not well-formed or did not validate against our published schema.");
    std::vector<std::pair<std::string, std::string>> tags;
    std::set<std::string> keys;
    for (auto* t = set->first_node("Tag"); t; t = t->next_sibling("Tag")) {
        bool hasKey = false, hasValue = false;
        std::string k = ChildText(t, "Key", &hasKey), v = ChildText(t, "Value", &hasValue);
        if (!hasKey || k.empty() || !hasValue)
            return Error(c, 400, "InvalidTag", "Each tag needs a non-empty Key and a Value.");
        if (!keys.insert(k).second) return Error(c, 400, "InvalidTag", "Cannot provide multiple Tags with the same key: " + k);
        tags.emplace_back(k, v);
    }
    if (tags.size() > 10) return Error(c, 400, "BadRequest", "Object tags cannot be greater than 10");
    store.SetTags(c.bucket, c.key, std::move(tags));
    return Answer();
}

Answer LocalService::Impl::GetTagging(Call& c) {
    if (!store.Get(c.bucket, c.key)) return Error(c, 404, "NoSuchKey", "The specified key does not exist.");
    std::string body = "<Tagging><TagSet>";
    for (const auto& t : store.GetTags(c.bucket, c.key))
        body += "<Tag>" + Elem("Key", t.first) + Elem("Value", t.second) + "</Tag>";
    body += "</TagSet></Tagging>";
    Answer a;
    a.Set("Content-Type", "application/xml");
    a.body = body;
    return a;
}

// ---------------------------------------------------------------------------------------------

LocalService::LocalService(ServiceOptions options) : impl_(new Impl(std::move(options))) {
    impl_->store.SetRoot(impl_->options.root);
}

LocalService::~LocalService() { Stop(); }

void LocalService::Start() {
    if (impl_->running) return;
    // A client that hangs up mid-answer must not take the process with it.
    signal(SIGPIPE, SIG_IGN);
    {
        std::lock_guard<std::mutex> lock(impl_->activeMu);
        impl_->stopping = false;
    }
    Poco::Net::SocketAddress address("127.0.0.1", impl_->options.port);
    try {
        std::unique_ptr<Poco::Net::ServerSocket> socket;
        if (impl_->options.https) {
            Poco::Net::Context::Ptr ctx = new Poco::Net::Context(
                Poco::Net::Context::TLS_SERVER_USE, impl_->options.keyFile, impl_->options.certFile,
                impl_->options.caFile, Poco::Net::Context::VERIFY_NONE, 9, false,
                "ALL:!ADH:!LOW:!EXP:!MD5:@STRENGTH");
            auto* secure = new Poco::Net::SecureServerSocket(ctx);
            socket.reset(secure);
        } else {
            socket.reset(new Poco::Net::ServerSocket());
        }
        socket->bind(address, true);
        socket->listen(128);
        impl_->port = socket->address().port();

        auto* params = new Poco::Net::HTTPServerParams;
        params->setMaxThreads(128);
        params->setMaxQueued(256);
        params->setKeepAlive(true);
        params->setTimeout(Poco::Timespan(60, 0));
        params->setServerName("zid-local-service");
        impl_->pool.reset(new Poco::ThreadPool(4, 128, 60));
        impl_->server.reset(new Poco::Net::HTTPServer(new Factory(*impl_), *impl_->pool, *socket, params));
        impl_->server->start();
        impl_->running = true;
    } catch (const Poco::Exception& e) {
        impl_->server.reset();
        impl_->pool.reset();
        throw std::runtime_error("local service cannot start: " + e.displayText());
    }
}

void LocalService::Stop() {
    if (!impl_->running) return;
    {
        std::lock_guard<std::mutex> lock(impl_->activeMu);
        impl_->stopping = true;
        impl_->activeCv.notify_all();
    }
    impl_->server->stopAll(true);
    {
        std::unique_lock<std::mutex> lock(impl_->activeMu);
        impl_->activeCv.wait_for(lock, std::chrono::seconds(30), [this] { return impl_->active == 0; });
    }
    impl_->pool->joinAll();
    impl_->server.reset();
    impl_->pool.reset();
    impl_->running = false;
}

bool LocalService::IsRunning() const { return impl_->running; }
uint16_t LocalService::Port() const { return impl_->port; }
std::string LocalService::DestDomain() const { return "127.0.0.1:" + std::to_string(impl_->port); }
const ServiceOptions& LocalService::Options() const { return impl_->options; }

void LocalService::PutObject(const std::string& bucket, const std::string& key, const std::string& data) {
    impl_->store.Put(bucket, key, data, {});
}

std::optional<std::string> LocalService::GetObject(const std::string& bucket, const std::string& key) const {
    auto obj = impl_->store.Get(bucket, key);
    if (!obj) return std::nullopt;
    return obj->data;
}

std::optional<StoredObject> LocalService::GetStoredObject(const std::string& bucket, const std::string& key) const {
    auto obj = impl_->store.Get(bucket, key);
    if (!obj) return std::nullopt;
    return *obj;
}

bool LocalService::DeleteObject(const std::string& bucket, const std::string& key) {
    return impl_->store.Delete(bucket, key);
}

std::vector<std::string> LocalService::ListKeys(const std::string& bucket) const {
    std::vector<std::string> keys;
    for (const auto& o : impl_->store.List(bucket)) keys.push_back(o.first);
    return keys;
}

std::string LocalService::GetObjectAcl(const std::string& bucket, const std::string& key) const {
    return impl_->store.GetAcl(bucket, key);
}

std::map<std::string, std::string> LocalService::GetObjectTags(const std::string& bucket, const std::string& key) const {
    std::map<std::string, std::string> out;
    for (const auto& t : impl_->store.GetTags(bucket, key)) out[t.first] = t.second;
    return out;
}

size_t LocalService::OpenUploadCount(const std::string& bucket) const {
    return impl_->store.ListUploads(bucket).size();
}

void LocalService::Seed(const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (const auto& b : fs::directory_iterator(folder, ec)) {
        if (!b.is_directory()) continue;
        std::string bucket = b.path().filename().string();
        for (auto it = fs::recursive_directory_iterator(b.path(), ec); it != fs::recursive_directory_iterator();
             it.increment(ec)) {
            if (ec) break;
            if (!it->is_regular_file()) continue;
            std::ifstream in(it->path(), std::ios::binary);
            std::ostringstream ss;
            ss << in.rdbuf();
            std::string key = fs::relative(it->path(), b.path()).generic_string();
            impl_->store.Put(bucket, key, ss.str(), {});
        }
    }
}

void LocalService::Clear() {
    impl_->store.Clear();
    {
        std::lock_guard<std::mutex> lock(impl_->sizeMu);
        impl_->reportedSizes.clear();
    }
    ClearFaults();
    ClearRequests();
}
void LocalService::SetReportedSize(const std::string& bucket, const std::string& key, uint64_t size) {
    std::lock_guard<std::mutex> lock(impl_->sizeMu);
    if (size == 0) impl_->reportedSizes.erase({bucket, key});
    else impl_->reportedSizes[{bucket, key}] = size;
}

void LocalService::AddFault(const Fault& fault) {
    std::lock_guard<std::mutex> lock(impl_->faultMu);
    impl_->faults.push_back(FaultSlot{fault, 0, 0});
}

void LocalService::ClearFaults() {
    std::lock_guard<std::mutex> lock(impl_->faultMu);
    impl_->faults.clear();
}

size_t LocalService::PendingFaults() const {
    std::lock_guard<std::mutex> lock(impl_->faultMu);
    size_t n = 0;
    for (const auto& f : impl_->faults)
        if (f.fault.times < 0 || f.hits < f.fault.times) ++n;
    return n;
}

std::vector<RecordedRequest> LocalService::Requests() const {
    std::lock_guard<std::mutex> lock(impl_->recordMu);
    return impl_->record;
}

void LocalService::ClearRequests() {
    std::lock_guard<std::mutex> lock(impl_->recordMu);
    impl_->record.clear();
}

uint64_t LocalService::Crc64(const std::string& data, uint64_t crc) {
    return auth::Crc64(data.data(), data.size(), crc);
}

std::string LocalService::Md5Hex(const std::string& data) { return auth::Md5Hex(data); }

}  // namespace zid_local
