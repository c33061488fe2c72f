// The status line and the page label as Cairo draws them: whole lines only, nothing cut.

#include <gtest/gtest.h>

#include <string>

#include "editor/paint_view.h"
#include "editor/palette.h"
#include "editor/platform/cairo_canvas.h"
#include "fake_editor_host.h"

namespace kestravel::plugins::testing {
namespace {

// Rows of box in which some pixel differs from background.
std::vector<int32_t> inkedRows(CairoImage& image, const Rect& box, Colour background)
{
    std::vector<int32_t> rows;
    for (int32_t y = box.top; y < box.bottom; ++y)
        for (int32_t x = box.left; x < box.right; ++x)
            if (image.pixel(x, y) != background.argb()) {
                rows.push_back(y);
                break;
            }
    return rows;
}

int32_t rightmostInk(CairoImage& image, const Rect& box, Colour background)
{
    int32_t right = -1;
    for (int32_t y = box.top; y < box.bottom; ++y)
        for (int32_t x = box.left; x < box.right; ++x)
            if (image.pixel(x, y) != background.argb())
                right = std::max(right, x);
    return right;
}

TEST(StatusPixels, LongNamesShowTwoWholeLines)
{
    const Rect status{28, 169, 929, 218};
    const std::string longSpaced = "Concert recording " + std::string(40, 'z') + " second set with the encore " +
                                   std::string(60, 'q') + " final mix for the archive-take12.wav | Playing";
    const std::string longWord = std::string(220, 'w') + "-take3.wav | Ready";
    for (const std::string& text : {longSpaced, longWord}) {
        FakeEditorHost host(PLAYER);
        host.status = text;
        CairoImage image;
        EditorState state;
        paintView(state, host, image.canvas());
        // At most two lines of 15-pixel text fit in 49 rows; a third would show only in part.
        CairoImage probe;
        const double lineHeight = probe.canvas().lineHeight(15, false);
        const auto rows = inkedRows(image, status, palette::kBackground);
        ASSERT_FALSE(rows.empty());
        EXPECT_LT(rows.back(), status.top + static_cast<int32_t>(2 * lineHeight) + 1) << text;
        // Two lines: ink in the first line's rows and in the second's.
        EXPECT_LT(rows.front(), status.top + static_cast<int32_t>(lineHeight)) << text;
        EXPECT_GE(rows.back(), status.top + static_cast<int32_t>(lineHeight)) << text;
    }
}

TEST(StatusPixels, PageLabelSitsRightOfTheHintWithoutTouchingIt)
{
    FakeEditorHost host(FADER_BANK);
    host.set(kActiveStripsParam, 1.0); // 64 strips: the widest label, "Strips 57–64 of 64"
    EditorState state;
    state.faderPage = 7;
    CairoImage image;
    paintView(state, host, image.canvas());
    const int32_t hintEnd = rightmostInk(image, {169, 525, 770, 560}, palette::kBackground);
    EXPECT_GT(hintEnd, 400);
    EXPECT_LT(hintEnd, 760);
    const int32_t labelEnd = rightmostInk(image, {770, 525, 960, 560}, palette::kBackground);
    EXPECT_GT(labelEnd, 850);
    EXPECT_LT(labelEnd, 929);
}

} // namespace
} // namespace kestravel::plugins::testing
