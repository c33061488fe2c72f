#pragma once
// Which pixels a GDI solid pen covers, so that stand-ins for GDI can fill exactly those.

#include <cstdint>
#include <optional>
#include <vector>

#include "editor/geometry.h"

namespace kestravel::plugins {

// The boxes that MoveToEx(x1, y1) + LineTo(x2, y2) with a solid pen of the width fills, for
// horizontal and vertical lines of width 1 to 3 (measured against the system's rasteriser):
//   width 1: the start pixel up to, not including, the end pixel (nothing when they coincide);
//   width 2: two pixels thick, on the start side and the one before, one pixel of round end beyond;
//   width 3: three thick, centred, with a one-pixel round end on the centre row only.
// Nothing for other lines, which the caller strokes itself.
std::optional<std::vector<Rect>> axisAlignedPenCoverage(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                                        int32_t width);

} // namespace kestravel::plugins
