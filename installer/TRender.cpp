#include "TRender.h"

#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Bundle.h"
#include "platform/CodePage.h"
#include "platform/GraphicsContext.h"
#include "platform/Image.h"
#include "platform/TextLayout.h"

namespace {

constexpr size_t kTextBuffer = 1024;

// UTF-8 of a wide text, kept within the fixed text buffer without splitting a character.
bool ToUtf8(const wchar_t* text, std::string* out) {
    if (!zplat::WideToBytes(text, 65001, out)) return false;
    if (out->size() > kTextBuffer - 1) {
        size_t cut = kTextBuffer - 1;
        while (cut > 0 && (static_cast<unsigned char>((*out)[cut]) & 0xC0) == 0x80) --cut;
        out->resize(cut);
    }
    return true;
}

// Font names are kept in code page 936.
bool FontNameUtf8(const FontDesc* font, std::string* out) {
    return zplat::ConvertCharset(std::string(font->name, strnlen(font->name, sizeof font->name)), "GBK", "UTF-8",
                                 out) &&
           !out->empty();
}

zplat::TextAttributes Attributes(const std::string& font_name, const FontDesc* font, int halign, bool wrap,
                                 bool underline, const UiColor& color) {
    zplat::TextAttributes a;
    a.fontName = font_name;
    a.fontSize = font->size;
    a.alignment = halign == 0 ? zplat::TextAlignment::Left
                  : halign == 1 ? zplat::TextAlignment::Center
                                : zplat::TextAlignment::Right;
    a.wordWrap = wrap;
    a.underline = underline;
    SRGBColor c = MacUtil::MakeSRGBColor(color.r, color.g, color.b, color.a);
    a.color[0] = c.red, a.color[1] = c.green, a.color[2] = c.blue, a.color[3] = c.alpha;
    return a;
}

void UseSRGBStroke(zplat::GraphicsContext* ctx, const UiColor& color) {
    SRGBColor c = MacUtil::MakeSRGBColor(color.r, color.g, color.b, color.a);
    ctx->SetStrokeRGB(c.red, c.green, c.blue, c.alpha);
}

void UseSRGBFill(zplat::GraphicsContext* ctx, const UiColor& color) {
    SRGBColor c = MacUtil::MakeSRGBColor(color.r, color.g, color.b, color.a);
    ctx->SetFillRGB(c.red, c.green, c.blue, c.alpha);
}

}  // namespace

TRender::TRender() : TRender(nullptr) {}

TRender::TRender(zplat::GraphicsContext* context)
    : m_context(context), m_fTickRatio(0.618f), m_bFlag(false), m_bWordWrap(false), m_bUnderline(false) {}

TRender::~TRender() = default;

bool TRender::LoadPng(const wchar_t* name, ImageHolder*& holder) {
    if (!holder) holder = new ImageHolder;
    std::string file;
    if (!name || !ToUtf8(name, &file)) return true;
    std::string bytes;
    if (!zplat::ReadWholeFile(zplat::BundleResourcePath() + "/" + file, &bytes)) return true;
    if (holder->image) cairo_surface_destroy(holder->image);
    holder->image = zplat::DecodePng(bytes);
    return true;
}

bool TRender::CaptureScreen(int x, int y, int width, int height, ImageHolder* holder) {
    if (!m_context || !holder || width <= 0 || height <= 0) return true;
    cairo_surface_t* target = cairo_get_target(m_context->Cairo());
    cairo_surface_t* crop = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(crop);
    cairo_set_source_surface(cr, target, -x, -y);
    cairo_paint(cr);
    cairo_destroy(cr);
    if (holder->image) cairo_surface_destroy(holder->image);
    holder->image = crop;
    return true;
}

void TRender::DrawImage(const ImageHolder* holder, float x, float y) {
    if (!m_context || !holder || !holder->image) return;
    ImageExtent size = MacUtil::ImageSize(holder);
    m_context->SaveGState();
    // The context places an image's first row at the bottom of y-up space; undo that.
    m_context->Translate(0, 2 * y + size.height);
    m_context->Scale(1, -1);
    m_context->DrawImage(x, y, size.width, size.height, holder->image);
    m_context->RestoreGState();
}

void TRender::DrawImageScaled(const ImageHolder* holder, float x, float y, float scale_x, float scale_y) {
    if (!m_context || !holder || !holder->image) return;
    ImageExtent size = MacUtil::ImageSize(holder);
    m_context->DrawImage(x, y, size.width * scale_x, size.height * scale_y, holder->image);
}

