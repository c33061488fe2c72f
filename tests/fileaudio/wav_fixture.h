#pragma once
// WAV files built byte by byte for the tests, and a scratch directory that cleans up after itself.

#include "core/text_utf.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace kestravel::plugins::testing {

using Bytes = std::vector<uint8_t>;

inline void put16(Bytes& b, uint32_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

inline void put32(Bytes& b, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline uint32_t get32(const Bytes& b, size_t at)
{
    return uint32_t{b[at]} | (uint32_t{b[at + 1]} << 8) | (uint32_t{b[at + 2]} << 16) |
           (uint32_t{b[at + 3]} << 24);
}

inline uint16_t get16(const Bytes& b, size_t at)
{
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

struct Chunk {
    std::string id;
    Bytes body;
    std::optional<uint32_t> declaredSize{}; // when the header should lie about the body
    bool pad = true;                        // odd bodies get their pad byte
};

// A "fmt " body; size grows it with zeros (at least 16 bytes are always produced).
inline Bytes fmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t blockAlign,
                     uint16_t bits, size_t size = 16)
{
    Bytes b;
    put16(b, tag);
    put16(b, channels);
    put32(b, rate);
    put32(b, rate * blockAlign);
    put16(b, blockAlign);
    put16(b, bits);
    b.resize(std::max<size_t>(size, 16), 0);
    return b;
}

// An extensible "fmt " body (40 bytes) whose sub-format starts with subTag.
inline Bytes extensibleFmtBody(uint16_t subTag, uint16_t channels, uint32_t rate,
                               uint16_t blockAlign, uint16_t bits, size_t size = 40)
{
    Bytes b = fmtBody(0xFFFE, channels, rate, blockAlign, bits, 16);
    put16(b, 22);   // extension size
    put16(b, bits); // valid bits
    put32(b, 3);    // channel mask
    put16(b, subTag);
    const uint8_t rest[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                              0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    b.insert(b.end(), rest, rest + 14);
    b.resize(size, 0);
    return b;
}

inline Bytes riffFile(const std::vector<Chunk>& chunks, std::optional<uint32_t> riffSize = {})
{
    Bytes body;
    for (const Chunk& c : chunks) {
        body.insert(body.end(), c.id.begin(), c.id.end());
        put32(body, c.declaredSize.value_or(static_cast<uint32_t>(c.body.size())));
        body.insert(body.end(), c.body.begin(), c.body.end());
        if (c.pad && (c.body.size() & 1))
            body.push_back(0);
    }
    Bytes file = {'R', 'I', 'F', 'F'};
    put32(file, riffSize.value_or(static_cast<uint32_t>(body.size() + 4)));
    file.insert(file.end(), {'W', 'A', 'V', 'E'});
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

// A plain file of one format: "fmt " then "data".
inline Bytes simpleWav(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                       const Bytes& data)
{
    const auto align = static_cast<uint16_t>(channels * ((bits + 7) / 8));
    return riffFile({{"fmt ", fmtBody(tag, channels, rate, align, bits)}, {"data", data}});
}

inline Bytes floatData(const std::vector<float>& samples)
{
    Bytes b(samples.size() * 4);
    std::memcpy(b.data(), samples.data(), b.size());
    return b;
}

inline Bytes randomBytes(size_t n, uint32_t seed)
{
    std::mt19937 gen(seed);
    Bytes b(n);
    for (auto& x : b)
        x = static_cast<uint8_t>(gen());
    return b;
}

inline Bytes readAll(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeAll(const std::filesystem::path& p, const Bytes& bytes)
{
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << p;
}

inline std::u16string u16(const std::filesystem::path& p)
{
#ifdef _WIN32
    const std::wstring w = p.native();
    return std::u16string(w.begin(), w.end());
#else
    return utf8ToUtf16(p.native()).value();
#endif
}

// A fresh directory per test, removed with everything in it.
class TempDir {
public:
    TempDir()
    {
        static std::atomic<int> counter{0};
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = "kestravel-";
        if (info)
            name += std::string(info->test_suite_name()) + "-" + info->name();
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-')
                c = '_';
        dir = std::filesystem::temp_directory_path() /
              (name + "-" + std::to_string(counter++) + "-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(dir);
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::permissions(dir, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(dir, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::filesystem::path path(const std::string& name) const { return dir / name; }
    std::u16string wide(const std::string& name) const { return u16(dir / name); }
    std::filesystem::path dir;
};

} // namespace kestravel::plugins::testing
