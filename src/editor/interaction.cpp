#include "editor/interaction.h"

#include <algorithm>
#include <cmath>

#include "editor/choose_file.h"
#include "editor/layout.h"

namespace kestravel::plugins {

namespace {

double clampUnit(double v) noexcept { return std::clamp(v, 0.0, 1.0); }

// A pointer position in editor pixels: exact for drags, whole for hit tests.
struct Point {
    double x;
    double y;
    int32_t px;
    int32_t py;
};

Point editorPoint(const EditorState& state, int32_t x, int32_t y) noexcept
{
    const double s = state.scale > 0.0 ? state.scale : 1.0;
    const double ex = x / s;
    const double ey = y / s;
    return {ex, ey, static_cast<int32_t>(std::floor(ex)), static_cast<int32_t>(std::floor(ey))};
}

// "Active strips / branches" one step down or up, staying within 1..64.
void stepStripCount(EditorHost& host, int32_t direction)
{
    const auto e = layout::stripCount(host.parameterValue(kActiveStripsParam)) - 1;
    const int32_t count = direction < 0 ? std::max(e, 1) - 1 : std::min(e + 2, 64) - 1;
    host.applyEditorEdit(kActiveStripsParam, count / 63.0);
}

// "Maximum tail" one step down or up, in whole seconds from the value as shown.
int32_t steppedTail(const EditorHost& host, int32_t direction)
{
    const int32_t seconds = layout::tailSeconds(host.parameterValue(kMaximumTailParam));
    const auto step = static_cast<int32_t>(layout::kTailStepSeconds);
    return std::clamp(seconds + direction * step, static_cast<int32_t>(layout::kTailMinSeconds),
                      static_cast<int32_t>(layout::kTailMaxSeconds));
}

void toggle(EditorHost& host, uint32_t id)
{
    host.applyEditorEdit(id, layout::isOn(host.parameterValue(id)) ? 0.0 : 1.0);
}

void openGesture(EditorContext& editor, uint32_t id)
{
    editor.edits.beginEditorGesture(id);
    editor.state.gestureOpen = true;
    editor.state.gestureParam = id;
}

// Ends the drag; the open gesture, if any, is closed exactly once.
void finishDrag(EditorContext& editor)
{
    EditorState& state = editor.state;
    state.dragStrip = -1;
    state.dragGain = false;
    state.dragFine = false;
    if (state.gestureOpen) {
        state.gestureOpen = false;
        editor.edits.endEditorGesture(state.gestureParam);
    }
}

bool dragging(const EditorState& state) noexcept { return state.dragStrip >= 0 || state.dragGain; }

// The unclamped value at a pointer position of the current drag.
double dragValueAt(const EditorState& state, double pixel) noexcept
{
    double delta = state.dragStrip >= 0 ? (state.dragStartPixel - pixel) / layout::kStripTravel
                                        : (pixel - state.dragStartPixel) / layout::kGainTravel;
    if (state.dragFine)
        delta /= kFineDragDivisor;
    return state.dragStartValue + delta;
}

// Sends the drag's value at the pointer and repaints.
void dragTo(EditorContext& editor, double pixel)
{
    EditorState& state = editor.state;
    state.dragLastPixel = pixel;
    if (state.gestureOpen)
        editor.edits.performEditorGesture(state.gestureParam, clampUnit(dragValueAt(state, pixel)));
    editor.window.invalidate();
}

void pressFilePanel(EditorContext& editor, const Point& p)
{
    EditorHost& host = editor.host;
    const int32_t x = p.px;
    const int32_t y = p.py;
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
    if (host.editorKind() == PLAYER && contains(layout::kChaseButton, x, y))
        toggle(host, kChasePositionParam);

    if (host.editorKind() == RECORDER && y >= layout::kTailMinusButton.top && y <= layout::kTailMinusButton.bottom) {
        if (containsInclusive(layout::kTailMinusButton, x, y))
            host.applyEditorEdit(kMaximumTailParam, steppedTail(host, -1) / layout::kTailMaxSeconds);
        if (containsInclusive(layout::kTailPlusButton, x, y))
            host.applyEditorEdit(kMaximumTailParam, steppedTail(host, +1) / layout::kTailMaxSeconds);
    }
}

void startStripDrag(EditorContext& editor, uint32_t strip, const Point& p, uint32_t modifiers)
{
    EditorState& state = editor.state;
    const uint32_t id = kFaderGainParamBase + strip;
    state.dragStrip = static_cast<int32_t>(strip);
    const double v = editor.host.parameterValue(id);
    state.dragStartPixel = p.y;
    state.dragFine = (modifiers & kModifierShift) != 0;
    const int32_t k = layout::stripKnobCentre(v);
    // Far from the knob it jumps to the pointer; near it, it is grabbed where it is.
    state.dragStartValue = std::abs(p.y - k) > layout::kStripGrabTolerance
                               ? clampUnit(1.0 - (p.y - layout::kStripFaderTop) / double{layout::kStripTravel})
                               : v;
    openGesture(editor, id);
    editor.window.captureMouse();
    dragTo(editor, p.y);
}

void startGainDrag(EditorContext& editor, const Point& p, uint32_t modifiers)
{
    EditorState& state = editor.state;
    state.dragGain = true;
    const double v = editor.host.parameterValue(kGainParam);
    state.dragStartPixel = p.x;
    state.dragFine = (modifiers & kModifierShift) != 0;
    const int32_t k = layout::gainKnobCentre(v);
    state.dragStartValue = std::abs(p.x - k) > layout::kGainGrabTolerance
                               ? clampUnit((p.x - layout::kGainFaderLeft) / double{layout::kGainTravel})
                               : v;
    openGesture(editor, kGainParam);
    editor.window.captureMouse();
    dragTo(editor, p.x);
}

bool resets(uint32_t modifiers, bool doubleClick) noexcept
{
    return doubleClick || (modifiers & kModifierControl) != 0;
}

// The strips on the page shown, counted from the value as it is now.
uint32_t stripsShown(const EditorHost& host) noexcept
{
    return static_cast<uint32_t>(layout::stripCount(host.parameterValue(kActiveStripsParam)));
}

bool onStripFader(const EditorHost& host, uint32_t strip, int32_t column, int32_t x, int32_t y)
{
    return contains(layout::stripFaderArea(column), x, y) ||
           contains(layout::stripKnobBox(column, host.parameterValue(kFaderGainParamBase + strip)), x, y);
}

void pressFaderBank(EditorContext& editor, const Point& p, uint32_t modifiers, bool doubleClick)
{
    EditorHost& host = editor.host;
    EditorState& state = editor.state;
    const int32_t x = p.px;
    const int32_t y = p.py;
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
        if (onStripFader(host, strip, column, x, y)) {
            if (resets(modifiers, doubleClick))
                host.applyEditorEdit(kFaderGainParamBase + strip, layout::kGainDefault);
            else
                startStripDrag(editor, strip, p, modifiers);
        }
    }
}

void pressRouting(EditorContext& editor, const Point& p, uint32_t modifiers, bool doubleClick)
{
    EditorHost& host = editor.host;
    const int32_t x = p.px;
    const int32_t y = p.py;
    const ModuleKind kind = host.editorKind();
    if ((kind == SUMMING || kind == BREAKOUT || kind == DISTRIBUTOR) && y >= layout::kCountMinusButton.top &&
        y <= layout::kCountMinusButton.bottom) {
        if (containsInclusive(layout::kCountMinusButton, x, y))
            stepStripCount(host, -1);
        if (containsInclusive(layout::kCountPlusButton, x, y))
            stepStripCount(host, +1);
    }

    if (contains(layout::kGainArea, x, y)) {
        if (resets(modifiers, doubleClick))
            host.applyEditorEdit(kGainParam, layout::kGainDefault);
        else
            startGainDrag(editor, p, modifiers);
    }
}

// What the wheel turns at a point.
enum class WheelTarget { None, Gain, Count, Tail };

struct WheelHit {
    WheelTarget target = WheelTarget::None;
    uint32_t id = 0;
};

WheelHit wheelHit(const EditorContext& editor, int32_t x, int32_t y)
{
    const EditorHost& host = editor.host;
    switch (host.editorKind()) {
    case FADER_BANK: {
        if (contains(layout::kStripCountWheelArea, x, y))
            return {WheelTarget::Count, kActiveStripsParam};
        const uint32_t n = stripsShown(host);
        for (uint32_t slot = 0; slot < layout::kStripsPerPage; ++slot) {
            const uint32_t strip = editor.state.faderPage * layout::kStripsPerPage + slot;
            if (strip >= n)
                break;
            if (onStripFader(host, strip, layout::slotColumn(slot), x, y))
                return {WheelTarget::Gain, kFaderGainParamBase + strip};
        }
        return {};
    }
    case RECORDER:
        if (containsInclusive(layout::kTailWheelArea, x, y))
            return {WheelTarget::Tail, kMaximumTailParam};
        return {};
    case PLAYER: return {};
    case SUMMING:
    case BREAKOUT:
    case DISTRIBUTOR:
        if (containsInclusive(layout::kCountWheelArea, x, y))
            return {WheelTarget::Count, kActiveStripsParam};
        break;
    default: break;
    }
    if (contains(layout::kGainArea, x, y))
        return {WheelTarget::Gain, kGainParam};
    return {};
}

// One notch: one complete group, or nothing at all when the control is at its end already.
bool wheelStep(EditorHost& host, const WheelHit& hit, int32_t direction)
{
    switch (hit.target) {
    case WheelTarget::Gain: {
        const double v = layout::unitInterval(host.parameterValue(hit.id));
        const double next = clampUnit(v + direction * kWheelGainStepDecibels / 102.0);
        if (next == v)
            return false;
        host.applyEditorEdit(hit.id, next);
        return true;
    }
    case WheelTarget::Count: {
        const int32_t n = layout::stripCount(host.parameterValue(kActiveStripsParam));
        if ((direction > 0 && n >= 64) || (direction < 0 && n <= 1))
            return false;
        stepStripCount(host, direction);
        return true;
    }
    case WheelTarget::Tail: {
        const int32_t next = steppedTail(host, direction);
        if (next == layout::tailSeconds(host.parameterValue(kMaximumTailParam)))
            return false;
        host.applyEditorEdit(kMaximumTailParam, next / layout::kTailMaxSeconds);
        return true;
    }
    case WheelTarget::None: break;
    }
    return false;
}

// The buttons that are not wheel targets but act on one parameter each.
bool buttonParameter(const EditorContext& editor, int32_t x, int32_t y, uint32_t& id)
{
    const EditorHost& host = editor.host;
    switch (host.editorKind()) {
    case FADER_BANK: {
        const uint32_t n = stripsShown(host);
        for (uint32_t slot = 0; slot < layout::kStripsPerPage; ++slot) {
            const uint32_t strip = editor.state.faderPage * layout::kStripsPerPage + slot;
            if (strip >= n)
                break;
            if (contains(layout::muteButton(layout::slotColumn(slot)), x, y)) {
                id = kFaderMuteParamBase + strip;
                return true;
            }
        }
        return false;
    }
    case PLAYER:
    case RECORDER:
        if (contains(layout::kPlayButton, x, y) || contains(layout::kStopButton, x, y)) {
            id = kPlayRecordParam;
            return true;
        }
        if (contains(layout::kFollowButton, x, y)) {
            id = kFollowTransportParam;
            return true;
        }
        if (host.editorKind() == PLAYER && contains(layout::kChaseButton, x, y)) {
            id = kChasePositionParam;
            return true;
        }
        return false;
    default: return false;
    }
}

} // namespace

