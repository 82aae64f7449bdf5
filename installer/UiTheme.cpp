#include "UiTheme.h"

#include <cstring>
#include <mutex>

#include "WinCompat.h"

namespace UiTheme {

InstallSettings& Settings() {
    static InstallSettings settings;  // thread-safe first use
    return settings;
}

UiPalette& Palette() {
    static UiPalette palette = {};
    return palette;
}

void InitPalette(UiPalette& palette) {
    palette.colors[0] = UiColor{231 / 255.0f, 231 / 255.0f, 231 / 255.0f, 1.0f};
    palette.colors[1] = UiColor{150 / 255.0f, 150 / 255.0f, 150 / 255.0f, 1.0f};
    palette.colors[2] = UiColor{0.0f, 0.0f, 0.0f, 1.0f};
}

UiFonts& Fonts() {
    static UiFonts fonts = [] {
        UiFonts f = {};
        const uint32_t glyphs[10] = {0xE65D, 0xE6A0, 0xE604, 0xE608, 0xE622,
                                     0xE649, 0xE64A, 0xE64B, 0xE619, 0xE8A9};
        memcpy(f.iconGlyphs, glyphs, sizeof glyphs);
        return f;
    }();
    return fonts;
}

FontDesc* MakeFont(const wchar_t* name, float size) {
    FontDesc* font = new FontDesc;
    memset(font, 0, sizeof *font);
    WinCompat::WideToMultiByte(name, font->name, sizeof font->name, 936);
    font->size = size;
    return font;
}

void InitFonts(UiFonts& fonts) {
    const float sizes[4] = {17, 20, 22, 25};
    for (int i = 0; i < 4; ++i) fonts.fonts[i] = MakeFont(L"Times", sizes[i]);
    fonts.iconFontName = new char[101];
    memset(fonts.iconFontName, 0, 101);
    strncpy(fonts.iconFontName, "iconfont", 100);
}

void FreeFonts(UiFonts& fonts) {
    for (auto& f : fonts.fonts) {
        delete f;
        f = nullptr;
    }
    delete[] fonts.iconFontName;
    fonts.iconFontName = nullptr;
}

}  // namespace UiTheme
