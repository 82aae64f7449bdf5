// The drawing layer on offscreen surfaces: text placement rules, shapes, dashes, images.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "TRender.h"
#include "UiTheme.h"
#include "WindowTestSupport.h"
#include "platform/GraphicsContext.h"
#include "support/ScopedEnv.h"

namespace fs = std::filesystem;
using window_test::Canvas;
using window_test::Near;
using window_test::Rgb;
using window_test::Show;

namespace {

const Rgb kWhite{255, 255, 255};
const UiColor kInk = {0, 0, 0, 1};
const UiColor kRed = {1, 0, 0, 1};
const UiColor kBlue = {0, 0, 1, 1};

FontDesc Font(float size) {
    FontDesc f = {};
    strcpy(f.name, "Times");
    f.size = size;
    return f;
}

struct InkBox {
    double left = 1e9, top = 1e9, right = -1, bottom = -1;
    bool Empty() const { return right < 0; }
};

InkBox Ink(const Canvas& c, int w, int h) {
    InkBox b;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            Rgb p = c.At(x, y);
            if (p.r + p.g + p.b < 384) {
                b.left = std::min<double>(b.left, x), b.right = std::max<double>(b.right, x);
                b.top = std::min<double>(b.top, y), b.bottom = std::max<double>(b.bottom, y);
            }
        }
    return b;
}

InkBox DrawAndFind(const wchar_t* text, int halign, int valign, const D2D1_RECT_F& rc, int* width = nullptr) {
    Canvas c(300, 120, 1, kWhite);
    zplat::GraphicsContext g(c.Cr());
    TRender r(&g);
    FontDesc f = Font(20);
    int w = r.DrawText(text, &f, halign, valign, rc, kInk);
    if (width) *width = w;
    return Ink(c, 300, 120);
}

TEST(TRenderText, HorizontalAlignmentPlacesTheInk) {
    D2D1_RECT_F rc = {20, 20, 280, 60};
    InkBox left = DrawAndFind(L"MHM", 0, 0, rc), centre = DrawAndFind(L"MHM", 1, 0, rc),
           right = DrawAndFind(L"MHM", 2, 0, rc);
    ASSERT_FALSE(left.Empty());
    EXPECT_LT(left.left - 20, 4);
    EXPECT_LT(280 - right.right, 4);
    EXPECT_NEAR((centre.left + centre.right) / 2, 150, 2);
    EXPECT_NEAR(right.right - right.left, left.right - left.left, 1);
}

TEST(TRenderText, VerticalAlignmentUsesTheTwoPointAllowance) {
    FontDesc f = Font(20);
    TextExtent line = TRender::MeasureText(L"MHM", &f, 1000);
    ASSERT_GT(line.height, 10);
    for (float height : {40.0f, 61.0f, 10.0f}) {  // the last one is shorter than the text
        D2D1_RECT_F rc = {20, 40, 280, 40 + height};
        int free = static_cast<int>(height - line.height);
        InkBox top = DrawAndFind(L"MHM", 0, 0, rc);
        InkBox bottom = DrawAndFind(L"MHM", 0, 1, rc);
        InkBox centre = DrawAndFind(L"MHM", 0, 2, rc);
        if (height >= line.height) {
            ASSERT_FALSE(top.Empty()) << height;
            EXPECT_NEAR(bottom.top - top.top, free - 2, 0.01) << height;
            EXPECT_NEAR(centre.top - top.top, (free - 2) * 0.5, 1.0) << height;
        } else {
            // Moved up by the same rule; the box then reaches above the rectangle.
            EXPECT_FALSE(bottom.Empty());
            EXPECT_LT(bottom.top, 40);
        }
    }
}

TEST(TRenderText, OutOfRangeAlignmentsFallBackToRightAndTop) {
    D2D1_RECT_F rc = {20, 20, 280, 80};
    struct Case {
        int h, v, same_h, same_v;
    } cases[] = {{5, 0, 2, 0}, {-1, 2, 2, 2}, {0, 5, 0, 0}, {1, -3, 1, 0}};
    FontDesc f = Font(20);
    for (const Case& k : cases) {
        Canvas a(300, 100, 1, kWhite), b(300, 100, 1, kWhite);
        zplat::GraphicsContext ga(a.Cr()), gb(b.Cr());
        TRender ra(&ga), rb(&gb);
        ra.DrawText(L"Install", &f, k.h, k.v, rc, kInk);
        rb.DrawText(L"Install", &f, k.same_h, k.same_v, rc, kInk);
        EXPECT_TRUE(a.SameAs(b)) << k.h << "," << k.v;
    }
}

