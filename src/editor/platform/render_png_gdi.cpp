#ifdef _WIN32

#include <vector>

#include "editor/editor_state.h"
#include "editor/paint_view.h"
#include "editor/platform/gdi_canvas.h"
#include "editor/png_file.h"
#include "editor/render_png.h"

namespace kestravel::plugins {

bool renderEditorPng(const EditorHost& host, const std::string& utf8Path)
{
    GdiBitmap bitmap;
    if (!bitmap.valid())
        return false;
    EditorState state;
    GdiCanvas canvas(bitmap.context());
    paintView(state, host, canvas);
    std::vector<uint32_t> pixels(size_t{kEditorWidth} * size_t{kEditorHeight});
    bitmap.copyTo(pixels.data());
    return writePngFile(utf8Path, pixels.data(), kEditorWidth, kEditorHeight);
}

} // namespace kestravel::plugins

#endif
