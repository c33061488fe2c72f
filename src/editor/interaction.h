#pragma once
// Presses, drags and the wheel, whatever the window system. Coordinates are device pixels of
// the window; the editor divides by its scale, so hit tests and drags work at any factor.
// A drag is one edit gesture: beginEdit on the press, performEdit on every motion, endEdit on
// the release or when the pointer is lost. Every other change is one complete group.

#include <cstdint>

#include "editor/editor_dialogs.h"
#include "editor/editor_edits.h"
#include "editor/editor_host.h"
#include "editor/editor_state.h"
#include "editor/editor_window.h"

namespace kestravel::plugins {

struct EditorContext {
    EditorHost& host;
    EditorEdits& edits;
    EditorWindow& window;
    EditorDialogs& dialogs;
    EditorState& state;
};

// Keys held with a pointer event; a window system maps its own flags onto these bits.
inline constexpr uint32_t kModifierShift = 1u << 0;   // finer drags
inline constexpr uint32_t kModifierControl = 1u << 1; // click resets a gain

// Pointer steps (editor pixels) and wheel steps.
inline constexpr double kFineDragDivisor = 10.0;
inline constexpr double kWheelGainStepDecibels = 0.5;

// [UI thread] A left-button press. doubleClick: the second press of a double click (a gain
// knob or fader resets on it, every button just reacts again). Ends by invalidating.
void pointerPress(EditorContext& editor, int32_t x, int32_t y, uint32_t modifiers, bool doubleClick = false);

// [UI thread] Pointer motion with the left button held. The value is counted from the start
// of the drag (or from where Shift changed), so the knob follows the pointer without jumps.
// Invalidates even with no drag.
void pointerMove(EditorContext& editor, int32_t x, int32_t y, uint32_t modifiers);

// [UI thread] The button went up. Closes an open gesture; safe to call at any time.
void pointerRelease(EditorContext& editor);

// [UI thread] The capture or grab was taken away, or the window or view is going: the drag
// ends as on a release. Safe to call at any time, any number of times.
void pointerCaptureLost(EditorContext& editor);

// [UI thread] notches of the wheel at (x, y), positive away from the user (up). Whole notches
// act, each as one complete group; fractions add up across calls. Ignored while dragging.
// True when something was under the pointer to turn.
bool pointerWheel(EditorContext& editor, int32_t x, int32_t y, double notches, uint32_t modifiers);

// [UI thread] The pointer moved over the window with no button held: nothing but where it is
// is kept, for wheel turns that come without a position (IPlugView::onWheel).
void pointerHover(EditorContext& editor, int32_t x, int32_t y) noexcept;

// [UI thread] pointerWheel at the last position the pointer was seen at (pressed, moved or
// hovering).
bool pointerWheelAtHover(EditorContext& editor, double notches, uint32_t modifiers);

// [UI thread] The parameter of the control at (x, y), device pixels as for a press: every
// fader and knob, mute, strip count (its buttons and the count beside them), play/stop, follow,
// chase and the maximum tail. False where no parameter's control is (page buttons, the file button,
// labels, outside the editor).
bool parameterAt(const EditorContext& editor, int32_t x, int32_t y, uint32_t& id);

} // namespace kestravel::plugins
