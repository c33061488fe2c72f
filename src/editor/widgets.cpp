#include "editor/widgets.h"

#include <algorithm>

#include "editor/palette.h"

namespace kestravel::plugins {

void drawButton(Canvas& canvas, const Rect& box, std::u16string_view label, bool on, bool enabled)
{
    canvas.fillBox(box, on ? palette::kButtonOnFace : palette::kButtonOffFace);
    canvas.drawLine(box.left, box.top, box.right, box.top, palette::kButtonTopEdge, 1);
    canvas.drawLine(box.left, box.top, box.left, box.bottom, palette::kButtonLeftEdge, 1);
    canvas.drawLine(box.left, box.bottom - 1, box.right, box.bottom - 1, palette::kButtonBottomEdge, 2);
    const Colour text = on ? palette::kButtonOnText : (enabled ? palette::kPrimaryText : palette::kDisabledText);
    canvas.drawLabel(box, label, text, 14, true, TextFormat::Centred);
}

int32_t knobShade(int32_t row, int32_t height) noexcept
{
    const int32_t half = height / 2;
    const int32_t g = row < half ? 218 - 2 * row : 151 + 2 * (row - half);
    return std::clamp(g, 110, 224);
}

void drawKnob(Canvas& canvas, const Rect& box)
{
    const int32_t h = box.bottom - box.top;
    for (int32_t i = 0; i < h; ++i) {
        const int32_t g = knobShade(i, h);
        // g stays within 110..224, so the tint never wraps.
        const Colour shade{static_cast<uint8_t>(g - 11), static_cast<uint8_t>(g), static_cast<uint8_t>(g + 3)};
        canvas.fillBox({box.left, box.top + i, box.right, box.top + i + 1}, shade);
    }
    canvas.drawLine(box.left, box.top, box.right, box.top, palette::kKnobTopEdge, 2);
    canvas.drawLine(box.left, box.bottom - 1, box.right, box.bottom - 1, palette::kKnobBottomEdge, 2);
    const int32_t m = (box.top + box.bottom) / 2;
    canvas.drawLine(box.left, m, box.right, m, palette::kKnobCentreLine, 3);
}

} // namespace kestravel::plugins
