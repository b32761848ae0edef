#pragma once
// Text on cairo through pango, so that CJK falls back to a font that has it.
#include <cairo.h>

#include <string>

namespace fl {

struct Rgba {
    double r, g, b, a = 1.0;
    static Rgba FromRgb(unsigned char r, unsigned char g, unsigned char b) { return {r / 255.0, g / 255.0, b / 255.0}; }
};

// One line centred in the box (cut at both sides when too long, never wrapped).
void DrawTextCentered(cairo_t* cr, const std::string& text, const std::string& font, double x, double y, double w,
                      double h, Rgba colour);
// One line from (x, top of a box of height h), centred vertically.
void DrawTextLeft(cairo_t* cr, const std::string& text, const std::string& font, double x, double y, double h,
                  Rgba colour);
// Pixel width of one line of text in the font.
int MeasureTextWidth(const std::string& text, const std::string& font);

// The launcher's fonts: "Tahoma" where it exists, the desktop's sans otherwise.
inline constexpr const char* kTahoma9 = "Tahoma, Noto Sans CJK SC, DejaVu Sans 9";
inline constexpr const char* kDefaultFont = "Noto Sans CJK SC, DejaVu Sans 9";

}  // namespace fl
