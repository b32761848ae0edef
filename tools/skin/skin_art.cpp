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

#include "SkinArt.h"

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
