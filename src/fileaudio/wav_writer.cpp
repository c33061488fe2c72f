#include "fileaudio/wav_writer.h"

#include <cstring>

namespace kestravel::plugins {

namespace {
void put16(uint8_t* p, uint32_t v) noexcept
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t* p, uint32_t v) noexcept
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// A chunk head; returns the position after it.
size_t chunk(std::vector<uint8_t>& h, size_t at, const char* id, uint32_t size) noexcept
{
    std::memcpy(&h[at], id, 4);
    put32(&h[at + 4], size);
    return at + 8;
}
} // namespace

std::vector<uint8_t> makeTakeHeader(uint32_t channels, uint32_t sampleRate, uint32_t dataBytes,
                                    const BextChunk* bext)
{
    const uint32_t headerBytes = takeHeaderBytes(bext != nullptr);
    std::vector<uint8_t> h(headerBytes);
    size_t at = chunk(h, 0, "RIFF", dataBytes + headerBytes - 8);
    std::memcpy(&h[at], "WAVE", 4);
    at = chunk(h, at + 4, "fmt ", bext ? 18 : 16);
    put16(&h[at], 3); // IEEE float
    put16(&h[at + 2], channels);
    put32(&h[at + 4], sampleRate);
    put32(&h[at + 8], sampleRate * channels * 4);
    put16(&h[at + 12], channels * 4);
    put16(&h[at + 14], 32);
    at += 16;
    if (bext) {
        put16(&h[at], 0); // cbSize: nothing follows the format
        at = chunk(h, at + 2, "fact", 4);
        put32(&h[at], channels ? dataBytes / (channels * 4) : 0);
        at = chunk(h, at + 4, "bext", kBextBodyBytes);
        const auto body = encodeBext(*bext);
        std::memcpy(&h[at], body.data(), body.size());
        at += body.size();
    }
    chunk(h, at, "data", dataBytes);
    return h;
}

} // namespace kestravel::plugins
