#include <algorithm>

#include "editor/layout.h"
#include "editor/paint_view.h"
#include "editor/palette.h"
#include "editor/text_util.h"
#include "editor/widgets.h"

namespace kestravel::plugins {

namespace {

void paintStrip(const EditorHost& host, Canvas& canvas, int32_t x, uint32_t strip)
{
    canvas.fillBox({x - 88, 154, x + 14, 512}, palette::kStripPanel);
    canvas.drawLine(x - 88, 154, x + 14, 154, palette::kAccent, 3);
    canvas.drawLabel({x - 84, 158, x + 10, 181}, u"FADER " + decimalText(int64_t{strip} + 1), palette::kPrimaryText,
                     15, true, TextFormat::Line);
    // A missing bus reports 0 channels and is shown as stereo.
    const bool mono = host.inputBusChannelCount(static_cast<int32_t>(strip)) == 1;
    canvas.drawLabel({x - 84, 181, x + 10, 201}, mono ? u"MONO \u2192 MONO" : u"STEREO \u2192 STEREO",
                     palette::kSecondaryText, 10, false, TextFormat::Line);
    const bool muted = layout::isOn(host.parameterValue(kFaderMuteParamBase + strip));
    drawButton(canvas, layout::muteButton(x), muted ? u"MUTED" : u"Mute", muted);

    canvas.fillBox({x - 41, 258, x - 33, 445}, palette::kStripTrack);
    for (int32_t y = 258; y < 475; y += 31)
        canvas.drawLine(x - 71, y, x - 49, y, palette::kScaleTick, 1);

    const double v = host.parameterValue(kFaderGainParamBase + strip);
    drawKnob(canvas, layout::stripKnobBox(x, v));
    canvas.drawLabel({x - 84, 461, x + 10, 491}, decibelText(layout::faderDecibels(v)), palette::kPrimaryText, 15,
                     true, TextFormat::Centred);
}

} // namespace

std::u16string pageText(uint32_t page, uint32_t strips)
{
    const uint32_t first = page * layout::kStripsPerPage + 1;
    const uint32_t last = std::min(strips, first + layout::kStripsPerPage - 1);
    std::u16string text = first == last ? u"Strip " + decimalText(uint64_t{first})
                                        : u"Strips " + decimalText(uint64_t{first}) + u"\u2013" +
                                              decimalText(uint64_t{last});
    return text + u" of " + decimalText(uint64_t{strips});
}

void paintFaderBankBody(EditorState& state, const EditorHost& host, Canvas& canvas)
{
    const auto n = static_cast<uint32_t>(layout::stripCount(host.parameterValue(kActiveStripsParam)));
    const uint32_t lastPage = (n - 1) / layout::kStripsPerPage;
    if (state.faderPage > lastPage)
        state.faderPage = lastPage;

    canvas.drawLabel({24, 99, 515, 130}, u"Independent strips: each input goes only to its own output.",
                     palette::kAccent, 15, false, TextFormat::Line);
    drawButton(canvas, layout::kStripMinusButton, u"\u2212", false);
    drawButton(canvas, layout::kStripPlusButton, u"+", false);
    canvas.drawLabel({756, 101, 930, 135}, decimalText(int64_t{n}) + u" strips", palette::kPrimaryText, 17, true,
                     TextFormat::Line);

    for (uint32_t slot = 0; slot < layout::kStripsPerPage; ++slot) {
        const uint32_t strip = state.faderPage * layout::kStripsPerPage + slot;
        if (strip >= n)
            break;
        paintStrip(host, canvas, layout::slotColumn(slot), strip);
    }

    // The page buttons look as they act: dimmed where they cannot move.
    drawButton(canvas, layout::kPagePrevButton, u"\u2039", false, state.faderPage > 0);
    drawButton(canvas, layout::kPageNextButton, u"\u203A", false, state.faderPage < lastPage);
    canvas.drawLabel({169, 525, 920, 560}, u"No internal summing. Connect strip outputs to SUMMING when needed.",
                     palette::kSecondaryText, 14, false, TextFormat::Line);
    canvas.drawLabel(layout::kPageLabel, pageText(state.faderPage, n), palette::kSecondaryText, 14, true,
                     TextFormat::Line);
}

} // namespace kestravel::plugins
