#include "fileaudio/file_status.h"

#include "core/text_utf.h"
#include "kestravel/take_texts.h"

namespace kestravel::plugins {

std::string statusText(ModuleKind kind, const std::u16string& destinationPath,
                       const FilePlayer& player, const FileRecorder& recorder)
{
    if (kind == PLAYER) {
        if (!destinationPath.empty())
            return fileNameOf(destinationPath) + " | " + (player.playing.load() ? "Playing" : "Ready") +
                   player.streamStatus();
        return "Choose a WAV file. Disk is never read in the audio callback.";
    }
    if (kind == RECORDER) {
        if (recorder.failed.load())
            return "Recording failed; inspect output disk";
        if (recorder.recording.load())
            return "Recording " + std::to_string(recorder.framesWritten.load()) + " frames; dropped " +
                   std::to_string(recorder.droppedFrames.load());
        if (recorder.ready.load())
            return "Armed and ready";
        if (recorder.finished.load() && recorder.fileCreated.load() && !destinationPath.empty())
            return "Finalized " + fileNameOf(destinationPath);
        return "Choose a NEW WAV destination before playback";
    }
    return "Host audio ports | Digital processing | No extra hardware engine";
}

TakePanel takePanel(const FileRecorder& recorder)
{
    TakePanel panel;
    panel.failed = recorder.failed.load();
    panel.shown = panel.failed || recorder.ready.load() || recorder.recording.load();
    if (!panel.shown)
        return panel;
    const uint64_t rate = recorder.sampleRate.load();
    const uint64_t bytesPerSecond = rate * recorder.channels.load() * 4;
    const uint64_t seconds = rate ? recorder.takeFrames.load() / rate : 0;
    panel.take = "Take " + clockText(seconds) + " | " + sizeText(recorder.bytesWritten.load()) + " | dropped " +
                 std::to_string(recorder.droppedFrames.load());
    const uint64_t free = recorder.freeBytes.load();
    if (free == kUnknownFreeBytes || bytesPerSecond == 0) {
        panel.disk = "Disk: free space unknown";
    } else {
        const uint64_t left = free / bytesPerSecond;
        panel.lowSpace = left < kLowSpaceSeconds;
        panel.disk = "Disk: " + clockText(left) + " left at " + sizeText(bytesPerSecond) + "/s";
    }
    return panel;
}

} // namespace kestravel::plugins
