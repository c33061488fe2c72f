#pragma once
// The drawing primitives with GDI, each creating and deleting its own pen, brush or font.

#ifdef _WIN32

#include <windows.h>

#include <cstdint>

#include "editor/canvas.h"

namespace kestravel::plugins {

class GdiCanvas final : public Canvas {
public:
    explicit GdiCanvas(HDC context, double scale = 1.0) noexcept : dc(context), factor(scale) {}

    void fillBox(const Rect& box, Colour colour) override;
    void drawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, Colour colour, int32_t width) override;
    void drawLabel(const Rect& box, std::u16string_view text, Colour colour, int32_t size, bool bold,
                   TextFormat format) override;
    double textWidth(std::u16string_view text, int32_t size, bool bold) override;
    double lineHeight(int32_t size, bool bold) override;

private:
    HFONT createFont(int32_t size, bool bold) const;
    // Device pixels of one line of text with characters the given device pixels high.
    double lineWidth(std::u16string_view text, int32_t pixels, bool bold) const;

    HDC dc;
    double factor;
};

// A top-down 32-bit bitmap (960 x 580 unless told) selected into a memory context, for
// pictures that are read back (screenshots, tests) rather than shown.
class GdiBitmap {
public:
    GdiBitmap(int32_t width = kEditorWidth, int32_t height = kEditorHeight);
    ~GdiBitmap();
    GdiBitmap(const GdiBitmap&) = delete;
    GdiBitmap& operator=(const GdiBitmap&) = delete;

    bool valid() const noexcept { return bits != nullptr; }
    HDC context() const noexcept { return dc; }
    // Copies the picture as 0xFFRRGGBB words, row by row.
    void copyTo(uint32_t* argb) const;
    int32_t width() const noexcept { return pixelsWide; }
    int32_t height() const noexcept { return pixelsHigh; }

private:
    int32_t pixelsWide;
    int32_t pixelsHigh;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    const uint32_t* bits = nullptr;
};

} // namespace kestravel::plugins

#endif
