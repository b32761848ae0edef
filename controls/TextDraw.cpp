#include "controls/TextDraw.h"

#include <pango/pangocairo.h>

#include <cmath>

namespace fl {

namespace {

PangoLayout* MakeLayout(cairo_t* cr, const std::string& text, const std::string& font) {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* desc = pango_font_description_from_string(font.c_str());
    pango_layout_set_font_description(layout, desc);
    pango_font_description_free(desc);
    pango_layout_set_text(layout, text.c_str(), -1);
    pango_layout_set_single_paragraph_mode(layout, TRUE);
    return layout;
}

}  // namespace

void DrawTextCentered(cairo_t* cr, const std::string& text, const std::string& font, double x, double y, double w,
                      double h, Rgba c) {
    if (text.empty()) return;
    cairo_save(cr);
    cairo_rectangle(cr, x, y, w, h);
    cairo_clip(cr);
    PangoLayout* layout = MakeLayout(cr, text, font);
    int tw = 0, th = 0;
    pango_layout_get_pixel_size(layout, &tw, &th);
    cairo_move_to(cr, std::floor(x + (w - tw) / 2.0), std::floor(y + (h - th) / 2.0));
    cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
    cairo_restore(cr);
}

void DrawTextLeft(cairo_t* cr, const std::string& text, const std::string& font, double x, double y, double h,
                  Rgba c) {
    if (text.empty()) return;
    PangoLayout* layout = MakeLayout(cr, text, font);
    int tw = 0, th = 0;
    pango_layout_get_pixel_size(layout, &tw, &th);
    cairo_move_to(cr, std::floor(x), std::floor(y + (h - th) / 2.0));
    cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
}

int MeasureTextWidth(const std::string& text, const std::string& font) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(s);
    PangoLayout* layout = MakeLayout(cr, text, font);
    int tw = 0, th = 0;
    pango_layout_get_pixel_size(layout, &tw, &th);
    g_object_unref(layout);
    cairo_destroy(cr);
    cairo_surface_destroy(s);
    return tw;
}

}  // namespace fl
