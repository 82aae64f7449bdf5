// Text conversions between Windows code pages and wide text (UTF-32 wchar_t) through
// iconv. No locale is touched: setlocale is process-wide and would race across threads.
#pragma once

#include <cstddef>
#include <string>

namespace zplat {

// iconv name of a Windows code page: 936 GBK, 950 BIG5, 1252 CP1252, 437 CP437,
// 65001 and every other number UTF-8.
const char* CodePageCharset(int code_page);

// Whole-string conversions; false (and `out` empty) when the input is not valid in the
// code page or the code page is unknown to iconv.
bool BytesToWide(const std::string& bytes, int code_page, std::wstring* out);
bool WideToBytes(const std::wstring& text, int code_page, std::string* out);
// Between two iconv charsets, e.g. ("GBK", "UTF-8").
bool ConvertCharset(const std::string& bytes, const char* from, const char* to, std::string* out);

// Zip entry names of MS-DOS tools: IBM code page 437 to UTF-8 (our own table, every
// byte maps).
std::string Cp437ToUtf8(const char* bytes, size_t size);
bool IsValidUtf8(const char* bytes, size_t size);

}  // namespace zplat
