// The file modules' side of the object: choosing a file, the status line, and activation,
// which re-arms RECORDER on a fresh take without ever overwriting a recording.

#include "plugins/utility_plugin.h"

#include "fileaudio/file_status.h"
#include "fileaudio/take_naming.h"

#include <cmath>
#include <exception>

namespace kestravel::plugins {

using namespace Steinberg;
using namespace Steinberg::Vst;

bool UtilityPlugin::setFile(const std::u16string& path, std::string& message)
{
    try {
        if (kind == PLAYER) {
            if (player.playing.load()) {
                message = "Stop file playback before replacing WAV; the DAW audio engine can stay running";
                return false;
            }
            player.load(path);
        } else if (kind == RECORDER) {
            if (recorder.recording.load()) {
                message = "Stop recording first";
                return false;
            }
            recorder.prepareDestination(path, static_cast<uint32_t>(inputBusChannelCount(0)),
                                        static_cast<uint32_t>(sampleRate));
        } else {
            message = "Module has no file interface";
            return false;
        }
        destinationPath = path;
        return true;
    } catch (const std::exception& error) {
        message = error.what();
        return false;
    }
}

std::string UtilityPlugin::statusText() const
{
    return plugins::statusText(kind, destinationPath, player, recorder);
}

tresult PLUGIN_API UtilityPlugin::setActive(TBool state)
{
    if (!state) {
        stopTransportState();
        recorder.stopWriter();
        player.freeRetired(); // a replaced stream's reader and buffers go now, not at the next load
        player.pauseReading();
        paramValues[kPlayRecordParam].exchange(0.0);
        syncRunning = false;
        return kResultOk;
    }
    if (kind == PLAYER) {
        try {
            player.resumeReading();
        } catch (const std::exception&) {
            return kResultFalse; // no thread to be had: the stream cannot play
        }
    }
    if (kind != RECORDER || destinationPath.empty())
        return kResultOk;
    return rearmRecorder();
}

tresult UtilityPlugin::rearmRecorder()
{
    try {
        const auto channelCount = static_cast<uint32_t>(inputBusChannelCount(0));
        const auto rate = static_cast<uint32_t>(sampleRate);
        if (recorder.ready.load() && channelCount == recorder.channels.load() &&
            rate == recorder.sampleRate.load())
            return kResultOk;
        recorder.stopCapture();
        recorder.stopWriter();
        std::u16string candidate = chooseTakePath(destinationPath);
        recorder.prepareDestination(candidate, channelCount, rate);
        destinationPath = std::move(candidate);
        return kResultOk;
    } catch (const std::exception&) {
        return kResultFalse;
    }
}

} // namespace kestravel::plugins
