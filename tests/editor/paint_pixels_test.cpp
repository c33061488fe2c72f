// The Cairo picture, pixel by pixel where the pixels mean something.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <cairo.h>

#include "editor/paint_view.h"
#include "editor/png_file.h"
#include "editor/platform/cairo_canvas.h"
#include "editor/platform/pen_coverage.h"
#include "editor/render_png.h"
#include "editor/waveform.h"
#include "picture_checks.h"

namespace kestravel::plugins::testing {
namespace {

std::string hex(uint32_t argb)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%06X", argb & 0xFFFFFFu);
    return buffer;
}

TEST(PaintPixels, MeaningfulPixelsOfEveryLayout)
{
    for (const auto& c : pictureCases()) {
        SCOPED_TRACE(c.name);
        FakeEditorHost host(c.kind);
        EditorState state;
        c.setUp(host, state);
        CairoImage image;
        paintView(state, host, image.canvas());
        EXPECT_EQ(state.faderPage, c.pageAfter);
        for (const auto& check : c.checks)
            EXPECT_EQ(hex(image.pixel(check.x, check.y)), hex(check.colour.argb()))
                << check.what << " at " << check.x << "," << check.y;
    }
}

// Some pixel of the box differs from the background the text was drawn on.
bool hasInk(CairoImage& image, const Rect& box, Colour background)
{
    for (int32_t y = box.top; y < box.bottom; ++y)
        for (int32_t x = box.left; x < box.right; ++x)
            if (image.pixel(x, y) != background.argb())
                return true;
    return false;
}

TEST(PaintPixels, TextLandsInsideItsBox)
{
    FakeEditorHost host(PLAYER);
    EditorState state;
    CairoImage image;
    paintView(state, host, image.canvas());
    EXPECT_TRUE(hasInk(image, {26, 13, 820, 46}, palette::kHeaderBand));          // title
    EXPECT_TRUE(hasInk(image, {40, 300, 920, 375}, palette::kWaveformPanel));     // the hint without a clip
    EXPECT_FALSE(hasInk(image, {28, 230, 930, 300}, palette::kWaveformPanel));    // nothing above it
    EXPECT_FALSE(hasInk(image, {36, 461, 911, 492}, palette::kBackground));       // no clip details
    // A status line longer than its box wraps inside it and is clipped there.
    host.status = std::string(400, 'w') + " " + std::string(30, 'x');
    paintView(state, host, image.canvas());
    EXPECT_FALSE(hasInk(image, {28, 218, 930, 230}, palette::kBackground));
    EXPECT_FALSE(hasInk(image, {929, 169, 960, 218}, palette::kBackground));
}

TEST(PaintPixels, OneFramePerColumnGivesEachColumnItsPeak)
{
    // 898 stereo frames: frame f lands in column 30 + f; the louder channel sets the height.
    FakeEditorHost host(PLAYER);
    std::vector<float> samples;
    std::vector<int32_t> expected;
    for (int32_t f = 0; f < kWaveformColumns; ++f) {
        const float left = static_cast<float>(f) / 897.0f;
        const float right = f % 7 == 0 ? -1.5f : (f % 5 == 0 ? -0.5f : 0.0f);
        samples.push_back(left);
        samples.push_back(right);
        const float peak = std::max(left, std::abs(right));
        expected.push_back(static_cast<int32_t>(std::min(1.0, static_cast<double>(peak)) * 95.0));
    }
    host.overview = computeOverview(samples.data(), kOverviewColumns, 2, 44100);
    EditorState state;
    CairoImage image;
    paintView(state, host, image.canvas());
    const auto pixel = [&](int32_t x, int32_t y) { return image.pixel(x, y); };
    for (int32_t f = 0; f < kWaveformColumns; ++f) {
        const auto [top, bottom] = accentExtent(pixel, 30 + f);
        const int32_t h = expected[static_cast<size_t>(f)];
        if (h == 0) {
            EXPECT_EQ(bottom, -1) << "column " << 30 + f;
        } else {
            EXPECT_EQ(top, 340 - h) << "column " << 30 + f;
            EXPECT_EQ(bottom, 340 + h - 1) << "column " << 30 + f;
        }
    }
    EXPECT_EQ(accentExtent(pixel, 29).second, -1);
    EXPECT_EQ(accentExtent(pixel, 928).second, -1);
    EXPECT_EQ(accentExtent(pixel, 30 + 7).first, 245); // over full scale: 95 up, 95 down
}

TEST(PaintPixels, ShortClipFillsEveryColumn)
{
    FakeEditorHost host(PLAYER);
    const float samples[] = {0.2f, -1.0f, 0.6f};
    host.overview = computeOverview(samples, 3, 1, 8000);
    EditorState state;
    CairoImage image;
    paintView(state, host, image.canvas());
    const auto pixel = [&](int32_t x, int32_t y) { return image.pixel(x, y); };
    // Columns j = 1..300 show frame 0, 301..599 frame 1, 600..898 frame 2 (x = 29 + j).
    const struct {
        int32_t x, h;
    } cases[] = {{30, 19}, {329, 19}, {330, 95}, {628, 95}, {629, 57}, {927, 57}};
    for (const auto& c : cases) {
        const auto [top, bottom] = accentExtent(pixel, c.x);
        EXPECT_EQ(top, 340 - c.h) << "column " << c.x;
        EXPECT_EQ(bottom, 340 + c.h - 1) << "column " << c.x;
    }
}

// Every frame counts, however many share a column: a 30 s file with a 10-frame click at the
// start of every second shows all 30 clicks, and a steady sine draws a flat band, not beats.
TEST(Waveform, EveryFrameReachesItsColumn)
{
    constexpr uint64_t kRate = 48000;
    std::vector<float> clicks(30 * kRate, 0.01f);
    for (uint64_t s = 0; s < 30; ++s)
        std::fill_n(clicks.begin() + static_cast<std::ptrdiff_t>(s * kRate + 20011), 10, -0.9f);
    const auto heights = waveformColumnHeights(computeOverview(clicks.data(), clicks.size(), 1, kRate));
    EXPECT_EQ(std::count(heights.begin(), heights.end(), 85), 30); // 0.9 x 95, one column per click
    EXPECT_EQ(std::count(heights.begin(), heights.end(), 0), 898 - 30);

    std::vector<float> sine(2 * 10 * kRate);
    for (size_t f = 0; f < sine.size() / 2; ++f)
        sine[2 * f + 1] = static_cast<float>(0.5 * std::sin(2.0 * 3.141592653589793 * 1000.0 * static_cast<double>(f) / kRate));
    const auto band = waveformColumnHeights(computeOverview(sine.data(), sine.size() / 2, 2, kRate));
    EXPECT_EQ(*std::min_element(band.begin(), band.end()), 47);
    EXPECT_EQ(*std::max_element(band.begin(), band.end()), 47);

    // Pieces in any order give the same peaks as one pass (a file read in the background).
    WaveformOverview pieces = WaveformOverview::empty(clicks.size(), 1, kRate);
    for (uint64_t at : {uint64_t{700000}, uint64_t{0}, uint64_t{1300001}, uint64_t{333}})
        addOverviewFrames(pieces, clicks.data() + at, at, std::min<uint64_t>(clicks.size() - at, 700000 - 333));
    addOverviewFrames(pieces, clicks.data() + 1400000, 1400000, clicks.size() - 1400000);
    EXPECT_EQ(waveformColumnHeights(pieces), heights);

    const auto none = waveformColumnHeights(WaveformOverview{}); // no frames: nothing drawn
    EXPECT_EQ(std::count(none.begin(), none.end(), 0), 898);
}

TEST(PenCoverage, MatchesTheSystemRasteriser)
{
    // Measured with MoveToEx/LineTo into a memory bitmap.
    const struct {
        int32_t x1, y1, x2, y2, width;
        std::vector<Rect> boxes;
    } cases[] = {
        {5, 3, 15, 3, 1, {{5, 3, 15, 4}}},                                  // end pixel excluded
        {15, 3, 5, 3, 1, {{6, 3, 16, 4}}},                                  // backwards too
        {5, 20, 5, 30, 1, {{5, 20, 6, 30}}},
        {7, 7, 7, 7, 1, {}},                                                // a point draws nothing
        {5, 8, 15, 8, 2, {{4, 7, 16, 9}}},                                  // rows y-1..y, ends rounded
        {25, 20, 25, 30, 2, {{24, 19, 26, 31}}},
        {20, 50, 20, 50, 2, {{19, 49, 21, 51}}},                            // a 2 x 2 dot
        {5, 14, 15, 14, 3, {{5, 13, 16, 14}, {4, 14, 17, 15}, {5, 15, 16, 16}}},
        {32, 20, 32, 30, 3, {{31, 20, 32, 31}, {32, 19, 33, 32}, {33, 20, 34, 31}}},
    };
    for (const auto& c : cases) {
        const auto boxes = axisAlignedPenCoverage(c.x1, c.y1, c.x2, c.y2, c.width);
        ASSERT_TRUE(boxes.has_value());
        EXPECT_EQ(*boxes, c.boxes) << c.x1 << "," << c.y1 << " to " << c.x2 << "," << c.y2 << " width " << c.width;
    }
    EXPECT_FALSE(axisAlignedPenCoverage(0, 0, 10, 10, 1).has_value());
    EXPECT_FALSE(axisAlignedPenCoverage(0, 0, 10, 0, 4).has_value());
}

TEST(RenderEditorPng, WritesAPngOfTheFullPicture)
{
    FakeEditorHost host(FADER_BANK);
    const std::string path = ::testing::TempDir() + "editor_fader_bank.png";
    ASSERT_TRUE(renderEditorPng(host, path));
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    unsigned char head[24] = {};
    EXPECT_EQ(std::fread(head, 1, sizeof head, file), sizeof head);
    std::fclose(file);
    std::remove(path.c_str());
    EXPECT_EQ(std::memcmp(head, "\x89PNG\r\n\x1a\n", 8), 0);
    const auto be32 = [&](int at) {
        return uint32_t{head[at]} << 24 | uint32_t{head[at + 1]} << 16 | uint32_t{head[at + 2]} << 8 | head[at + 3];
    };
    EXPECT_EQ(be32(16), 960u);
    EXPECT_EQ(be32(20), 580u);

    EXPECT_FALSE(renderEditorPng(host, "/nonexistent-dir/x.png"));
}

TEST(PngFile, ReadsBackAsTheSamePicture)
{
    // The plain writer used by the GDI path, read back by an independent decoder.
    FakeEditorHost host(RECORDER);
    EditorState state;
    CairoImage image;
    paintView(state, host, image.canvas());
    std::vector<uint32_t> pixels(960u * 580u);
    image.copyTo(pixels.data());
    const std::string path = ::testing::TempDir() + "editor_png_file.png";
    ASSERT_TRUE(writePngFile(path, pixels.data(), 960, 580));

    cairo_surface_t* read = cairo_image_surface_create_from_png(path.c_str());
    std::remove(path.c_str());
    ASSERT_EQ(cairo_surface_status(read), CAIRO_STATUS_SUCCESS);
    ASSERT_EQ(cairo_image_surface_get_width(read), 960);
    ASSERT_EQ(cairo_image_surface_get_height(read), 580);
    const unsigned char* data = cairo_image_surface_get_data(read);
    const int stride = cairo_image_surface_get_stride(read);
    size_t mismatches = 0;
    for (size_t y = 0; y < 580; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(stride) * y);
        for (size_t x = 0; x < 960; ++x)
            mismatches += (row[x] | 0xFF000000u) != pixels[y * 960 + x];
    }
    cairo_surface_destroy(read);
    EXPECT_EQ(mismatches, 0u);

    EXPECT_FALSE(writePngFile("/nonexistent-dir/x.png", pixels.data(), 960, 580));
    EXPECT_FALSE(writePngFile(path, pixels.data(), 0, 580));
}

} // namespace
} // namespace kestravel::plugins::testing
