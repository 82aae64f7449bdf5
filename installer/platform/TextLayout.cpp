#include "TextLayout.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include "GraphicsContext.h"

namespace zplat {
namespace {

// A scratch context for measuring: layouts need a font map and a context, not a target.
cairo_t* MeasureContext() {
    static cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    thread_local cairo_t* cr = cairo_create(surface);
    return cr;
}

PangoLayout* MakeLayout(cairo_t* cr, const std::string& text, const TextAttributes& attrs) {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* desc = pango_font_description_new();
    pango_font_description_set_family(desc, attrs.fontName.c_str());
    pango_font_description_set_absolute_size(desc, attrs.fontSize * PANGO_SCALE);
    pango_layout_set_font_description(layout, desc);
    pango_font_description_free(desc);
    if (attrs.underline) {
        PangoAttrList* list = pango_attr_list_new();
        pango_attr_list_insert(list, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
        pango_layout_set_attributes(layout, list);
        pango_attr_list_unref(list);
    }
    pango_layout_set_text(layout, text.c_str(), static_cast<int>(text.size()));
    return layout;
}

TextSize LogicalSize(PangoLayout* layout) {
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    return TextSize{static_cast<double>(logical.width) / PANGO_SCALE,
                    static_cast<double>(logical.height) / PANGO_SCALE};
}

}  // namespace

TextSize MeasureTextLine(const std::string& text, const TextAttributes& attrs) {
    PangoLayout* layout = MakeLayout(MeasureContext(), text, attrs);
    TextSize size = LogicalSize(layout);
    g_object_unref(layout);
    return size;
}

TextSize MeasureTextBoxed(const std::string& text, const TextAttributes& attrs, double max_width) {
    PangoLayout* layout = MakeLayout(MeasureContext(), text, attrs);
    pango_layout_set_width(layout, static_cast<int>(max_width * PANGO_SCALE));
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD);
    TextSize size = LogicalSize(layout);
    g_object_unref(layout);
    return size;
}

void DrawTextInBox(GraphicsContext& context, const std::string& text, const TextAttributes& attrs,
                   double x, double y, double w, double h) {
    if (w <= 0 || h <= 0) return;
    cairo_t* cr = context.Cairo();
    cairo_save(cr);
    cairo_new_path(cr);
    cairo_rectangle(cr, x, y, w, h);
    cairo_clip(cr);
    PangoLayout* layout = MakeLayout(cr, text, attrs);
    pango_layout_set_width(layout, static_cast<int>(w * PANGO_SCALE));
    if (attrs.wordWrap) {
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD);
    } else {
        pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    }
    pango_layout_set_alignment(layout, attrs.alignment == TextAlignment::Left     ? PANGO_ALIGN_LEFT
                                       : attrs.alignment == TextAlignment::Center ? PANGO_ALIGN_CENTER
                                                                                  : PANGO_ALIGN_RIGHT);
    cairo_set_source_rgba(cr, attrs.color[0], attrs.color[1], attrs.color[2], attrs.color[3]);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
    cairo_restore(cr);
}

}  // namespace zplat
