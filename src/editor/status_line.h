#pragma once
// The PLAYER's and RECORDER's status line: at most as many whole lines as its box holds, a
// long file name shortened in the middle so its start and its end (".wav", "-take12") stay.

#include <string>
#include <string_view>
#include <vector>

#include "editor/canvas.h"
#include "core/module_kind.h"

namespace kestravel::plugins {

struct StatusLayout {
    std::vector<std::u16string> lines; // each at most the box's width; never more than fit
    bool shortened = false;            // the file name lost its middle to "…"
};

// [UI thread] Breaks status into lines at spaces, measured with canvas in the font given.
// When the lines are too many or a word is wider than the box, the file name of kind's status
// (or, without one, the whole text) is shortened in the middle until they fit.
StatusLayout fitStatusLine(std::u16string_view status, ModuleKind kind, Canvas& canvas, double width,
                           double height, int32_t size, bool bold);

// [UI thread] Draws status in box as fitStatusLine lays it out. A status that fits on one line
// is drawn exactly as a wrapped label always was.
void drawStatusLine(Canvas& canvas, const Rect& box, std::u16string_view status, ModuleKind kind, Colour colour,
                    int32_t size);

} // namespace kestravel::plugins
