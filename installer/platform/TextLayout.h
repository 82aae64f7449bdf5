// Attributed text over Pango: a font by family name and size in points (one point is
// one pixel here), left/centre/right alignment, tail truncation or word wrap, underline,
// colour; one-line and boxed measuring. Text is UTF-8.
#pragma once

#include <string>

namespace zplat {

class GraphicsContext;

enum class TextAlignment { Left, Center, Right };

struct TextAttributes {
    std::string fontName;
    double fontSize = 12;
    TextAlignment alignment = TextAlignment::Left;
    bool wordWrap = false;  // false: one line, cut with an ellipsis at the tail
    bool underline = false;
    double color[4] = {0, 0, 0, 1};
};

struct TextSize {
    double width = 0, height = 0;
};

// The text on one line, never cut.
TextSize MeasureTextLine(const std::string& text, const TextAttributes& attrs);
// The bounding box of the text wrapped at word boundaries within `max_width`.
TextSize MeasureTextBoxed(const std::string& text, const TextAttributes& attrs, double max_width);
// Lays the text out in the box (top-left x, y; width w; height h) and draws what fits.
void DrawTextInBox(GraphicsContext& context, const std::string& text, const TextAttributes& attrs,
                   double x, double y, double w, double h);

}  // namespace zplat
