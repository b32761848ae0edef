// Buttons, strips and the game view's chrome.
#include <algorithm>
#include <cmath>

#include "SkinArt.h"

namespace skin {

// --- buttons -------------------------------------------------------------------------


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

}  // namespace skin
