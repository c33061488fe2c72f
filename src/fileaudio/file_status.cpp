#include "fileaudio/file_status.h"

#include "core/text_utf.h"

#include <cstdio>

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

std::string clockText(uint64_t seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%llu:%02u:%02u", static_cast<unsigned long long>(seconds / 3600),
                  static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60));
    return text;
}

std::string sizeText(uint64_t bytes)
{
    static constexpr const char* kUnits[] = {"kB", "MB", "GB", "TB"};
    if (bytes < 1000)
        return std::to_string(bytes) + " B";
    double value = static_cast<double>(bytes) / 1000.0;
    size_t unit = 0;
    while (value >= 999.95 && unit + 1 < std::size(kUnits)) {
        value /= 1000.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
    return text;
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
