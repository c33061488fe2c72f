#pragma once
// The drawing primitives with GDI, each creating and deleting its own pen, brush or font.

#ifdef _WIN32

#include <windows.h>

#include <cstdint>

#include "editor/canvas.h"

namespace kestravel::plugins {

class GdiCanvas final : public Canvas {
public:
    explicit GdiCanvas(HDC context) noexcept : dc(context) {}

    void fillBox(const Rect& box, Colour colour) override;
    void drawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, Colour colour, int32_t width) override;
    void drawLabel(const Rect& box, std::u16string_view text, Colour colour, int32_t size, bool bold,
                   TextFormat format) override;

private:
    HDC dc;
};

// A 960 x 580 top-down 32-bit bitmap selected into a memory context, for pictures that are
// read back (screenshots, tests) rather than shown.
class GdiBitmap {
public:
    GdiBitmap();
    ~GdiBitmap();
    GdiBitmap(const GdiBitmap&) = delete;
    GdiBitmap& operator=(const GdiBitmap&) = delete;

    bool valid() const noexcept { return bits != nullptr; }
    HDC context() const noexcept { return dc; }
    // Copies the picture as 0xFFRRGGBB words, row by row.
    void copyTo(uint32_t* argb) const;

private:
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    const uint32_t* bits = nullptr;
};

} // namespace kestravel::plugins

#endif
