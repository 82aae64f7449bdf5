#include "WinCompat.h"

#include <cctype>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Bundle.h"
#include "platform/CodePage.h"
#include "platform/FileManager.h"

namespace WinCompat {

namespace {
// strncpy of at most size - 1 bytes, never touching the last byte.
void PutText(char* buf, int size, const std::string& text) {
    if (!buf || size <= 1) return;
    strncpy(buf, text.c_str(), static_cast<size_t>(size - 1));
}

void NarrowToWide(const char* narrow, wchar_t* buf, int size) {
    MultiByteToWide(narrow, buf, size, 936);
}
}  // namespace

namespace {
// The common tail of both conversions: length query, or a copy that keeps a terminator.
template <typename Char>
long CopyConverted(const std::basic_string<Char>& text, Char* dst, int size) {
    if (!dst) return static_cast<long>(text.size()) + 1;
    if (size <= 0) return 0;
    size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
    std::char_traits<Char>::copy(dst, text.data(), n);
    return static_cast<long>(std::char_traits<Char>::length(dst));
}
}  // namespace

long MultiByteToWide(const char* src, wchar_t* dst, int size, int code_page) {
    if (dst && size > 0) wmemset(dst, 0, static_cast<size_t>(size));
    if (!src) return 0;
    std::wstring wide;
    zplat::BytesToWide(src, code_page, &wide);
    return CopyConverted(wide, dst, size);
}

long WideToMultiByte(const wchar_t* src, char* dst, int size, int code_page) {
    if (dst && size > 0) memset(dst, 0, static_cast<size_t>(size));
    if (!src) return 0;
    std::string bytes;
    zplat::WideToBytes(src, code_page, &bytes);
    return CopyConverted(bytes, dst, size);
}

char* SafeStrCopy(char* dst, int size, const char* src, int count) {
    int n = std::min(size - 1, count);
    if (n < 0) n = 0;
    return strncpy(dst, src, static_cast<size_t>(n));
}

wchar_t* SafeWideCopy(wchar_t* dst, int size, const wchar_t* src, int count) {
    int n = std::min(size - 1, count);
    if (n < 0) n = 0;
    return wcsncpy(dst, src, static_cast<size_t>(n));
}

void* SafeMemCopy(void* dst, int, const void* src, size_t count) { return memcpy(dst, src, count); }
wchar_t* SafeWideCopyAll(wchar_t* dst, int, const wchar_t* src) { return wcscpy(dst, src); }
wchar_t* WideCopy(wchar_t* dst, const wchar_t* src) { return wcscpy(dst, src); }
char* StrAppend(char* dst, const char* src, size_t count) { return strncat(dst, src, count); }
char* SafeStrAppend(char* dst, int, const char* src, size_t count) { return strncat(dst, src, count); }

int FormatString(char* buf, size_t size, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    int r = vsnprintf(buf, size, fmt, ap);
    va_end(ap);
    return r;
}

int FormatWideString(wchar_t* buf, size_t size, const wchar_t* fmt, ...) {
    std::wstring f;
    for (const wchar_t* p = fmt; *p; ++p) {
        if (p[0] == L'%' && p[1] == L's') {
            f += L"%ls";
            ++p;
        } else if (p[0] == L'%' && p[1] == L'%') {
            f += L"%%";  // an escaped percent is not the start of a conversion
            ++p;
        } else {
            f += *p;
        }
    }
    va_list ap;
    va_start(ap, fmt);
    int r = vswprintf(buf, size, f.c_str(), ap);
    va_end(ap);
    return r;
}

long WideToLong(const wchar_t* text) { return wcstol(text, nullptr, 10); }
float WideToFloat(const wchar_t* text) { return wcstof(text, nullptr); }
wchar_t* WideTokenize(wchar_t* text, const wchar_t* delimiters, wchar_t** state) {
    return wcstok(text, delimiters, state);
}

void UpperCaseInPlace(char* text) {
    if (!text) return;
    for (char* p = text; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c >= 'a' && c <= 'z') *p = static_cast<char>(c - 'a' + 'A');
    }
}

