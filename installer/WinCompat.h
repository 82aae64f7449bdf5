// The installer's Windows-style layer: code pages, bounded copies, files, folders, local
// time and ini files, as free functions over the platform layer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <cwchar>

struct LocalTimeRecord {
    uint16_t wYear;
    uint16_t wMonth;
    uint16_t wDayOfWeek;  // not written by ReadLocalTime
    uint16_t wDay;
    uint16_t wHour;
    uint16_t wMinute;
    uint16_t wSecond;
    uint16_t wMilliseconds;
};

namespace WinCompat {

// ---- code pages (936, 950, 1252, 65001; others: UTF-8) -------------------------
// Both zero the destination first and keep a terminator in it. A NULL destination asks
// for the length of the whole conversion plus one. Invalid input converts to nothing.
long MultiByteToWide(const char* src, wchar_t* dst, int size, int code_page);
long WideToMultiByte(const wchar_t* src, char* dst, int size, int code_page);

// ---- bounded copies and formatting ---------------------------------------------
char* SafeStrCopy(char* dst, int size, const char* src, int count);
wchar_t* SafeWideCopy(wchar_t* dst, int size, const wchar_t* src, int count);
void* SafeMemCopy(void* dst, int size, const void* src, size_t count);
wchar_t* SafeWideCopyAll(wchar_t* dst, int size, const wchar_t* src);
wchar_t* WideCopy(wchar_t* dst, const wchar_t* src);
char* StrAppend(char* dst, const char* src, size_t count);
char* SafeStrAppend(char* dst, int size, const char* src, size_t count);
int FormatString(char* buf, size_t size, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
// "%s" in the format stands for a wide string, as on Windows.
int FormatWideString(wchar_t* buf, size_t size, const wchar_t* fmt, ...);

long WideToLong(const wchar_t* text);
float WideToFloat(const wchar_t* text);
wchar_t* WideTokenize(wchar_t* text, const wchar_t* delimiters, wchar_t** state);
void UpperCaseInPlace(char* text);

// ---- files ------------------------------------------------------------------
int OpenFile(FILE** file, const char* path, const char* mode);
int OpenFileWide(FILE** file, const wchar_t* path, const wchar_t* mode);
size_t ReadFile(void* buf, size_t size, size_t count, FILE* file);
int RemoveFile(const char* path);

// ---- folders (UTF-8, at most size - 1 bytes, strncpy style: pass a zeroed buffer) ----
void GetResourcePath(char* buf, int size);
void GetBundlePath(char* buf, int size);
// The user's Library folder + "/tamberlyn9.5/".
void GetUserWorkDir(char* buf, int size);
// flag: work folder + the bundle's parent path with "/" as "_"; else the Contents folder + "/".
void GetInstallDataDir(char* buf, int size, bool flag);
void GetResourcePathWide(wchar_t* buf, int size);
void GetUserWorkDirWide(wchar_t* buf, int size);
void GetInstallDataDirWide(wchar_t* buf, int size, bool flag);

// ---- local time -------------------------------------------------------------
// Seconds and milliseconds come from one clock reading.
void ReadLocalTime(LocalTimeRecord* record);
void ReadLocalTimeAt(LocalTimeRecord* record, const struct timespec& now);
void LocalTimeOf(struct tm* out, const time_t* when);

// ---- ini files --------------------------------------------------------------
void ReadIniString(const char* section, const char* key, const char* def, char* buf, int size,
                   const char* path);
int ReadIniInt(const char* section, const char* key, const char* path);
// A NULL key deletes the section, a NULL value the key.
void WriteIniString(const char* section, const char* key, const char* value, const char* path);
void ReadIniStringWide(const wchar_t* section, const wchar_t* key, const wchar_t* def, wchar_t* buf,
                       int size, const wchar_t* path);
long ReadIniIntWide(const wchar_t* section, const wchar_t* key, const wchar_t* path);
void WriteIniStringWide(const wchar_t* section, const wchar_t* key, const wchar_t* value,
                        const wchar_t* path);

}  // namespace WinCompat
