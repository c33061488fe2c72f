// Any byte stream into setState: never a crash, and no accepted state leaves a value outside 0..1.

#include "plugins/utility_plugin.h"

#include "pluginterfaces/base/ibstream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace Steinberg;
using namespace kestravel::plugins;

namespace {

class BytesStream : public IBStream {
public:
    BytesStream(const uint8_t* bytes, size_t count) : data(bytes), size(count) {}
    tresult PLUGIN_API read(void* buffer, int32 numBytes, int32* numBytesRead) override
    {
        const size_t n = std::min(size - position, static_cast<size_t>(std::max(numBytes, 0)));
        std::memcpy(buffer, data + position, n);
        position += n;
        if (numBytesRead)
            *numBytesRead = static_cast<int32>(n);
        return kResultOk;
    }
    tresult PLUGIN_API write(void*, int32, int32*) override { return kResultFalse; }
    tresult PLUGIN_API seek(int64, int32, int64*) override { return kResultFalse; }
    tresult PLUGIN_API tell(int64*) override { return kResultFalse; }
    tresult PLUGIN_API queryInterface(const TUID, void** obj) override
    {
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }

private:
    const uint8_t* data;
    size_t size;
    size_t position = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    // PLAYER is left out: a state path may name a device that blocks when read.
    static const ModuleKind kinds[] = {INPUT, OUTPUT, SUMMING, BREAKOUT, RECORDER, FADER_BANK, DISTRIBUTOR};
    // One module per kind for the whole run: creating one per input would dominate the time.
    static UtilityPlugin* modules[7] = {};
    const size_t which = data[0] % 7;
    if (modules[which] == nullptr) {
        modules[which] = static_cast<UtilityPlugin*>(
            static_cast<Vst::IComponent*>(UtilityPlugin::createInstance(kinds[which])));
        modules[which]->initialize(nullptr);
    }
    UtilityPlugin* plugin = modules[which];
    BytesStream stream(data + 1, size - 1);
    if (plugin->setState(&stream) == kResultOk) {
        for (uint32_t id = 0; id < kParamSlots; ++id) {
            const double value = plugin->getParamNormalized(id);
            if (!(value >= 0.0 && value <= 1.0))
                std::abort();
        }
    }
    return 0;
}
