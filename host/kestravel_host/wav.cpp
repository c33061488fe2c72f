#include "kestravel_host/wav.h"

#include <cstring>
#include <fstream>

#include "kestravel_host/host_error.h"
#include "kestravel_host/utf.h"

namespace kestravel::plugins {
namespace {

std::uint32_t le32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint16_t le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

void put32(std::vector<unsigned char>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
void put16(std::vector<unsigned char>& out, std::uint16_t v)
{
    out.push_back(static_cast<unsigned char>(v));
    out.push_back(static_cast<unsigned char>(v >> 8));
}

constexpr std::uint16_t kPcm = 1;
constexpr std::uint16_t kFloat = 3;
constexpr std::uint16_t kExtensible = 0xFFFE;

} // namespace

WavAudio readWav(const std::filesystem::path& path)
{
    const std::string name = "\"" + pathToUtf8(path) + "\"";
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw HostError("Cannot open the WAV file " + name);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
        throw HostError(name + " is not a RIFF WAVE file");

    std::uint16_t format = 0, channels = 0, bits = 0;
    std::uint32_t rate = 0;
    const unsigned char* data = nullptr;
    std::size_t dataSize = 0;
    bool haveFormat = false;
    std::size_t pos = 12;
    while (pos + 8 <= bytes.size())
    {
        const unsigned char* chunk = bytes.data() + pos;
        const std::size_t size = le32(chunk + 4);
        if (size > bytes.size() - pos - 8)
            throw HostError(name + " has a truncated \"" + std::string(reinterpret_cast<const char*>(chunk), 4) + "\" chunk");
        const unsigned char* body = chunk + 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0)
        {
            if (size < 16)
                throw HostError(name + " has a format chunk shorter than 16 bytes");
            format = le16(body);
            channels = le16(body + 2);
            rate = le32(body + 4);
            bits = le16(body + 14);
            if (format == kExtensible && size >= 26)
                format = le16(body + 24);
            haveFormat = true;
        }
        else if (std::memcmp(chunk, "data", 4) == 0)
        {
            data = body;
            dataSize = size;
        }
        pos += 8 + size + (size & 1u);
    }
    if (!haveFormat)
        throw HostError(name + " has no format chunk");
    if (channels == 0)
        throw HostError(name + " declares no channels");
    if (rate == 0)
        throw HostError(name + " declares a sample rate of 0");
    const bool pcm16 = format == kPcm && bits == 16;
    const bool float32 = format == kFloat && bits == 32;
    if (!pcm16 && !float32)
        throw HostError(name + " uses an encoding this host does not read (format " + std::to_string(format) + ", " +
                        std::to_string(bits) + " bits); use 16-bit PCM or 32-bit float");

    WavAudio audio;
    audio.channels = channels;
    audio.sampleRate = rate;
    const std::size_t width = pcm16 ? 2 : 4;
    const std::size_t frameBytes = width * channels;
    const std::size_t frames = dataSize / frameBytes;
    audio.samples.resize(frames * channels);
    for (std::size_t i = 0; i < audio.samples.size(); ++i)
    {
        const unsigned char* p = data + i * width;
        if (pcm16)
            audio.samples[i] = static_cast<float>(static_cast<std::int16_t>(le16(p))) * (1.0f / 32768.0f);
        else
        {
            const std::uint32_t raw = le32(p);
            float v;
            std::memcpy(&v, &raw, sizeof v);
            audio.samples[i] = v;
        }
    }
    return audio;
}

void writeWavFloat(const std::filesystem::path& path, const WavAudio& audio)
{
    const std::string name = "\"" + pathToUtf8(path) + "\"";
    if (audio.channels == 0 || audio.channels > 0xFFFF)
        throw HostError("Cannot write " + name + ": " + std::to_string(audio.channels) + " channels");
    const std::uint64_t dataBytes = static_cast<std::uint64_t>(audio.samples.size()) * 4;
    if (dataBytes + 36 > 0xFFFFFFFFull)
        throw HostError("Cannot write " + name + ": more than 4 GiB of samples");
    std::vector<unsigned char> out;
    out.reserve(44 + static_cast<std::size_t>(dataBytes));
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    put32(out, static_cast<std::uint32_t>(dataBytes + 36));
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(out, 16);
    put16(out, kFloat);
    put16(out, static_cast<std::uint16_t>(audio.channels));
    put32(out, audio.sampleRate);
    put32(out, audio.sampleRate * audio.channels * 4);
    put16(out, static_cast<std::uint16_t>(audio.channels * 4));
    put16(out, 32);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    put32(out, static_cast<std::uint32_t>(dataBytes));
    for (float v : audio.samples)
    {
        std::uint32_t raw;
        std::memcpy(&raw, &v, sizeof raw);
        put32(out, raw);
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file)
        throw HostError("Cannot create " + name);
    file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    file.close();
    if (!file)
        throw HostError("Cannot write " + name + " completely");
}

} // namespace kestravel::plugins
