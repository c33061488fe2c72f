#pragma once
// The editor's whole 960 x 580 picture.

#include <string>

#include "editor/canvas.h"
#include "editor/editor_host.h"
#include "editor/editor_state.h"

namespace kestravel::plugins {

// What a paint covers: the whole picture, everything but the meters (what a look compares to
// tell whether more than the meters changed), or the meters alone over the last frame.
enum class PaintParts { Everything, AllButMeters, MetersOnly };

// [UI thread] Header, then the body of the module's kind, all read from the module at this
// moment. The one state it changes: the FADER BANK page is pulled back onto the last page
// when the strip count has been lowered.
void paintView(EditorState& state, const EditorHost& host, Canvas& canvas,
               PaintParts parts = PaintParts::Everything);

// FADER BANK: which strips a page shows, "Strips 9–16 of 24" ("Strip 17 of 17" for one).
std::u16string pageText(uint32_t page, uint32_t strips);

// The three bodies, each drawn below the header.
void paintFaderBankBody(EditorState& state, const EditorHost& host, Canvas& canvas);
void paintFilePanelBody(const EditorHost& host, Canvas& canvas);
void paintRoutingBody(const EditorHost& host, Canvas& canvas);

} // namespace kestravel::plugins
