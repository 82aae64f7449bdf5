#include <Poco/Net/HTTPServerRequestImpl.h>

#include <cctype>
#include <cstdlib>
#include <iostream>
#include <sstream>

#include "ServiceImpl.h"

namespace zid_local {

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
    if (c.bucket.empty()) c.bucket = options.domainBucket;
    c.key = c.path.size() > 1 ? c.path.substr(1) : std::string();

    bool shortBody = false;
    {
        // Read straight into the body string: a 1 GiB upload must not be held three times.
        std::istream& in = req.stream();
        if (req.hasContentLength() && req.getContentLength64() > 0) {
            ReserveBytes(&c.body, static_cast<size_t>(req.getContentLength64()));
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
        // The store puts nothing into a bucket that does not exist.
        for (const Fault& f : faults.replacements) store.Put(c.bucket, c.key, f.data, {});
        if (faults.refuse) {
            answered = false;
            // Recorded before the client can see the refusal, so a test that looks right
            // after its call sees this request too.
            {
                std::lock_guard<std::mutex> lock(recordMu);
                record.push_back(rec);
            }
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
        ApplyListingFaults(faults, c, &a);
        if (faults.ignoreRange && a.status == 206 && a.useObject) {
            a.status = 200;
            a.offset = 0;
            a.length = a.object->data.size();
            a.Remove("Content-Range");
        }
        // What a broken gateway passes on: the object's headers over the wrong body.
        const bool wholeObject = c.method == "GET" && a.status == 200 && a.useObject;
        if (faults.shortLength && wholeObject) {
            const int64_t cut = faults.shortLength->afterBytes < 0 ? 1000 : faults.shortLength->afterBytes;
            a.length -= std::min<uint64_t>(a.length, static_cast<uint64_t>(cut));
        }
        if (faults.errorBodyObject200 && wholeObject) {
            a.body = Error(c, 500, "InternalError", "We encountered an internal error. Please try again.").body;
            a.useObject = false;
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
    if (!answered) return;
    {
        std::lock_guard<std::mutex> lock(recordMu);
        record.push_back(rec);
    }
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
    if (cut || f.stall || f.closeConnection) resp.setKeepAlive(false);
    std::ostream& out = resp.send();
    auto& conn = static_cast<Poco::Net::HTTPServerRequestImpl&>(req);
    struct CloseAfter {
        Poco::Net::HTTPServerRequestImpl& conn;
        std::ostream& out;
        bool on;
        ~CloseAfter() {
            if (!on) return;
            try {
                out.flush();
                conn.socket().shutdown();
                conn.socket().close();
            } catch (...) {
            }
        }
    } closeAfter{conn, out, f.closeAfterAnswer};
    if (head || a.status == 304) return;

    uint64_t limit = length;
    if (cut) limit = cut->afterBytes < 0 ? length / 2 : std::min<uint64_t>(length, cut->afterBytes);
    uint64_t chunk = 64 * 1024;
    if (f.stall && f.stall->chunkBytes > 0) chunk = f.stall->chunkBytes;
    bool stallOnce = f.stall && f.stall->chunkBytes == 0;
    uint64_t sent = 0;
    if (stallOnce && !Sleep(f.stall->stallMs, f.clearings)) return;
    while (sent < limit) {
        if (f.stall && !stallOnce && !Sleep(f.stall->stallMs, f.clearings)) return;
        uint64_t n = std::min(chunk, limit - sent);
        out.write(data + sent, static_cast<std::streamsize>(n));
        if (f.stall) out.flush();
        if (!out) return;
        sent += n;
    }
    if (cut) {
        out.flush();
        if (cut->kind == FaultKind::Reset) conn.socket().setLinger(true, 0);
        else conn.socket().shutdown();
        conn.socket().close();
    }
}

}  // namespace zid_local
