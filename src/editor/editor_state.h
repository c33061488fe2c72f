#pragma once
// The little state an editor keeps between messages.

#include <cstdint>

#include "editor/meters.h"

namespace kestravel::plugins {

struct EditorState {
    uint32_t faderPage = 0;      // FADER BANK: the page of eight strips shown
    int32_t dragStrip = -1;      // strip whose fader is dragged, -1 when none
    bool dragGain = false;       // the gain fader is dragged
    double dragStartValue = 0.0; // normalized value the drag counts from (not clamped)
    double dragStartPixel = 0.0; // y (strip) or x (gain), in editor pixels, where it counts from
    double dragLastPixel = 0.0;  // the latest pointer position of the drag
    bool dragFine = false;       // Shift held: ten times finer
    bool gestureOpen = false;    // a beginEdit waits for its endEdit
    uint32_t gestureParam = 0;   // the parameter of the open gesture
    double scale = 1.0;          // device pixels per editor pixel (1 to 4)
    double wheelRest = 0.0;      // a fraction of a wheel notch not yet used
    int32_t hoverX = -1;         // where the pointer was last seen, device pixels (-1: never)
    int32_t hoverY = -1;
    MeterBoard meters;           // what the meters show, moved on by the editor's looks
};

} // namespace kestravel::plugins
