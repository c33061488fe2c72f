#include "editor/paint_view.h"

#include "editor/palette.h"
#include "editor/text_util.h"

namespace kestravel::plugins {

void paintView(EditorState& state, const EditorHost& host, Canvas& canvas, PaintParts parts)
{
    if (parts == PaintParts::MetersOnly) {
        state.meters.paint(canvas);
        return;
    }
    const ModuleKind kind = host.editorKind();
    canvas.fillBox({0, 0, kEditorWidth, kEditorHeight}, palette::kBackground);
    canvas.fillBox({0, 0, kEditorWidth, 88}, palette::kHeaderBand);
    canvas.drawLabel({26, 13, 820, 46}, lenientUtf8ToUtf16(kindDisplayName(kind)), palette::kPrimaryText, 27, true,
                     TextFormat::Line);
    canvas.drawLabel({28, 49, 890, 75}, u"Independent VST3 module  /  realtime audio  /  host-controlled ports",
                     palette::kSecondaryText, 13, false, TextFormat::Line);
    canvas.drawLine(0, 87, kEditorWidth, 87, palette::kSeparator, 1);

    switch (kind) {
    case FADER_BANK: paintFaderBankBody(state, host, canvas); break;
    case PLAYER:
    case RECORDER: paintFilePanelBody(host, canvas); break;
    default: paintRoutingBody(host, canvas); break;
    }
    if (parts == PaintParts::Everything)
        state.meters.paint(canvas);
}

} // namespace kestravel::plugins
