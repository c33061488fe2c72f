// The file modules' side of the object: choosing a file, the status line, and activation,
// which re-arms RECORDER on a fresh take without ever overwriting a recording.

#include "plugins/utility_plugin.h"

#include "fileaudio/file_status.h"
#include "fileaudio/take_naming.h"

#include "core/text_utf.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>

namespace kestravel::plugins {

using namespace Steinberg;
using namespace Steinberg::Vst;

DEF_CLASS_IID(IModuleReport)

namespace {
// Into a caller's buffer, cut to size on a character boundary.
tresult copyText(const std::string& text, char8* out, int32 size)
{
    if (out == nullptr || size < 1)
        return kInvalidArgument;
    size_t n = std::min(text.size(), static_cast<size_t>(size) - 1);
    if (n < text.size())
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
            --n;
    std::memcpy(out, text.data(), n);
    out[n] = 0;
    return kResultOk;
}
} // namespace

bool UtilityPlugin::setFile(const std::u16string& path, std::string& message)
{
    const bool ok = chooseFile(path, message);
    lastFileError = ok ? std::string() : message;
    if (ok)
        nextDestination.clear(); // the user's choice replaces a restored one
    reportTail();
    return ok;
}

bool UtilityPlugin::chooseFile(const std::u16string& path, std::string& message)
{
    // The OS would see the name end at the NUL and act on another file.
    if (path.find(u'\0') != std::u16string::npos) {
        message = "File name contains a NUL character";
        return false;
    }
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
            prepareTake(path, static_cast<uint32_t>(inputBusChannelCount(0)), static_cast<uint32_t>(sampleRate));
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
    std::string text = plugins::statusText(kind, destinationPath, player, recorder);
    if (!nextDestination.empty())
        text += " | next take: " + fileNameOf(nextDestination);
    return text;
}

uint32 PLUGIN_API UtilityPlugin::getTailSamples()
{
    return wantsTail() ? kInfiniteTail : kNoTail;
}

bool UtilityPlugin::wantsTail() const
{
    if (kind == PLAYER)
        return !destinationPath.empty();
    if (kind == RECORDER) // from the first destination on: a reactivation keeps the answer
        return !destinationPath.empty() || !nextDestination.empty() || recorder.recording.load();
    return false;
}

// Hosts re-read the tail (with the latency) on kLatencyChanged; several reactivate the module
// for it, so the answer changes only when a file or destination comes or goes.
void UtilityPlugin::reportTail()
{
    const bool wanted = wantsTail();
    if (wanted == tailReported)
        return;
    tailReported = wanted;
    if (auto* handler = getComponentHandler())
        handler->restartComponent(kLatencyChanged);
}

void UtilityPlugin::restoreDestination(std::u16string path, bool takeRunning)
{
    if (takeRunning) {
        nextDestination = path == destinationPath ? std::u16string() : std::move(path);
        return;
    }
    nextDestination.clear();
    const bool changed = path != destinationPath;
    destinationPath = std::move(path);
    // Hosts that activate before they restore: arm now, as activation would have.
    if (componentActive && !destinationPath.empty() && (changed || !recorder.ready.load()))
        rearmRecorder(changed);
}

tresult PLUGIN_API UtilityPlugin::setActive(TBool state)
{
    componentActive = state != 0;
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
    if (kind != RECORDER)
        return kResultOk;
    if (!reserveRecorderRing())
        return kResultFalse;
    const bool restoredMeanwhile = !nextDestination.empty();
    if (restoredMeanwhile) {
        destinationPath = std::move(nextDestination);
        nextDestination.clear();
    }
    if (destinationPath.empty())
        return kResultOk;
    return rearmRecorder(restoredMeanwhile);
}

bool UtilityPlugin::reserveRecorderRing()
{
    try {
        recorder.reserveRing(static_cast<uint32_t>(inputBusChannelCount(0)),
                             static_cast<uint32_t>(sampleRate));
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void UtilityPlugin::prepareTake(const std::u16string& path, uint32_t channelCount, uint32_t rate)
{
    // The header's layout is armed with the file; the start checks it again.
    recorder.timestampNewTakes.store(paramValues[kTimestampTakesParam].load() > 0.5);
    recorder.prepareDestination(path, channelCount, rate);
    // A take still capturing its tail keeps its light until the new one starts.
    if (!recorder.recording.load())
        meters.takeClipped.store(false, std::memory_order_relaxed);
}

tresult UtilityPlugin::rearmRecorder(bool force)
{
    try {
        const auto channelCount = static_cast<uint32_t>(inputBusChannelCount(0));
        const auto rate = static_cast<uint32_t>(sampleRate);
        if (!force && recorder.ready.load() && channelCount == recorder.channels.load() &&
            rate == recorder.sampleRate.load())
            return kResultOk;
        recorder.stopCapture();
        recorder.stopWriter();
        std::u16string candidate = chooseTakePath(destinationPath);
        prepareTake(candidate, channelCount, rate);
        destinationPath = std::move(candidate);
        lastFileError.clear();
        return kResultOk;
    } catch (const std::exception& error) {
        lastFileError = error.what();
        return kResultFalse;
    }
}

tresult PLUGIN_API UtilityPlugin::getStatusText(char8* utf8, int32 size)
{
    return copyText(statusText(), utf8, size);
}

tresult PLUGIN_API UtilityPlugin::getLastFileError(char8* utf8, int32 size)
{
    const tresult r = copyText(lastFileError, utf8, size);
    return r != kResultOk ? r : lastFileError.empty() ? kResultFalse : kResultTrue;
}

tresult PLUGIN_API UtilityPlugin::getTakeReport(TakeReport* report)
{
    if (report == nullptr)
        return kInvalidArgument;
    if (kind != RECORDER)
        return kResultFalse;
    report->framesWritten = recorder.framesWritten.load();
    report->framesDropped = recorder.droppedFrames.load();
    report->files = static_cast<int32>(recorder.takeFiles().size());
    report->failed = recorder.failed.load() ? 1 : 0;
    report->finished = recorder.finished.load() ? 1 : 0;
    if (report->size < static_cast<int32>(sizeof(TakeReport))) {
        report->size = 0; // a caller from before the panel's facts
        return kResultOk;
    }
    report->timelineFrames = recorder.takeFrames.load();
    report->bytesWritten = recorder.bytesWritten.load();
    report->freeBytes = recorder.freeBytes.load();
    report->sampleRate = recorder.sampleRate.load();
    report->channels = recorder.channels.load();
    return kResultOk;
}

tresult PLUGIN_API UtilityPlugin::getTakeFile(int32 index, char8* utf8, int32 size)
{
    if (kind != RECORDER)
        return kResultFalse;
    const auto files = recorder.takeFiles();
    if (index < 0 || static_cast<size_t>(index) >= files.size())
        return kInvalidArgument;
    const auto text = utf16ToUtf8(files[static_cast<size_t>(index)]);
    return copyText(text ? *text : std::string(), utf8, size);
}

tresult PLUGIN_API UtilityPlugin::setChannelContextInfos(Steinberg::Vst::IAttributeList* list)
{
    if (list == nullptr)
        return kInvalidArgument;
    Steinberg::Vst::String128 name{};
    if (list->getString(Steinberg::Vst::ChannelContext::kChannelNameKey, name, sizeof name) != kResultTrue)
        return kResultOk; // a host that does not name its tracks
    name[127] = 0;
    const auto text = utf16ToUtf8(std::u16string(reinterpret_cast<const char16_t*>(name)));
    recorder.setTrackName(text ? *text : std::string());
    return kResultOk;
}

} // namespace kestravel::plugins
