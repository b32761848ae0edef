// The main window's skin and layout.
#include <gtk/gtk.h>

#include "app/SharedTexts.h"
#include "controls/SkinImages.h"
#include "controls/TextDraw.h"
#include "ui/WobrDlg.h"

namespace fl {

namespace {

const struct {
    int x, y;
} kLoginPositions[CWobrDlg::kButtonCount] = {
    {300, 98},  // home
    {820, 98},  // forum
    {408, 98},  // recharge
    {704, 98},  // customer service
    {913, 61},  // close
    {887, 64},  // minimize
    {708, 510}, // platform logo
};

void Blit(cairo_t* cr, cairo_surface_t* s, double x, double y, double w, double h) {
    if (!s) return;
    cairo_save(cr);
    cairo_rectangle(cr, x, y, w, h);
    cairo_clip(cr);
    const int sw = cairo_image_surface_get_width(s), sh = cairo_image_surface_get_height(s);
    cairo_translate(cr, x, y);
    cairo_scale(cr, w / sw, h / sh);
    cairo_set_source_surface(cr, s, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_paint(cr);
    cairo_restore(cr);
}

}  // namespace

bool CWobrDlg::OnPaint(const Cairo::RefPtr<Cairo::Context>& context) {
    cairo_t* cr = context->cobj();
    const int w = m_canvas.get_allocated_width(), h = m_canvas.get_allocated_height();
    // Everything is drawn anew over a cleared surface: no theme colour shows through.
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(cr, 0, 0, 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
    if (m_bGameView)
        PaintGameView(cr, w, h);
    else
        PaintLoginView(cr, w, h);
    return true;
}

void CWobrDlg::PaintLoginView(cairo_t* cr, int, int) {
    cairo_surface_t* skin = SkinSurfaceKeyed(259, 0xFF00FF);
    if (!skin) return;
    Blit(cr, skin, 0, 0, kLoginWidth, kLoginHeight);
    // In the order home, recharge, customer service, forum, close, minimize, logo.
    for (int i : {kHome, kRecharge, kService, kForum, kClose, kMinimize, kLogo}) m_buttons[i].DrawInto(cr);
}

void CWobrDlg::PaintGameView(cairo_t* cr, int w, int h) {
    cairo_set_source_rgb(cr, 0.06, 0.05, 0.04);
    cairo_paint(cr);
    if (cairo_surface_t* left = SkinSurface(226)) Blit(cr, left, 0, 0, 5, 28);
    if (cairo_surface_t* tile = SkinSurface(227))
        for (int x = 5; x < w; x += 20) Blit(cr, tile, x, 0, 20, 28);
    if (cairo_surface_t* right = SkinSurface(228)) Blit(cr, right, w - 5, 0, 5, 28);
    auto line = [cr](double x, double y, double lw, double lh, double r, double g, double b) {
        cairo_set_source_rgb(cr, r, g, b);
        cairo_rectangle(cr, x, y, lw, lh);
        cairo_fill(cr);
    };
    line(0, 28, 1, h - 28, 0, 0, 0);
    line(0, h - 1, w, 1, 0, 0, 0);
    line(w - 1, 28, 1, h - 28, 0, 0, 0);
    line(1, 28, 1, h - 29, 45 / 255.0, 40 / 255.0, 40 / 255.0);
    line(1, h - 2, w - 2, 1, 45 / 255.0, 40 / 255.0, 40 / 255.0);
    line(w - 2, 28, 1, h - 29, 45 / 255.0, 40 / 255.0, 40 / 255.0);
    // The window's icon and title.
    CSkinImage icon;
    if (LoadIconImage(&icon, 24)) {
        cairo_set_source_surface(cr, icon.Surface(), 7, 2);
        cairo_paint(cr);
    }
    DrawTextLeft(cr, g_strTitle, "Tahoma, Noto Sans CJK SC, DejaVu Sans 11px", 36, 5, 18, {1, 1, 1, 1});
    m_settingsButton.DrawInto(cr);
    m_captionButtons.DrawInto(cr);
    m_linkBar.DrawInto(cr);
}

void CWobrDlg::ApplyShape() {
    auto window = get_window();
    if (!window) return;
    cairo_region_t* region = nullptr;
    if (!m_bGameView) {
        // The login view is exactly the skin's opaque pixels, for drawing and for the mouse.
        if (cairo_surface_t* skin = SkinSurfaceKeyed(259, 0xFF00FF)) region = gdk_cairo_region_create_from_surface(skin);
    } else if (!m_bMaximized) {
        const int w = get_width(), h = get_height();
        cairo_rectangle_int_t full{0, 0, w, h};
        region = cairo_region_create_rectangle(&full);
        for (int row = 0; row < 3; ++row) {
            cairo_rectangle_int_t l{0, row, 3 - row, 1}, r{w - (3 - row), row, 3 - row, 1};
            cairo_region_subtract_rectangle(region, &l);
            cairo_region_subtract_rectangle(region, &r);
        }
    }
    gdk_window_shape_combine_region(window->gobj(), region, 0, 0);
    gdk_window_input_shape_combine_region(window->gobj(), region, 0, 0);
    if (region) cairo_region_destroy(region);
}

void CWobrDlg::Layout(bool force) {
    if (!m_web.HasWindow() && !force) return;
    int w = kLoginWidth, h = kLoginHeight;  // the login view has one size, whatever the window has for a moment
    if (m_bGameView) get_size(w, h);
    if (w <= 0 || h <= 0) return;
    if (!force && w == m_nLastWidth && h == m_nLastHeight) return;
    m_nLastWidth = w;
    m_nLastHeight = h;
    m_canvas.set_size_request(w, h);
    GtkWidget* web = m_web.Widget();
    if (m_bGameView) {
        if (web && m_bPageInLoginArea) {
            gtk_fixed_move(GTK_FIXED(m_fixed.gobj()), web, 2, 28);
            gtk_widget_set_size_request(web, std::max(1, w - 4), std::max(1, h - 30));
            gtk_widget_show(web);
        }
        m_captionButtons.SetPosition(w - 86, 0);
        m_linkBar.SetPosition(w - 270, 5);
        // The settings button sits in the caption bar, left of the caption buttons.
        m_settingsButton.SetPosition(w - 86 - 44 - 8, 4);
        for (auto* strip : {&m_captionButtons, &m_linkBar, &m_settingsButton}) strip->UpdateRect();
        ApplyShape();
    } else {
        for (int i = 0; i < kButtonCount; ++i) {
            m_buttons[i].SetPosition(kLoginPositions[i].x, kLoginPositions[i].y);
            m_buttons[i].UpdateRect();
        }
        if (web && m_bPageInLoginArea) {
            gtk_fixed_move(GTK_FIXED(m_fixed.gobj()), web, 268, 129);
            gtk_widget_set_size_request(web, 651, 363);
        }
    }
    m_canvas.queue_draw();
}

}  // namespace fl
