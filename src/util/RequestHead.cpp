#include "util/RequestHead.h"

#include <Poco/String.h>

namespace zuzezi_zid {

namespace {

// The token characters: letters, digits and !#$%&'*+-.^_`|~.
struct TokenTable {
    bool allowed[256] = {};
    TokenTable() {
        for (int c = '0'; c <= '9'; ++c) allowed[c] = true;
        for (int c = 'a'; c <= 'z'; ++c) allowed[c] = true;
        for (int c = 'A'; c <= 'Z'; ++c) allowed[c] = true;
        for (const char* p = "!#$%&'*+-.^_`|~"; *p; ++p) allowed[static_cast<unsigned char>(*p)] = true;
    }
};

const TokenTable kToken;

// A name as a message may show it: control bytes as \xNN, so a refusal cannot split a log line.
std::string Shown(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string shown;
    for (const char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) {
            shown.append("\\x").push_back(kHex[u >> 4]);
            shown.push_back(kHex[u & 0xf]);
        } else {
            shown.push_back(c);
        }
    }
    return shown;
}

bool Is(const std::string& name, const char* field) { return Poco::icompare(name, field) == 0; }

bool IsDecimal(const std::string& text) {
    if (text.empty() || text.size() > 19) return false;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

}  // namespace

bool IsSingleField(const std::string& name) {
    return Is(name, "Host") || Is(name, "Content-Length");
}

std::string RequestFieldFault(const std::string& method,
                              const std::map<std::string, std::string>& fields,
                              const uint64_t* body_size) {
    if (!IsHeaderToken(method)) {
        return "Invalid HTTP method: [" + Shown(method) + "]";
    }
    const std::string* host = nullptr;
    const std::string* length = nullptr;
    for (const auto& field : fields) {
        const std::string& name = field.first;
        const std::string& value = field.second;
        if (!IsHeaderToken(name)) {
            return "Invalid header name (not a token) in header: " + Shown(name);
        }
        if (!IsHeaderValue(value)) {
            return "Invalid header value (a control byte) in header: " + name;
        }
        if (Is(name, "Transfer-Encoding") || Is(name, "Connection") || Is(name, "Expect")) {
            return "Header " + name + " is the client's own: a request may not set it";
        }
        const bool is_host = Is(name, "Host");
        const std::string** single =
            is_host ? &host : Is(name, "Content-Length") ? &length : nullptr;
        if (!single) continue;
        if (*single && **single != value) {
            return std::string("Conflicting ") + (is_host ? "Host" : "Content-Length") +
                   " values in request: [" + **single + "] and [" + value + "]";
        }
        *single = &value;
    }
    if (length) {
        if (!IsDecimal(*length)) {
            return "Invalid Content-Length in request: [" + *length + "]";
        }
        if (body_size && std::stoull(*length) != *body_size) {
            return "Content-Length [" + *length + "] disagrees with the body's " +
                   std::to_string(*body_size) + " bytes";
        }
    }
    return "";
}

bool IsHeaderToken(const std::string& text) {
    if (text.empty()) return false;
    for (const char c : text) {
        if (!kToken.allowed[static_cast<unsigned char>(c)]) return false;
    }
    return true;
}

bool IsHeaderValue(const std::string& text) {
    for (const char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if ((u < 0x20 && u != '\t') || u == 0x7f) return false;
    }
    return true;
}

std::string CredentialFault(const std::string& access_key, const std::string& security_token) {
    if (!IsHeaderValue(access_key)) {
        return "the access key id holds a control byte (CR, LF, NUL or another): requests are "
               "refused until credentials without one are set";
    }
    if (!IsHeaderValue(security_token)) {
        return "the security token holds a control byte (CR, LF, NUL or another): requests are "
               "refused until credentials without one are set";
    }
    return "";
}

std::string RequestHeadText(const Poco::Net::HTTPRequest& request) {
    std::string head;
    head.reserve(512);
    head.append(request.getMethod())
        .append(" ")
        .append(request.getURI())
        .append(" ")
        .append(request.getVersion())
        .append("\r\n");
    for (const auto& field : request) {
        head.append(field.first).append(": ").append(field.second).append("\r\n");
    }
    head.append("\r\n");
    return head;
}

}  // namespace zuzezi_zid
