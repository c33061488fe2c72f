#pragma once
// A canvas that draws nothing and keeps a hash of every call instead: two paints of the same
// picture give the same print, so a look can tell whether anything changed without drawing.

#include <cstdint>
#include <cstring>
#include <string_view>

#include "editor/canvas.h"

namespace kestravel::plugins {

class PicturePrint final : public Canvas {
public:
    uint64_t value() const noexcept { return hash; }

    void fillBox(const Rect& box, Colour colour) override
    {
        add(1);
        add(box);
        add(colour);
    }
    void drawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, Colour colour, int32_t width) override
    {
        add(2);
        for (const int32_t v : {x1, y1, x2, y2, width})
            add(v);
        add(colour);
    }
    void drawLabel(const Rect& box, std::u16string_view text, Colour colour, int32_t size, bool bold,
                   TextFormat format) override
    {
        add(3);
        add(box);
        add(colour);
        add(size);
        add(bold);
        add(format);
        add(text.size());
        for (const char16_t c : text)
            add(c);
    }
    // No text is ever too wide here, so a shortened line never hides a changed character.
    double textWidth(std::u16string_view, int32_t, bool) override { return 0.0; }
    double lineHeight(int32_t size, bool) override { return size; }

private:
    template <typename T>
    void add(const T& v) noexcept
    {
        unsigned char bytes[sizeof(T)];
        std::memcpy(bytes, &v, sizeof(T));
        for (const unsigned char b : bytes) {
            hash ^= b;
            hash *= 0x100000001B3u; // FNV-1a
        }
    }

    uint64_t hash = 0xCBF29CE484222325u;
};

} // namespace kestravel::plugins
