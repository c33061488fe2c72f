#include "kestravel_host/memory_stream.h"

#include <algorithm>
#include <cstring>

namespace kestravel::plugins {

using namespace Steinberg;

tresult PLUGIN_API MemoryStream::read(void* buffer, int32 numBytes, int32* numBytesRead)
{
    if (numBytesRead != nullptr)
        *numBytesRead = 0;
    if (numBytes < 0 || (buffer == nullptr && numBytes > 0))
        return kInvalidArgument;
    const std::size_t available = position_ < bytes_.size() ? bytes_.size() - position_ : 0;
    const std::size_t n = std::min(available, static_cast<std::size_t>(numBytes));
    if (n > 0)
        std::memcpy(buffer, bytes_.data() + position_, n);
    position_ += n;
    if (numBytesRead != nullptr)
        *numBytesRead = static_cast<int32>(n);
    return kResultOk;
}

tresult PLUGIN_API MemoryStream::write(void* buffer, int32 numBytes, int32* numBytesWritten)
{
    if (numBytesWritten != nullptr)
        *numBytesWritten = 0;
    if (numBytes < 0 || (buffer == nullptr && numBytes > 0))
        return kInvalidArgument;
    const std::size_t room = position_ < capacity_ ? capacity_ - position_ : 0;
    const std::size_t n = std::min(room, static_cast<std::size_t>(numBytes));
    if (n > 0)
    {
        if (bytes_.size() < position_ + n)
            bytes_.resize(position_ + n);
        std::memcpy(bytes_.data() + position_, buffer, n);
    }
    position_ += n;
    if (numBytesWritten != nullptr)
        *numBytesWritten = static_cast<int32>(n);
    return kResultOk;
}

tresult PLUGIN_API MemoryStream::seek(int64 pos, int32 mode, int64* result)
{
    int64 base = 0;
    switch (mode)
    {
    case IBStream::kIBSeekSet: base = 0; break;
    case IBStream::kIBSeekCur: base = static_cast<int64>(position_); break;
    case IBStream::kIBSeekEnd: base = static_cast<int64>(bytes_.size()); break;
    default: return kInvalidArgument;
    }
    const int64 target = base + pos;
    if (target < 0)
        return kInvalidArgument;
    position_ = static_cast<std::size_t>(target);
    if (result != nullptr)
        *result = target;
    return kResultOk;
}

tresult PLUGIN_API MemoryStream::tell(int64* pos)
{
    if (pos == nullptr)
        return kInvalidArgument;
    *pos = static_cast<int64>(position_);
    return kResultOk;
}

} // namespace kestravel::plugins
