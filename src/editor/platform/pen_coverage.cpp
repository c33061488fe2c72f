#include "editor/platform/pen_coverage.h"

#include <algorithm>

namespace kestravel::plugins {

namespace {

// Coverage of a horizontal line along y, in (along, across) coordinates; the caller transposes
// for vertical lines.
std::vector<Rect> horizontalCoverage(int32_t from, int32_t to, int32_t y, int32_t width)
{
    const int32_t a = std::min(from, to);
    const int32_t b = std::max(from, to);
    switch (width) {
    case 2: return {{a - 1, y - 1, b + 1, y + 1}};
    case 3: return {{a, y - 1, b + 1, y}, {a - 1, y, b + 2, y + 1}, {a, y + 1, b + 1, y + 2}};
    default:
        // The end pixel is never drawn by a thin pen.
        if (from == to)
            return {};
        return from < to ? std::vector<Rect>{{from, y, to, y + 1}} : std::vector<Rect>{{to + 1, y, from + 1, y + 1}};
    }
}

} // namespace

std::optional<std::vector<Rect>> axisAlignedPenCoverage(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                                        int32_t width)
{
    if (width < 1)
        width = 1; // GDI draws a zero-width pen one pixel wide
    if (width > 3)
        return std::nullopt;
    if (y1 == y2)
        return horizontalCoverage(x1, x2, y1, width);
    if (x1 == x2) {
        auto boxes = horizontalCoverage(y1, y2, x1, width);
        for (Rect& r : boxes)
            r = {r.top, r.left, r.bottom, r.right};
        return boxes;
    }
    return std::nullopt;
}

} // namespace kestravel::plugins