int OpenFile(FILE** file, const char* path, const char* mode) {
    if (!path || !mode) return -1;
    *file = fopen(path, mode);
    return *file ? 0 : -1;
}

int OpenFileWide(FILE** file, const wchar_t* path, const wchar_t* mode) {
    if (!path || !mode) return -1;
    std::vector<char> m(1024, 0), p(2046, 0);
    WideToMultiByte(mode, m.data(), 1024, 936);
    WideToMultiByte(path, p.data(), 2046, 936);
    *file = fopen(p.data(), m.data());
    return *file ? 0 : -1;
}

size_t ReadFile(void* buf, size_t size, size_t count, FILE* file) {
    if (!buf || !file) return 0;
    return fread(buf, size, count, file);
}

int RemoveFile(const char* path) {
    if (!path) return 0;
    return remove(path);
}

void GetResourcePath(char* buf, int size) {
    std::string p = zplat::BundleResourcePath();
    if (!p.empty()) PutText(buf, size, p);
}

void GetBundlePath(char* buf, int size) {
    std::string p = zplat::BundlePath();
    if (!p.empty()) PutText(buf, size, p);
}

void GetUserWorkDir(char* buf, int size) {
    std::string lib = zplat::UserLibraryDirectory();
    if (!lib.empty()) PutText(buf, size, lib + "/tamberlyn9.5/");
}

void GetInstallDataDir(char* buf, int size, bool flag) {
    if (flag) {
        std::string lib = zplat::UserLibraryDirectory();
        std::string bundle = zplat::BundlePath();
        if (lib.empty() || bundle.empty()) return;
        std::string parent = bundle;
        size_t slash = parent.rfind('/');
        if (slash != std::string::npos) parent = parent.substr(0, slash);
        for (char& c : parent) {
            if (c == '/') c = '_';
        }
        PutText(buf, size, lib + "/tamberlyn9.5/" + parent);
    } else {
        std::string res = zplat::BundleResourcePath();
        if (res.empty()) return;
        size_t slash = res.rfind('/');
        if (slash != std::string::npos) res = res.substr(0, slash);
        PutText(buf, size, res + "/");
    }
}

void GetResourcePathWide(wchar_t* buf, int size) {
    std::vector<char> narrow(2046, 0);
    GetResourcePath(narrow.data(), 2046);
    NarrowToWide(narrow.data(), buf, size);
}

void GetUserWorkDirWide(wchar_t* buf, int size) {
    std::vector<char> narrow(2046, 0);
    GetUserWorkDir(narrow.data(), 2046);
    NarrowToWide(narrow.data(), buf, size);
}

void GetInstallDataDirWide(wchar_t* buf, int size, bool flag) {
    std::vector<char> narrow(2046, 0);
    GetInstallDataDir(narrow.data(), 2046, flag);
    NarrowToWide(narrow.data(), buf, size);
}

void ReadLocalTimeAt(LocalTimeRecord* record, const struct timespec& now) {
    struct tm tm = {};
    time_t secs = now.tv_sec;
    localtime_r(&secs, &tm);
    record->wYear = static_cast<uint16_t>(tm.tm_year + 1900);
    record->wMonth = static_cast<uint16_t>(tm.tm_mon + 1);
    record->wDay = static_cast<uint16_t>(tm.tm_mday);
    record->wHour = static_cast<uint16_t>(tm.tm_hour);
    record->wMinute = static_cast<uint16_t>(tm.tm_min);
    record->wSecond = static_cast<uint16_t>(tm.tm_sec);
    record->wMilliseconds = static_cast<uint16_t>(now.tv_nsec / 1000000);
}

void ReadLocalTime(LocalTimeRecord* record) {
    struct timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    ReadLocalTimeAt(record, now);
}

void LocalTimeOf(struct tm* out, const time_t* when) { localtime_r(when, out); }

}  // namespace WinCompat
