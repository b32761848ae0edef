// Draws every skin image of the launcher, and a contact sheet for review.
//   skin_art OUTDIR
// Writes OUTDIR/<id>.png for each image, OUTDIR/264-<size>.png for the icon,
// and OUTDIR/contact-sheet.png.
#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "SkinPaint.h"

using namespace skin;

namespace {

struct Image {
    int id;
    int w, h;
    std::function<void(cairo_t*)> draw;
    std::string note;
    bool keyed = false;
    Rgb under{0, 0, 0};
};

std::string g_out;

cairo_surface_t* Render(int w, int h, const std::function<void(cairo_t*)>& draw) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(s);
    draw(cr);
    cairo_destroy(cr);
    return s;
}

// Images with a colour key are drawn on transparency first; then every pixel
// is made either fully the key or fully opaque (edges blended onto `under`),
// so no pink fringe is left where antialiased edges met the key.
void FinishKeyed(cairo_surface_t* s, Rgb under) {
    cairo_surface_flush(s);
    const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
    const int stride = cairo_image_surface_get_stride(s);
    unsigned char* data = cairo_image_surface_get_data(s);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
        for (int x = 0; x < w; ++x) {
            const uint32_t p = row[x];
            const unsigned a = p >> 24;
            if (a < 96) {
                row[x] = 0xFFFF00FFu;
                continue;
            }
            // Premultiplied colour over the backing colour.
            auto mix = [&](unsigned c, double u) { return unsigned(c + (255 - a) * u + 0.5); };
            const unsigned r = std::min(255u, mix((p >> 16) & 0xFF, under.r));
            const unsigned g = std::min(255u, mix((p >> 8) & 0xFF, under.g));
            const unsigned b = std::min(255u, mix(p & 0xFF, under.b));
            row[x] = 0xFF000000u | (r << 16) | (g << 8) | b;
        }
    }
    cairo_surface_mark_dirty(s);
}


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

// --- buttons -------------------------------------------------------------------------

enum class State { Normal, Hover, Pressed };

void PlaqueButton(cairo_t* cr, int w, int h, State st, double radius) {
    Rgb top = st == State::Hover ? Rgb{0.62, 0.20, 0.12} : st == State::Pressed ? Rgb{0.22, 0.06, 0.04} : Rgb{0.44, 0.13, 0.09};
    Rgb bottom = st == State::Hover ? Rgb{0.36, 0.10, 0.06} : st == State::Pressed ? Rgb{0.32, 0.09, 0.06} : Rgb{0.20, 0.06, 0.04};
    RoundedRect(cr, 0.5, 0.5, w - 1, h - 1, radius);
    cairo_pattern_t* fill = VerticalPattern(0, h, top, bottom);
    cairo_set_source(cr, fill);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(fill);
    cairo_pattern_t* rim = GoldPattern(0, h);
    cairo_set_source(cr, rim);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    cairo_pattern_destroy(rim);
    if (st != State::Pressed) {  // the glint along the top
        RoundedRect(cr, 2, 2, w - 4, h / 2.0 - 1, radius - 1);
        cairo_set_source_rgba(cr, 1, 0.9, 0.7, st == State::Hover ? 0.16 : 0.09);
        cairo_fill(cr);
    }
}

void LabelButton(cairo_t* cr, const std::string& label, State st) {
    const int w = 81, h = 26;
    PlaqueButton(cr, w, h, st, 4);
    double d = st == State::Pressed ? 1 : 0;
    Rgb c = st == State::Hover ? Rgb{1, 0.95, 0.8} : kGoldLight;
    Text(cr, label, "Noto Sans CJK SC Bold 10", d, d, w, h, c);
}

void GlyphButton(cairo_t* cr, int w, int h, State st, bool close) {
    PlaqueButton(cr, w, h, st, 4);
    double d = st == State::Pressed ? 1 : 0;
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, 2);
    SetRgb(cr, st == State::Hover ? Rgb{1, 0.95, 0.8} : kGoldLight);
    const double cx = w / 2.0 + d, cy = h / 2.0 + d;
    if (close) {
        cairo_move_to(cr, cx - 4.5, cy - 4.5);
        cairo_line_to(cr, cx + 4.5, cy + 4.5);
        cairo_move_to(cr, cx + 4.5, cy - 4.5);
        cairo_line_to(cr, cx - 4.5, cy + 4.5);
    } else {
        cairo_move_to(cr, cx - 4.5, cy + 3);
        cairo_line_to(cr, cx + 4.5, cy + 3);
    }
    cairo_stroke(cr);
}