int TRender::DrawText(const wchar_t* text, const FontDesc* font, int halign, int valign, const D2D1_RECT_F& rc,
                      const UiColor& color) {
    if (!text || !font || !m_context) return 0;
    std::string utf8;
    if (!ToUtf8(text, &utf8)) {
        printf("TRender::DrawText nsText =nil \n");
        return 0;
    }
    std::string font_name;
    if (!FontNameUtf8(font, &font_name)) {
        printf("TRender::DrawText strFontName =nil \n");
        return 0;
    }
    m_context->SaveGState();
    zplat::TextAttributes attrs = Attributes(font_name, font, halign, m_bWordWrap, m_bUnderline, color);
    zplat::TextSize line = zplat::MeasureTextLine(utf8, attrs);
    float height = rc.bottom - rc.top;
    int free = static_cast<int>(height - line.height);
    float top = rc.top;
    if (valign == 1) {
        top = rc.top + (free - 2);
    } else if (valign == 2) {
        top = rc.top + (free - 2) * 0.5f;
    }
    zplat::DrawTextInBox(*m_context, utf8, attrs, rc.left, top, rc.right - rc.left, rc.bottom - top);
    m_context->RestoreGState();
    return static_cast<int>(line.width);
}

int TRender::DrawTextWrapped(const wchar_t* text, const FontDesc* font, int halign, int valign,
                             const D2D1_RECT_F& rc, const UiColor& color) {
    bool saved = m_bWordWrap;
    m_bWordWrap = true;
    int width = DrawText(text, font, halign, valign, rc, color);
    m_bWordWrap = saved;
    return width;
}

void TRender::DrawTextVertical(const wchar_t* text, const FontDesc* font, const D2D1_RECT_F& rc,
                               const UiColor& color) {
    if (!text || !font || !m_context) return;
    float w = rc.right - rc.left, h = rc.bottom - rc.top;
    m_context->SaveGState();
    m_context->Translate(rc.left, rc.top);
    m_context->Rotate(-M_PI / 2);
    m_context->Translate(-h, 0);
    DrawText(text, font, 1, 2, D2D1_RECT_F{0, 0, h, w}, color);
    m_context->RestoreGState();
}

void TRender::DrawIcon(uint32_t glyph, const FontDesc* font, const char* icon_font, const D2D1_RECT_F& rc,
                       const UiColor& color) {
    if (!font || !icon_font) return;
    FontDesc icon = *font;
    memset(icon.name, 0, sizeof icon.name);
    strncpy(icon.name, icon_font, sizeof icon.name - 1);
    const wchar_t text[2] = {static_cast<wchar_t>(glyph), 0};
    DrawText(text, &icon, 1, 2, rc, color);
}

TextExtent TRender::MeasureText(const wchar_t* text, const FontDesc* font, int max_width) {
    if (!text || !font) return TextExtent{0, 0};
    std::string utf8, font_name;
    if (!ToUtf8(text, &utf8) || !FontNameUtf8(font, &font_name)) return TextExtent{0, 0};
    zplat::TextAttributes attrs = Attributes(font_name, font, 0, true, false, UiColor{0, 0, 0, 1});
    zplat::TextSize size = zplat::MeasureTextBoxed(utf8, attrs, max_width);
    return TextExtent{static_cast<float>(size.width), static_cast<float>(size.height)};
}

