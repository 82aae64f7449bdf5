#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include <rapidxml/rapidxml.hpp>

namespace zuzezi_zid {

class StringUtil {
public:
    StringUtil() = delete;

    // Blanks only; tabs and newlines stay.
    static std::string& TrimSpaces(std::string& s);
    static std::string StripPrefix(const std::string& s, const std::string& prefix);
    static std::string StripSuffix(const std::string& s, const std::string& suffix);
    static std::string StripEnclosing(const std::string& s, const std::string& mark);

    static std::string& ToUpperInPlace(std::string& s);
    static std::string ToUpperCopy(const std::string& s);
    static std::string& ToLowerInPlace(std::string& s);
    static std::string ToLowerCopy(const std::string& s);

    static bool HasPrefix(const std::string& s, const std::string& prefix);
    static bool HasPrefixIgnoreCase(const std::string& s, const std::string& prefix);
    static bool HasSuffix(const std::string& s, const std::string& suffix);
    static bool HasSuffixIgnoreCase(const std::string& s, const std::string& suffix);
    static bool IsNotMd5Etag(const std::string& etag);
    static bool ContainsDash(const std::string& s);

    static std::string FormatUint64(uint64_t value);
    static std::string FormatInt(int value);
    static std::string FormatFloat(float value);
    static uint64_t ParseUint64(const std::string& s);
    static uint32_t ParseUint32(const std::string& s);
    static int ParseInt(const std::string& s);
    static float ParseFloat(const std::string& s);

    // Non-empty pieces only.
    static void SplitByChar(const std::string& s, char delim, std::vector<std::string>* out);
    static void SplitByString(const std::string& s, const std::string& sep,
                              std::vector<std::string>* out);
    static std::string Join(const std::vector<std::string>& items, const std::string& sep);

    // Parses in place: the buffer must be zero-terminated, writable and outlive the document.
    // A document nested deeper than kMaxXmlDepth is refused like one that does not parse.
    static bool ParseXmlDocument(char* buffer, rapidxml::xml_document<>* doc);
    static std::string PrintXmlNode(const rapidxml::xml_node<>* node);

    // 0 HEAD, 1 GET, 2 PUT, 3 POST, 4 DELETE, 5 OPTIONS.
    static std::string HttpMethodName(int method);

    static uint32_t BigEndianToUint32(const unsigned char* bytes);
    static uint16_t BigEndianToUint16(const unsigned char* bytes);
    static uint32_t BigEndianToUint32(const char* bytes);
    static uint16_t BigEndianToUint16(const char* bytes);

    // Bytes from the current read position to the end; the position is kept.
    static uint64_t GetStreamLength(std::istream& is);

    static bool IsAsciiAlnum(char c);
    // False for keys that fold to the bucket root once "." and ".." are applied.
    static bool IsObjectKeyLegal(const std::string& key);
    static bool IsValidBucketName(const std::string& name);
};

}  // namespace zuzezi_zid