void PlatformLogo(cairo_t* cr) {
    // On transparency: drawn over the skin with its alpha.
    RoundedRect(cr, 1, 3, 184, 40, 20);
    cairo_set_source_rgba(cr, 0.04, 0.02, 0.02, 0.55);
    cairo_fill_preserve(cr);
    cairo_pattern_t* rim = GoldPattern(3, 43);
    cairo_set_source(cr, rim);
    cairo_set_line_width(cr, 1.2);
    cairo_stroke(cr);
    cairo_pattern_destroy(rim);
    Emblem(cr, 24, 23, 34);
    GoldText(cr, "FENWA", "Noto Serif CJK SC Bold 15", 44, 2, 0, 0);
    Text(cr, "芬瓦游戏平台", "Noto Sans CJK SC 8", 46, 25, 0, 0, {0.95, 0.88, 0.72}, 0.95);
}

// --- game-view chrome ------------------------------------------------------------------

void CaptionPiece(cairo_t* cr, int w, int which) {
    const int h = 28;
    cairo_pattern_t* p = VerticalPattern(0, h, {0.20, 0.14, 0.10}, {0.07, 0.05, 0.04});
    cairo_rectangle(cr, 0, 0, w, h);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
    SetRgb(cr, kGoldLight, 0.35);
    cairo_rectangle(cr, 0, 0, w, 1);
    cairo_fill(cr);
    SetRgb(cr, kGold);
    cairo_rectangle(cr, 0, h - 2, w, 1);
    cairo_fill(cr);
    SetRgb(cr, {0.03, 0.02, 0.01});
    cairo_rectangle(cr, 0, h - 1, w, 1);
    cairo_fill(cr);
    if (which != 1) {  // the ends: a gold edge on the outside
        SetRgb(cr, kGold, 0.8);
        cairo_rectangle(cr, which == 0 ? 0 : w - 1, 0, 1, h);
        cairo_fill(cr);
    }
}

void SettingsButton(cairo_t* cr, State st) {
    PlaqueButton(cr, 44, 19, st, 9);
}

void CaptionStrip(cairo_t* cr, State st) {
    const int w = 86, h = 28;
    const int widths[3] = {28, 29, 33};
    int x = 0;
    for (int i = 0; i < 3; ++i) {
        const int bw = std::min(widths[i], w - x);
        cairo_save(cr);
        cairo_rectangle(cr, x, 0, bw, h);
        cairo_clip(cr);
        const double cx = x + 14.5, cy = 13.5;
        if (st != State::Normal) {
            RoundedRect(cr, cx - 11, cy - 10, 22, 20, 4);
            Rgb top = i == 2 ? kCrimsonLight : Rgb{0.36, 0.27, 0.18};
            Rgb bottom = i == 2 ? kCrimson : Rgb{0.18, 0.13, 0.09};
            if (st == State::Pressed) std::swap(top, bottom);
            cairo_pattern_t* p = VerticalPattern(cy - 10, cy + 10, top, bottom);
            cairo_set_source(cr, p);
            cairo_fill_preserve(cr);
            cairo_pattern_destroy(p);
            SetRgb(cr, kGold, 0.9);
            cairo_set_line_width(cr, 1);
            cairo_stroke(cr);
        }
        const double d = st == State::Pressed ? 1 : 0;
        SetRgb(cr, st == State::Normal ? kGoldLight : Rgb{1, 0.96, 0.86});
        cairo_set_line_width(cr, 1.6);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        if (i == 0) {
            cairo_move_to(cr, cx - 5 + d, cy + 4 + d);
            cairo_line_to(cr, cx + 5 + d, cy + 4 + d);
        } else if (i == 1) {
            cairo_rectangle(cr, cx - 5 + d, cy - 4 + d, 10, 9);
            cairo_stroke(cr);
            cairo_rectangle(cr, cx - 5 + d, cy - 4 + d, 10, 2);
            cairo_fill(cr);
        } else {
            cairo_move_to(cr, cx - 4.5 + d, cy - 4.5 + d);
            cairo_line_to(cr, cx + 4.5 + d, cy + 4.5 + d);
            cairo_move_to(cr, cx + 4.5 + d, cy - 4.5 + d);
            cairo_line_to(cr, cx - 4.5 + d, cy + 4.5 + d);
        }
        cairo_stroke(cr);
        cairo_restore(cr);
        x += widths[i];
    }
}

