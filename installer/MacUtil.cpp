#include "MacUtil.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <vector>

#include "IClient.h"
#include "UiTheme.h"
#include "WinCompat.h"
#include "ZipFacade.h"
#include "platform/Alert.h"
#include "platform/Bundle.h"
#include "platform/CodePage.h"
#include "platform/FileManager.h"
#include "platform/Image.h"
#include "platform/Log.h"
#include "platform/Machine.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "platform/SavePanel.h"
#include "platform/Screen.h"
#include "platform/TextTransform.h"
#include "platform/TreeCopy.h"
#include "platform/Workspace.h"

namespace MacUtil {

void PostUserMsg(uint32_t msg, int64_t frm, int64_t w, int64_t l) {
    zplat::Notification note;
    note.name = "OnFrameUserMsg";
    note.userInfo = {{"msg", static_cast<int32_t>(msg)}, {"frm", frm}, {"w", w}, {"l", l}};
    if (msg == 14 && zplat::IsMainThread()) {
        zplat::NotificationCenter::Default().Post(note);
        return;
    }
    zplat::MainQueuePost([note] { zplat::NotificationCenter::Default().Post(note); });
}

bool MakeDirsForPath(const char* path) {
    if (!path) return false;
    std::string p(path);
    for (size_t i = 0; i < p.size(); ++i) {
        if (p[i] != '/') continue;
        std::string prefix = p.substr(0, i + 1);
        if (access(prefix.c_str(), F_OK) == 0) continue;
        if (mkdir(prefix.c_str(), 0777) != 0 && !(errno == EEXIST && zplat::IsDirectory(prefix))) {
            ShowAlert(prefix.c_str());  // posted to the main thread when this is a worker
            return false;
        }
    }
    return true;
}

bool MakeDirs(const char* path) {
    if (!path) return false;
    std::string p(path);
    if (p.size() < 2) return true;
    if (p.back() != '/') p += '/';
    for (size_t i = 1; i < p.size(); ++i) {
        if (p[i] != '/') continue;
        std::string prefix = p.substr(0, i);
        if (access(prefix.c_str(), F_OK) == 0) continue;
        if (mkdir(prefix.c_str(), 0755) != 0 && !(errno == EEXIST && zplat::IsDirectory(prefix))) {
            perror("mkdir   error");
            return false;
        }
    }
    return true;
}

bool CopyTree(const char* src, const char* dst) {
    if (!src || !dst) return false;
    if (!zplat::IsDirectory(src)) {
        zplat::LogLine("Invalid path: %s", src);
        return false;
    }
    return MakeDirs(dst) && zplat::CopyTreeInto(src, dst);
}

bool RemovePath(const char* path) {
    if (!path) return false;
    if (!zplat::ItemExists(path)) return true;
    zplat::RemoveItem(path);
    return !zplat::ItemExists(path);
}

bool UnzipFile(const char* zip_path, const char* destination) {
    if (!zip_path || !destination) return false;
    return ZipFacade::UnzipFileAtPath(zip_path, destination);
}

std::string FirstSubpath(const std::string& folder) {
    std::vector<std::string> entries = zplat::Subpaths(folder);
    return entries.empty() ? std::string() : entries.front();
}

void ReadPackageConfig(MacConfig& config) {
    std::vector<char> res(2046, 0);
    WinCompat::GetResourcePath(res.data(), 2046);
    std::string folder = std::string(res.data()) + "/Config";
    auto take = [&](char* field, const std::string& sub) {
        std::string value = FirstSubpath(folder + "/" + sub);
        memset(field, 0, 101);
        strncpy(field, value.c_str(), 100);
    };
    for (const std::string& entry : zplat::Subpaths(folder)) {
        if (entry == "PkgName") take(config.szPkgName, "PkgName");
        else if (entry == "PkgNo") take(config.szPkgNo, "PkgNo");
        else if (entry == "SerDir") take(config.szSerDir, "SerDir");
        else if (entry == "PkgQuant") config.bQuant = true;
    }
}

bool IsArm64() { return zplat::MachineType() == "arm64"; }

std::string GetQuantPath() {
    std::string p = zplat::UserLibraryDirectory() + "/tamberlyn9.5_quant/";
    if (p.size() > 2045) p.resize(2045);
    return p;
}

bool IsQuantNeeded(const char* version) {
    std::string v = version ? version : "";
    for (const std::string& entry : zplat::Subpaths(GetQuantPath())) {
        if (entry == v) return false;
    }
    return true;
}

void GetWorkDir(std::string& out, int flag) {
    std::vector<char> buf(2046, 0);
    if (flag) {
        WinCompat::GetUserWorkDir(buf.data(), 2046);
        out = buf.data();
    } else {
        WinCompat::GetResourcePath(buf.data(), 2046);
        std::string p = buf.data();
        size_t slash = p.rfind('/');
        out = slash == std::string::npos ? p : p.substr(0, slash);
    }
}

void ShowAlert(const char* text) { zplat::ShowWarningAlert(text ? text : "", "确定"); }

ImageExtent ImageSize(const ImageHolder* holder) {
    if (!holder || !holder->image) return ImageExtent{0, 0};
    return ImageExtent{static_cast<float>(zplat::ImageWidth(holder->image)),
                       static_cast<float>(zplat::ImageHeight(holder->image))};
}

void FreeImage(ImageHolder* holder) {
    if (!holder) return;
    zplat::DestroyImage(holder->image);
    delete holder;
}

SRGBColor MakeSRGBColor(float red, float green, float blue, float alpha) {
    return SRGBColor{red, green, blue, alpha};
}

namespace {
// A result into the caller's buffer with its NUL: the length, or -1 and an empty buffer
// when there is no result or it does not fit.
int CopyOut(bool ok, const std::string& res, char* out, size_t out_size) {
    if (!out || out_size == 0) return -1;
    if (!ok || res.size() + 1 > out_size) {
        out[0] = 0;
        return -1;
    }
    memcpy(out, res.c_str(), res.size() + 1);
    return static_cast<int>(res.size());
}

int Convert(const char* in, char* out, size_t out_size, const char* from, const char* to) {
    std::string res;
    return CopyOut(in && zplat::ConvertCharset(in, from, to, &res), res, out, out_size);
}

int Transform(const char* id, const char* in, char* out, size_t out_size) {
    std::string res;
    return CopyOut(in && zplat::TransformText(id, in, &res), res, out, out_size);
}

size_t Utf8SequenceLength(unsigned char lead) {
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC0) return 2;
    return 1;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
}  // namespace

int GbkToUtf8(const char* in, char* out, size_t out_size) { return Convert(in, out, out_size, "GBK", "UTF-8"); }
int Utf8ToGbk(const char* in, char* out, size_t out_size) { return Convert(in, out, out_size, "UTF-8", "GBK"); }

int TraditionalToSimplified(const char* in, char* out, size_t out_size) {
    return Transform("Hant-Hans", in, out, out_size);
}

int SimplifiedToTraditional(const char* in, char* out, size_t out_size) {
    return Transform("Hans-Hant", in, out, out_size);
}

int PinyinInitials(const char* in, char* out, size_t out_size) {
    std::string latin, initials;
    const bool ok = in && zplat::TransformText("Han-Latin", in, &latin);
    for (size_t i = 0; ok && i < latin.size();) {
        if (IsSpace(latin[i])) {
            ++i;
            continue;
        }
        initials += zplat::UpperCaseText(latin.substr(i, Utf8SequenceLength(latin[i])));
        while (i < latin.size() && !IsSpace(latin[i])) ++i;
    }
    return CopyOut(ok, initials, out, out_size);
}

int ThreeWayMap(int value) {
    if (value == 0) return 0;
    if (value == 1) return 2;
    return 1;
}

bool RenameFile(const char* from, const char* to) { return rename(from, to) == 0; }

bool OpenWebAddress(const wchar_t* address) {
    if (!address) return false;
    std::wstring w = address;
    if (w.find(L"http") == std::wstring::npos) w = L"https://" + w;
    std::string url;
    if (!zplat::WideToBytes(w, 65001, &url)) return false;
    return zplat::OpenUri(url);
}

std::wstring CodePageToWide(const char* text) {
    std::wstring w;
    if (text) zplat::BytesToWide(text, 936, &w);
    return w;
}

std::string WideToCodePage(const wchar_t* text) {
    std::string s;
    if (text) zplat::WideToBytes(text, 936, &s);
    return s;
}

bool ReencodeTo936(char* text, size_t size, int code_page) {
    if (!text || size == 0) return false;
    int from = code_page;
    if (from == 936 && UiTheme::Settings().m_nLanguage == 1028) from = 950;
    std::string out;
    if (!zplat::ConvertCharset(text, zplat::CodePageCharset(from), "GBK", &out) || out.size() + 1 > size) {
        return false;
    }
    memcpy(text, out.c_str(), out.size() + 1);
    return true;
}

void DebugLog(const char* text) { zplat::LogLine("%s", text ? text : ""); }
void DebugLogWide(const wchar_t* text) { zplat::LogLine("%ls", text ? text : L""); }

int LanguageFromEnvironment() {
    std::string lang;
    for (const char* var : {"LANGUAGE", "LANG"}) {
        const char* v = getenv(var);
        if (v && *v) {
            lang = v;
            break;
        }
    }
    lang = lang.substr(0, lang.find(':'));
    if (lang.rfind("zh_TW", 0) == 0 || lang.rfind("zh_HK", 0) == 0 || lang.rfind("zh-Hant", 0) == 0) return 1028;
    if (lang.rfind("en", 0) == 0) return 1033;
    return 0;
}

std::string HardwareAddress() {
    for (const std::string& name : zplat::DirectoryEntries("/sys/class/net")) {
        if (name == "lo") continue;
        std::ifstream is("/sys/class/net/" + name + "/address");
        std::string mac;
        if (!(is >> mac) || mac.size() != 17 || mac == "00:00:00:00:00:00") continue;
        unsigned b[6];
        if (sscanf(mac.c_str(), "%x:%x:%x:%x:%x:%x", &b[0], &b[1], &b[2], &b[3], &b[4], &b[5]) != 6) continue;
        char out[13];
        snprintf(out, sizeof out, "%02X%02X%02X%02X%02X%02X", b[0], b[1], b[2], b[3], b[4], b[5]);
        return out;
    }
    return "";
}

bool IsHardwareAddress(const char* text) {
    std::string mine = HardwareAddress();
    return text && !mine.empty() && mine == text;
}

std::wstring RunSavePanel(const char* suggested_name, const std::vector<std::string>& types) {
    std::string path = zplat::RunSavePanel(suggested_name ? suggested_name : "", types);
    std::wstring wide;
    if (!path.empty()) zplat::BytesToWide(path, 65001, &wide);
    return wide;
}

void PushArrowCursor() { zplat::SetCursorShape(zplat::CursorShape::Arrow); }
void PushResizeLeftRightCursor() { zplat::SetCursorShape(zplat::CursorShape::ResizeLeftRight); }

D2D1_POINT_2F MouseLocation() {
    zplat::ScreenPoint p{0, 0};
    zplat::PointerLocation(&p);
    return D2D1_POINT_2F{static_cast<float>(p.x), static_cast<float>(p.y)};
}

int ScreenForPoint(D2D1_POINT_2F point, bool nearest) { return zplat::ScreenAt(zplat::ScreenPoint{point.x, point.y}, nearest); }

D2D1_RECT_F ScreenVisibleFrame(int screen) {
    zplat::ScreenRect r{0, 0, 0, 0};
    zplat::ScreenWorkArea(screen, &r);
    return D2D1_RECT_F{static_cast<float>(r.left), static_cast<float>(r.top), static_cast<float>(r.right),
                       static_cast<float>(r.bottom)};
}

void WriteLogLine(FILE* file, const char* text) {
    if (!file || !text) return;
    LocalTimeRecord t = {};
    WinCompat::ReadLocalTime(&t);
    fprintf(file, "[%02d:%02d:%02d %03d]\t\t%s\r\n", t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, text);
    fflush(file);
}

}  // namespace MacUtil
