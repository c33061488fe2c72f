#pragma once
// Linux stand-in for GDI: the drawing primitives with Cairo and Pango into a 960 x 580 image,
// or one that many times larger at a scale.

#include <cstdint>
#include <string>

#include "editor/canvas.h"

typedef struct _cairo_surface cairo_surface_t;
typedef struct _cairo cairo_t;

namespace kestravel::plugins {

// Draws into a Cairo context. Fills and lines land on whole pixels, as GDI's do; text is
// laid out by Pango in "Segoe UI" (or what fontconfig substitutes).
class CairoCanvas final : public Canvas {
public:
    explicit CairoCanvas(cairo_t* context, double scale = 1.0) noexcept : cr(context), factor(scale) {}

    void fillBox(const Rect& box, Colour colour) override;
    void drawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, Colour colour, int32_t width) override;
    void drawLabel(const Rect& box, std::u16string_view text, Colour colour, int32_t size, bool bold,
                   TextFormat format) override;
    double textWidth(std::u16string_view text, int32_t size, bool bold) override;
    double lineHeight(int32_t size, bool bold) override;

private:
    void fillDevice(const Rect& box, Colour colour);
    // Device pixels one line of text takes at scale 1, hinted as it is drawn there.
    double referenceWidth(std::u16string_view text, int32_t size, bool bold);

    cairo_t* cr;
    double factor;
};

// A 960 x 580 RGB image with a canvas on it, times the scale in each direction.
class CairoImage {
public:
    explicit CairoImage(double scale = 1.0);
    ~CairoImage();
    CairoImage(const CairoImage&) = delete;
    CairoImage& operator=(const CairoImage&) = delete;

    Canvas& canvas() noexcept { return *painter; }
    int32_t width() const noexcept { return pixelsWide; }
    int32_t height() const noexcept { return pixelsHigh; }
    // 0xFFRRGGBB of one pixel; call after drawing.
    uint32_t pixel(int32_t x, int32_t y);
    // Copies the picture row by row into width() x height() words of 0xFFRRGGBB.
    void copyTo(uint32_t* argb);
    // True when the PNG file was written.
    bool writePng(const std::string& utf8Path);

private:
    int32_t pixelsWide;
    int32_t pixelsHigh;
    cairo_surface_t* surface;
    cairo_t* cr;
    CairoCanvas* painter;
};

} // namespace kestravel::plugins
