#include "SkinPaint.h"

#include <pango/pangocairo.h>

#include <cmath>

namespace skin {

namespace {

unsigned Next(unsigned& x) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
}

double Unit(unsigned& x) { return (Next(x) % 10000) / 10000.0; }

}  // namespace

void SetRgb(cairo_t* cr, Rgb c, double alpha) { cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha); }

void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

cairo_pattern_t* GoldPattern(double y0, double y1) {
    cairo_pattern_t* p = cairo_pattern_create_linear(0, y0, 0, y1);
    cairo_pattern_add_color_stop_rgb(p, 0.0, kGoldLight.r, kGoldLight.g, kGoldLight.b);
    cairo_pattern_add_color_stop_rgb(p, 0.45, kGold.r, kGold.g, kGold.b);
    cairo_pattern_add_color_stop_rgb(p, 0.55, kGoldDark.r, kGoldDark.g, kGoldDark.b);
    cairo_pattern_add_color_stop_rgb(p, 1.0, kGold.r, kGold.g, kGold.b);
    return p;
}

cairo_pattern_t* VerticalPattern(double y0, double y1, Rgb top, Rgb bottom) {
    cairo_pattern_t* p = cairo_pattern_create_linear(0, y0, 0, y1);
    cairo_pattern_add_color_stop_rgb(p, 0, top.r, top.g, top.b);
    cairo_pattern_add_color_stop_rgb(p, 1, bottom.r, bottom.g, bottom.b);
    return p;
}

static PangoLayout* Layout(cairo_t* cr, const std::string& text, const std::string& font) {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* desc = pango_font_description_from_string(font.c_str());
    pango_layout_set_font_description(layout, desc);
    pango_font_description_free(desc);
    pango_layout_set_text(layout, text.c_str(), -1);
    return layout;
}

static void Place(cairo_t* cr, PangoLayout* layout, double x, double y, double w, double h) {
    int tw = 0, th = 0;
    pango_layout_get_pixel_size(layout, &tw, &th);
    double px = w > 0 ? x + (w - tw) / 2.0 : x;
    double py = h > 0 ? y + (h - th) / 2.0 : y;
    cairo_move_to(cr, std::round(px), std::round(py));
}

void Text(cairo_t* cr, const std::string& text, const std::string& font, double x, double y, double w, double h,
          Rgb color, double alpha, bool shadow) {
    PangoLayout* layout = Layout(cr, text, font);
    if (shadow) {
        cairo_save(cr);
        cairo_translate(cr, 1, 1);
        Place(cr, layout, x, y, w, h);
        cairo_set_source_rgba(cr, 0, 0, 0, 0.75 * alpha);
        pango_cairo_show_layout(cr, layout);
        cairo_restore(cr);
    }
    Place(cr, layout, x, y, w, h);
    SetRgb(cr, color, alpha);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
}

void GoldText(cairo_t* cr, const std::string& text, const std::string& font, double x, double y, double w, double h) {
    PangoLayout* layout = Layout(cr, text, font);
    int tw = 0, th = 0;
    pango_layout_get_pixel_size(layout, &tw, &th);
    // A dark outline, then the letters filled with the gold bevel.
    Place(cr, layout, x, y, w, h);
    pango_cairo_layout_path(cr, layout);
    cairo_set_source_rgba(cr, 0.05, 0.03, 0.02, 0.9);
    cairo_set_line_width(cr, 4);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke(cr);
    double top = h > 0 ? y + (h - th) / 2.0 : y;
    Place(cr, layout, x, y, w, h);
    pango_cairo_layout_path(cr, layout);
    cairo_pattern_t* p = GoldPattern(top + th * 0.15, top + th * 0.9);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
    g_object_unref(layout);
}

void Grain(cairo_t* cr, double x, double y, double w, double h, unsigned seed, double strength) {
    unsigned s = seed * 747796405u + 1;
    const int count = int(w * h / 9);
    for (int i = 0; i < count; ++i) {
        double px = x + Unit(s) * w, py = y + Unit(s) * h;
        double v = Unit(s);
        cairo_set_source_rgba(cr, v > 0.5 ? 1 : 0, v > 0.5 ? 0.9 : 0, v > 0.5 ? 0.7 : 0, strength * Unit(s));
        cairo_rectangle(cr, std::floor(px), std::floor(py), 1, 1);
        cairo_fill(cr);
    }
}

void Stars(cairo_t* cr, double x, double y, double w, double h, int count, unsigned seed) {
    unsigned s = seed * 2891336453u + 7;
    for (int i = 0; i < count; ++i) {
        double px = x + Unit(s) * w, py = y + Unit(s) * Unit(s) * h;  // denser near the top
        double r = 0.4 + Unit(s) * 1.1;
        double a = 0.35 + Unit(s) * 0.65;
        cairo_arc(cr, px, py, r, 0, 2 * M_PI);
        cairo_set_source_rgba(cr, 1, 0.96, 0.85, a);
        cairo_fill(cr);
        if (r > 1.3) {  // a few with a soft glow
            cairo_pattern_t* g = cairo_pattern_create_radial(px, py, 0, px, py, r * 5);
            cairo_pattern_add_color_stop_rgba(g, 0, 1, 0.95, 0.8, 0.35);
            cairo_pattern_add_color_stop_rgba(g, 1, 1, 0.95, 0.8, 0);
            cairo_set_source(cr, g);
            cairo_arc(cr, px, py, r * 5, 0, 2 * M_PI);
            cairo_fill(cr);
            cairo_pattern_destroy(g);
        }
    }
}

