// An IBStream over a byte vector, as hosts use to save and restore module state.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "kestravel_host/com_object.h"
#include "pluginterfaces/base/ibstream.h"

namespace kestravel::plugins {

class MemoryStream final : public RefCountedObject<Steinberg::IBStream>
{
public:
    MemoryStream() = default;
    explicit MemoryStream(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    Steinberg::tresult PLUGIN_API read(void* buffer, Steinberg::int32 numBytes, Steinberg::int32* numBytesRead) override;
    Steinberg::tresult PLUGIN_API write(void* buffer, Steinberg::int32 numBytes, Steinberg::int32* numBytesWritten) override;
    Steinberg::tresult PLUGIN_API seek(Steinberg::int64 pos, Steinberg::int32 mode, Steinberg::int64* result) override;
    Steinberg::tresult PLUGIN_API tell(Steinberg::int64* pos) override;

    // A stream that takes at most `capacity` bytes in total: a longer write stores what fits,
    // reports that count and still returns kResultOk, as a full medium would.
    void limitCapacity(std::size_t capacity) { capacity_ = capacity; }

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    void rewind() { position_ = 0; }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t position_ = 0;
    std::size_t capacity_ = std::numeric_limits<std::size_t>::max();
};

} // namespace kestravel::plugins