void TRender::FillRect(const D2D1_RECT_F& rc, const UiColor& color) {
    if (!m_context) return;
    m_context->SaveGState();
    m_context->SetFillRGB(color.r, color.g, color.b, color.a);
    m_context->FillRect(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
    m_context->RestoreGState();
}

void TRender::StrokeRect(int line_width, const D2D1_RECT_F& rc, const UiColor& color) {
    if (!m_context) return;
    m_context->SaveGState();
    UseSRGBStroke(m_context, color);
    m_context->SetLineWidth(line_width);
    m_context->StrokeRect(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
    m_context->RestoreGState();
}

void TRender::DrawLine(const DashPattern* dash, float x1, float y1, float x2, float y2, const UiColor& color,
                       float line_width) {
    if (!m_context) return;
    m_context->SaveGState();
    if (dash && dash->lengths && dash->count > 0) {
        m_context->SetLineDash(0, std::vector<double>(dash->lengths, dash->lengths + dash->count));
    }
    UseSRGBStroke(m_context, color);
    m_context->SetLineWidth(line_width);
    m_context->StrokeLineSegment(x1, y1, x2, y2);
    m_context->RestoreGState();
}

void TRender::DrawRoundRect(const D2D1_RECT_F& rc, float radius, const UiColor& fill, const UiColor& outline) {
    if (!m_context) return;
    float l = rc.left, t = rc.top, r = rc.right, b = rc.bottom;
    m_context->SaveGState();
    m_context->SetFillRGB(fill.r, fill.g, fill.b, fill.a);
    m_context->SetStrokeRGB(outline.r, outline.g, outline.b, outline.a);
    m_context->BeginPath();
    m_context->MoveTo(l, t + radius);
    m_context->AddArcToPoint(l, b, r, b, radius);
    m_context->AddArcToPoint(r, b, r, t, radius);
    m_context->AddArcToPoint(r, t, l, t, radius);
    m_context->AddArcToPoint(l, t, l, b, radius);
    m_context->ClosePath();
    m_context->DrawPath(zplat::PathDrawingMode::FillStroke);
    m_context->RestoreGState();
}

void TRender::DrawCheckBox(int line_width, bool checked, const D2D1_RECT_F& rc, const UiColor& color) {
    if (!m_context) return;
    StrokeRect(line_width, rc, color);
    if (!checked) return;
    float w = rc.right - rc.left, h = rc.bottom - rc.top;
    m_context->SaveGState();
    UseSRGBStroke(m_context, color);
    m_context->BeginPath();
    m_context->MoveTo(rc.left + w / 6, rc.top + h / 2);
    m_context->AddLineTo(rc.right - m_fTickRatio * w, rc.top + h - h / 4);
    m_context->AddLineTo(rc.right - w / 6, rc.top + h / 4);
    m_context->StrokePath();
    m_context->RestoreGState();
}

void TRender::DrawRadio(const D2D1_RECT_F& rc, const UiColor& color) {
    if (!m_context) return;
    float w = rc.right - rc.left, h = rc.bottom - rc.top;
    float cx = rc.left + w / 2, cy = rc.top + h / 2;
    m_context->SaveGState();
    UseSRGBStroke(m_context, color);
    UseSRGBFill(m_context, color);
    m_context->SetLineWidth(1);
    m_context->BeginPath();
    m_context->AddArc(cx, cy, w / 2, 0, 2 * M_PI, false);
    m_context->StrokePath();
    m_context->BeginPath();
    m_context->AddArc(cx, cy, w / 2 - 2, 0, 2 * M_PI, false);
    m_context->FillPath();
    m_context->RestoreGState();
}

bool TRender::TrianglePath(int direction, const D2D1_RECT_F& rc) {
    float l = rc.left, t = rc.top, r = rc.right, b = rc.bottom, w = r - l, h = b - t;
    float p[3][2];
    switch (direction) {
        case 0: p[0][0] = l, p[0][1] = t + h / 2, p[1][0] = r, p[1][1] = t, p[2][0] = r, p[2][1] = b; break;
        case 1: p[0][0] = l + w / 2, p[0][1] = t, p[1][0] = l, p[1][1] = b, p[2][0] = r, p[2][1] = b; break;
        case 2: p[0][0] = l + w / 2, p[0][1] = b, p[1][0] = l, p[1][1] = t, p[2][0] = r, p[2][1] = t; break;
        case 3: p[0][0] = r, p[0][1] = t + h / 2, p[1][0] = l, p[1][1] = t, p[2][0] = l, p[2][1] = b; break;
        default: return false;
    }
    m_context->BeginPath();
    m_context->MoveTo(p[0][0], p[0][1]);
    m_context->AddLineTo(p[1][0], p[1][1]);
    m_context->AddLineTo(p[2][0], p[2][1]);
    m_context->ClosePath();
    return true;
}

void TRender::DrawTriangle(int direction, const D2D1_RECT_F& rc, const UiColor& color) {
    if (!m_context) return;
    m_context->SaveGState();
    UseSRGBStroke(m_context, color);
    m_context->SetLineWidth(1);
    if (TrianglePath(direction, rc)) m_context->StrokePath();
    m_context->RestoreGState();
}

void TRender::FillTriangle(int direction, const D2D1_RECT_F& rc, const UiColor& color) {
    if (!m_context) return;
    m_context->SaveGState();
    m_context->SetFillRGB(color.r, color.g, color.b, color.a);
    m_context->SetStrokeRGB(color.r, color.g, color.b, color.a);
    m_context->SetLineWidth(1);
    if (TrianglePath(direction, rc)) m_context->DrawPath(zplat::PathDrawingMode::FillStroke);
    m_context->RestoreGState();
}

void TRender::FillPolygon(const PolyPoint* points, int count, const UiColor& color) {
    if (!m_context || !points || count <= 0) return;
    m_context->SaveGState();
    m_context->SetFillRGB(color.r, color.g, color.b, color.a);
    m_context->BeginPath();
    m_context->MoveTo(points[0].x, points[0].y);
    for (int i = 1; i < count; ++i) m_context->AddLineTo(points[i].x, points[i].y);
    m_context->ClosePath();
    m_context->FillPath();
    m_context->RestoreGState();
}
