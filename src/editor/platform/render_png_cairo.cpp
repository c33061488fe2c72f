#include "editor/editor_state.h"
#include "editor/paint_view.h"
#include "editor/platform/cairo_canvas.h"
#include "editor/render_png.h"

namespace kestravel::plugins {

bool renderEditorPng(const EditorHost& host, const std::string& utf8Path)
{
    EditorState state;
    CairoImage image;
    paintView(state, host, image.canvas());
    return image.writePng(utf8Path);
}

} // namespace kestravel::plugins
