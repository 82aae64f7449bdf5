// Offscreen rendering and pixel sampling for the window tests.
#pragma once

#include <cairo.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace window_test {

struct Rgb {
    int r, g, b;
};

inline Rgb Rgb255(int r, int g, int b) { return Rgb{r, g, b}; }

// A surface of `w` x `h` points at `scale` device pixels per point, filled with `ground`.
class Canvas {
public:
    Canvas(int w, int h, double scale = 1, Rgb ground = Rgb{255, 0, 255}) : m_scale(scale) {
        m_surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(w * scale),
                                               static_cast<int>(h * scale));
        m_cr = cairo_create(m_surface);
        cairo_set_source_rgb(m_cr, ground.r / 255.0, ground.g / 255.0, ground.b / 255.0);
        cairo_paint(m_cr);
        cairo_scale(m_cr, scale, scale);
    }
    ~Canvas() {
        cairo_destroy(m_cr);
        cairo_surface_destroy(m_surface);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    cairo_t* Cr() const { return m_cr; }
    cairo_surface_t* Surface() const { return m_surface; }

    // The device pixel under the point (x, y), given in points.
    Rgb At(double x, double y) const {
        cairo_surface_flush(m_surface);
        int px = static_cast<int>(std::floor(x * m_scale)), py = static_cast<int>(std::floor(y * m_scale));
        const unsigned char* data = cairo_image_surface_get_data(m_surface);
        int stride = cairo_image_surface_get_stride(m_surface);
        uint32_t v = *reinterpret_cast<const uint32_t*>(data + py * stride + px * 4);
        return Rgb{static_cast<int>((v >> 16) & 0xff), static_cast<int>((v >> 8) & 0xff), static_cast<int>(v & 0xff)};
    }

    // Device pixels within the box (points) for which `pick` holds.
    int Count(double l, double t, double r, double b, const std::function<bool(const Rgb&)>& pick) const {
        int n = 0;
        for (double y = t; y < b; y += 1 / m_scale)
            for (double x = l; x < r; x += 1 / m_scale)
                if (pick(At(x, y))) ++n;
        return n;
    }

    bool SameAs(const Canvas& other) const {
        cairo_surface_flush(m_surface);
        cairo_surface_flush(other.m_surface);
        int h = cairo_image_surface_get_height(m_surface), stride = cairo_image_surface_get_stride(m_surface);
        if (h != cairo_image_surface_get_height(other.m_surface) ||
            stride != cairo_image_surface_get_stride(other.m_surface))
            return false;
        return std::equal(cairo_image_surface_get_data(m_surface), cairo_image_surface_get_data(m_surface) + h * stride,
                          cairo_image_surface_get_data(other.m_surface));
    }

    void WritePng(const std::string& path) const { cairo_surface_write_to_png(m_surface, path.c_str()); }

private:
    double m_scale;
    cairo_surface_t* m_surface;
    cairo_t* m_cr;
};

inline bool Near(const Rgb& a, const Rgb& b, int tolerance = 3) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

inline std::string Show(const Rgb& c) {
    return "(" + std::to_string(c.r) + ", " + std::to_string(c.g) + ", " + std::to_string(c.b) + ")";
}

// A solid PNG of w x h with its top `split` rows in `top` and the rest in `bottom`.
inline bool WriteTwoBandPng(const std::string& path, int w, int h, int split, Rgb top, Rgb bottom) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, top.r / 255.0, top.g / 255.0, top.b / 255.0);
    cairo_rectangle(cr, 0, 0, w, split);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, bottom.r / 255.0, bottom.g / 255.0, bottom.b / 255.0);
    cairo_rectangle(cr, 0, split, w, h - split);
    cairo_fill(cr);
    cairo_destroy(cr);
    bool ok = cairo_surface_write_to_png(s, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(s);
    return ok;
}

// A command's standard output without its trailing line ends.
inline std::string Shell(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

inline bool HaveTool(const char* name) { return !Shell(std::string("command -v ") + name + " 2>/dev/null").empty(); }

}  // namespace window_test