TEST(TRenderText, ReturnsTheOneLineWidthEvenWhenCut) {
    int narrow = 0, wide = 0;
    const wchar_t* text = L"Download front-end dependency library";
    InkBox cut = DrawAndFind(text, 0, 0, D2D1_RECT_F{10, 10, 90, 50}, &narrow);
    DrawAndFind(text, 0, 0, D2D1_RECT_F{0, 0, 2000, 50}, &wide);
    EXPECT_EQ(narrow, wide);
    EXPECT_GT(narrow, 80);
    EXPECT_LE(cut.right, 90);  // cut with an ellipsis inside its box
    FontDesc f = Font(20);
    EXPECT_EQ(static_cast<int>(TRender::MeasureText(text, &f, 100000).width), narrow);
}

TEST(TRenderText, AbsentTextOrFontDrawsNothing) {
    Canvas c(100, 50, 1, kWhite), blank(100, 50, 1, kWhite);
    zplat::GraphicsContext g(c.Cr());
    TRender r(&g);
    FontDesc f = Font(20);
    FontDesc unnamed = {};
    unnamed.size = 20;
    EXPECT_EQ(r.DrawText(nullptr, &f, 0, 0, D2D1_RECT_F{0, 0, 100, 50}, kInk), 0);
    EXPECT_EQ(r.DrawText(L"x", nullptr, 0, 0, D2D1_RECT_F{0, 0, 100, 50}, kInk), 0);
    EXPECT_EQ(r.DrawText(L"x", &unnamed, 0, 0, D2D1_RECT_F{0, 0, 100, 50}, kInk), 0);
    EXPECT_TRUE(c.SameAs(blank));
    TextExtent none = TRender::MeasureText(nullptr, &f, 100);
    EXPECT_EQ(none.width, 0);
    EXPECT_EQ(none.height, 0);
}

TEST(TRenderText, VerticalTextTurnsAQuarterAndCentres) {
    Canvas c(100, 300, 1, kWhite);
    zplat::GraphicsContext g(c.Cr());
    TRender r(&g);
    FontDesc f = Font(20);
    r.DrawTextVertical(L"Install Success", &f, D2D1_RECT_F{20, 20, 80, 280}, kInk);
    InkBox b = Ink(c, 100, 300);
    ASSERT_FALSE(b.Empty());
    EXPECT_GT(b.bottom - b.top, 3 * (b.right - b.left)) << "runs down the rectangle, not across";
    EXPECT_NEAR((b.top + b.bottom) / 2, 150, 3);
    // The text's top faces left: the ink sits left of centre by the allowance and the
    // descender room this text does not use.
    EXPECT_LT((b.left + b.right) / 2, 50);
    EXPECT_GT((b.left + b.right) / 2, 40);
}

TEST(TRenderText, MeasureWrapsAtTheGivenWidth) {
    FontDesc f = Font(17);
    const wchar_t* text = L"Updating, please wait while the files are replaced";
    TextExtent one = TRender::MeasureText(text, &f, 100000), boxed = TRender::MeasureText(text, &f, 120);
    EXPECT_LE(boxed.width, 120);
    EXPECT_GE(boxed.height, 3 * one.height - 1);
}

TEST(TRenderShapes, RoundRectCornerFollowsTheArc) {
    // Ten device pixels per point: corner at (0, 0), radius 5, outline half a point out.
    Canvas c(40, 40, 10, kWhite);
    zplat::GraphicsContext g(c.Cr());
    TRender r(&g);
    r.DrawRoundRect(D2D1_RECT_F{0, 0, 40, 40}, 5, kBlue, kRed);
    EXPECT_TRUE(Near(c.At(0.6, 0.6), kWhite)) << "outside the arc " << Show(c.At(0.6, 0.6));
    EXPECT_TRUE(Near(c.At(1.25, 1.25), Rgb{255, 0, 0}, 40)) << "on the outline " << Show(c.At(1.25, 1.25));
    EXPECT_TRUE(Near(c.At(2.5, 2.5), Rgb{0, 0, 255})) << Show(c.At(2.5, 2.5));
    EXPECT_TRUE(Near(c.At(20, 0.2), Rgb{255, 0, 0})) << "straight edge " << Show(c.At(20, 0.2));
    EXPECT_TRUE(Near(c.At(20, 20), Rgb{0, 0, 255}));
    EXPECT_TRUE(Near(c.At(39.4, 39.4), kWhite)) << "opposite corner " << Show(c.At(39.4, 39.4));
}