bool parameterAt(const EditorContext& editor, int32_t x, int32_t y, uint32_t& id)
{
    const Point p = editorPoint(editor.state, x, y);
    if (p.px < 0 || p.py < 0 || p.px >= kEditorWidth || p.py >= kEditorHeight)
        return false;
    const WheelHit hit = wheelHit(editor, p.px, p.py);
    if (hit.target != WheelTarget::None) {
        id = hit.id;
        return true;
    }
    return buttonParameter(editor, p.px, p.py, id);
}

void pointerHover(EditorContext& editor, int32_t x, int32_t y) noexcept
{
    editor.state.hoverX = x;
    editor.state.hoverY = y;
}

bool pointerWheelAtHover(EditorContext& editor, double notches, uint32_t modifiers)
{
    return pointerWheel(editor, editor.state.hoverX, editor.state.hoverY, notches, modifiers);
}

void pointerPress(EditorContext& editor, int32_t x, int32_t y, uint32_t modifiers, bool doubleClick)
{
    pointerHover(editor, x, y);
    // A press while a drag is still open (its release never came) ends that drag first.
    finishDrag(editor);
    const Point p = editorPoint(editor.state, x, y);
    // A meter is no control: a press there only puts its clip light out.
    if (editor.state.meters.press(p.px, p.py)) {
        editor.window.invalidate();
        return;
    }
    switch (editor.host.editorKind()) {
    case PLAYER:
    case RECORDER: pressFilePanel(editor, p); break;
    case FADER_BANK: pressFaderBank(editor, p, modifiers, doubleClick); break;
    default: pressRouting(editor, p, modifiers, doubleClick); break;
    }
    editor.window.invalidate();
}

