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
    EditorContext context{host, window, dialogs, state};

    void press(int32_t x, int32_t y) { onMouseDown(context, x, y); }
    void drag(int32_t x, int32_t y) { updateDrag(context, x, y); }
    void release() { endDrag(state); }
    // Strip count n as "Active strips / branches" stores it.
    void setStrips(int32_t n) { host.set(kActiveStripsParam, (n - 1) / 63.0); }
};

} // namespace kestravel::plugins::testing
