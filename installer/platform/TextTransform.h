// Script transforms over ICU's transliterators ("Hant-Hans", "Hans-Hant", "Han-Latin", ...)
// and upper-casing, on UTF-8 text. Safe from any thread.
#pragma once

#include <string>

namespace zplat {

// False (and `out` empty) when the transform id is unknown or the text is not UTF-8.
bool TransformText(const std::string& id, const std::string& utf8, std::string* out);
// Full Unicode upper-casing, locale independent ("ß" becomes "SS").
std::string UpperCaseText(const std::string& utf8);

}  // namespace zplat