void pointerMove(EditorContext& editor, int32_t x, int32_t y, uint32_t modifiers)
{
    pointerHover(editor, x, y);
    EditorState& state = editor.state;
    if (!dragging(state)) {
        editor.window.invalidate();
        return;
    }
    const Point p = editorPoint(state, x, y);
    const double pixel = state.dragStrip >= 0 ? p.y : p.x;
    const bool fine = (modifiers & kModifierShift) != 0;
    if (fine != state.dragFine) {
        // Count on from where the knob is now, so the change of pace makes no jump.
        state.dragStartValue = clampUnit(dragValueAt(state, state.dragLastPixel));
        state.dragStartPixel = state.dragLastPixel;
        state.dragFine = fine;
    }
    dragTo(editor, pixel);
}

void pointerRelease(EditorContext& editor) { finishDrag(editor); }

void pointerCaptureLost(EditorContext& editor) { finishDrag(editor); }

bool pointerWheel(EditorContext& editor, int32_t x, int32_t y, double notches, uint32_t /*modifiers*/)
{
    EditorState& state = editor.state;
    if (dragging(state) || !std::isfinite(notches))
        return false;
    const Point p = editorPoint(state, x, y);
    const WheelHit hit = wheelHit(editor, p.px, p.py);
    if (hit.target == WheelTarget::None) {
        state.wheelRest = 0.0;
        return false;
    }
    // Fine-grained wheels send fractions; they add up to notches. A turn back drops the rest.
    if (state.wheelRest != 0.0 && (state.wheelRest > 0.0) != (notches > 0.0))
        state.wheelRest = 0.0;
    const double total = state.wheelRest + notches;
    const double whole = std::trunc(total);
    state.wheelRest = std::abs(total) < 1e6 ? total - whole : 0.0;
    const int32_t direction = whole > 0.0 ? 1 : -1;
    // Every control ends within a few thousand notches; the loop stops there.
    const auto steps = static_cast<int64_t>(std::min(std::abs(whole), 1e6));
    for (int64_t i = 0; i < steps; ++i) {
        if (!wheelStep(editor.host, hit, direction)) {
            state.wheelRest = 0.0;
            break;
        }
    }
    editor.window.invalidate();
    return true;
}

} // namespace kestravel::plugins
