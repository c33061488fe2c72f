// libFuzzer target: any byte string as a WAV file. The reader must either decode it or throw
// one of its errors; never crash, overrun or leak.

#include "fileaudio/preloaded_audio.h"
#include "core/text_utf.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {
// One scratch file per fuzzing process, removed when it exits.
struct Scratch {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("kestravel-wav-fuzz-" + std::to_string(::getpid()) + ".wav");
    ~Scratch()
    {
        std::error_code ec;
        std::filesystem::remove(path, ec);
    }
};

const std::filesystem::path& scratchFile()
{
    static const Scratch s;
    return s.path;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace kestravel::plugins;
    const auto& path = scratchFile();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    if (size && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);

    // A small limit keeps the limit paths reachable with small inputs.
    for (uint64_t limit : {uint64_t{64}, kPreloadLimitBytes}) {
        try {
            const PreloadedAudio a = loadWav(*utf8ToUtf16(path.string()), limit);
            if (a.channels < 1 || a.channels > 64 || a.sampleRate < 8000 || a.sampleRate > 384000 ||
                a.samples.size() % a.channels != 0 || a.samples.size() > limit / 4)
                std::abort();
            for (float s : a.samples)
                if (!std::isfinite(s))
                    std::abort();
        } catch (const std::exception&) {
        }
    }
    return 0;
}
