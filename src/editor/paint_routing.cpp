#include "editor/layout.h"
#include "editor/paint_view.h"
#include "editor/palette.h"
#include "editor/text_util.h"
#include "editor/widgets.h"

namespace kestravel::plugins {

namespace {

const char16_t* description(ModuleKind kind)
{
    switch (kind) {
    case INPUT: return u"Expose audio supplied by the DAW or rack input. Hardware selection belongs to the host.";
    case SUMMING: return u"Add independent mono / stereo inputs into one output. Neutral digital addition.";
    case BREAKOUT:
        return u"Separate a multichannel input into individual mono outputs. Each output carries one input lane.";
    case DISTRIBUTOR: return u"Copy the input to independent output branches. Connect any branch to an effect.";
    default: return u"Pass audio to a host-routed output. Hardware selection belongs to the host.";
    }
}

// The kinds with a strip count, and the words after it; null for the others.
const char16_t* countSuffix(ModuleKind kind)
{
    switch (kind) {
    case SUMMING: return u" active inputs";
    case BREAKOUT: return u" enabled output lanes";
    case DISTRIBUTOR: return u" active branches";
    default: return nullptr;
    }
}

} // namespace

void paintRoutingBody(const EditorHost& host, Canvas& canvas)
{
    const ModuleKind kind = host.editorKind();
    canvas.drawLabel({28, 112, 920, 190}, description(kind), palette::kPrimaryText, 23, true, TextFormat::Wrap);

    if (const char16_t* suffix = countSuffix(kind)) {
        drawButton(canvas, layout::kCountMinusButton, u"\u2212", false);
        drawButton(canvas, layout::kCountPlusButton, u"+", false);
        const int32_t n = layout::stripCount(host.parameterValue(kActiveStripsParam));
        canvas.drawLabel({207, 222, 890, 266}, decimalText(int64_t{n}) + suffix, palette::kAccent, 23, true,
                         TextFormat::Line);
    }

    canvas.drawLabel({30, 320, 920, 355}, u"Output gain", palette::kSecondaryText, 15, false, TextFormat::Line);
    canvas.fillBox({37, 397, 900, 406}, palette::kGainTrack);
    const double v = host.parameterValue(kGainParam);
    const int32_t k = layout::gainKnobCentre(v);
    drawKnob(canvas, {k - 20, 375, k + 20, 430});
    canvas.drawLabel({31, 448, 919, 491}, decibelText(layout::faderDecibels(v)), palette::kAccent, 24, true,
                     TextFormat::Line);
    canvas.drawLabel({30, 517, 920, 563},
                     u"Extra DAW buses must be enabled by the host. Inactive or disconnected inputs are silent.",
                     palette::kSecondaryText, 14, false, TextFormat::Line);
}

} // namespace kestravel::plugins
