#include "fileaudio/file_status.h"

#include "core/text_utf.h"

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

} // namespace kestravel::plugins
