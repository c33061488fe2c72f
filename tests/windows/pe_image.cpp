#include "pe_image.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace kestravel::plugins {

namespace {

struct Section {
    uint32_t virtualAddress;
    uint32_t virtualSize;
    uint32_t rawOffset;
    uint32_t rawSize;
};

class Reader {
public:
    explicit Reader(std::vector<unsigned char> bytes) : data(std::move(bytes)) {}

    template <typename T>
    T at(size_t offset) const
    {
        if (offset > data.size() || data.size() - offset < sizeof(T))
            throw std::runtime_error("PE image truncated");
        T value;
        std::memcpy(&value, data.data() + offset, sizeof(T)); // little-endian host and file
        return value;
    }

    std::string textAt(size_t offset) const
    {
        std::string text;
        for (size_t i = offset; i < data.size(); ++i) {
            if (data[i] == 0)
                return text;
            text.push_back(static_cast<char>(data[i]));
        }
        throw std::runtime_error("PE string runs past the end of the file");
    }

    std::vector<Section> sections;

    size_t fileOffset(uint32_t rva) const
    {
        for (const Section& s : sections) {
            const uint32_t extent = s.virtualSize != 0 ? s.virtualSize : s.rawSize;
            if (rva >= s.virtualAddress && rva - s.virtualAddress < extent) {
                if (rva - s.virtualAddress >= s.rawSize)
                    throw std::runtime_error("PE address points into uninitialised data");
                return size_t{s.rawOffset} + (rva - s.virtualAddress);
            }
        }
        throw std::runtime_error("PE address outside every section");
    }

private:
    std::vector<unsigned char> data;
};

constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr size_t kExportDirectory = 0;
constexpr size_t kImportDirectory = 1;

} // namespace

PeImage readPeImage(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path.string());
    Reader r(std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {}));

    if (r.at<uint16_t>(0) != 0x5A4D)
        throw std::runtime_error("no MZ header");
    const size_t pe = r.at<uint32_t>(0x3C);
    if (r.at<uint32_t>(pe) != 0x00004550)
        throw std::runtime_error("no PE signature");

    PeImage image;
    const size_t coff = pe + 4;
    image.machine = r.at<uint16_t>(coff);
    const uint16_t sectionCount = r.at<uint16_t>(coff + 2);
    const uint16_t optionalSize = r.at<uint16_t>(coff + 16);
    image.characteristics = r.at<uint16_t>(coff + 18);

    const size_t optional = coff + 20;
    if (r.at<uint16_t>(optional) != kMagicPe32Plus)
        throw std::runtime_error("not a PE32+ (64-bit) image");
    const uint32_t directoryCount = r.at<uint32_t>(optional + 108);
    const size_t directories = optional + 112;

    const size_t sectionTable = optional + optionalSize;
    for (uint16_t i = 0; i < sectionCount; ++i) {
        const size_t s = sectionTable + size_t{i} * 40;
        r.sections.push_back({r.at<uint32_t>(s + 12), r.at<uint32_t>(s + 8), r.at<uint32_t>(s + 20),
                              r.at<uint32_t>(s + 16)});
    }

    if (directoryCount > kExportDirectory && r.at<uint32_t>(directories) != 0) {
        const size_t ed = r.fileOffset(r.at<uint32_t>(directories));
        image.exportName = r.textAt(r.fileOffset(r.at<uint32_t>(ed + 12)));
        const uint32_t nameCount = r.at<uint32_t>(ed + 24);
        const size_t names = r.fileOffset(r.at<uint32_t>(ed + 32));
        for (uint32_t i = 0; i < nameCount; ++i)
            image.exports.push_back(r.textAt(r.fileOffset(r.at<uint32_t>(names + size_t{i} * 4))));
    }

    if (directoryCount > kImportDirectory && r.at<uint32_t>(directories + 8) != 0) {
        // Import descriptors are 20 bytes each; an all-zero one ends the list.
        for (size_t d = r.fileOffset(r.at<uint32_t>(directories + 8));; d += 20) {
            const uint32_t nameRva = r.at<uint32_t>(d + 12);
            if (nameRva == 0 && r.at<uint32_t>(d) == 0)
                break;
            image.imports.push_back(r.textAt(r.fileOffset(nameRva)));
        }
    }
    return image;
}

} // namespace kestravel::plugins
