#ifdef _WIN32

#include "editor/platform/gdi_canvas.h"

#include <algorithm>
#include <cmath>

#include "editor/platform/pen_coverage.h"

namespace kestravel::plugins {

namespace {

COLORREF colorRef(Colour c) { return RGB(c.r, c.g, c.b); }

UINT drawTextFormat(TextFormat format)
{
    switch (format) {
    // No prefix: an "&" in a file name is a character, not an underline for the next one.
    case TextFormat::Line: return DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
    case TextFormat::Centred: return DT_SINGLELINE | DT_VCENTER | DT_CENTER | DT_NOPREFIX;
    case TextFormat::Wrap: break;
    }
    return DT_WORDBREAK | DT_NOPREFIX;
}

// "Segoe UI" of a character height in device pixels.
HFONT segoeFont(int32_t pixels, bool bold)
{
    return CreateFontW(-std::max(pixels, 1), 0, 0, 0, bold ? 600 : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                       L"Segoe UI");
}

} // namespace

void GdiCanvas::fillBox(const Rect& logicalBox, Colour colour)
{
    const Rect box = scaledRect(logicalBox, factor);
    const RECT r{box.left, box.top, box.right, box.bottom};
    HBRUSH brush = CreateSolidBrush(colorRef(colour));
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

void GdiCanvas::drawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, Colour colour, int32_t width)
{
    if (factor != 1.0) {
        // At a scale the pen's own pixels are filled that many times larger, so a 1-pixel line
        // stays a crisp band of whole device pixels; slanted lines get a wider pen.
        if (const auto boxes = axisAlignedPenCoverage(x1, y1, x2, y2, width)) {
            for (const Rect& r : *boxes)
                fillBox(r, colour);
            return;
        }
        x1 = scaledLength(x1, factor);
        y1 = scaledLength(y1, factor);
        x2 = scaledLength(x2, factor);
        y2 = scaledLength(y2, factor);
        width = scaledLength(width < 1 ? 1 : width, factor);
    }
    HPEN pen = CreatePen(PS_SOLID, width, colorRef(colour));
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
    SelectObject(dc, old);
    DeleteObject(pen);
}

double GdiCanvas::lineWidth(std::u16string_view text, int32_t pixels, bool bold) const
{
    HFONT font = segoeFont(pixels, bold);
    HGDIOBJ old = SelectObject(dc, font);
    RECT r{0, 0, 0, 0};
    DrawTextW(dc, reinterpret_cast<LPCWSTR>(text.data()), static_cast<int>(text.size()), &r,
              DT_SINGLELINE | DT_CALCRECT | DT_NOPREFIX);
    SelectObject(dc, old);
    DeleteObject(font);
    return r.right - r.left;
}

HFONT GdiCanvas::createFont(int32_t size, bool bold) const
{
    return segoeFont(scaledLength(size, factor), bold);
}

void GdiCanvas::drawLabel(const Rect& logicalBox, std::u16string_view text, Colour colour, int32_t size, bool bold,
                          TextFormat format)
{
    const Rect box = scaledRect(logicalBox, factor);
    HFONT font = createFont(size, bold);
    if (factor != 1.0) {
        // Hinted small text is a little narrower than its nominal size; at a scale it would
        // outgrow the box it fits at 1. Keep the width it has there, times the scale.
        const double reference = lineWidth(text, size, bold) * factor;
        const double width = lineWidth(text, scaledLength(size, factor), bold);
        if (width > reference && reference > 0.0) {
            DeleteObject(font);
            font = segoeFont(static_cast<int32_t>(std::floor(scaledLength(size, factor) * reference / width)), bold);
        }
    }
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colorRef(colour));
    RECT r{box.left, box.top, box.right, box.bottom};
    // char16_t and wchar_t are both UTF-16 units here.
    DrawTextW(dc, reinterpret_cast<LPCWSTR>(text.data()), static_cast<int>(text.size()), &r, drawTextFormat(format));
    SelectObject(dc, old);
    DeleteObject(font);
}

double GdiCanvas::textWidth(std::u16string_view text, int32_t size, bool bold)
{
    if (text.empty())
        return 0.0;
    return lineWidth(text, scaledLength(size, factor), bold) / factor;
}

double GdiCanvas::lineHeight(int32_t size, bool bold)
{
    HFONT font = createFont(size, bold);
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    DeleteObject(font);
    return metrics.tmHeight / factor;
}

GdiBitmap::GdiBitmap(int32_t width, int32_t height) : pixelsWide(width), pixelsHigh(height)
{
    dc = CreateCompatibleDC(nullptr);
    if (!dc)
        return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = pixelsWide;
    info.bmiHeader.biHeight = -pixelsHigh; // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* data = nullptr;
    bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &data, nullptr, 0);
    if (!bitmap)
        return;
    previous = SelectObject(dc, bitmap);
    bits = static_cast<const uint32_t*>(data);
}

GdiBitmap::~GdiBitmap()
{
    if (previous)
        SelectObject(dc, previous);
    if (bitmap)
        DeleteObject(bitmap);
    if (dc)
        DeleteDC(dc);
}

void GdiBitmap::copyTo(uint32_t* argb) const
{
    GdiFlush();
    const size_t count = static_cast<size_t>(pixelsWide) * static_cast<size_t>(pixelsHigh);
    for (size_t i = 0; i < count; ++i)
        argb[i] = 0xFF000000u | (bits[i] & 0x00FFFFFFu);
}

} // namespace kestravel::plugins

#endif
