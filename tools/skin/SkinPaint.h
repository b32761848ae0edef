#pragma once
// Drawing helpers of the skin generator: one palette, one set of shapes.
#include <cairo.h>

#include <string>

namespace skin {

struct Rgb {
    double r, g, b;
};

// The palette: night blues, warm bronze and gold, a crimson accent.
inline constexpr Rgb kNight{0.05, 0.06, 0.14};
inline constexpr Rgb kDusk{0.17, 0.12, 0.24};
inline constexpr Rgb kEmber{0.42, 0.22, 0.15};
inline constexpr Rgb kUmber{0.10, 0.08, 0.06};
inline constexpr Rgb kPanel{0.08, 0.06, 0.05};
inline constexpr Rgb kGold{0.83, 0.66, 0.29};
inline constexpr Rgb kGoldLight{0.97, 0.89, 0.63};
inline constexpr Rgb kGoldDark{0.54, 0.39, 0.14};
inline constexpr Rgb kCrimson{0.50, 0.10, 0.08};
inline constexpr Rgb kCrimsonLight{0.72, 0.18, 0.12};
inline constexpr Rgb kMagenta{1.0, 0.0, 1.0};

void SetRgb(cairo_t* cr, Rgb c, double alpha = 1.0);
void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double r);
// A vertical gold bevel for strokes and fills.
cairo_pattern_t* GoldPattern(double y0, double y1);
cairo_pattern_t* VerticalPattern(double y0, double y1, Rgb top, Rgb bottom);
// Text with pango (CJK falls back properly); centred in the box when w > 0.
void Text(cairo_t* cr, const std::string& text, const std::string& font, double x, double y, double w, double h,
          Rgb color, double alpha = 1.0, bool shadow = true);
void GoldText(cairo_t* cr, const std::string& text, const std::string& font, double x, double y, double w, double h);
// Fine grain so that large flat areas do not look synthetic.
void Grain(cairo_t* cr, double x, double y, double w, double h, unsigned seed, double strength);
void Stars(cairo_t* cr, double x, double y, double w, double h, int count, unsigned seed);
// A small diamond ornament centred at (x, y).
void Diamond(cairo_t* cr, double x, double y, double size);
// The emblem: a shield with the "F" monogram.
void Emblem(cairo_t* cr, double cx, double cy, double size);
// Mountains and a castle on the horizon.
void Landscape(cairo_t* cr, double x, double y, double w, double h, unsigned seed);

}  // namespace skin
