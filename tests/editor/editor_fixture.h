#pragma once
// One editor wired to a fake module, a fake window and scripted dialogs.

#include "editor/interaction.h"
#include "fake_editor_host.h"
#include "scripted_dialogs.h"

namespace kestravel::plugins::testing {

struct EditorFixture {
    explicit EditorFixture(ModuleKind kind) : host(kind) {}

    FakeEditorHost host;
    FakeWindow window;
    ScriptedDialogs dialogs;
    EditorState state;
    EditorContext context{host, host, window, dialogs, state};

    void press(int32_t x, int32_t y, uint32_t modifiers = 0, bool doubleClick = false)
    {
        pointerPress(context, x, y, modifiers, doubleClick);
    }
    void drag(int32_t x, int32_t y, uint32_t modifiers = 0) { pointerMove(context, x, y, modifiers); }
    void release() { pointerRelease(context); }
    bool wheel(int32_t x, int32_t y, double notches) { return pointerWheel(context, x, y, notches, 0); }
    // Strip count n as "Active strips / branches" stores it.
    void setStrips(int32_t n) { host.set(kActiveStripsParam, (n - 1) / 63.0); }
};

} // namespace kestravel::plugins::testing
