#pragma once
// The editor's periodic look at its module: what changed since the last one, so the window
// repaints the whole picture, only the meters, or nothing at all.

#include <cstdint>

#include "editor/editor_host.h"
#include "editor/editor_state.h"

namespace kestravel::plugins {

enum class LookResult { Nothing, Meters, Whole };

// Windows tick this often; a look comes every tick while a meter moves, every third otherwise.
inline constexpr uint32_t kEditorTickMs = 33;
inline constexpr int32_t kIdleTicksPerLook = 3;

// [UI thread]
class EditorLooks {
public:
    // One timer tick at nowSeconds (a steady clock).
    LookResult tick(EditorState& state, const EditorHost& host, double nowSeconds);
    // A look now, whatever the tick count.
    LookResult look(EditorState& state, const EditorHost& host, double nowSeconds);
    uint64_t looks() const noexcept { return lookCount; }

private:
    uint64_t lastPrint = 0;
    bool printed = false;
    int32_t idleTicks = 0;
    uint64_t lookCount = 0;
};

// Seconds on a steady clock, for the looks.
double steadySeconds() noexcept;

} // namespace kestravel::plugins
