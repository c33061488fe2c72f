#pragma once
// Client-pixel rectangles and colours of the 960 x 580 editor.

#include <cmath>
#include <cstdint>

namespace kestravel::plugins {

inline constexpr int32_t kEditorWidth = 960;
inline constexpr int32_t kEditorHeight = 580;

// Right and bottom are exclusive, as GDI fills them.
struct Rect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

// PtInRect: the right and bottom edges are outside.
constexpr bool contains(const Rect& r, int32_t x, int32_t y) noexcept
{
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// The few hit areas that also react on their right and bottom edge pixels.
constexpr bool containsInclusive(const Rect& r, int32_t x, int32_t y) noexcept
{
    return x >= r.left && x <= r.right && y >= r.top && y <= r.bottom;
}

// Device pixels of an editor length at a scale; edges that meet in editor pixels meet here too.
inline int32_t scaledLength(int32_t v, double scale) noexcept
{
    return static_cast<int32_t>(std::lround(v * scale));
}

inline Rect scaledRect(const Rect& r, double scale) noexcept
{
    return {scaledLength(r.left, scale), scaledLength(r.top, scale), scaledLength(r.right, scale),
            scaledLength(r.bottom, scale)};
}

// The scales a host may ask for; the editor refuses others.
inline constexpr double kMinEditorScale = 1.0;
inline constexpr double kMaxEditorScale = 4.0;

inline bool acceptableScale(double scale) noexcept
{
    return scale >= kMinEditorScale && scale <= kMaxEditorScale; // false for NaN
}

struct Colour {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;

    constexpr uint32_t argb() const noexcept
    {
        return 0xFF000000u | (uint32_t{r} << 16) | (uint32_t{g} << 8) | uint32_t{b};
    }
    friend constexpr bool operator==(const Colour&, const Colour&) = default;
};

} // namespace kestravel::plugins
