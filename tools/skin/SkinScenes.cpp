// The large images: the login view, the progress panel and its bar, the icon.
#include <cmath>

#include "SkinArt.h"

namespace skin {

// --- the login-view background (259) -------------------------------------------

void LoginBackground(cairo_t* cr) {
    const int W = 1030, H = 650;
    // The body with a crest rising at the top centre: everything outside is see-through.
    auto body = [&](double inset) {
        const double l = 14 + inset, r = W - 14 - inset, t = 36 + inset, b = H - 12 - inset, rad = 18 - inset * 0.5;
        cairo_new_path(cr);
        cairo_move_to(cr, l + rad, t);
        cairo_line_to(cr, 420 + inset, t);
        cairo_curve_to(cr, 470, t, 480, 8 + inset, 515, 6 + inset);
        cairo_curve_to(cr, 550, 8 + inset, 560, t, 610 - inset, t);
        cairo_line_to(cr, r - rad, t);
        cairo_arc(cr, r - rad, t + rad, rad, -M_PI / 2, 0);
        cairo_line_to(cr, r, b - rad);
        cairo_arc(cr, r - rad, b - rad, rad, 0, M_PI / 2);
        cairo_line_to(cr, l + rad, b);
        cairo_arc(cr, l + rad, b - rad, rad, M_PI / 2, M_PI);
        cairo_line_to(cr, l, t + rad);
        cairo_arc(cr, l + rad, t + rad, rad, M_PI, 3 * M_PI / 2);
        cairo_close_path(cr);
    };
    // Outer gold rim, dark line, then the sky.
    body(0);
    cairo_pattern_t* rim = GoldPattern(0, H);
    cairo_set_source(cr, rim);
    cairo_fill(cr);
    cairo_pattern_destroy(rim);
    body(3);
    SetRgb(cr, {0.07, 0.04, 0.02});
    cairo_fill(cr);
    body(5);
    cairo_save(cr);
    cairo_clip_preserve(cr);
    cairo_pattern_t* sky = cairo_pattern_create_linear(0, 0, 0, H);
    cairo_pattern_add_color_stop_rgb(sky, 0.0, 0.03, 0.04, 0.11);
    cairo_pattern_add_color_stop_rgb(sky, 0.45, kDusk.r, kDusk.g, kDusk.b);
    cairo_pattern_add_color_stop_rgb(sky, 0.78, 0.48, 0.25, 0.16);
    cairo_pattern_add_color_stop_rgb(sky, 1.0, 0.12, 0.08, 0.07);
    cairo_set_source(cr, sky);
    cairo_fill(cr);
    cairo_pattern_destroy(sky);
    Stars(cr, 20, 40, W - 40, 380, 260, 3);
    // The moon, with its halo.
    cairo_pattern_t* halo = cairo_pattern_create_radial(150, 170, 30, 150, 170, 170);
    cairo_pattern_add_color_stop_rgba(halo, 0, 1, 0.92, 0.7, 0.35);
    cairo_pattern_add_color_stop_rgba(halo, 1, 1, 0.92, 0.7, 0);
    cairo_set_source(cr, halo);
    cairo_paint(cr);
    cairo_pattern_destroy(halo);
    cairo_arc(cr, 150, 170, 40, 0, 2 * M_PI);
    cairo_pattern_t* moon = cairo_pattern_create_radial(140, 160, 5, 150, 170, 40);
    cairo_pattern_add_color_stop_rgb(moon, 0, 1, 0.98, 0.9);
    cairo_pattern_add_color_stop_rgb(moon, 1, 0.93, 0.82, 0.6);
    cairo_set_source(cr, moon);
    cairo_fill(cr);
    cairo_pattern_destroy(moon);
    Landscape(cr, 0, 380, W, H - 380, 11);
    Grain(cr, 0, 0, W, H, 5, 0.05);
    cairo_restore(cr);

    // The title on the left, under the moon.
    GoldText(cr, "FENWA", "Noto Serif CJK SC Bold 36", 22, 262, 240, 56);
    Text(cr, "幻 境 征 途", "Noto Serif CJK SC Bold 15", 22, 320, 240, 26, kGoldLight, 0.95);
    SetRgb(cr, kGold, 0.8);
    cairo_rectangle(cr, 62, 352, 160, 1);
    cairo_fill(cr);
    Diamond(cr, 142, 352.5, 5);
    Text(cr, "英雄再临 · 群雄逐鹿", "Noto Sans CJK SC 10", 22, 362, 240, 20, {0.93, 0.86, 0.72}, 0.85);

    // The navigation band behind the four buttons.
    cairo_pattern_t* band = VerticalPattern(91, 124, {0.09, 0.06, 0.05}, {0.16, 0.10, 0.07});
    RoundedRect(cr, 286, 91, 650, 33, 6);
    cairo_set_source(cr, band);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(band);
    cairo_pattern_t* bandRim = GoldPattern(91, 124);
    cairo_set_source(cr, bandRim);
    cairo_set_line_width(cr, 1.2);
    cairo_stroke(cr);
    cairo_pattern_destroy(bandRim);
    // Between the two pairs of buttons: the crest's motto.
    Text(cr, "· 欢迎来到芬瓦大陆 ·", "Noto Serif CJK SC 11", 496, 96, 200, 28, kGoldLight, 0.9);

    // The login area's frame (the page covers the inside).
    // The page fills 651 x 363 at (268, 129); the progress panel that replaces
    // it sits 11 pixels lower, so the frame holds both.
    const double fx = 268, fy = 129, fw = 651, fh = 374;
    RoundedRect(cr, fx - 3, fy - 3, fw + 6, fh + 10, 4);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.55);
    cairo_fill(cr);
    RoundedRect(cr, fx - 3, fy - 3, fw + 6, fh + 6, 4);
    cairo_pattern_t* frame = GoldPattern(fy - 3, fy + fh + 3);
    cairo_set_source(cr, frame);
    cairo_set_line_width(cr, 2.5);
    cairo_stroke(cr);
    cairo_pattern_destroy(frame);
    SetRgb(cr, {0.07, 0.05, 0.04});
    cairo_rectangle(cr, fx - 1, fy - 1, fw + 2, fh + 2);
    cairo_fill(cr);
    for (double cx : {fx - 3, fx + fw + 3})
        for (double cy : {fy - 3, fy + fh + 3}) Diamond(cr, cx, cy, 6);

