#include "editor/meters.h"

#include "editor/editor_state.h"

namespace kestravel::plugins {

bool MeterBoard::sample(const EditorHost&, const EditorState&, double)
{
    changedAreas.clear();
    return false;
}

bool MeterBoard::moving() const noexcept { return false; }

void MeterBoard::paint(Canvas&) const {}

bool MeterBoard::press(int32_t, int32_t) { return false; }

} // namespace kestravel::plugins
