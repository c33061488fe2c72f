#include "editor/layout.h"
#include "editor/paint_view.h"
#include "editor/palette.h"
#include "editor/status_line.h"
#include "editor/text_util.h"
#include "editor/waveform.h"
#include "editor/widgets.h"

namespace kestravel::plugins {

namespace {

// frames at rate as h:mm:ss.mmm, the milliseconds cut, not rounded.
std::u16string clockText(uint64_t frames, uint32_t rate)
{
    if (rate == 0)
        return u"0:00:00.000";
    const uint64_t ms = frames / rate * 1000 + frames % rate * 1000 / rate;
    const auto digits = [](uint64_t v, size_t width) {
        std::u16string text = decimalText(v);
        if (text.size() < width)
            text.insert(text.begin(), width - text.size(), u'0');
        return text;
    };
    return decimalText(ms / 3600000) + u":" + digits(ms / 60000 % 60, 2) + u":" + digits(ms / 1000 % 60, 2) + u"." +
           digits(ms % 1000, 3);
}

// Returns whether the file is played from disk.
bool paintPlayerPanel(const EditorHost& host, Canvas& canvas)
{
    canvas.fillBox({28, 230, 930, 450}, palette::kWaveformPanel);
    const WaveformOverview overview = host.playerOverview();
    const uint64_t channels = overview.channels;
    const uint64_t frames = overview.frames;
    if (frames == 0 || channels == 0) {
        canvas.drawLabel({40, 300, 920, 375}, u"Choose a WAV file to see its waveform.", palette::kSecondaryText, 19,
                         false, TextFormat::Centred);
        return false;
    }
    drawWaveform(canvas, overview);
    const uint64_t position = host.playerPosition();
    const bool sounding = position < frames;
    if (sounding) {
        const auto x = static_cast<int32_t>(28 + 902 * static_cast<double>(position) / static_cast<double>(frames));
        canvas.drawLine(x, 230, x, 450, palette::kAccent, 2);
    }
    std::u16string details = decimalText(frames) + u" frames  /  " + decimalText(uint64_t{overview.sampleRate}) +
                             u" Hz  /  " + decimalText(channels) + u" channels  /  " +
                             (sounding ? clockText(position, overview.sampleRate) + u" of " : u"") +
                             clockText(frames, overview.sampleRate);
    if (overview.anchored)
        details += u"  /  placed at " + clockText(overview.anchor, overview.sampleRate);
    canvas.drawLabel({36, 461, 911, 492}, details, palette::kSecondaryText, 14, false, TextFormat::Line);
    return overview.streamed;
}

// The take in progress: a failure first and in red, then time and size, then the disk.
void paintTakePanel(const TakePanel& panel, Canvas& canvas)
{
    if (!panel.shown)
        return;
    const Rect box = layout::kTakePanel;
    const int32_t mid = (box.top + box.bottom) / 2;
    Rect first{box.left, box.top, box.right, mid};
    Rect second{box.left, mid, box.right, box.bottom};
    if (panel.failed) {
        canvas.drawLabel(first, u"Recording failed; inspect output disk", palette::kFailureText, 15, true,
                         TextFormat::Line);
        canvas.drawLabel(second, lenientUtf8ToUtf16(panel.take), palette::kSecondaryText, 15, false,
                         TextFormat::Line);
        return;
    }
    canvas.drawLabel(first, lenientUtf8ToUtf16(panel.take), palette::kPrimaryText, 15, false, TextFormat::Line);
    canvas.drawLabel(second, lenientUtf8ToUtf16(panel.disk), panel.lowSpace ? palette::kWarningText : palette::kSecondaryText,
                     15, panel.lowSpace, TextFormat::Line);
}

void paintRecorderPanel(const EditorHost& host, Canvas& canvas)
{
    canvas.drawLabel({30, 244, 916, 304}, u"Prepare the file first. Recording runs on the shared host sample clock.",
                     palette::kPrimaryText, 20, true, TextFormat::Wrap);
    canvas.drawLabel({30, 324, 916, 392},
                     u"On transport stop, capture the effect tail until 0.5 seconds of silence or the maximum tail. "
                     u"Audio passes through unchanged.",
                     palette::kSecondaryText, 17, false, TextFormat::Wrap);
    drawButton(canvas, layout::kTailMinusButton, u"Tail \u2212", false);
    drawButton(canvas, layout::kTailPlusButton, u"Tail +", false);
    // Whole seconds, rounded as the buttons step them: 30 s plus 18 steps shows 120 s.
    const int32_t tail = layout::tailSeconds(host.parameterValue(kMaximumTailParam));
    canvas.drawLabel({341, 421, 922, 460}, u"Maximum tail: " + decimalText(int64_t{tail}) + u" s", palette::kAccent,
                     17, true, TextFormat::Line);
    paintTakePanel(host.recorderTakePanel(), canvas);
}

} // namespace

void paintFilePanelBody(const EditorHost& host, Canvas& canvas)
{
    const bool player = host.editorKind() == PLAYER;
    drawButton(canvas, layout::kFileButton, player ? u"Open WAV\u2026" : u"New WAV file\u2026", false);
    drawButton(canvas, layout::kPlayButton, player ? u"Play" : u"Record",
               layout::isOn(host.parameterValue(kPlayRecordParam)));
    drawButton(canvas, layout::kStopButton, u"Stop", false);
    drawButton(canvas, layout::kFollowButton, u"Follow DAW transport",
               layout::isOn(host.parameterValue(kFollowTransportParam)));
    drawStatusLine(canvas, {28, 169, 929, 218}, lenientUtf8ToUtf16(host.statusText()), host.editorKind(),
                   palette::kAccent, 15);

    if (player) {
        drawButton(canvas, layout::kChaseButton, u"Chase position", layout::isOn(host.parameterValue(kChasePositionParam)));
        const bool streamed = paintPlayerPanel(host, canvas);
        canvas.drawLabel({28, 523, 930, 563},
                         streamed ? u"WAV PCM 16/24/32-bit or float32. Longer than 512 MiB decoded: played from disk."
                                  : u"WAV PCM 16/24/32-bit or float32. Preloaded audio, maximum 512 MiB decoded.",
                         palette::kSecondaryText, 14, false, TextFormat::Line);
    } else {
        paintRecorderPanel(host, canvas);
        canvas.drawLabel({28, 523, 930, 563},
                         u"New files only: existing recordings are never intentionally overwritten.",
                         palette::kSecondaryText, 14, false, TextFormat::Line);
    }
}

} // namespace kestravel::plugins
