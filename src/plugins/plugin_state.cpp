// Saved state: 4-byte little-endian length, then the compact JSON document.

#include "plugins/saved_state.h"
#include "plugins/utility_plugin.h"

#include "pluginterfaces/base/ibstream.h"

#include <exception>
#include <string>

namespace kestravel::plugins {

using namespace Steinberg;

tresult PLUGIN_API UtilityPlugin::getState(IBStream* state)
{
    if (state == nullptr)
        return kInvalidArgument;
    std::optional<std::string> text;
    try {
        // A destination restored during a take is what the project holds from then on.
        text = encodeStateDocument(kind, nextDestination.empty() ? destinationPath : nextDestination, paramValues);
    } catch (const std::exception&) {
        return kResultFalse;
    }
    if (!text || text->size() > static_cast<size_t>(kMaxStateBytes))
        return kResultFalse;

    const auto length = static_cast<uint32_t>(text->size());
    unsigned char header[4] = {static_cast<unsigned char>(length & 0xFF),
                               static_cast<unsigned char>((length >> 8) & 0xFF),
                               static_cast<unsigned char>((length >> 16) & 0xFF),
                               static_cast<unsigned char>((length >> 24) & 0xFF)};
    int32 written = 0;
    if (state->write(header, 4, &written) != kResultOk || written != 4)
        return kResultFalse;
    written = 0;
    if (state->write(text->data(), static_cast<int32>(length), &written) != kResultOk ||
        written != static_cast<int32>(length))
        return kResultFalse;
    return kResultOk;
}

// Hosts restore while active and processing (some before the first block, others for presets
// and undo during playback): the audio thread sees parameters through their atomic stores and a
// file through the player's hand-off, and never waits for either.
tresult PLUGIN_API UtilityPlugin::setState(IBStream* state)
{
    if (state == nullptr)
        return kResultFalse;
    try {
        unsigned char header[4] = {};
        int32 got = 0;
        if (state->read(header, 4, &got) != kResultOk || got != 4)
            return kResultFalse;
        const auto length = static_cast<int32>(static_cast<uint32_t>(header[0]) |
                                               static_cast<uint32_t>(header[1]) << 8 |
                                               static_cast<uint32_t>(header[2]) << 16 |
                                               static_cast<uint32_t>(header[3]) << 24);
        if (length < 1 || length > kMaxStateBytes)
            return kResultFalse;
        std::string text(static_cast<size_t>(length), '\0');
        got = 0;
        if (state->read(text.data(), length, &got) != kResultOk || got != length)
            return kResultFalse;

        SavedState restored = decodeStateDocument(text, kind);
        // Everything that can fail happens before the first change. The file already playing
        // is not loaded again: a restore (an undo, say) would otherwise stop it.
        const bool samePlayingFile = restored.path == destinationPath && player.playing.load();
        if (kind == PLAYER && !restored.path.empty() && !samePlayingFile)
            player.load(restored.path);

        // A take in progress is neither cut nor re-targeted: its transport switches keep their
        // values and another destination waits for the next take.
        const bool takeRunning = kind == RECORDER && recorder.recording.load();
        for (uint32_t id = 0; id < kParamSlots; ++id) {
            const bool keep = takeRunning && (id == kFollowTransportParam || id == kPlayRecordParam);
            if (!keep)
                storeParamValue(paramValues, id, restored.parameters[id]);
            SingleComponentEffect::setParamNormalized(id, readParamValue(paramValues, id));
        }
        if (!takeRunning) {
            paramValues[kPlayRecordParam].exchange(0.0);
            SingleComponentEffect::setParamNormalized(kPlayRecordParam, 0.0);
        }
        lastFileError.clear();
        if (kind == RECORDER)
            restoreDestination(std::move(restored.path), takeRunning);
        else
            destinationPath = std::move(restored.path);
        reportTail();
        return kResultOk;
    } catch (const std::exception& error) {
        lastFileError = error.what();
        return kResultFalse;
    }
}

tresult PLUGIN_API UtilityPlugin::setComponentState(IBStream* state)
{
    return setState(state);
}

} // namespace kestravel::plugins
