#pragma once
// The little state an editor keeps between messages.

#include <cstdint>

namespace kestravel::plugins {

struct EditorState {
    uint32_t faderPage = 0;     // FADER BANK: the page of eight strips shown
    int32_t dragStrip = -1;     // strip whose fader is dragged, -1 when none
    bool dragGain = false;      // the gain fader is dragged
    double dragStartValue = 0.0; // normalized value when the drag began
    double dragStartPixel = 0.0; // y (strip) or x (gain) when the drag began
};

} // namespace kestravel::plugins
