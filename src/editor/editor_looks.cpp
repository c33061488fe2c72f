#include "editor/editor_looks.h"

#include <chrono>

#include "editor/paint_view.h"
#include "editor/picture_print.h"

namespace kestravel::plugins {

LookResult EditorLooks::tick(EditorState& state, const EditorHost& host, double nowSeconds)
{
    if (printed && !state.meters.moving() && ++idleTicks < kIdleTicksPerLook)
        return LookResult::Nothing;
    return look(state, host, nowSeconds);
}

LookResult EditorLooks::look(EditorState& state, const EditorHost& host, double nowSeconds)
{
    idleTicks = 0;
    ++lookCount;
    const bool metersChanged = state.meters.sample(host, state, nowSeconds);
    // Everything but the meters, drawn into a hash: cheap next to a paint, and exact.
    PicturePrint print;
    paintView(state, host, print, PaintParts::AllButMeters);
    if (!printed || print.value() != lastPrint) {
        printed = true;
        lastPrint = print.value();
        return LookResult::Whole;
    }
    return metersChanged ? LookResult::Meters : LookResult::Nothing;
}

double steadySeconds() noexcept
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

} // namespace kestravel::plugins
