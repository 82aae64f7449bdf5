#include "util/StringUtil.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include <rapidxml/rapidxml_print.hpp>

#include "ClientSettings.h"
#include "util/XmlNesting.h"

namespace zuzezi_zid {

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoreCase(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string& StringUtil::TrimSpaces(std::string& s) {
    const size_t first = s.find_first_not_of(' ');
    if (first == std::string::npos) {
        s.clear();
        return s;
    }
    const size_t last = s.find_last_not_of(' ');
    s = s.substr(first, last - first + 1);
    return s;
}

std::string StringUtil::StripPrefix(const std::string& s, const std::string& prefix) {
    return HasPrefix(s, prefix) ? s.substr(prefix.size()) : s;
}

std::string StringUtil::StripSuffix(const std::string& s, const std::string& suffix) {
    return HasSuffix(s, suffix) ? s.substr(0, s.size() - suffix.size()) : s;
}

std::string StringUtil::StripEnclosing(const std::string& s, const std::string& mark) {
    return StripSuffix(StripPrefix(s, mark), mark);
}

std::string& StringUtil::ToUpperInPlace(std::string& s) {
    for (char& c : s) {
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    }
    return s;
}

std::string StringUtil::ToUpperCopy(const std::string& s) {
    std::string copy = s;
    return ToUpperInPlace(copy);
}

std::string& StringUtil::ToLowerInPlace(std::string& s) {
    for (char& c : s) {
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    }
    return s;
}

std::string StringUtil::ToLowerCopy(const std::string& s) {
    std::string copy = s;
    return ToLowerInPlace(copy);
}

bool StringUtil::HasPrefix(const std::string& s, const std::string& prefix) {
    return prefix.size() <= s.size() && s.compare(0, prefix.size(), prefix) == 0;
}

bool StringUtil::HasPrefixIgnoreCase(const std::string& s, const std::string& prefix) {
    return prefix.size() <= s.size() && EqualIgnoreCase(s.data(), prefix.data(), prefix.size());
}

bool StringUtil::HasSuffix(const std::string& s, const std::string& suffix) {
    return suffix.size() <= s.size() &&
           s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool StringUtil::HasSuffixIgnoreCase(const std::string& s, const std::string& suffix) {
    return suffix.size() <= s.size() &&
           EqualIgnoreCase(s.data() + s.size() - suffix.size(), suffix.data(), suffix.size());
}

bool StringUtil::IsNotMd5Etag(const std::string& etag) { return etag.size() != 32; }

bool StringUtil::ContainsDash(const std::string& s) { return s.find('-') != std::string::npos; }

// Numbers go into every request's head and signature: written without the format parser.
std::string StringUtil::FormatUint64(uint64_t value) {
    char buf[20];
    return std::string(buf, std::to_chars(buf, buf + sizeof(buf), value).ptr);
}

std::string StringUtil::FormatInt(int value) {
    char buf[11];
    return std::string(buf, std::to_chars(buf, buf + sizeof(buf), value).ptr);
}

std::string StringUtil::FormatFloat(float value) {
    char buf[64];
    snprintf(buf, sizeof(buf), "%f", static_cast<double>(value));
    return buf;
}

uint64_t StringUtil::ParseUint64(const std::string& s) { return strtoull(s.c_str(), nullptr, 10); }

uint32_t StringUtil::ParseUint32(const std::string& s) {
    return static_cast<uint32_t>(strtoul(s.c_str(), nullptr, 10));
}

int StringUtil::ParseInt(const std::string& s) {
    std::istringstream is(s);
    int value = 0;
    if (!(is >> value)) {
        return 0;
    }
    return value;
}

float StringUtil::ParseFloat(const std::string& s) {
    std::istringstream is(s);
    float value = 0;
    if (!(is >> value)) {
        return 0;
    }
    return value;
}

void StringUtil::SplitByChar(const std::string& s, char delim, std::vector<std::string>* out) {
    std::istringstream is(s);
    std::string piece;
    while (std::getline(is, piece, delim)) {
        if (!piece.empty()) {
            out->push_back(piece);
        }
    }
}

void StringUtil::SplitByString(const std::string& s, const std::string& sep,
                               std::vector<std::string>* out) {
    if (sep.empty()) {
        out->push_back(s);
        return;
    }
    size_t pos = 0;
    for (size_t found = s.find(sep, pos); found != std::string::npos; found = s.find(sep, pos)) {
        if (found > pos) {
            out->push_back(s.substr(pos, found - pos));
        }
        pos = found + sep.size();
    }
    out->push_back(s.substr(pos));
}

std::string StringUtil::Join(const std::vector<std::string>& items, const std::string& sep) {
    std::string joined;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0) {
            joined += sep;
        }
        joined += items[i];
    }
    return joined;
}

bool StringUtil::ParseXmlDocument(char* buffer, rapidxml::xml_document<>* doc) {
    if (!XmlNestingWithin(buffer)) {
        return false;
    }
    try {
        doc->parse<0>(buffer);
    } catch (const rapidxml::parse_error&) {
        return false;
    }
    return true;
}

std::string StringUtil::PrintXmlNode(const rapidxml::xml_node<>* node) {
    std::string out;
    rapidxml::print(std::back_inserter(out), *node, 0);
    return out;
}

std::string StringUtil::HttpMethodName(int method) {
    switch (method) {
        case 0: return "HEAD";
        case 1: return "GET";
        case 2: return "PUT";
        case 3: return "POST";
        case 4: return "DELETE";
        case 5: return "OPTIONS";
        default: return "UNKNOWN";
    }
}

uint32_t StringUtil::BigEndianToUint32(const unsigned char* b) {
    return (static_cast<uint32_t>(b[0]) << 24) | (static_cast<uint32_t>(b[1]) << 16) |
           (static_cast<uint32_t>(b[2]) << 8) | static_cast<uint32_t>(b[3]);
}

uint16_t StringUtil::BigEndianToUint16(const unsigned char* b) {
    return static_cast<uint16_t>((static_cast<uint32_t>(b[0]) << 8) | static_cast<uint32_t>(b[1]));
}

uint32_t StringUtil::BigEndianToUint32(const char* b) {
    return BigEndianToUint32(reinterpret_cast<const unsigned char*>(b));
}

uint16_t StringUtil::BigEndianToUint16(const char* b) {
    return BigEndianToUint16(reinterpret_cast<const unsigned char*>(b));
}

uint64_t StringUtil::GetStreamLength(std::istream& is) {
    const std::istream::pos_type start = is.tellg();
    if (start == std::istream::pos_type(-1)) {
        return 0;
    }
    is.seekg(0, std::ios::end);
    const std::istream::pos_type end = is.tellg();
    is.seekg(start);
    if (end == std::istream::pos_type(-1) || end < start) {
        return 0;
    }
    return static_cast<uint64_t>(end - start);
}

bool StringUtil::IsAsciiAlnum(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

bool StringUtil::IsObjectKeyLegal(const std::string& key) {
    if (!ClientSettings::IsObjectKeyCheck()) {
        return true;
    }
    std::vector<std::string> kept;
    size_t pos = 0;
    for (;;) {
        const size_t slash = key.find('/', pos);
        const std::string piece =
            key.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
        if (piece == "..") {
            if (!kept.empty()) {
                kept.pop_back();
            }
        } else if (!piece.empty() && piece != ".") {
            kept.push_back(piece);
        }
        if (slash == std::string::npos) {
            break;
        }
        pos = slash + 1;
    }
    return !kept.empty();
}

bool StringUtil::IsValidBucketName(const std::string& name) {
    if (name.empty() || !IsAsciiAlnum(name.front()) || !IsAsciiAlnum(name.back())) {
        return false;
    }
    for (size_t i = 1; i + 1 < name.size(); ++i) {
        if (!IsAsciiAlnum(name[i]) && name[i] != '-') {
            return false;
        }
    }
    return true;
}

}  // namespace zuzezi_zid