void LinkIcon(cairo_t* cr, int which, double cx, double cy) {
    cairo_set_line_width(cr, 1.4);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    switch (which) {
        case 0:  // the game's home page: a house
            cairo_move_to(cr, cx - 6, cy);
            cairo_line_to(cr, cx, cy - 6);
            cairo_line_to(cr, cx + 6, cy);
            cairo_stroke(cr);
            cairo_rectangle(cr, cx - 4, cy, 8, 5.5);
            cairo_stroke(cr);
            break;
        case 1:  // a further link: two chain links
            RoundedRect(cr, cx - 7, cy - 3, 8, 6, 3);
            cairo_stroke(cr);
            RoundedRect(cr, cx - 1, cy - 3, 8, 6, 3);
            cairo_stroke(cr);
            break;
        case 2:  // customer service: a headset
            cairo_arc(cr, cx, cy + 1, 5.5, M_PI, 2 * M_PI);
            cairo_stroke(cr);
            cairo_rectangle(cr, cx - 7, cy, 3, 5);
            cairo_rectangle(cr, cx + 4, cy, 3, 5);
            cairo_fill(cr);
            break;
        default:  // the forum: a speech bubble
            RoundedRect(cr, cx - 7, cy - 6, 14, 9, 3);
            cairo_stroke(cr);
            cairo_move_to(cr, cx - 3, cy + 3);
            cairo_line_to(cr, cx - 5, cy + 6);
            cairo_line_to(cr, cx, cy + 3);
            cairo_stroke(cr);
            break;
    }
}

