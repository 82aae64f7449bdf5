#include "util/RequestHead.h"

#include <cstdint>
#include <cstring>

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

// Field names compared without regard to case; the length first, as most names differ in it.
template <size_t N>
bool Is(const std::string& name, const char (&field)[N]) {
    if (name.size() != N - 1) return false;
    for (size_t i = 0; i + 1 < N; ++i) {
        const char c = name[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c) !=
            (field[i] >= 'A' && field[i] <= 'Z' ? static_cast<char>(field[i] + ('a' - 'A')) : field[i]))
            return false;
    }
    return true;
}

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
    // Eight bytes at a time: every head goes through here, and an Authorization value is long.
    // A word holding a byte below 0x20 or a 0x7f (a tab included) is then read byte by byte.
    constexpr uint64_t kOnes = 0x0101010101010101ULL, kHigh = 0x8080808080808080ULL;
    const char* p = text.data();
    const char* const end = p + text.size();
    for (; end - p >= 8; p += 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        const uint64_t del = word ^ (kOnes * 0x7f);
        if ((((word - kOnes * 0x20) & ~word) | ((del - kOnes) & ~del)) & kHigh) break;
    }
    for (; p != end; ++p) {
        const unsigned char u = static_cast<unsigned char>(*p);
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
