#include "TextTransform.h"

#include <unicode/locid.h>
#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <memory>

#include "CodePage.h"

namespace zplat {

bool TransformText(const std::string& id, const std::string& utf8, std::string* out) {
    if (!out) return false;
    out->clear();
    if (!IsValidUtf8(utf8.data(), utf8.size())) return false;
    UErrorCode status = U_ZERO_ERROR;
    // A fresh instance per call: ICU keeps the compiled rules in its registry, and an
    // instance of its own spares the callers any locking.
    std::unique_ptr<icu::Transliterator> t(
        icu::Transliterator::createInstance(icu::UnicodeString::fromUTF8(id), UTRANS_FORWARD, status));
    if (U_FAILURE(status) || !t) return false;
    icu::UnicodeString text = icu::UnicodeString::fromUTF8(utf8);
    t->transliterate(text);
    text.toUTF8String(*out);
    return true;
}

std::string UpperCaseText(const std::string& utf8) {
    icu::UnicodeString text = icu::UnicodeString::fromUTF8(utf8);
    text.toUpper(icu::Locale::getRoot());
    std::string out;
    text.toUTF8String(out);
    return out;
}

}  // namespace zplat
