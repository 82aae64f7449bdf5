// Process-wide presentation data and the installer's settings record.
#pragma once

#include <cstdint>
#include <string>

struct UiColor {
    float r, g, b, a;
};

struct UiPalette {
    UiColor colors[3];
};

struct FontDesc {
    char name[51];  // narrow name, code page 936
    float size;
};

struct UiFonts {
    FontDesc* fonts[4];
    char* iconFontName;  // 101 bytes
    uint32_t iconGlyphs[10];
};

struct InstallSettings {
    std::string m_szPkgNo;
    std::string m_szPkgName;
    std::string m_szAppName;
    std::string m_szAppDir;
    std::string m_szTempDir;
    std::string m_szBackupDir;
    int32_t m_nLanguage = 0;
};

namespace UiTheme {

InstallSettings& Settings();
UiPalette& Palette();
void InitPalette(UiPalette& palette);
UiFonts& Fonts();
void InitFonts(UiFonts& fonts);
FontDesc* MakeFont(const wchar_t* name, float size);
void FreeFonts(UiFonts& fonts);

}  // namespace UiTheme