    // The plaque under the window controls.
    RoundedRect(cr, 878, 56, 66, 36, 8);
    cairo_set_source_rgba(cr, 0.05, 0.03, 0.02, 0.7);
    cairo_fill_preserve(cr);
    cairo_set_source_rgba(cr, kGold.r, kGold.g, kGold.b, 0.7);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);

    // The foot: a stone ledge with the copyright line.
    cairo_pattern_t* ledge = VerticalPattern(560, 638, {0.10, 0.07, 0.05}, {0.05, 0.03, 0.02});
    cairo_rectangle(cr, 19, 560, W - 38, 74);
    cairo_set_source(cr, ledge);
    cairo_fill(cr);
    cairo_pattern_destroy(ledge);
    cairo_pattern_t* line = GoldPattern(559, 562);
    cairo_rectangle(cr, 40, 559, W - 80, 2);
    cairo_set_source(cr, line);
    cairo_fill(cr);
    cairo_pattern_destroy(line);
    Diamond(cr, 515, 560, 8);
    Text(cr, "抵制不良游戏 拒绝盗版游戏 注意自我保护 谨防受骗上当 适度游戏益脑 沉迷游戏伤身 合理安排时间 享受健康生活",
         "Noto Sans CJK SC 9", 19, 600, W - 38, 20, {0.78, 0.70, 0.56}, 0.8, false);
    // Corner ornaments on the rim.
    for (double cx : {34.0, W - 34.0})
        for (double cy : {56.0, H - 32.0}) Diamond(cr, cx, cy, 9);
}

// --- the progress panel ------------------------------------------------------------------

void ProgressPanel(cairo_t* cr) {
    const int W = 651, H = 363;
    cairo_pattern_t* sky = cairo_pattern_create_linear(0, 0, 0, H);
    cairo_pattern_add_color_stop_rgb(sky, 0.0, 0.04, 0.05, 0.12);
    cairo_pattern_add_color_stop_rgb(sky, 0.45, kDusk.r, kDusk.g, kDusk.b);
    cairo_pattern_add_color_stop_rgb(sky, 0.70, 0.45, 0.24, 0.15);
    cairo_pattern_add_color_stop_rgb(sky, 0.71, 0.07, 0.05, 0.04);
    cairo_pattern_add_color_stop_rgb(sky, 1.0, 0.05, 0.03, 0.02);
    cairo_rectangle(cr, 0, 0, W, H);
    cairo_set_source(cr, sky);
    cairo_fill(cr);
    cairo_pattern_destroy(sky);
    Stars(cr, 0, 0, W, 170, 120, 9);
    cairo_save(cr);
    cairo_rectangle(cr, 0, 0, W, 258);
    cairo_clip(cr);
    Landscape(cr, 0, 120, W, 140, 21);
    cairo_restore(cr);
    Emblem(cr, W / 2.0, 92, 78);
    GoldText(cr, "芬瓦 · 资源更新", "Noto Serif CJK SC Bold 17", 0, 140, W, 34);
    Text(cr, "正在为您准备冒险所需的一切，请稍候", "Noto Sans CJK SC 10", 0, 176, W, 22, {0.93, 0.86, 0.72}, 0.85);
    // The ledge the status line and the bar sit on.
    cairo_pattern_t* line = GoldPattern(257, 260);
    cairo_rectangle(cr, 0, 257, W, 2);
    cairo_set_source(cr, line);
    cairo_fill(cr);
    cairo_pattern_destroy(line);
    Diamond(cr, W / 2.0, 258, 7);
    Grain(cr, 0, 0, W, H, 13, 0.04);
    // A frame around the whole panel.
    cairo_rectangle(cr, 0.5, 0.5, W - 1, H - 1);
    cairo_pattern_t* rim = GoldPattern(0, H);
    cairo_set_source(cr, rim);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    cairo_pattern_destroy(rim);
}

