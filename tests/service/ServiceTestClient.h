// A bare HTTP client with its own signer for talking to the loopback service in its tests.
// It shares nothing with the service or with the library: a fault in either signer shows up
// as a disagreement instead of cancelling out.
#pragma once

#include <Poco/Base64Encoder.h>
#include <Poco/DigestEngine.h>
#include <Poco/HMACEngine.h>
#include <Poco/MD5Engine.h>
#include <Poco/Net/Context.h>
#include <Poco/Net/HTTPClientSession.h>
#include <Poco/Net/HTTPRequest.h>
#include <Poco/Net/HTTPResponse.h>
#include <Poco/Net/HTTPSClientSession.h>
#include <Poco/SHA1Engine.h>
#include <Poco/StreamCopier.h>
#include <Poco/Timespan.h>

#include <cctype>
#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "LocalService.h"

namespace zid_service_test {

inline std::string Enc(const std::string& s, bool keepSlash) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~' || (keepSlash && c == '/')) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

inline std::string LowerCase(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

inline std::string HmacHex(const std::string& key, const std::string& msg) {
    Poco::HMACEngine<Poco::SHA1Engine> h(key);
    h.update(msg);
    return Poco::DigestEngine::digestToHex(h.digest());
}

inline std::string Sha1HexOf(const std::string& msg) {
    Poco::SHA1Engine e;
    e.update(msg);
    return Poco::DigestEngine::digestToHex(e.digest());
}

// "Content-MD5" of a body.
inline std::string Md5Base64(const std::string& data) {
    Poco::MD5Engine md5;
    md5.update(data);
    const auto& d = md5.digest();
    std::ostringstream out;
    Poco::Base64Encoder enc(out);
    enc.write(reinterpret_cast<const char*>(d.data()), static_cast<std::streamsize>(d.size()));
    enc.close();
    return out.str();
}

struct SignParts {
    std::string headerList;
    std::string paramList;
    std::string signature;
    std::string authorization;
};

// Signs every header whose lower-cased name is a standard signable one or starts with
// "x-zid", and every parameter.
inline SignParts Sign(const std::string& ak, const std::string& sk, const std::string& method,
                      const std::string& path, const std::map<std::string, std::string>& headers,
                      const std::map<std::string, std::string>& params, uint64_t start, uint64_t end) {
    static const char* signable[] = {"cache-control", "content-disposition", "content-encoding", "content-length",
                                     "content-md5", "content-type", "expect", "expires", "host", "if-match",
                                     "if-modified-since", "if-none-match", "if-unmodified-since", "origin",
                                     "range", "transfer-encoding", "pic-operations"};
    std::map<std::string, std::string> h, p;
    for (const auto& e : headers) {
        std::string n = LowerCase(e.first);
        bool take = n.compare(0, 5, "x-zid") == 0;
        for (const char* s : signable) take = take || n == s;
        if (take) h[n] = Enc(e.second, false);
    }
    for (const auto& e : params) p[LowerCase(Enc(e.first, false))] = Enc(e.second, false);
    auto join = [](const std::map<std::string, std::string>& m, std::string* list) {
        std::string kv;
        for (const auto& e : m) {
            if (!kv.empty()) {
                kv += "&";
                *list += ";";
            }
            *list += e.first;
            kv += e.first + "=" + e.second;
        }
        return kv;
    };
    SignParts out;
    std::string hs = join(h, &out.headerList), ps = join(p, &out.paramList);
    std::string time = std::to_string(start) + ";" + std::to_string(end);
    std::string format = LowerCase(method) + "\n" + (path.empty() ? "/" : path) + "\n" + ps + "\n" + hs + "\n";
    std::string toSign = "sha1\n" + time + "\n" + Sha1HexOf(format) + "\n";
    out.signature = HmacHex(HmacHex(sk, time), toSign);
    out.authorization = "q-sign-algorithm=sha1&q-ak=" + ak + "&q-sign-time=" + time + "&q-key-time=" + time +
                        "&q-header-list=" + out.headerList + "&q-url-param-list=" + out.paramList +
                        "&q-signature=" + out.signature;
    return out;
}

struct Reply {
    int status = -1;
    std::map<std::string, std::string> headers;  // lower-cased names
    std::string body;
    std::string error;  // transport failure text; status stays -1

    std::string H(const std::string& name) const {
        auto it = headers.find(LowerCase(name));
        return it == headers.end() ? std::string() : it->second;
    }
    bool Has(const std::string& name) const { return headers.count(LowerCase(name)) > 0; }
    // Text of the first <name> element of the body.
    std::string Xml(const std::string& name) const {
        size_t a = body.find("<" + name + ">");
        if (a == std::string::npos) return std::string();
        a += name.size() + 2;
        size_t b = body.find("</" + name + ">", a);
        if (b == std::string::npos) return std::string();
        std::string text = body.substr(a, b - a), out;
        static const std::pair<const char*, char> entities[] = {
            {"&quot;", '"'}, {"&apos;", '\''}, {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}};
        for (size_t i = 0; i < text.size();) {
            bool replaced = false;
            for (const auto& e : entities) {
                size_t n = std::char_traits<char>::length(e.first);
                if (text.compare(i, n, e.first) == 0) {
                    out += e.second;
                    i += n;
                    replaced = true;
                    break;
                }
            }
            if (!replaced) out += text[i++];
        }
        return out;
    }
    size_t Count(const std::string& element) const {
        size_t n = 0;
        for (size_t p = 0; (p = body.find("<" + element + ">", p)) != std::string::npos; ++p) ++n;
        return n;
    }
};

struct Req {
    std::string method = "GET";
    std::string host;  // Host header; the bucket is its first label
    std::string path = "/";  // unencoded
    std::map<std::string, std::string> params;
    std::map<std::string, std::string> headers;
    std::string body;
    bool sign = true;
    std::string ak = "AKID";
    std::string sk = "SK";
    int64_t startOffset = -60;  // window start relative to now
    uint64_t lifetime = 3600;
    int recvTimeoutMs = 5000;
};

class TestClient {
public:
    explicit TestClient(uint16_t port) : port_(port) {}
    void UseHttps(const std::string& caFile) {
        https_ = true;
        caFile_ = caFile;
    }

    static std::string Query(const std::map<std::string, std::string>& params) {
        std::string q;
        for (const auto& p : params) {
            q += q.empty() ? "?" : "&";
            q += Enc(p.first, false);
            if (!p.second.empty()) q += "=" + Enc(p.second, false);
        }
        return q;
    }

    Reply Send(const Req& r) const {
        Reply out;
        try {
            std::unique_ptr<Poco::Net::HTTPClientSession> s;
            if (https_) {
                Poco::Net::Context::Ptr ctx = new Poco::Net::Context(
                    Poco::Net::Context::TLS_CLIENT_USE, "", "", caFile_, Poco::Net::Context::VERIFY_STRICT, 9,
                    false, "ALL:!ADH:!LOW:!EXP:!MD5:@STRENGTH");
                s.reset(new Poco::Net::HTTPSClientSession("127.0.0.1", port_, ctx));
            } else {
                s.reset(new Poco::Net::HTTPClientSession("127.0.0.1", port_));
            }
            s->setTimeout(Poco::Timespan(5, 0), Poco::Timespan(0, 0),
                          Poco::Timespan(r.recvTimeoutMs / 1000, (r.recvTimeoutMs % 1000) * 1000));
            std::map<std::string, std::string> headers = r.headers;
            if (!r.host.empty()) headers["Host"] = r.host;
            headers["Content-Length"] = std::to_string(r.body.size());
            if (r.sign && !headers.count("Authorization")) {
                uint64_t start = static_cast<uint64_t>(std::time(nullptr) + r.startOffset);
                headers["Authorization"] =
                    Sign(r.ak, r.sk, r.method, r.path, headers, r.params, start, start + r.lifetime).authorization;
            }
            Poco::Net::HTTPRequest req(r.method, Enc(r.path, true) + Query(r.params), "HTTP/1.1");
            for (const auto& h : headers) req.set(h.first, h.second);
            if (!r.host.empty()) req.setHost(r.host);
            req.setContentLength64(static_cast<Poco::Int64>(r.body.size()));
            std::ostream& os = s->sendRequest(req);
            os.write(r.body.data(), static_cast<std::streamsize>(r.body.size()));
            Poco::Net::HTTPResponse resp;
            std::istream& is = s->receiveResponse(resp);
            out.status = resp.getStatus();
            for (const auto& h : resp) out.headers[LowerCase(h.first)] = h.second;
            std::ostringstream body;
            Poco::StreamCopier::copyStream(is, body);
            out.body = body.str();
            if (resp.hasContentLength() && r.method != "HEAD" &&
                static_cast<uint64_t>(resp.getContentLength64()) != out.body.size()) {
                out.error = "short body: " + std::to_string(out.body.size()) + " of " +
                            std::to_string(resp.getContentLength64());
            }
        } catch (const Poco::Exception& e) {
            out.error = e.displayText();
            if (out.error.empty()) out.error = e.className();
        } catch (const std::exception& e) {
            out.error = e.what();
        }
        return out;
    }

private:
    uint16_t port_;
    bool https_ = false;
    std::string caFile_;
};

}  // namespace zid_service_test
