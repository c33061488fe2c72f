#include "plugin_fixture.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <random>

namespace kestravel::plugins::test {

using namespace Steinberg;

Module::Module(ModuleKind kind)
    : plugin(static_cast<UtilityPlugin*>(
          static_cast<Vst::IComponent*>(UtilityPlugin::createInstance(kind))))
{
    plugin->initialize(nullptr);
}

Module::~Module()
{
    plugin->setActive(false);
    plugin->terminate();
    static_cast<Vst::IComponent*>(plugin)->release();
}

tresult PLUGIN_API MemoryStream::read(void* buffer, int32 numBytes, int32* numBytesRead)
{
    const size_t count = std::min(data.size() - position, static_cast<size_t>(std::max(numBytes, 0)));
    std::memcpy(buffer, data.data() + position, count);
    position += count;
    if (numBytesRead)
        *numBytesRead = static_cast<int32>(count);
    return kResultOk;
}

tresult PLUGIN_API MemoryStream::write(void* buffer, int32 numBytes, int32* numBytesWritten)
{
    int32 count = std::max(numBytes, 0);
    if (writeLimit >= 0)
        count = std::min(count, writeLimit);
    data.append(static_cast<const char*>(buffer), static_cast<size_t>(count));
    if (numBytesWritten)
        *numBytesWritten = count;
    return kResultOk;
}

tresult PLUGIN_API MemoryStream::seek(int64 pos, int32 mode, int64* result)
{
    const int64 base = mode == kIBSeekSet ? 0 : mode == kIBSeekCur ? static_cast<int64>(position)
                                                                    : static_cast<int64>(data.size());
    position = static_cast<size_t>(std::clamp<int64>(base + pos, 0, static_cast<int64>(data.size())));
    if (result)
        *result = static_cast<int64>(position);
    return kResultOk;
}

tresult PLUGIN_API MemoryStream::tell(int64* pos)
{
    if (pos)
        *pos = static_cast<int64>(position);
    return kResultOk;
}

tresult PLUGIN_API RecordingHandler::beginEdit(Vst::ParamID id)
{
    calls.push_back("begin " + std::to_string(id));
    return kResultOk;
}

tresult PLUGIN_API RecordingHandler::performEdit(Vst::ParamID id, Vst::ParamValue value)
{
    char text[64];
    std::snprintf(text, sizeof text, "perform %u %g", id, value);
    calls.emplace_back(text);
    return kResultOk;
}

tresult PLUGIN_API RecordingHandler::endEdit(Vst::ParamID id)
{
    calls.push_back("end " + std::to_string(id));
    return kResultOk;
}

tresult PLUGIN_API RecordingHandler::queryInterface(const TUID queried, void** obj)
{
    if (FUnknownPrivate::iidEqual(queried, Vst::IComponentHandler::iid) ||
        FUnknownPrivate::iidEqual(queried, FUnknown::iid)) {
        *obj = this;
        return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
}

TempDir::TempDir()
{
    std::random_device seed;
    path = std::filesystem::temp_directory_path() /
           ("kestravel-plugin-" + std::to_string(seed()) + std::to_string(seed()));
    std::filesystem::create_directories(path);
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path, ignored);
}

std::u16string TempDir::file(const std::string& name) const
{
    const std::u8string text = (path / std::filesystem::u8path(name)).generic_u8string();
    std::u16string wide;
    for (char8_t c : text)
        wide.push_back(static_cast<char16_t>(c)); // test names are ASCII
    return wide;
}

void writeTestWav(const std::filesystem::path& path, uint32_t frames, uint32_t rate)
{
    auto le = [](std::ofstream& out, uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
    };
    std::ofstream out(path, std::ios::binary);
    const uint32_t dataBytes = frames * 4;
    out.write("RIFF", 4);
    le(out, 36 + dataBytes, 4);
    out.write("WAVEfmt ", 8);
    le(out, 16, 4);
    le(out, 1, 2);
    le(out, 2, 2);
    le(out, rate, 4);
    le(out, rate * 4, 4);
    le(out, 4, 2);
    le(out, 16, 2);
    out.write("data", 4);
    le(out, dataBytes, 4);
    for (uint32_t i = 0; i < frames * 2; ++i)
        le(out, (i * 37u) & 0xFFFFu, 2);
}

} // namespace kestravel::plugins::test
