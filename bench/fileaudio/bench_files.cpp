#include "bench_files.h"

#include "fileaudio/native_file.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>
#include <tuple>
#include <vector>

#ifdef _WIN32
#include <process.h>
#define KV_PID _getpid()
#else
#include <unistd.h>
#define KV_PID ::getpid()
#endif

namespace kestravel::plugins::bench {

namespace {

// Everything a run writes lives in one folder that goes away with the program; under
// KESTRAVEL_BENCH_DIR when set (a RAM disk takes the disk out of the writer figures).
std::filesystem::path scratchRoot()
{
    const char* dir = std::getenv("KESTRAVEL_BENCH_DIR");
    return dir && *dir ? std::filesystem::path(dir) : std::filesystem::temp_directory_path();
}

struct Scratch {
    std::filesystem::path dir = scratchRoot() / ("kestravel-fileaudio-bench-" + std::to_string(KV_PID));
    Scratch() { std::filesystem::create_directories(dir); }
    ~Scratch()
    {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

Scratch& scratch()
{
    static Scratch s;
    return s;
}

void put(std::vector<uint8_t>& b, size_t at, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

} // namespace

const char* formatName(SampleFormat f)
{
    switch (f) {
    case SampleFormat::Pcm16: return "pcm16";
    case SampleFormat::Pcm24: return "pcm24";
    case SampleFormat::Pcm32: return "pcm32";
    case SampleFormat::Float: return "float32";
    }
    return "?";
}

std::filesystem::path scratchPath(const std::string& name)
{
    return scratch().dir / name;
}

std::u16string widePath(const std::filesystem::path& p)
{
#ifdef _WIN32
    const std::wstring w = p.native();
    return std::u16string(w.begin(), w.end());
#else
    return utf8ToUtf16(p.native()).value();
#endif
}

const std::filesystem::path& benchFile(SampleFormat format, uint16_t channels, uint64_t dataBytes)
{
    static std::map<std::tuple<int, int, uint64_t>, std::filesystem::path> made;
    const auto key = std::make_tuple(static_cast<int>(format), int{channels}, dataBytes);
    if (auto it = made.find(key); it != made.end())
        return it->second;

    const uint32_t width = format == SampleFormat::Pcm16 ? 2 : format == SampleFormat::Pcm24 ? 3 : 4;
    const uint32_t align = channels * width;
    dataBytes -= dataBytes % align;
    const std::filesystem::path path = scratchPath(std::string(formatName(format)) + "-" +
                                                   std::to_string(channels) + "ch-" +
                                                   std::to_string(dataBytes) + ".wav");
    std::vector<uint8_t> h(44);
    std::memcpy(&h[0], "RIFF", 4);
    put(h, 4, static_cast<uint32_t>(dataBytes + 36), 4);
    std::memcpy(&h[8], "WAVEfmt ", 8);
    put(h, 16, 16, 4);
    put(h, 20, format == SampleFormat::Float ? 3 : 1, 2);
    put(h, 22, channels, 2);
    put(h, 24, 48000, 4);
    put(h, 28, 48000 * align, 4);
    put(h, 32, align, 2);
    put(h, 34, width * 8, 2);
    std::memcpy(&h[36], "data", 4);
    put(h, 40, static_cast<uint32_t>(dataBytes), 4);

    std::error_code ec;
    NativeFile f = NativeFile::createNew(path, ec);
    if (!f.isOpen() || f.writeAt(0, h.data(), h.size(), ec) != h.size())
        throw std::runtime_error("cannot write " + path.string());
    // Noise: an LCG for integers, and for floats the same bits squeezed into [-1, 1).
    std::vector<uint8_t> block(size_t{4} << 20);
    uint32_t state = 12345;
    for (uint64_t done = 0; done < dataBytes;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(block.size(), dataBytes - done));
        for (size_t i = 0; i + 4 <= block.size(); i += 4) {
            state = state * 1664525u + 1013904223u;
            uint32_t v = state;
            if (format == SampleFormat::Float) {
                const float x = static_cast<float>(static_cast<int32_t>(v)) / 2147483648.0f;
                std::memcpy(&v, &x, 4);
            }
            std::memcpy(&block[i], &v, 4);
        }
        if (f.writeAt(44 + done, block.data(), n, ec) != n)
            throw std::runtime_error("cannot write " + path.string());
        done += n;
    }
    f.close(ec);
    return made.emplace(key, path).first->second;
}

} // namespace kestravel::plugins::bench