TEST(TRenderShapes, CheckBoxTickPassesThroughItsThreePoints) {
    for (bool checked : {true, false}) {
        Canvas c(10, 10, 20, kWhite);
        zplat::GraphicsContext g(c.Cr());
        TRender r(&g);
        r.DrawCheckBox(1, checked, D2D1_RECT_F{0, 0, 10, 10}, kInk);
        for (auto p : {std::pair<double, double>{1.67, 5}, {3.82, 7.5}, {8.33, 2.5}, {2.75, 6.25}})
            EXPECT_EQ(c.At(p.first, p.second).r < 128, checked) << p.first << "," << p.second;
        EXPECT_TRUE(c.At(5, 0.2).r < 128) << "outline";
        EXPECT_TRUE(Near(c.At(5, 4), kWhite)) << "nothing in the middle";
    }
}

TEST(TRenderShapes, TrianglesByDirection) {
    struct Case {
        int direction;
        double in_x, in_y, out_x, out_y;
    } cases[] = {{0, 35, 20, 3, 3}, {1, 20, 35, 3, 3}, {2, 20, 5, 3, 37}, {3, 5, 20, 37, 3}};
    for (const Case& k : cases) {
        Canvas c(40, 40, 1, kWhite);
        zplat::GraphicsContext g(c.Cr());
        TRender r(&g);
        r.FillTriangle(k.direction, D2D1_RECT_F{0, 0, 40, 40}, kRed);
        EXPECT_TRUE(Near(c.At(k.in_x, k.in_y), Rgb{255, 0, 0})) << k.direction;
        EXPECT_TRUE(Near(c.At(k.out_x, k.out_y), kWhite)) << k.direction;
    }
    Canvas c(40, 40, 1, kWhite), blank(40, 40, 1, kWhite);
    zplat::GraphicsContext g(c.Cr());
    TRender r(&g);
    r.FillTriangle(4, D2D1_RECT_F{0, 0, 40, 40}, kRed);
    r.DrawTriangle(4, D2D1_RECT_F{0, 0, 40, 40}, kRed);
    EXPECT_TRUE(c.SameAs(blank));
}

TEST(TRenderShapes, DashedLineAndPolygon) {
    Canvas c(60, 40, 1, kWhite);
    zplat::GraphicsContext g(c.Cr());
    TRender r(&g);
    const float dash[] = {4, 4};
    DashPattern pattern = {dash, 2};
    r.DrawLine(&pattern, 0, 5, 40, 5, kInk, 2);
    EXPECT_TRUE(c.At(2, 5).r < 50);
    EXPECT_TRUE(Near(c.At(6, 5), kWhite)) << "gap";
    EXPECT_TRUE(c.At(10, 5).r < 50);
    r.DrawLine(nullptr, 0, 12, 40, 12, kInk, 2);  // the dash did not stick
    EXPECT_TRUE(c.At(6, 12).r < 50);
    const PolyPoint square[] = {{10, 20}, {30, 20}, {30, 38}, {10, 38}};
    r.FillPolygon(square, 0, kRed);
    EXPECT_TRUE(Near(c.At(20, 30), kWhite));
    r.FillPolygon(square, 4, kRed);
    EXPECT_TRUE(Near(c.At(20, 30), Rgb{255, 0, 0}));
    EXPECT_TRUE(Near(c.At(35, 30), kWhite));
}

TEST(TRenderShapes, RadioIsARingAndADot) {
    Canvas c(20, 20, 4, kWhite);
    zplat::GraphicsContext g(c.Cr());
    TRender r(&g);
    r.DrawRadio(D2D1_RECT_F{0, 0, 20, 20}, kInk);
    EXPECT_TRUE(c.At(10, 10).r < 50) << "dot";
    EXPECT_TRUE(c.At(10, 0.1).r < 128) << "ring";
    EXPECT_TRUE(Near(c.At(10, 1.2), kWhite)) << "between ring and dot " << Show(c.At(10, 1.2));
    EXPECT_TRUE(Near(c.At(1, 1), kWhite));
}

