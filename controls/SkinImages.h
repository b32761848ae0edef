#pragma once
// Skin images, embedded as PNG and addressed by their numeric id.
#include <cairo.h>

#include <string>

namespace fl {

// An image object as the windows hold one: empty until loaded.
class CSkinImage {
public:
    CSkinImage() = default;
    ~CSkinImage();
    CSkinImage(const CSkinImage&) = delete;
    CSkinImage& operator=(const CSkinImage&) = delete;

    void Release();
    void Attach(cairo_surface_t* surface);  // takes ownership
    bool IsNull() const { return m_pSurface == nullptr; }
    int Width() const;
    int Height() const;
    cairo_surface_t* Surface() const { return m_pSurface; }

private:
    cairo_surface_t* m_pSurface = nullptr;
};

// Loads image `id` of type `type` ("PNG") into `image`. False when there is no
// image object or no such resource; true otherwise (also when the bytes could
// not be decoded: callers test IsNull before drawing).
bool LoadImageFromResource(CSkinImage* image, int id, const char* type = "PNG");
// The icon at one of its sizes (16, 24, 32, 48, 64, 128, 256).
bool LoadIconImage(CSkinImage* image, int size);

// A shared, decoded copy of image `id` (null when absent); cached for the process.
cairo_surface_t* SkinSurface(int id);
// The same with every pixel of the colour key made transparent.
cairo_surface_t* SkinSurfaceKeyed(int id, unsigned colourKey);

// Whether a pixel of an image surface is fully transparent.
bool IsTransparentAt(cairo_surface_t* surface, int x, int y);

}  // namespace fl
