// The installer's drawing layer over one drawing context: PNG images from the bundle's
// resources, text in a rectangle, and simple shapes. Views build one per redraw. Every
// operation but DrawImageScaled leaves the context's graphics state as it found it.
#pragma once

#include <cstdint>

#include "MacUtil.h"
#include "UiTheme.h"

namespace zplat {
class GraphicsContext;
}

struct DashPattern {
    const float* lengths;
    int32_t count;
};

struct PolyPoint {
    int32_t x;
    int32_t y;
};

struct TextExtent {
    float width;
    float height;
};

class TRender {
public:
    TRender();
    explicit TRender(zplat::GraphicsContext* context);
    ~TRender();

    void SetContext(zplat::GraphicsContext* context) { m_context = context; }
    zplat::GraphicsContext* GetContext() const { return m_context; }
    void SetFlag(bool flag) { m_bFlag = flag; }
    void SetWordWrap(bool wrap) { m_bWordWrap = wrap; }
    void SetUnderline(bool underline) { m_bUnderline = underline; }

    // Loads a PNG of the bundle's resources into `holder`, creating the cell when there is
    // none. A missing file leaves the cell as it was; bytes that are not a PNG leave it
    // empty. Always true.
    bool LoadPng(const wchar_t* name, ImageHolder*& holder);
    // The context's own pixels over (x, y, width, height), into the holder's cell.
    bool CaptureScreen(int x, int y, int width, int height, ImageHolder* holder);
    // Upright, top-left corner at (x, y), at the image's own size (flipped views).
    void DrawImage(const ImageHolder* holder, float x, float y);
    void DrawImageScaled(const ImageHolder* holder, float x, float y, float scale_x, float scale_y);

    // Horizontal alignment 0 left, 1 centre, other right; vertical 1 bottom, 2 centre,
    // other top. Returns the text's one-line width (truncated), or 0 when nothing is drawn.
    int DrawText(const wchar_t* text, const FontDesc* font, int halign, int valign, const D2D1_RECT_F& rc,
                 const UiColor& color);
    int DrawTextWrapped(const wchar_t* text, const FontDesc* font, int halign, int valign,
                        const D2D1_RECT_F& rc, const UiColor& color);
    void DrawTextVertical(const wchar_t* text, const FontDesc* font, const D2D1_RECT_F& rc, const UiColor& color);
    void DrawIcon(uint32_t glyph, const FontDesc* font, const char* icon_font, const D2D1_RECT_F& rc,
                  const UiColor& color);
    static TextExtent MeasureText(const wchar_t* text, const FontDesc* font, int max_width);

    void FillRect(const D2D1_RECT_F& rc, const UiColor& color);
    void StrokeRect(int line_width, const D2D1_RECT_F& rc, const UiColor& color);
    void DrawLine(const DashPattern* dash, float x1, float y1, float x2, float y2, const UiColor& color,
                  float line_width);
    void DrawRoundRect(const D2D1_RECT_F& rc, float radius, const UiColor& fill, const UiColor& outline);
    void DrawCheckBox(int line_width, bool checked, const D2D1_RECT_F& rc, const UiColor& color);
    void DrawRadio(const D2D1_RECT_F& rc, const UiColor& color);
    // Direction 0 left, 1 up, 2 down, 3 right; any other draws nothing.
    void DrawTriangle(int direction, const D2D1_RECT_F& rc, const UiColor& color);
    void FillTriangle(int direction, const D2D1_RECT_F& rc, const UiColor& color);
    void FillPolygon(const PolyPoint* points, int count, const UiColor& color);

private:
    bool TrianglePath(int direction, const D2D1_RECT_F& rc);

    zplat::GraphicsContext* m_context;
    float m_fTickRatio;
    bool m_bFlag;
    bool m_bWordWrap;
    bool m_bUnderline;
};
