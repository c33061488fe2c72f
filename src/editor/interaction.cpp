#include "editor/interaction.h"

#include <algorithm>
#include <cmath>

#include "editor/choose_file.h"
#include "editor/layout.h"

namespace kestravel::plugins {

namespace {

double clampUnit(double v) noexcept { return std::clamp(v, 0.0, 1.0); }

// "Active strips / branches" one step down or up, staying within 1..64.
void stepStripCount(EditorHost& host, int32_t direction)
{
    const auto e = layout::stripCount(host.parameterValue(kActiveStripsParam)) - 1;
    const int32_t count = direction < 0 ? std::max(e, 1) - 1 : std::min(e + 2, 64) - 1;
    host.applyEditorEdit(kActiveStripsParam, count / 63.0);
}

void toggle(EditorHost& host, uint32_t id)
{
    host.applyEditorEdit(id, layout::isOn(host.parameterValue(id)) ? 0.0 : 1.0);
}

void pressFilePanel(EditorContext& editor, int32_t x, int32_t y)
{
    EditorHost& host = editor.host;
    if (contains(layout::kFileButton, x, y))
        chooseFile(host, editor.dialogs, editor.window.dialogOwner());

    if (contains(layout::kPlayButton, x, y)) {
        const ModuleKind kind = host.editorKind();
        const bool allowed = (kind == PLAYER && host.playerTotalFrames() != 0) ||
                             (kind == RECORDER && host.recorderReady() && !host.recorderFailed());
        if (allowed) {
            // A manual start switches transport following off.
            host.applyEditorEdit(kFollowTransportParam, 0.0);
            host.applyEditorEdit(kPlayRecordParam, 1.0);
        } else if (kind == PLAYER) {
            editor.dialogs.messageBoxW(editor.window.dialogOwner(), u"Choose a WAV file first.", u"KESTRAVEL",
                                       kMbOk | kMbIconInformation);
        } else {
            editor.dialogs.messageBoxW(
                editor.window.dialogOwner(),
                u"Choose a new WAV destination first. The recorder prepares it before recording starts.",
                u"KESTRAVEL", kMbOk | kMbIconInformation);
        }
    }

    if (contains(layout::kStopButton, x, y)) {
        host.applyEditorEdit(kPlayRecordParam, 0.0);
        host.applyEditorEdit(kFollowTransportParam, 0.0);
    }

    if (contains(layout::kFollowButton, x, y))
        toggle(host, kFollowTransportParam);

    if (host.editorKind() == RECORDER && y >= layout::kTailMinusButton.top && y <= layout::kTailMinusButton.bottom) {
        const double tail = host.parameterValue(kMaximumTailParam) * layout::kTailMaxSeconds;
        if (containsInclusive(layout::kTailMinusButton, x, y))
            host.applyEditorEdit(kMaximumTailParam,
                                 std::max(tail - layout::kTailStepSeconds, layout::kTailMinSeconds) /
                                     layout::kTailMaxSeconds);
        if (containsInclusive(layout::kTailPlusButton, x, y))
            host.applyEditorEdit(kMaximumTailParam,
                                 std::min(tail + layout::kTailStepSeconds, layout::kTailMaxSeconds) /
                                     layout::kTailMaxSeconds);
    }
}

void startStripDrag(EditorContext& editor, uint32_t strip, int32_t x, int32_t y)
{
    EditorState& state = editor.state;
    state.dragStrip = static_cast<int32_t>(strip);
    const double v = editor.host.parameterValue(kFaderGainParamBase + strip);
    state.dragStartPixel = y;
    const int32_t k = layout::stripKnobCentre(v);
    // Far from the knob it jumps to the pointer; near it, it is grabbed where it is.
    state.dragStartValue = std::abs(y - k) > layout::kStripGrabTolerance
                               ? clampUnit(1.0 - (y - layout::kStripFaderTop) / double{layout::kStripTravel})
                               : v;
    editor.window.captureMouse();
    updateDrag(editor, x, y);
}

void pressFaderBank(EditorContext& editor, int32_t x, int32_t y)
{
    EditorHost& host = editor.host;
    EditorState& state = editor.state;
    const auto e = layout::stripCount(host.parameterValue(kActiveStripsParam)) - 1;
    const auto n = static_cast<uint32_t>(e + 1);

    if (contains(layout::kStripMinusButton, x, y))
        stepStripCount(host, -1);
    if (contains(layout::kStripPlusButton, x, y))
        stepStripCount(host, +1);
    if (contains(layout::kPagePrevButton, x, y) && state.faderPage > 0)
        --state.faderPage;
    if (contains(layout::kPageNextButton, x, y) && state.faderPage < static_cast<uint32_t>(e) / layout::kStripsPerPage)
        ++state.faderPage;

    // The strips of the page as it is after the page buttons, counted before the press.
    for (uint32_t slot = 0; slot < layout::kStripsPerPage; ++slot) {
        const uint32_t strip = state.faderPage * layout::kStripsPerPage + slot;
        if (strip >= n)
            break;
        const int32_t column = layout::slotColumn(slot);
        if (contains(layout::muteButton(column), x, y))
            toggle(host, kFaderMuteParamBase + strip);
        if (contains(layout::stripFaderArea(column), x, y))
            startStripDrag(editor, strip, x, y);
    }
}

void pressRouting(EditorContext& editor, int32_t x, int32_t y)
{
    EditorHost& host = editor.host;
    EditorState& state = editor.state;
    const ModuleKind kind = host.editorKind();
    if ((kind == SUMMING || kind == BREAKOUT || kind == DISTRIBUTOR) && y >= layout::kCountMinusButton.top &&
        y <= layout::kCountMinusButton.bottom) {
        if (containsInclusive(layout::kCountMinusButton, x, y))
            stepStripCount(host, -1);
        if (containsInclusive(layout::kCountPlusButton, x, y))
            stepStripCount(host, +1);
    }

    if (contains(layout::kGainArea, x, y)) {
        state.dragGain = true;
        const double v = host.parameterValue(kGainParam);
        state.dragStartPixel = x;
        const int32_t k = layout::gainKnobCentre(v);
        state.dragStartValue = std::abs(x - k) > layout::kGainGrabTolerance
                                   ? clampUnit((x - layout::kGainFaderLeft) / double{layout::kGainTravel})
                                   : v;
        editor.window.captureMouse();
        updateDrag(editor, x, y);
    }
}

} // namespace

void onMouseDown(EditorContext& editor, int32_t x, int32_t y)
{
    switch (editor.host.editorKind()) {
    case PLAYER:
    case RECORDER: pressFilePanel(editor, x, y); break;
    case FADER_BANK: pressFaderBank(editor, x, y); break;
    default: pressRouting(editor, x, y); break;
    }
    editor.window.invalidate();
}

void updateDrag(EditorContext& editor, int32_t x, int32_t y)
{
    const EditorState& state = editor.state;
    if (state.dragStrip >= 0) {
        const double v = clampUnit(state.dragStartValue + (state.dragStartPixel - y) / layout::kStripTravel);
        editor.host.applyEditorEdit(kFaderGainParamBase + static_cast<uint32_t>(state.dragStrip), v);
    } else if (state.dragGain) {
        const double v = clampUnit(state.dragStartValue + (x - state.dragStartPixel) / layout::kGainTravel);
        editor.host.applyEditorEdit(kGainParam, v);
    }
    editor.window.invalidate();
}

void endDrag(EditorState& state) noexcept
{
    state.dragStrip = -1;
    state.dragGain = false;
}

} // namespace kestravel::plugins
