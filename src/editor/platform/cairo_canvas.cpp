#include "editor/platform/cairo_canvas.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <memory>

#include "editor/platform/pen_coverage.h"
#include "editor/text_util.h"

namespace kestravel::plugins {

namespace {

void setColour(cairo_t* cr, Colour c)
{
    cairo_set_source_rgb(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0);
}

struct LayoutDeleter {
    void operator()(PangoLayout* layout) const { g_object_unref(layout); }
};
struct FontDeleter {
    void operator()(PangoFontDescription* font) const { pango_font_description_free(font); }
};

} // namespace

void CairoCanvas::fillBox(const Rect& box, Colour colour)
{
    fillDevice(scaledRect(box, factor), colour);
}

void CairoCanvas::fillDevice(const Rect& box, Colour colour)
{
    if (box.right <= box.left || box.bottom <= box.top)
        return;
    setColour(cr, colour);
    cairo_rectangle(cr, box.left, box.top, box.right - box.left, box.bottom - box.top);
    cairo_fill(cr);
}

void CairoCanvas::drawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, Colour colour, int32_t width)
{
    if (const auto boxes = axisAlignedPenCoverage(x1, y1, x2, y2, width)) {
        // The pen's pixels, each as large as the scale makes it: crisp at any factor.
        for (const Rect& r : *boxes)
            fillBox(r, colour);
        return;
    }
    // Slanted or very wide lines do not occur in the editor's picture; stroke them plainly.
    setColour(cr, colour);
    cairo_save(cr);
    cairo_set_line_width(cr, (width < 1 ? 1 : width) * factor);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_move_to(cr, (x1 + 0.5) * factor, (y1 + 0.5) * factor);
    cairo_line_to(cr, (x2 + 0.5) * factor, (y2 + 0.5) * factor);
    cairo_stroke(cr);
    cairo_restore(cr);
}

namespace {

// A layout of one text in "Segoe UI" at a pixel size, for drawing or measuring.
std::unique_ptr<PangoLayout, LayoutDeleter> textLayout(cairo_t* cr, std::u16string_view text, double size, bool bold,
                                                       bool scaled)
{
    std::unique_ptr<PangoFontDescription, FontDeleter> font(pango_font_description_new());
    pango_font_description_set_family(font.get(), "Segoe UI");
    pango_font_description_set_weight(font.get(), bold ? PANGO_WEIGHT_SEMIBOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_absolute_size(font.get(), size * double{PANGO_SCALE});

    std::unique_ptr<PangoLayout, LayoutDeleter> layout(pango_cairo_create_layout(cr));
    if (scaled) {
        // Glyphs advance by their exact widths, so text grows with the scale and no more.
        pango_context_set_round_glyph_positions(pango_layout_get_context(layout.get()), FALSE);
        pango_layout_context_changed(layout.get());
    }
    pango_layout_set_font_description(layout.get(), font.get());
    const std::string utf8 = lenientUtf16ToUtf8(text);
    pango_layout_set_text(layout.get(), utf8.data(), static_cast<int>(utf8.size()));
    return layout;
}

double singleLineWidth(PangoLayout* layout)
{
    // The width of the text unwrapped, whatever the layout's own wrapping.
    const int wrapWidth = pango_layout_get_width(layout);
    pango_layout_set_width(layout, -1);
    PangoRectangle logical{};
    pango_layout_get_pixel_extents(layout, nullptr, &logical);
    pango_layout_set_width(layout, wrapWidth);
    return logical.width;
}

} // namespace

void CairoCanvas::drawLabel(const Rect& logicalBox, std::u16string_view text, Colour colour, int32_t size, bool bold,
                            TextFormat format)
{
    const Rect box = scaledRect(logicalBox, factor);
    const int32_t boxWidth = box.right - box.left;
    const int32_t boxHeight = box.bottom - box.top;
    if (boxWidth <= 0 || boxHeight <= 0 || text.empty())
        return;

    // A font for this one call, like the GDI path, set at the device size so glyphs stay crisp.
    double deviceSize = size * factor;
    auto layout = textLayout(cr, text, deviceSize, bold, factor != 1.0);
    if (factor != 1.0) {
        // Hinting makes small text a little narrower than its nominal size; at a scale it would
        // then outgrow the box it fits at 1. Keep the width it has there, times the scale.
        const double reference = referenceWidth(text, size, bold) * factor;
        const double width = singleLineWidth(layout.get());
        if (width > reference && reference > 0.0) {
            deviceSize *= reference / width;
            layout = textLayout(cr, text, deviceSize, bold, true);
        }
    }

    double x = box.left;
    double y = box.top;
    if (format == TextFormat::Wrap) {
        pango_layout_set_width(layout.get(), boxWidth * PANGO_SCALE);
        pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD);
    } else {
        pango_layout_set_single_paragraph_mode(layout.get(), TRUE);
        PangoRectangle logical{};
        pango_layout_get_pixel_extents(layout.get(), nullptr, &logical);
        // Whole-pixel offsets, as DrawText computes them.
        y = box.top + (boxHeight - logical.height) / 2;
        if (format == TextFormat::Centred)
            x = box.left + (boxWidth - logical.width) / 2;
    }

