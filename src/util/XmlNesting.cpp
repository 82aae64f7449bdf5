#include "util/XmlNesting.h"

#include <cstring>

#include <rapidxml/rapidxml.hpp>

namespace zuzezi_zid {

namespace {

// The character classes rapidxml itself parses with, so both read the same structure.
using Tables = rapidxml::internal::lookup_tables<0>;

bool IsSpace(char c) { return Tables::lookup_whitespace[static_cast<unsigned char>(c)] != 0; }
bool IsNameChar(char c) { return Tables::lookup_node_name[static_cast<unsigned char>(c)] != 0; }
bool IsAttrNameChar(char c) {
    return Tables::lookup_attribute_name[static_cast<unsigned char>(c)] != 0;
}

const char* SkipSpace(const char* p) {
    while (IsSpace(*p)) {
        ++p;
    }
    return p;
}

// Past the first `mark` at or after p; null when the text ends first.
const char* Past(const char* p, const char* mark) {
    const char* found = std::strstr(p, mark);
    return found ? found + std::strlen(mark) : nullptr;
}

// A DOCTYPE ends at the first '>' outside its bracketed internal subset.
const char* PastDoctype(const char* p) {
    while (*p != '>') {
        if (*p == '\0') {
            return nullptr;
        }
        if (*p++ != '[') {
            continue;
        }
        for (int brackets = 1; brackets > 0; ++p) {
            if (*p == '\0') {
                return nullptr;
            }
            brackets += *p == '[' ? 1 : *p == ']' ? -1 : 0;
        }
    }
    return p + 1;
}

// After "<!": comments, CDATA, DOCTYPE, and any other such node rapidxml skips.
const char* PastBangNode(const char* p) {
    if (std::strncmp(p, "--", 2) == 0) {
        return Past(p + 2, "-->");
    }
    if (std::strncmp(p, "[CDATA[", 7) == 0) {
        return Past(p + 7, "]]>");
    }
    if (std::strncmp(p, "DOCTYPE", 7) == 0 && IsSpace(p[7])) {
        return PastDoctype(p + 8);
    }
    return Past(p, ">");
}

// After "<name": the attributes and the end of the tag. Sets *opens when the
// element has content (">") rather than closing itself ("/>").
const char* PastTag(const char* p, bool* opens) {
    p = SkipSpace(p);
    while (IsAttrNameChar(*p)) {
        while (IsAttrNameChar(*p)) {
            ++p;
        }
        p = SkipSpace(p);
        if (*p != '=') {
            return nullptr;
        }
        p = SkipSpace(p + 1);
        const char quote = *p;
        if (quote != '"' && quote != '\'') {
            return nullptr;
        }
        p = std::strchr(p + 1, quote);
        if (!p) {
            return nullptr;
        }
        p = SkipSpace(p + 1);
    }
    if (*p == '>') {
        *opens = true;
        return p + 1;
    }
    if (p[0] == '/' && p[1] == '>') {
        *opens = false;
        return p + 2;
    }
    return nullptr;
}

}  // namespace

bool XmlNestingWithin(const char* text, size_t max_depth) {
    const char* p = text;
    if (static_cast<unsigned char>(p[0]) == 0xEF && static_cast<unsigned char>(p[1]) == 0xBB &&
        static_cast<unsigned char>(p[2]) == 0xBF) {
        p += 3;
    }
    size_t depth = 0;
    while (p) {
        if (depth == 0) {
            // Between top-level nodes only whitespace may stand.
            p = SkipSpace(p);
            if (*p == '\0') {
                return true;
            }
            if (*p != '<') {
                return false;
            }
        } else if (*p != '<') {
            // Text runs to the next tag; the text must not end inside an element.
            while (*p && *p != '<') {
                ++p;
            }
            if (*p == '\0') {
                return false;
            }
        }
        ++p;  // past '<'
        if (*p == '/' && depth > 0) {
            p += 1;
            while (IsNameChar(*p)) {
                ++p;
            }
            p = SkipSpace(p);
            if (*p != '>') {
                return false;
            }
            ++p;
            --depth;
        } else if (*p == '?') {
            p = Past(p + 1, "?>");
        } else if (*p == '!') {
            p = PastBangNode(p + 1);
        } else {
            const char* name = p;
            while (IsNameChar(*p)) {
                ++p;
            }
            if (p == name) {
                return false;
            }
            bool opens = false;
            p = PastTag(p, &opens);
            if (p && opens && ++depth > max_depth) {
                return false;
            }
        }
    }
    return false;
}

}  // namespace zuzezi_zid
