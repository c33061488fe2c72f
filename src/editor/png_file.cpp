#include "editor/png_file.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <vector>

namespace kestravel::plugins {

namespace {

const std::array<uint32_t, 256>& crcTable()
{
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    return table;
}

uint32_t crc32(const uint8_t* data, size_t size, uint32_t crc = 0xFFFFFFFFu)
{
    const auto& table = crcTable();
    for (size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFFu] ^ (crc >> 8);
    return crc;
}

void putBe32(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v >> 24));
    out.push_back(static_cast<uint8_t>(v >> 16));
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

void putChunk(std::vector<uint8_t>& out, const char type[4], const std::vector<uint8_t>& body)
{
    putBe32(out, static_cast<uint32_t>(body.size()));
    const size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), body.begin(), body.end());
    putBe32(out, crc32(out.data() + typeAt, body.size() + 4) ^ 0xFFFFFFFFu);
}

// A zlib stream of stored blocks (at most 65535 bytes each) with its Adler-32.
std::vector<uint8_t> zlibStored(const std::vector<uint8_t>& raw)
{
    std::vector<uint8_t> out{0x78, 0x01};
    size_t at = 0;
    do {
        const size_t n = std::min<size_t>(65535, raw.size() - at);
        const bool last = at + n == raw.size();
        out.push_back(last ? 1 : 0);
        out.push_back(static_cast<uint8_t>(n));
        out.push_back(static_cast<uint8_t>(n >> 8));
        out.push_back(static_cast<uint8_t>(~n));
        out.push_back(static_cast<uint8_t>(~n >> 8));
        out.insert(out.end(), raw.begin() + static_cast<ptrdiff_t>(at), raw.begin() + static_cast<ptrdiff_t>(at + n));
        at += n;
    } while (at < raw.size());
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521u;
        b = (b + a) % 65521u;
    }
    putBe32(out, (b << 16) | a);
    return out;
}

} // namespace

bool writePngFile(const std::string& utf8Path, const uint32_t* argb, int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0 || !argb)
        return false;
    const auto w = static_cast<size_t>(width);
    const auto h = static_cast<size_t>(height);

    std::vector<uint8_t> raw;
    raw.reserve(h * (1 + 3 * w));
    for (size_t y = 0; y < h; ++y) {
        raw.push_back(0); // no filter
        for (size_t x = 0; x < w; ++x) {
            const uint32_t p = argb[y * w + x];
            raw.push_back(static_cast<uint8_t>(p >> 16));
            raw.push_back(static_cast<uint8_t>(p >> 8));
            raw.push_back(static_cast<uint8_t>(p));
        }
    }

    std::vector<uint8_t> file{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    putBe32(header, static_cast<uint32_t>(width));
    putBe32(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0}); // 8 bits, RGB, deflate, no filter choice, not interlaced
    putChunk(file, "IHDR", header);
    putChunk(file, "IDAT", zlibStored(raw));
    putChunk(file, "IEND", {});

    // A UTF-8 path reaches the wide file calls on Windows through u8string.
    const std::filesystem::path path(std::u8string(utf8Path.begin(), utf8Path.end()));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    out.close();
    return static_cast<bool>(out);
}

} // namespace kestravel::plugins
