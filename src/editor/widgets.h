#pragma once
// The two drawn controls: a bevelled button and a shaded fader knob.

#include <string_view>

#include "editor/canvas.h"

namespace kestravel::plugins {

// [UI thread] Face, three edges and a centred bold label; "on" shows an active state. A
// button that cannot act now (enabled false) keeps its face and shows its label dimmed.
void drawButton(Canvas& canvas, const Rect& box, std::u16string_view label, bool on, bool enabled = true);

// [UI thread] A horizontal bar shaded row by row, with light top, dark bottom and a centre line.
void drawKnob(Canvas& canvas, const Rect& box);

// Grey level of knob row i of a knob h rows high (before the colour tint).
int32_t knobShade(int32_t row, int32_t height) noexcept;

} // namespace kestravel::plugins
