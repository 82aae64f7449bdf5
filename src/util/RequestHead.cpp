#include "util/RequestHead.h"

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

}  // namespace

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