void LinkStrip(cairo_t* cr, State st) {
    const int h = 18;
    const int widths[4] = {28, 29, 30, 30};
    int x = 0;
    for (int i = 0; i < 4; ++i) {
        const double cx = x + widths[i] / 2.0, cy = 9;
        if (st != State::Normal) {
            RoundedRect(cr, cx - 11, 0.5, 22, 17, 4);
            cairo_pattern_t* p = st == State::Hover ? VerticalPattern(0, h, {0.36, 0.27, 0.18}, {0.18, 0.13, 0.09})
                                                    : VerticalPattern(0, h, {0.12, 0.08, 0.05}, {0.26, 0.19, 0.12});
            cairo_set_source(cr, p);
            cairo_fill(cr);
            cairo_pattern_destroy(p);
        }
        SetRgb(cr, st == State::Hover ? Rgb{1, 0.96, 0.86} : kGoldLight);
        LinkIcon(cr, i, cx + (st == State::Pressed ? 1 : 0), cy + (st == State::Pressed ? 1 : 0));
        x += widths[i];
    }
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

// --- output --------------------------------------------------------------------------------

void Save(cairo_surface_t* s, const std::string& name) {
    std::string path = g_out + "/" + name;
    if (cairo_surface_write_to_png(s, path.c_str()) != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "skin_art: cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

void ContactSheet(const std::vector<std::pair<std::string, cairo_surface_t*>>& all) {
    const int W = 1400, pad = 16;
    // Lay out in rows, widest images first as they come.
    int x = pad, y = 40, rowH = 0;
    std::vector<std::pair<int, int>> pos;
    for (const auto& [name, s] : all) {
        int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s) + 18;
        if (x + w + pad > W) {
            x = pad;
            y += rowH + pad;
            rowH = 0;
        }
        pos.push_back({x, y});
        x += w + pad;
        rowH = std::max(rowH, h);
    }
    const int H = y + rowH + pad;
    cairo_surface_t* sheet = Render(W, H, [&](cairo_t* cr) {
        cairo_set_source_rgb(cr, 0.16, 0.16, 0.16);
        cairo_paint(cr);
        Text(cr, "Fenwa launcher skin — every image at its real size, on a checkered ground", "Noto Sans CJK SC 12",
             pad, 10, 0, 0, {0.9, 0.9, 0.9}, 1, false);
        for (size_t i = 0; i < all.size(); ++i) {
            auto [px, py] = pos[i];
            cairo_surface_t* s = all[i].second;
            int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
            for (int cy = 0; cy < h; cy += 8)
                for (int cx = 0; cx < w; cx += 8) {
                    bool dark = ((cx / 8) + (cy / 8)) % 2;
                    cairo_set_source_rgb(cr, dark ? 0.55 : 0.75, dark ? 0.55 : 0.75, dark ? 0.55 : 0.75);
                    cairo_rectangle(cr, px + cx, py + cy, std::min(8, w - cx), std::min(8, h - cy));
                    cairo_fill(cr);
                }
            cairo_set_source_surface(cr, s, px, py);
            cairo_paint(cr);
            Text(cr, all[i].first, "DejaVu Sans 8", px, py + h + 2, 0, 0, {0.95, 0.95, 0.95}, 1, false);
        }
    });
    Save(sheet, "contact-sheet.png");
    cairo_surface_destroy(sheet);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: skin_art OUTDIR\n");
        return 2;
    }
    g_out = argv[1];
    const State N = State::Normal, Hv = State::Hover, P = State::Pressed;
    std::vector<Image> images = {
        {259, 1030, 650, LoginBackground, "login view", true, {0.55, 0.42, 0.18}},
        {250, 651, 363, ProgressPanel, "progress panel"},
        {258, 653, 24, StatusStrip, "status strip"},
        {254, 289, 28, BarBackground, "bar background"},
        {253, 272, 22, [](cairo_t* cr) { BarFill(cr, 272); }, "bar fill"},
        {252, 11, 22, BarCap, "bar cap"},
        {262, 186, 46, PlatformLogo, "platform logo"},
    };
    const char* labels[4] = {"官网首页", "账号充值", "游戏论坛", "客服中心"};
    for (int b = 0; b < 4; ++b) {
        const int base = 270 + b * 3;
        images.push_back({base, 81, 26, [=](cairo_t* cr) { LabelButton(cr, labels[b], N); }, ""});
        images.push_back({base + 1, 81, 26, [=](cairo_t* cr) { LabelButton(cr, labels[b], Hv); }, ""});
        images.push_back({base + 2, 81, 26, [=](cairo_t* cr) { LabelButton(cr, labels[b], P); }, ""});
    }
    images.push_back({219, 24, 26, [=](cairo_t* cr) { GlyphButton(cr, 24, 26, N, true); }, ""});
    images.push_back({220, 24, 26, [=](cairo_t* cr) { GlyphButton(cr, 24, 26, Hv, true); }, ""});
    images.push_back({221, 24, 26, [=](cairo_t* cr) { GlyphButton(cr, 24, 26, P, true); }, ""});
    images.push_back({223, 20, 22, [=](cairo_t* cr) { GlyphButton(cr, 20, 22, N, false); }, ""});
    images.push_back({224, 20, 22, [=](cairo_t* cr) { GlyphButton(cr, 20, 22, Hv, false); }, ""});
    images.push_back({222, 20, 22, [=](cairo_t* cr) { GlyphButton(cr, 20, 22, P, false); }, ""});
    images.push_back({226, 5, 28, [](cairo_t* cr) { CaptionPiece(cr, 5, 0); }, ""});
    images.push_back({227, 20, 28, [](cairo_t* cr) { CaptionPiece(cr, 20, 1); }, ""});
    images.push_back({228, 5, 28, [](cairo_t* cr) { CaptionPiece(cr, 5, 2); }, ""});
    images.push_back({229, 44, 19, [=](cairo_t* cr) { SettingsButton(cr, N); }, ""});
    images.push_back({230, 44, 19, [=](cairo_t* cr) { SettingsButton(cr, Hv); }, ""});
    images.push_back({225, 44, 19, [=](cairo_t* cr) { SettingsButton(cr, P); }, ""});
    images.push_back({176, 86, 28, [=](cairo_t* cr) { CaptionStrip(cr, N); }, "", true, {0.12, 0.09, 0.07}});
    images.push_back({177, 86, 28, [=](cairo_t* cr) { CaptionStrip(cr, Hv); }, "", true, {0.12, 0.09, 0.07}});
    images.push_back({178, 86, 28, [=](cairo_t* cr) { CaptionStrip(cr, P); }, "", true, {0.12, 0.09, 0.07}});
    images.push_back({190, 117, 18, [=](cairo_t* cr) { LinkStrip(cr, N); }, "", true, {0.12, 0.09, 0.07}});
    images.push_back({189, 117, 18, [=](cairo_t* cr) { LinkStrip(cr, Hv); }, "", true, {0.12, 0.09, 0.07}});
    images.push_back({191, 117, 18, [=](cairo_t* cr) { LinkStrip(cr, P); }, "", true, {0.12, 0.09, 0.07}});

    std::vector<std::pair<std::string, cairo_surface_t*>> sheet;
    for (const auto& img : images) {
        cairo_surface_t* s = Render(img.w, img.h, img.draw);
        if (img.keyed) FinishKeyed(s, img.under);
        Save(s, std::to_string(img.id) + ".png");
        sheet.push_back({std::to_string(img.id) + (img.note.empty() ? "" : " " + img.note), s});
    }
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        cairo_surface_t* s = Render(size, size, [=](cairo_t* cr) { Icon(cr, size); });
        Save(s, "264-" + std::to_string(size) + ".png");
        sheet.push_back({"264 @" + std::to_string(size), s});
    }
    ContactSheet(sheet);
    for (auto& [name, s] : sheet) cairo_surface_destroy(s);
    return 0;
}
