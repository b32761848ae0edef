#include "controls/SkinImages.h"

#include <gio/gio.h>

#include <cstring>
#include <map>
#include <mutex>

extern "C" GResource* fl_skin_get_resource(void);

namespace fl {

namespace {

struct PngReader {
    const unsigned char* data;
    size_t size;
    size_t pos = 0;
};

cairo_status_t ReadPng(void* closure, unsigned char* out, unsigned int length) {
    auto* r = static_cast<PngReader*>(closure);
    if (r->pos + length > r->size) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(out, r->data + r->pos, length);
    r->pos += length;
    return CAIRO_STATUS_SUCCESS;
}

// Null when the resource does not exist; an error surface when it does not decode.
cairo_surface_t* Decode(const std::string& name, bool* found) {
    const std::string path = "/fenwazelt/skin/" + name;
    GBytes* bytes = g_resource_lookup_data(fl_skin_get_resource(), path.c_str(), G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
    *found = bytes != nullptr;
    if (!bytes) return nullptr;
    gsize size = 0;
    PngReader reader{static_cast<const unsigned char*>(g_bytes_get_data(bytes, &size)), size};
    cairo_surface_t* s = cairo_image_surface_create_from_png_stream(ReadPng, &reader);
    g_bytes_unref(bytes);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    if (cairo_image_surface_get_format(s) != CAIRO_FORMAT_ARGB32) {
        // Opaque images decode without alpha; the colour key needs an alpha channel.
        cairo_surface_t* argb = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, cairo_image_surface_get_width(s),
                                                           cairo_image_surface_get_height(s));
        cairo_t* cr = cairo_create(argb);
        cairo_set_source_surface(cr, s, 0, 0);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_destroy(s);
        s = argb;
    }
    return s;
}

std::mutex g_cacheMutex;
std::map<std::pair<int, unsigned>, cairo_surface_t*> g_cache;

}  // namespace

CSkinImage::~CSkinImage() { Release(); }

void CSkinImage::Release() {
    if (m_pSurface) cairo_surface_destroy(m_pSurface);
    m_pSurface = nullptr;
}

void CSkinImage::Attach(cairo_surface_t* surface) {
    Release();
    m_pSurface = surface;
}

int CSkinImage::Width() const { return m_pSurface ? cairo_image_surface_get_width(m_pSurface) : 0; }
int CSkinImage::Height() const { return m_pSurface ? cairo_image_surface_get_height(m_pSurface) : 0; }

bool LoadImageFromResource(CSkinImage* image, int id, const char* type) {
    if (!image) return false;
    image->Release();
    if (std::string(type) != "PNG") return false;
    bool found = false;
    cairo_surface_t* s = Decode("png/" + std::to_string(id), &found);
    if (!found) return false;
    image->Attach(s);
    return true;
}

bool LoadIconImage(CSkinImage* image, int size) {
    if (!image) return false;
    bool found = false;
    image->Attach(Decode("png/264-" + std::to_string(size), &found));
    return found && !image->IsNull();
}

cairo_surface_t* SkinSurfaceKeyed(int id, unsigned key) {
    std::lock_guard lock(g_cacheMutex);
    auto it = g_cache.find({id, key});
    if (it != g_cache.end()) return it->second;
    bool found = false;
    cairo_surface_t* s = Decode("png/" + std::to_string(id), &found);
    if (s && key != 0) {
        // The colour key becomes transparency, once, at load.
        cairo_surface_flush(s);
        const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
        const int stride = cairo_image_surface_get_stride(s);
        unsigned char* data = cairo_image_surface_get_data(s);
        const uint32_t rgb = key & 0xFFFFFF;
        for (int y = 0; y < h; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
            for (int x = 0; x < w; ++x)
                if ((row[x] >> 24) == 0xFF && (row[x] & 0xFFFFFF) == rgb) row[x] = 0;
        }
        cairo_surface_mark_dirty(s);
    }
    g_cache[{id, key}] = s;
    return s;
}

cairo_surface_t* SkinSurface(int id) { return SkinSurfaceKeyed(id, 0); }

bool IsTransparentAt(cairo_surface_t* s, int x, int y) {
    if (!s || x < 0 || y < 0 || x >= cairo_image_surface_get_width(s) || y >= cairo_image_surface_get_height(s))
        return true;
    cairo_surface_flush(s);
    const auto* row = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s) +
                                                         y * cairo_image_surface_get_stride(s));
    return (row[x] >> 24) == 0;
}

}  // namespace fl
