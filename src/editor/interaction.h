#pragma once
// Presses and drags: every parameter change goes through the module's edit path, one
// complete begin-perform-end group per change.

#include <cstdint>

#include "editor/editor_dialogs.h"
#include "editor/editor_host.h"
#include "editor/editor_state.h"
#include "editor/editor_window.h"

namespace kestravel::plugins {

struct EditorContext {
    EditorHost& host;
    EditorWindow& window;
    EditorDialogs& dialogs;
    EditorState& state;
};

// [UI thread] A left-button press at client pixel (x, y); ends by invalidating the window.
void onMouseDown(EditorContext& editor, int32_t x, int32_t y);

// [UI thread] Pointer motion with the left button held. The value is computed from the start
// of the drag, so the knob follows the pointer one to one. Invalidates even with no drag.
void updateDrag(EditorContext& editor, int32_t x, int32_t y);

// [UI thread] Button released or capture lost. Sends nothing.
void endDrag(EditorState& state) noexcept;

} // namespace kestravel::plugins
