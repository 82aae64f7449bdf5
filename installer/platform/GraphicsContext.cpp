#include "GraphicsContext.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

namespace zplat {

GraphicsContext::GraphicsContext(cairo_t* cr) : m_cr(cr) {
    cairo_set_line_width(m_cr, 1.0);
}

void GraphicsContext::SaveGState() {
    cairo_save(m_cr);
    m_saved.push_back(m_paint);
}

void GraphicsContext::RestoreGState() {
    if (m_saved.empty()) return;
    cairo_restore(m_cr);
    m_paint = m_saved.back();
    m_saved.pop_back();
}

void GraphicsContext::Translate(double tx, double ty) { cairo_translate(m_cr, tx, ty); }
void GraphicsContext::Scale(double sx, double sy) { cairo_scale(m_cr, sx, sy); }
void GraphicsContext::Rotate(double radians) { cairo_rotate(m_cr, radians); }

void GraphicsContext::ClipToRect(double x, double y, double w, double h) {
    cairo_new_path(m_cr);
    cairo_rectangle(m_cr, x, y, w, h);
    cairo_clip(m_cr);
}

void GraphicsContext::BeginPath() { cairo_new_path(m_cr); }
void GraphicsContext::MoveTo(double x, double y) { cairo_move_to(m_cr, x, y); }
void GraphicsContext::AddLineTo(double x, double y) { cairo_line_to(m_cr, x, y); }

void GraphicsContext::AddArcToPoint(double x1, double y1, double x2, double y2, double radius) {
    double x0, y0;
    if (!cairo_has_current_point(m_cr)) {
        cairo_move_to(m_cr, x1, y1);
        return;
    }
    cairo_get_current_point(m_cr, &x0, &y0);
    double ax = x0 - x1, ay = y0 - y1, bx = x2 - x1, by = y2 - y1;
    double la = std::hypot(ax, ay), lb = std::hypot(bx, by);
    double cross = ax * by - ay * bx;
    if (radius <= 0 || la == 0 || lb == 0 || std::fabs(cross) < 1e-9 * la * lb) {
        cairo_line_to(m_cr, x1, y1);
        return;
    }
    ax /= la, ay /= la, bx /= lb, by /= lb;
    double angle = std::acos(std::max(-1.0, std::min(1.0, ax * bx + ay * by)));  // at the corner
    double tangent = radius / std::tan(angle / 2);
    double t1x = x1 + ax * tangent, t1y = y1 + ay * tangent;
    double t2x = x1 + bx * tangent, t2y = y1 + by * tangent;
    double hx = ax + bx, hy = ay + by, hl = std::hypot(hx, hy);
    double centre = radius / std::sin(angle / 2);
    double cx = x1 + hx / hl * centre, cy = y1 + hy / hl * centre;
    double a1 = std::atan2(t1y - cy, t1x - cx), a2 = std::atan2(t2y - cy, t2x - cx);
    double sweep = a2 - a1;
    while (sweep > M_PI) sweep -= 2 * M_PI;
    while (sweep <= -M_PI) sweep += 2 * M_PI;
    cairo_line_to(m_cr, t1x, t1y);
    if (sweep > 0) {
        cairo_arc(m_cr, cx, cy, radius, a1, a1 + sweep);
    } else {
        cairo_arc_negative(m_cr, cx, cy, radius, a1, a1 + sweep);
    }
}

void GraphicsContext::AddArc(double x, double y, double radius, double start, double end, bool clockwise) {
    // Cairo's angles grow clockwise on screen (y down), i.e. counter-clockwise in y-up terms.
    if (clockwise) {
        cairo_arc_negative(m_cr, x, y, radius, start, end);
    } else {
        cairo_arc(m_cr, x, y, radius, start, end);
    }
}

void GraphicsContext::AddRect(double x, double y, double w, double h) { cairo_rectangle(m_cr, x, y, w, h); }
void GraphicsContext::ClosePath() { cairo_close_path(m_cr); }

void GraphicsContext::UseFill() {
    cairo_set_source_rgba(m_cr, m_paint.fill[0], m_paint.fill[1], m_paint.fill[2], m_paint.fill[3]);
}

void GraphicsContext::UseStroke() {
    cairo_set_source_rgba(m_cr, m_paint.stroke[0], m_paint.stroke[1], m_paint.stroke[2], m_paint.stroke[3]);
}

void GraphicsContext::DrawPath(PathDrawingMode mode) {
    if (mode != PathDrawingMode::Stroke) {
        UseFill();
        if (mode == PathDrawingMode::FillStroke) {
            cairo_fill_preserve(m_cr);
        } else {
            cairo_fill(m_cr);
            return;
        }
    }
    UseStroke();
    cairo_stroke(m_cr);
}

void GraphicsContext::FillRect(double x, double y, double w, double h) {
    cairo_new_path(m_cr);
    cairo_rectangle(m_cr, x, y, w, h);
    UseFill();
    cairo_fill(m_cr);
}

void GraphicsContext::StrokeRect(double x, double y, double w, double h) {
    cairo_new_path(m_cr);
    cairo_rectangle(m_cr, x, y, w, h);
    UseStroke();
    cairo_stroke(m_cr);
}

void GraphicsContext::StrokeLineSegment(double x1, double y1, double x2, double y2) {
    cairo_new_path(m_cr);
    cairo_move_to(m_cr, x1, y1);
    cairo_line_to(m_cr, x2, y2);
    UseStroke();
    cairo_stroke(m_cr);
}

void GraphicsContext::SetFillRGB(double r, double g, double b, double a) {
    m_paint.fill[0] = r, m_paint.fill[1] = g, m_paint.fill[2] = b, m_paint.fill[3] = a;
}

void GraphicsContext::SetStrokeRGB(double r, double g, double b, double a) {
    m_paint.stroke[0] = r, m_paint.stroke[1] = g, m_paint.stroke[2] = b, m_paint.stroke[3] = a;
}

void GraphicsContext::SetLineWidth(double width) { cairo_set_line_width(m_cr, width); }

void GraphicsContext::SetLineDash(double phase, const std::vector<double>& lengths) {
    cairo_set_dash(m_cr, lengths.empty() ? nullptr : lengths.data(), static_cast<int>(lengths.size()), phase);
}

void GraphicsContext::DrawImage(double x, double y, double w, double h, cairo_surface_t* image) {
    if (!image) return;
    int iw = cairo_image_surface_get_width(image), ih = cairo_image_surface_get_height(image);
    if (iw <= 0 || ih <= 0) return;
    cairo_save(m_cr);
    cairo_translate(m_cr, x, y + h);
    cairo_scale(m_cr, w / iw, -h / ih);
    cairo_set_source_surface(m_cr, image, 0, 0);
    cairo_new_path(m_cr);
    cairo_rectangle(m_cr, 0, 0, iw, ih);
    cairo_fill(m_cr);
    cairo_restore(m_cr);
}

}  // namespace zplat