class TRenderImages : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("zid-trender-" + std::to_string(getpid()));
        fs::create_directories(root_ / "Contents" / "Resources");
        env_.Set("ZID_INSTALLER_BUNDLE", root_.string());
        ASSERT_TRUE(window_test::WriteTwoBandPng((root_ / "Contents/Resources/bands.png").string(), 30, 20, 5,
                                                 Rgb{255, 0, 0}, Rgb{0, 0, 255}));
        std::ofstream(root_ / "Contents/Resources/not.png") << "GIF89a, not a PNG";
    }
    void TearDown() override { fs::remove_all(root_); }
    fs::path root_;
    zid_test::ScopedEnv env_;
};

TEST_F(TRenderImages, LoadsFromResourcesAndDrawsUprightAtItsOwnSize) {
    Canvas c(60, 50, 1, kWhite);
    zplat::GraphicsContext g(c.Cr());
    TRender r(&g);
    ImageHolder* holder = nullptr;
    EXPECT_TRUE(r.LoadPng(L"bands.png", holder));
    ASSERT_NE(holder, nullptr);
    ImageExtent size = MacUtil::ImageSize(holder);
    EXPECT_EQ(size.width, 30);
    EXPECT_EQ(size.height, 20);
    r.DrawImage(holder, 10, 15);
    EXPECT_TRUE(Near(c.At(12, 16), Rgb{255, 0, 0})) << "top band at the top " << Show(c.At(12, 16));
    EXPECT_TRUE(Near(c.At(12, 33), Rgb{0, 0, 255})) << Show(c.At(12, 33));
    EXPECT_TRUE(Near(c.At(9, 16), kWhite));
    EXPECT_TRUE(Near(c.At(12, 14), kWhite));
    EXPECT_TRUE(Near(c.At(40.5, 20), kWhite));
    EXPECT_TRUE(Near(c.At(12, 35.5), kWhite));
    MacUtil::FreeImage(holder);
}

TEST_F(TRenderImages, MissingFileKeepsTheCellAndNonPngEmptiesIt) {
    TRender r;
    ImageHolder* holder = nullptr;
    r.LoadPng(L"missing.png", holder);
    ASSERT_NE(holder, nullptr) << "a cell is made even when nothing loads";
    EXPECT_EQ(holder->image, nullptr);
    r.LoadPng(L"bands.png", holder);
    ASSERT_NE(holder->image, nullptr);
    r.LoadPng(L"missing.png", holder);
    EXPECT_NE(holder->image, nullptr);
    r.LoadPng(L"not.png", holder);
    EXPECT_EQ(holder->image, nullptr);
    // Drawing an empty cell or no cell draws nothing.
    Canvas c(10, 10, 1, kWhite), blank(10, 10, 1, kWhite);
    zplat::GraphicsContext g(c.Cr());
    TRender on(&g);
    on.DrawImage(holder, 0, 0);
    on.DrawImage(nullptr, 0, 0);
    EXPECT_TRUE(c.SameAs(blank));
    MacUtil::FreeImage(holder);
}

TEST(TRenderState, OperationsLeaveTheGraphicsStateAsFound) {
    Canvas c(40, 40, 1, kWhite);
    zplat::GraphicsContext g(c.Cr());
    TRender r(&g);
    FontDesc f = Font(12);
    cairo_matrix_t before, after;
    cairo_get_matrix(c.Cr(), &before);
    double width_before = cairo_get_line_width(c.Cr());
    r.DrawText(L"a", &f, 1, 2, D2D1_RECT_F{0, 0, 40, 40}, kInk);
    r.DrawTextVertical(L"a", &f, D2D1_RECT_F{0, 0, 40, 40}, kInk);
    r.DrawLine(nullptr, 0, 0, 10, 10, kInk, 5);
    r.StrokeRect(3, D2D1_RECT_F{1, 1, 5, 5}, kInk);
    r.DrawRoundRect(D2D1_RECT_F{1, 1, 30, 30}, 4, kBlue, kRed);
    cairo_get_matrix(c.Cr(), &after);
    EXPECT_EQ(memcmp(&before, &after, sizeof before), 0);
    EXPECT_EQ(cairo_get_line_width(c.Cr()), width_before);
    EXPECT_EQ(cairo_get_dash_count(c.Cr()), 0);
}

}  // namespace
