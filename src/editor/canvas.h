#pragma once
// The three drawing primitives every picture is made of. GDI implements them on Windows,
// Cairo and Pango on Linux; both must put the same pixels where no text is involved.

#include <cstdint>
#include <string_view>

#include "editor/geometry.h"

namespace kestravel::plugins {

enum class TextFormat {
    Line,    // one line, vertically centred, left aligned (DT_SINGLELINE | DT_VCENTER)
    Centred, // one line, centred both ways (... | DT_CENTER)
    Wrap,    // wrapped at word boundaries, top aligned (DT_WORDBREAK)
};

// [UI thread] Every call creates its own pen, brush or font and frees it before returning.
// Coordinates are editor pixels (960 x 580); a canvas at a scale draws them that many device
// pixels large, with whole-pixel edges and fonts at the larger size, never a stretched picture.
class Canvas {
public:
    virtual ~Canvas() = default;
    // Fills the rectangle, right and bottom exclusive (FillRect).
    virtual void fillBox(const Rect& box, Colour colour) = 0;
    // A solid pen of the width from (x1, y1) to (x2, y2); the end point itself is not drawn
    // by a 1-pixel pen (LineTo), wider pens are centred on the line with round ends.
    virtual void drawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, Colour colour, int32_t width) = 0;
    // Text in "Segoe UI"; size is the character height in pixels; bold means weight 600.
    virtual void drawLabel(const Rect& box, std::u16string_view text, Colour colour, int32_t size, bool bold,
                           TextFormat format) = 0;
    // Width in editor pixels of one line of text as drawLabel would set it.
    virtual double textWidth(std::u16string_view text, int32_t size, bool bold) = 0;
    // Height in editor pixels of one line of text of the size (the advance between wrapped lines).
    virtual double lineHeight(int32_t size, bool bold) = 0;
};

} // namespace kestravel::plugins
