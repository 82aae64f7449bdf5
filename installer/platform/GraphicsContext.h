// A drawing context in the shape the installer's drawing code expects (graphics-state
// stack, paths with arc-to-point, fills, strokes, dashes, sRGB and device colours, images
// drawn with their first row at the top of the target rectangle in y-up space), over a
// Cairo context. The context is not owned.
#pragma once

#include <vector>

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace zplat {

enum class PathDrawingMode { Fill, Stroke, FillStroke };

class GraphicsContext {
public:
    explicit GraphicsContext(cairo_t* cr);

    cairo_t* Cairo() const { return m_cr; }

    void SaveGState();
    void RestoreGState();

    void Translate(double tx, double ty);
    void Scale(double sx, double sy);
    void Rotate(double radians);
    void ClipToRect(double x, double y, double w, double h);

    void BeginPath();
    void MoveTo(double x, double y);
    void AddLineTo(double x, double y);
    // Tangent arc from the current point towards (x1, y1), bending towards (x2, y2): a line
    // to the first tangent point, then the arc of `radius`; collinear points or a zero
    // radius give a line to (x1, y1).
    void AddArcToPoint(double x1, double y1, double x2, double y2, double radius);
    // Arc of `radius` around (x, y) from `start` to `end` (radians); `clockwise` in the
    // y-up sense.
    void AddArc(double x, double y, double radius, double start, double end, bool clockwise);
    void AddRect(double x, double y, double w, double h);
    void ClosePath();
    void DrawPath(PathDrawingMode mode);
    void FillPath() { DrawPath(PathDrawingMode::Fill); }
    void StrokePath() { DrawPath(PathDrawingMode::Stroke); }

    void FillRect(double x, double y, double w, double h);
    void StrokeRect(double x, double y, double w, double h);
    void StrokeLineSegment(double x1, double y1, double x2, double y2);

    // Colours are kept separately for fills and strokes, as part of the graphics state.
    void SetFillRGB(double r, double g, double b, double a);
    void SetStrokeRGB(double r, double g, double b, double a);
    void SetLineWidth(double width);
    // An empty pattern turns dashing off.
    void SetLineDash(double phase, const std::vector<double>& lengths);

    // Draws `image` into the rectangle with its first row at y + h, the way a y-up drawing
    // system places images; a flipped caller flips it back.
    void DrawImage(double x, double y, double w, double h, cairo_surface_t* image);

private:
    struct Paint {
        double fill[4] = {0, 0, 0, 1};
        double stroke[4] = {0, 0, 0, 1};
    };
    void UseFill();
    void UseStroke();

    cairo_t* m_cr;
    Paint m_paint;
    std::vector<Paint> m_saved;
};

}  // namespace zplat
