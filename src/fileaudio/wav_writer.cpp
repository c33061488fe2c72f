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
} // namespace

std::array<uint8_t, kWavHeaderBytes> makeWavHeader(uint32_t channels, uint32_t sampleRate,
                                                   uint32_t dataBytes) noexcept
{
    std::array<uint8_t, kWavHeaderBytes> h{};
    std::memcpy(&h[0], "RIFF", 4);
    put32(&h[4], dataBytes + 36);
    std::memcpy(&h[8], "WAVE", 4);
    std::memcpy(&h[12], "fmt ", 4);
    put32(&h[16], 16);
    put16(&h[20], 3); // IEEE float
    put16(&h[22], channels);
    put32(&h[24], sampleRate);
    put32(&h[28], sampleRate * channels * 4);
    put16(&h[32], channels * 4);
    put16(&h[34], 32);
    std::memcpy(&h[36], "data", 4);
    put32(&h[40], dataBytes);
    return h;
}

} // namespace kestravel::plugins
