// The installer's utilities over the platform layer: folder chains, tree copy and
// removal, the unzip wrapper, the package identity, the machine type, the quantitative
// runtime folder, the warning alert, window messages and small drawing helpers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct MacConfig;
struct _cairo_surface;

// One decoded image for the drawing layer.
struct ImageHolder {
    _cairo_surface* image = nullptr;
};

struct ImageExtent {
    float width;
    float height;
};

// Rectangles and points keep the Windows records (y grows downward).
struct D2D1_RECT_F {
    float left;
    float top;
    float right;
    float bottom;
};

struct D2D1_POINT_2F {
    float x;
    float y;
};

// An sRGB colour, components 0-1.
struct SRGBColor {
    double red, green, blue, alpha;
};

namespace MacUtil {

// Posts (msg, frm, w, l) as the notification "OnFrameUserMsg" on the main thread; any
// thread, never blocks. Delivery keeps the posting order.
void PostUserMsg(uint32_t msg, int64_t frm, int64_t w, int64_t l);

// Creates every folder up to the last "/" (mode 0777). The first failure is shown in the
// alert (from a worker, once the main thread takes it) and gives false.
bool MakeDirsForPath(const char* path);
// Creates the whole path (mode 0755); false on the first failure.
bool MakeDirs(const char* path);
// Copies the tree below `src` into `dst`, replacing files, keeping links as links,
// permission bits and dates (links their own, folders once filled, `dst` those of `src`).
// Every item is tried; false when any failed.
bool CopyTree(const char* src, const char* dst);
// Removes a file, link or tree; true when nothing is left at the path.
bool RemovePath(const char* path);
bool UnzipFile(const char* zip_path, const char* destination);
std::string FirstSubpath(const std::string& folder);
void ReadPackageConfig(MacConfig& config);
bool IsArm64();
std::string GetQuantPath();
bool IsQuantNeeded(const char* version);
// flag 1: the work folder (Library + "/tamberlyn9.5/"); 0: the resource folder's parent.
void GetWorkDir(std::string& out, int flag);
void ShowAlert(const char* text);

ImageExtent ImageSize(const ImageHolder* holder);
void FreeImage(ImageHolder* holder);
SRGBColor MakeSRGBColor(float red, float green, float blue, float alpha);

// Helpers without a caller in the installer itself.
// "https://" is put in front of an address without "http"; opened with the desktop's browser.
bool OpenWebAddress(const wchar_t* address);
// Code page 936 text to wide text and back.
std::wstring CodePageToWide(const char* text);
std::string WideToCodePage(const wchar_t* text);
// Re-encodes `text` in place from `code_page` into 936; under language 1028 a 936 stands
// for 950. False when it does not convert or does not fit.
bool ReencodeTo936(char* text, size_t size, int code_page);
int GbkToUtf8(const char* in, char* out, size_t out_size);
int Utf8ToGbk(const char* in, char* out, size_t out_size);
int ThreeWayMap(int value);
bool RenameFile(const char* from, const char* to);
void WriteLogLine(FILE* file, const char* text);
void DebugLog(const char* text);
void DebugLogWide(const wchar_t* text);
// The first preferred language (LANGUAGE, then LANG): traditional Chinese 1028, English
// 1033, anything else 0 (the default tables).
int LanguageFromEnvironment();
// The first network interface's hardware address as 12 upper-case hex digits ("" if none).
std::string HardwareAddress();
bool IsHardwareAddress(const char* text);

// Script transforms of UTF-8 text into the caller's buffer: the length written, or -1
// (and an empty buffer) when the text is not UTF-8 or the result does not fit.
int TraditionalToSimplified(const char* in, char* out, size_t out_size);
int SimplifiedToTraditional(const char* in, char* out, size_t out_size);
// The upper-cased first letter of each word of the text's pinyin ("张三" gives "ZS").
int PinyinInitials(const char* in, char* out, size_t out_size);

// The desktop, on the main thread. Screen coordinates are the X screen's: origin at its
// top-left corner, y downward.
// The save panel: the chosen path, or "" when cancelled.
std::wstring RunSavePanel(const char* suggested_name, const std::vector<std::string>& types);
void PushArrowCursor();
void PushResizeLeftRightCursor();
D2D1_POINT_2F MouseLocation();
// The screen whose visible frame holds the point; otherwise, with `nearest`, the one
// nearest it, else the main screen.
int ScreenForPoint(D2D1_POINT_2F point, bool nearest);
// All zero for an unknown screen.
D2D1_RECT_F ScreenVisibleFrame(int screen);

}  // namespace MacUtil
