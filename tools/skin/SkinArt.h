#pragma once
// The images of the skin, each drawn by one function.
#include <cairo.h>

#include <string>

#include "SkinPaint.h"

namespace skin {

enum class State { Normal, Hover, Pressed };

// Scenes (SkinScenes.cpp).
void LoginBackground(cairo_t* cr);
void ProgressPanel(cairo_t* cr);
void BarBackground(cairo_t* cr);
void BarFill(cairo_t* cr, int w);
void BarCap(cairo_t* cr);
void StatusStrip(cairo_t* cr);
void Icon(cairo_t* cr, int size);

// Buttons and window chrome (SkinButtons.cpp).
void LabelButton(cairo_t* cr, const std::string& label, State st);
void GlyphButton(cairo_t* cr, int w, int h, State st, bool close);
void PlatformLogo(cairo_t* cr);
void CaptionPiece(cairo_t* cr, int w, int which);
void SettingsButton(cairo_t* cr, State st);
void CaptionStrip(cairo_t* cr, State st);
void LinkStrip(cairo_t* cr, State st);

}  // namespace skin