    cairo_save(cr);
    cairo_rectangle(cr, box.left, box.top, boxWidth, boxHeight);
    cairo_clip(cr);
    setColour(cr, colour);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout.get());
    cairo_restore(cr);
}

double CairoCanvas::referenceWidth(std::u16string_view text, int32_t size, bool bold)
{
    auto layout = textLayout(cr, text, size, bold, false);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    pango_cairo_context_set_font_options(pango_layout_get_context(layout.get()), options);
    cairo_font_options_destroy(options);
    pango_layout_context_changed(layout.get());
    return singleLineWidth(layout.get());
}

double CairoCanvas::textWidth(std::u16string_view text, int32_t size, bool bold)
{
    if (text.empty())
        return 0.0;
    auto layout = textLayout(cr, text, size * factor, bold, factor != 1.0);
    pango_layout_set_single_paragraph_mode(layout.get(), TRUE);
    PangoRectangle logical{};
    pango_layout_get_pixel_extents(layout.get(), nullptr, &logical);
    return logical.width / factor;
}

double CairoCanvas::lineHeight(int32_t size, bool bold)
{
    auto layout = textLayout(cr, u"Xg", size * factor, bold, factor != 1.0);
    PangoRectangle logical{};
    pango_layout_get_pixel_extents(layout.get(), nullptr, &logical);
    return logical.height / factor;
}

CairoImage::CairoImage(double scale)
    : pixelsWide(scaledLength(kEditorWidth, scale)),
      pixelsHigh(scaledLength(kEditorHeight, scale)),
      surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, pixelsWide, pixelsHigh)),
      cr(cairo_create(surface)),
      painter(new CairoCanvas(cr, scale))
{
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    // Whole-pixel glyph advances at 1, as the picture has always been; at other scales text
    // widths follow the scale exactly, so no label outgrows the box it fits at 1.
    cairo_font_options_set_hint_metrics(options, scale == 1.0 ? CAIRO_HINT_METRICS_ON : CAIRO_HINT_METRICS_OFF);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
}

CairoImage::~CairoImage()
{
    delete painter;
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}

uint32_t CairoImage::pixel(int32_t x, int32_t y)
{
    if (x < 0 || y < 0 || x >= pixelsWide || y >= pixelsHigh)
        return 0;
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(stride) * y);
    return 0xFF000000u | row[x];
}

void CairoImage::copyTo(uint32_t* argb)
{
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int32_t y = 0; y < pixelsHigh; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(stride) * y);
        for (int32_t x = 0; x < pixelsWide; ++x)
            argb[static_cast<size_t>(y) * static_cast<size_t>(pixelsWide) + static_cast<size_t>(x)] = 0xFF000000u | row[x];
    }
}

bool CairoImage::writePng(const std::string& utf8Path)
{
    cairo_surface_flush(surface);
    return cairo_surface_write_to_png(surface, utf8Path.c_str()) == CAIRO_STATUS_SUCCESS;
}

} // namespace kestravel::plugins
