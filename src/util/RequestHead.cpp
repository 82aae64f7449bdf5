#include "util/RequestHead.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// A token field name against a name spelt in lower case, without regard to the name's case.
// Folding by 0x20 is exact here: only a letter's two cases fold to a letter, and the one other
// character in such names, '-', is compared as it is.
template <size_t N>
bool Is(const std::string& name, const char (&lower)[N]) {
    if (name.size() != N - 1) return false;
    for (size_t i = 0; i + 1 < N; ++i) {
        const char c = lower[i] == '-' ? name[i] : static_cast<char>(name[i] | 0x20);
        if (c != lower[i]) return false;
    }
    return true;
}

// What a field means to the sender, told by its length first: most names match none.
enum class Framing { kOther, kForbidden, kHost, kLength };

Framing FramingOf(const std::string& name) {
    switch (name.size()) {
        case 4: return Is(name, "host") ? Framing::kHost : Framing::kOther;
        case 6: return Is(name, "expect") ? Framing::kForbidden : Framing::kOther;
        case 10: return Is(name, "connection") ? Framing::kForbidden : Framing::kOther;
        case 14: return Is(name, "content-length") ? Framing::kLength : Framing::kOther;
        case 17: return Is(name, "transfer-encoding") ? Framing::kForbidden : Framing::kOther;
        default: return Framing::kOther;
    }
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
    const Framing framing = FramingOf(name);
    return framing == Framing::kHost || framing == Framing::kLength;
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
        const Framing framing = FramingOf(name);
        if (framing == Framing::kOther) continue;
        if (framing == Framing::kForbidden) {
            return "Header " + name + " is the client's own: a request may not set it";
        }
        const bool is_host = framing == Framing::kHost;
        const std::string** single = is_host ? &host : &length;
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
    // Many bytes at a time: every head goes through here, and an Authorization value is long.
    // A piece holding a byte below 0x20 or a 0x7f (a tab included) is then read byte by byte.
    const char* p = text.data();
    const char* const end = p + text.size();
#if defined(__SSE2__)
    const __m128i highest_control = _mm_set1_epi8(0x1f);
    const __m128i del = _mm_set1_epi8(0x7f);
    for (; end - p >= 16; p += 16) {
        const __m128i piece = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(piece, highest_control), piece);
        if (_mm_movemask_epi8(_mm_or_si128(control, _mm_cmpeq_epi8(piece, del))) != 0) break;
    }
#endif
    constexpr uint64_t kOnes = 0x0101010101010101ULL, kHigh = 0x8080808080808080ULL;
    for (; end - p >= 8; p += 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        const uint64_t del_xor = word ^ (kOnes * 0x7f);
        if ((((word - kOnes * 0x20) & ~word) | ((del_xor - kOnes) & ~del_xor)) & kHigh) break;
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
