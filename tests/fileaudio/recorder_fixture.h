#pragma once
// Driving a FileRecorder the way the audio thread does, and checking what reached the disk.

#include "fileaudio/file_recorder.h"
#include "fileaudio/preloaded_audio.h"
#include "wav_fixture.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <functional>
#include <optional>
#include <thread>

namespace kestravel::plugins::testing {

// Sample of a frame and channel in a generated take: exact in float, distinct over a long run.
inline float takeSample(uint64_t frame, uint32_t channel)
{
    return static_cast<float>((frame * 7 + channel * 131) % 65536) / 65536.0f - 0.5f;
}

inline bool waitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds timeout = std::chrono::milliseconds(20000))
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Pushes frames [first, first + count) of the generated take in blocks, planar as a host
// delivers them, with the timeline position equal to the frame index; offline pushes may wait
// for ring space as in an offline bounce.
inline void pushTake(FileRecorder& rec, uint32_t channels, uint64_t first, uint64_t count,
                     uint32_t block = 512,
                     const std::function<float(uint64_t, uint32_t)>& sample = takeSample,
                     bool offline = false)
{
    std::vector<std::vector<float>> planes(channels, std::vector<float>(block));
    std::vector<const float*> ptrs(channels);
    for (uint64_t done = 0; done < count;) {
        const auto n = static_cast<uint32_t>(std::min<uint64_t>(block, count - done));
        for (uint32_t c = 0; c < channels; ++c) {
            for (uint32_t i = 0; i < n; ++i)
                planes[c][i] = sample(first + done + i, c);
            ptrs[c] = planes[c].data();
        }
        rec.pushBlock(ptrs.data(), channels, n, first + done, offline);
        done += n;
    }
}

struct WavHeader {
    uint32_t riffSize, fmtSize, dataSize, sampleRate, byteRate;
    uint16_t tag, channels, blockAlign, bits;
    bool magicOk;
};

inline WavHeader parseHeader(const Bytes& b)
{
    WavHeader h{};
    if (b.size() < 44)
        return h;
    h.magicOk = std::memcmp(b.data(), "RIFF", 4) == 0 && std::memcmp(b.data() + 8, "WAVE", 4) == 0 &&
                std::memcmp(b.data() + 12, "fmt ", 4) == 0 && std::memcmp(b.data() + 36, "data", 4) == 0;
    h.riffSize = get32(b, 4);
    h.fmtSize = get32(b, 16);
    h.tag = get16(b, 20);
    h.channels = get16(b, 22);
    h.sampleRate = get32(b, 24);
    h.byteRate = get32(b, 28);
    h.blockAlign = get16(b, 32);
    h.bits = get16(b, 34);
    h.dataSize = get32(b, 40);
    return h;
}

// A take file's chunks as written, found by walking them (not by our reader): where each one
// starts and what the size fields say.
struct TakeLayout {
    bool ok = false;       // RIFF/WAVE with a "fmt " and a "data" chunk in reach
    uint32_t riffSize = 0;
    uint32_t headerBytes = 0; // where the samples start
    uint32_t dataSize = 0;
    uint32_t fmtSize = 0;
    uint16_t blockAlign = 0;
    std::optional<uint32_t> factFrames;
    std::optional<size_t> bextBody; // offset of the bext body
    uint32_t bextSize = 0;
};

inline TakeLayout walkTake(const Bytes& b)
{
    TakeLayout t;
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0)
        return t;
    t.riffSize = get32(b, 4);
    for (size_t at = 12; at + 8 <= b.size();) {
        const std::string id(reinterpret_cast<const char*>(b.data() + at), 4);
        const uint32_t size = get32(b, at + 4);
        if (id == "data") {
            t.headerBytes = static_cast<uint32_t>(at + 8);
            t.dataSize = size;
            t.ok = t.fmtSize >= 16;
            return t;
        }
        if (at + 8 + size > b.size())
            return t;
        if (id == "fmt ") {
            t.fmtSize = size;
            t.blockAlign = get16(b, at + 8 + 12);
        } else if (id == "fact" && size >= 4) {
            t.factFrames = get32(b, at + 8);
        } else if (id == "bext") {
            t.bextBody = at + 8;
            t.bextSize = size;
        }
        at += 8 + size + (size & 1);
    }
    return t;
}

// The file's samples as the generated take expects them, from frame first on.
inline ::testing::AssertionResult holdsTake(const PreloadedAudio& a, uint32_t channels, uint64_t first,
                                            const std::function<float(uint64_t, uint32_t)>& sample = takeSample)
{
    if (a.channels != channels)
        return ::testing::AssertionFailure() << "channels " << a.channels;
    for (uint64_t f = 0; f < a.frames(); ++f)
        for (uint32_t c = 0; c < channels; ++c)
            if (a.samples[f * channels + c] != sample(first + f, c))
                return ::testing::AssertionFailure()
                       << "frame " << f << " channel " << c << ": " << a.samples[f * channels + c]
                       << " != " << sample(first + f, c);
    return ::testing::AssertionSuccess();
}

// The names in a folder, sorted.
inline std::vector<std::string> folderNames(const std::filesystem::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

inline bool haveSoxi()
{
#ifdef _WIN32
    return false;
#else
    static const bool have = std::system("command -v soxi >/dev/null 2>&1") == 0;
    return have;
#endif
}

// soxi's word on a file: "channels rate samples" or "" when it refuses it.
inline std::string soxiSummary(const std::filesystem::path& p)
{
#ifdef _WIN32
    (void)p;
    return "";
#else
    std::string out;
    for (const char* flag : {"-c", "-r", "-s"}) {
        const std::string cmd = std::string("soxi ") + flag + " '" + p.string() + "' 2>/dev/null";
        FILE* pipe = popen(cmd.c_str(), "r");
        if (!pipe)
            return "";
        char buf[64] = {};
        const bool got = std::fgets(buf, sizeof buf, pipe) != nullptr;
        if (pclose(pipe) != 0 || !got)
            return "";
        std::string s(buf);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
            s.pop_back();
        out += (out.empty() ? "" : " ") + s;
    }
    return out;
#endif
}

} // namespace kestravel::plugins::testing