void Diamond(cairo_t* cr, double x, double y, double size) {
    cairo_move_to(cr, x, y - size);
    cairo_line_to(cr, x + size * 0.7, y);
    cairo_line_to(cr, x, y + size);
    cairo_line_to(cr, x - size * 0.7, y);
    cairo_close_path(cr);
    cairo_pattern_t* p = GoldPattern(y - size, y + size);
    cairo_set_source(cr, p);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(p);
    cairo_set_source_rgba(cr, 0.1, 0.06, 0.02, 0.8);
    cairo_set_line_width(cr, 0.8);
    cairo_stroke(cr);
}

void Emblem(cairo_t* cr, double cx, double cy, double size) {
    const double w = size * 0.82, h = size;
    auto shield = [&](double inset) {
        double l = cx - w / 2 + inset, r = cx + w / 2 - inset, t = cy - h / 2 + inset, b = cy + h / 2 - inset;
        cairo_new_path(cr);
        cairo_move_to(cr, l, t + (b - t) * 0.08);
        cairo_curve_to(cr, cx - w * 0.15, t, cx - w * 0.05, t, cx, t - inset * 0.2);
        cairo_curve_to(cr, cx + w * 0.05, t, cx + w * 0.15, t, r, t + (b - t) * 0.08);
        cairo_line_to(cr, r, cy + h * 0.05);
        cairo_curve_to(cr, r, cy + h * 0.3, cx + w * 0.2, b - h * 0.06, cx, b);
        cairo_curve_to(cr, cx - w * 0.2, b - h * 0.06, l, cy + h * 0.3, l, cy + h * 0.05);
        cairo_close_path(cr);
    };
    shield(0);
    cairo_pattern_t* gold = GoldPattern(cy - h / 2, cy + h / 2);
    cairo_set_source(cr, gold);
    cairo_fill(cr);
    cairo_pattern_destroy(gold);
    shield(std::max(1.0, size * 0.08));
    cairo_pattern_t* red = VerticalPattern(cy - h / 2, cy + h / 2, kCrimsonLight, kCrimson);
    cairo_set_source(cr, red);
    cairo_fill(cr);
    cairo_pattern_destroy(red);
    // The monogram.
    const double fs = size * 0.62;
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* desc = pango_font_description_from_string("Noto Serif CJK SC Bold");
    pango_font_description_set_absolute_size(desc, fs * PANGO_SCALE);
    pango_layout_set_font_description(layout, desc);
    pango_font_description_free(desc);
    pango_layout_set_text(layout, "F", -1);
    PangoRectangle ink, logical;
    pango_layout_get_pixel_extents(layout, &ink, &logical);
    cairo_move_to(cr, cx - ink.x - ink.width / 2.0, cy - ink.y - ink.height / 2.0 - size * 0.03);
    pango_cairo_layout_path(cr, layout);
    cairo_pattern_t* g2 = GoldPattern(cy - fs / 2, cy + fs / 2);
    cairo_set_source(cr, g2);
    cairo_fill(cr);
    cairo_pattern_destroy(g2);
    g_object_unref(layout);
}

void Landscape(cairo_t* cr, double x, double y, double w, double h, unsigned seed) {
    unsigned s = seed * 1664525u + 1013904223u;
    // Far range, lit from behind.
    for (int layer = 0; layer < 3; ++layer) {
        const double base = y + h * (0.35 + 0.22 * layer);
        const double amp = h * (0.32 - 0.08 * layer);
        cairo_move_to(cr, x, y + h);
        double px = x;
        cairo_line_to(cr, px, base);
        while (px < x + w) {
            double step = 30 + Unit(s) * 70;
            double peak = base - Unit(s) * amp;
            cairo_line_to(cr, px + step * 0.5, peak);
            px += step;
            cairo_line_to(cr, px, base - Unit(s) * amp * 0.3);
        }
        cairo_line_to(cr, x + w, y + h);
        cairo_close_path(cr);
        const double shade = 0.10 - 0.03 * layer;
        cairo_pattern_t* p = cairo_pattern_create_linear(0, base - amp, 0, y + h);
        cairo_pattern_add_color_stop_rgb(p, 0, shade * 2.2, shade * 1.5, shade * 1.9);
        cairo_pattern_add_color_stop_rgb(p, 1, shade * 0.6, shade * 0.45, shade * 0.5);
        cairo_set_source(cr, p);
        cairo_fill(cr);
        cairo_pattern_destroy(p);
    }
}

}  // namespace skin
