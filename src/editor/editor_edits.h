#pragma once
// The module's edit path split into a gesture: the host sees beginEdit when a control is
// grabbed, performEdit while it moves and endEdit when it is let go.

#include <cstdint>

namespace kestravel::plugins {

// Every method is called on the UI thread only. The editor keeps at most one gesture open
// and always closes it.
class EditorEdits {
public:
    virtual ~EditorEdits() = default;
    virtual void beginEditorGesture(uint32_t id) = 0;                 // beginEdit
    virtual void performEditorGesture(uint32_t id, double value) = 0; // store, set, performEdit
    virtual void endEditorGesture(uint32_t id) = 0;                   // endEdit
};

} // namespace kestravel::plugins
