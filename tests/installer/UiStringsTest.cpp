// The string tables by language id, the palette and the fonts.
#include <gtest/gtest.h>

#include "UiStrings.h"
#include "UiTheme.h"

namespace {

class LanguageGuard {
public:
    explicit LanguageGuard(int id) : saved_(UiTheme::Settings().m_nLanguage) { UiTheme::Settings().m_nLanguage = id; }
    ~LanguageGuard() { UiTheme::Settings().m_nLanguage = saved_; }

private:
    int saved_;
};

TEST(UiStrings, RowsByLanguage) {
    const struct {
        int language;
        const wchar_t* install;
        const wchar_t* fail;
        const wchar_t* open;
        const wchar_t* tip;
        const wchar_t* step4;
        const wchar_t* step13;
    } cases[] = {
        {0, L"安装", L"失败", L"打开", L"更新中，请稍后...", L"下载运行库", L"删除备份文件"},
        {2052, L"安装", L"失败", L"打开", L"更新中，请稍后...", L"下载运行库", L"删除备份文件"},
        {1033, L"Install", L" Fail", L"Open", L"Updating, please wait...", L"Download runtime library",
         L"Delete backup files"},
        {1028, L"安裝", L"失敗", L"打開", L"更新中，請稍後...", L"下載運行庫", L"刪除備份文件"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.language);
        LanguageGuard guard(c.language);
        EXPECT_STREQ(UiStrings::Message(0), c.install);
        EXPECT_STREQ(UiStrings::Message(6), c.fail);
        EXPECT_STREQ(UiStrings::Message(7), c.open);
        EXPECT_STREQ(UiStrings::Message(10), c.tip);
        EXPECT_STREQ(UiStrings::StepName(4), c.step4);
        EXPECT_STREQ(UiStrings::StepName(13), c.step13);
    }
}

TEST(UiStrings, EveryRowIsFilledAndTerminatedInEveryLanguage) {
    for (int language : {0, 1033, 1028}) {
        LanguageGuard guard(language);
        for (int r = 0; r < UiStrings::kMessageRows; ++r) {
            EXPECT_GT(wcsnlen(UiStrings::Message(r), 100), 0u) << language << " message " << r;
            EXPECT_LT(wcsnlen(UiStrings::Message(r), 100), 100u);
        }
        for (int r = 0; r < UiStrings::kStepRows; ++r) {
            EXPECT_GT(wcsnlen(UiStrings::StepName(r), 100), 0u) << language << " step " << r;
        }
        // Rows sit 100 characters apart.
        EXPECT_EQ(UiStrings::Message(1) - UiStrings::Message(0), 100);
        EXPECT_EQ(UiStrings::StepName(13) - UiStrings::StepName(0), 1300);
    }
}

TEST(UiTheme, PaletteAndFonts) {
    UiPalette palette = {};
    UiTheme::InitPalette(palette);
    EXPECT_FLOAT_EQ(palette.colors[0].r, 231 / 255.0f);
    EXPECT_FLOAT_EQ(palette.colors[1].g, 150 / 255.0f);
    EXPECT_FLOAT_EQ(palette.colors[2].b, 0.0f);
    for (const UiColor& c : palette.colors) EXPECT_FLOAT_EQ(c.a, 1.0f);

    UiFonts& fonts = UiTheme::Fonts();
    EXPECT_EQ(fonts.iconGlyphs[0], 0xE65Du);
    EXPECT_EQ(fonts.iconGlyphs[9], 0xE8A9u);
    UiFonts mine = {};
    UiTheme::InitFonts(mine);
    const float sizes[4] = {17, 20, 22, 25};
    for (int i = 0; i < 4; ++i) {
        EXPECT_STREQ(mine.fonts[i]->name, "Times");
        EXPECT_FLOAT_EQ(mine.fonts[i]->size, sizes[i]);
    }
    EXPECT_STREQ(mine.iconFontName, "iconfont");
    UiTheme::FreeFonts(mine);
    EXPECT_EQ(mine.fonts[0], nullptr);
    EXPECT_EQ(mine.iconFontName, nullptr);
}

}  // namespace
