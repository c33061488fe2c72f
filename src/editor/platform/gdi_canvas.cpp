#ifdef _WIN32

#include "editor/platform/gdi_canvas.h"

namespace kestravel::plugins {

namespace {

COLORREF colorRef(Colour c) { return RGB(c.r, c.g, c.b); }

UINT drawTextFormat(TextFormat format)
{
    switch (format) {
    case TextFormat::Line: return DT_SINGLELINE | DT_VCENTER;
    case TextFormat::Centred: return DT_SINGLELINE | DT_VCENTER | DT_CENTER;
    case TextFormat::Wrap: break;
    }
    return DT_WORDBREAK;
}

} // namespace

void GdiCanvas::fillBox(const Rect& box, Colour colour)
{
    const RECT r{box.left, box.top, box.right, box.bottom};
    HBRUSH brush = CreateSolidBrush(colorRef(colour));
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

void GdiCanvas::drawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, Colour colour, int32_t width)
{
    HPEN pen = CreatePen(PS_SOLID, width, colorRef(colour));
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
    SelectObject(dc, old);
    DeleteObject(pen);
}

void GdiCanvas::drawLabel(const Rect& box, std::u16string_view text, Colour colour, int32_t size, bool bold,
                          TextFormat format)
{
    HFONT font = CreateFontW(-size, 0, 0, 0, bold ? 600 : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                             L"Segoe UI");
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colorRef(colour));
    RECT r{box.left, box.top, box.right, box.bottom};
    // char16_t and wchar_t are both UTF-16 units here.
    DrawTextW(dc, reinterpret_cast<LPCWSTR>(text.data()), static_cast<int>(text.size()), &r, drawTextFormat(format));
    SelectObject(dc, old);
    DeleteObject(font);
}

GdiBitmap::GdiBitmap()
{
    dc = CreateCompatibleDC(nullptr);
    if (!dc)
        return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = kEditorWidth;
    info.bmiHeader.biHeight = -kEditorHeight; // top-down rows
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
    const size_t count = size_t{kEditorWidth} * size_t{kEditorHeight};
    for (size_t i = 0; i < count; ++i)
        argb[i] = 0xFF000000u | (bits[i] & 0x00FFFFFFu);
}

} // namespace kestravel::plugins

#endif
