#pragma once
// A canvas that writes down every primitive instead of drawing it.

#include <string>
#include <vector>

#include "editor/canvas.h"

namespace kestravel::plugins::testing {

struct Label {
    Rect box;
    std::u16string text;
    Colour colour;
    int32_t size;
    bool bold;
    TextFormat format;
};

inline bool operator==(const Label& a, const Label& b)
{
    return a.box == b.box && a.text == b.text && a.colour == b.colour && a.size == b.size && a.bold == b.bold &&
           a.format == b.format;
}

struct Fill {
    Rect box;
    Colour colour;
};

struct Line {
    int32_t x1, y1, x2, y2;
    Colour colour;
    int32_t width;
};

class RecordingCanvas : public Canvas {
public:
    std::vector<Label> labels;
    std::vector<Fill> fills;
    std::vector<Line> lines;

    void fillBox(const Rect& box, Colour colour) override { fills.push_back({box, colour}); }
    void drawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, Colour colour, int32_t width) override
    {
        lines.push_back({x1, y1, x2, y2, colour, width});
    }
    void drawLabel(const Rect& box, std::u16string_view text, Colour colour, int32_t size, bool bold,
                   TextFormat format) override
    {
        labels.push_back({box, std::u16string(text), colour, size, bold, format});
    }

    // A simple font for the tests: every character (surrogate pairs count once) is half the
    // size wide, and a line is 1.25 sizes high.
    double textWidth(std::u16string_view text, int32_t size, bool) override
    {
        double n = 0;
        for (char16_t c : text)
            if (c < 0xDC00 || c > 0xDFFF)
                n += 1;
        return n * size * 0.5;
    }
    double lineHeight(int32_t size, bool) override { return size * 1.25; }

    std::vector<std::u16string> texts() const
    {
        std::vector<std::u16string> out;
        for (const auto& l : labels)
            out.push_back(l.text);
        return out;
    }
};

} // namespace kestravel::plugins::testing
