#include <Poco/DateTimeFormat.h>
#include <Poco/DateTimeFormatter.h>
#include <Poco/Timestamp.h>

#include <cctype>
#include <cstdlib>

#include "ServiceImpl.h"

namespace zid_local {

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

namespace {

bool IsPlainHost(const std::string& host) {
    if (host.empty() || host == "localhost" || host.front() == '[') return true;
    if (host.find('.') == std::string::npos) return true;
    return std::all_of(host.begin(), host.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)) || c == '.'; });
}

const char* kXsi = "http://www.w3.org/2001/XMLSchema-instance";
const char* kAllUsers = "http://zid.invalid/groups/global/AllUsers";

}  // namespace

std::string StripPort(const std::string& host) {
    if (!host.empty() && host.front() == '[') {
        size_t close = host.find(']');
        return close == std::string::npos ? host : host.substr(0, close + 1);
    }
    size_t colon = host.rfind(':');
    return colon == std::string::npos ? host : host.substr(0, colon);
}

std::string BucketOfHost(const std::string& hostHeader) {
    std::string host = StripPort(hostHeader);
    if (IsPlainHost(host)) return std::string();
    return host.substr(0, host.find('.'));
}

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

std::string Text(rapidxml::xml_node<>* n) { return n ? std::string(n->value(), n->value_size()) : std::string(); }

std::string ChildText(rapidxml::xml_node<>* n, const char* name, bool* present) {
    rapidxml::xml_node<>* c = n ? n->first_node(name) : nullptr;
    if (present) *present = c != nullptr;
    return Text(c);
}

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

}  // namespace zid_local