void BarBackground(cairo_t* cr) {
    const int w = 289, h = 28;
    RoundedRect(cr, 0.5, 0.5, w - 1, h - 1, 6);
    cairo_pattern_t* rim = GoldPattern(0, h);
    cairo_set_source(cr, rim);
    cairo_fill(cr);
    cairo_pattern_destroy(rim);
    RoundedRect(cr, 2, 2, w - 4, h - 4, 5);
    cairo_pattern_t* trough = VerticalPattern(2, h - 2, {0.03, 0.02, 0.02}, {0.13, 0.09, 0.07});
    cairo_set_source(cr, trough);
    cairo_fill(cr);
    cairo_pattern_destroy(trough);
}

void BarFill(cairo_t* cr, int w) {
    const int h = 22;
    cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, 0, h);
    cairo_pattern_add_color_stop_rgb(p, 0.0, 1.0, 0.88, 0.55);
    cairo_pattern_add_color_stop_rgb(p, 0.45, 0.93, 0.58, 0.16);
    cairo_pattern_add_color_stop_rgb(p, 1.0, 0.62, 0.26, 0.06);
    cairo_rectangle(cr, 0, 0, w, h);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
    // Diagonal sheen bands, as molten gold.
    for (int x = -h; x < w; x += 14) {
        cairo_move_to(cr, x, h);
        cairo_line_to(cr, x + h, 0);
        cairo_line_to(cr, x + h + 6, 0);
        cairo_line_to(cr, x + 6, h);
        cairo_close_path(cr);
    }
    cairo_set_source_rgba(cr, 1, 1, 0.9, 0.12);
    cairo_fill(cr);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.35);
    cairo_rectangle(cr, 0, 1, w, 1);
    cairo_fill(cr);
}

void BarCap(cairo_t* cr) {
    const int w = 11, h = 22;
    cairo_save(cr);
    RoundedRect(cr, 0, 0, w + 6, h, 5);
    cairo_clip(cr);
    BarFill(cr, w);
    cairo_restore(cr);
}

void StatusStrip(cairo_t* cr) {
    const int w = 653, h = 24;
    cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, w, 0);
    cairo_pattern_add_color_stop_rgba(p, 0.0, 0.05, 0.03, 0.02, 1);
    cairo_pattern_add_color_stop_rgba(p, 0.5, 0.16, 0.10, 0.07, 1);
    cairo_pattern_add_color_stop_rgba(p, 1.0, 0.05, 0.03, 0.02, 1);
    cairo_rectangle(cr, 0, 0, w, h);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
    cairo_pattern_t* line = cairo_pattern_create_linear(0, 0, w, 0);
    cairo_pattern_add_color_stop_rgba(line, 0.0, kGold.r, kGold.g, kGold.b, 0);
    cairo_pattern_add_color_stop_rgba(line, 0.5, kGold.r, kGold.g, kGold.b, 0.9);
    cairo_pattern_add_color_stop_rgba(line, 1.0, kGold.r, kGold.g, kGold.b, 0);
    cairo_set_source(cr, line);
    cairo_rectangle(cr, 0, 0, w, 1);
    cairo_rectangle(cr, 0, h - 1, w, 1);
    cairo_fill(cr);
    cairo_pattern_destroy(line);
}

void Icon(cairo_t* cr, int size) {
    cairo_arc(cr, size / 2.0, size / 2.0, size / 2.0 - 0.5, 0, 2 * M_PI);
    cairo_pattern_t* bg = cairo_pattern_create_radial(size * 0.4, size * 0.35, 0, size / 2.0, size / 2.0, size / 2.0);
    cairo_pattern_add_color_stop_rgb(bg, 0, 0.22, 0.17, 0.30);
    cairo_pattern_add_color_stop_rgb(bg, 1, 0.05, 0.04, 0.10);
    cairo_set_source(cr, bg);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(bg);
    cairo_pattern_t* rim = GoldPattern(0, size);
    cairo_set_source(cr, rim);
    cairo_set_line_width(cr, std::max(1.0, size / 24.0));
    cairo_stroke(cr);
    cairo_pattern_destroy(rim);
    Emblem(cr, size / 2.0, size / 2.0 + size * 0.02, size * 0.72);
}

}  // namespace skin
