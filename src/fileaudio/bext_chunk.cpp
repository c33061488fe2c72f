#include "fileaudio/bext_chunk.h"

#include <algorithm>
#include <cstring>

namespace kestravel::plugins {

namespace {

// Field offsets inside the body (EBU Tech 3285 v2).
constexpr size_t kDescription = 0, kDescriptionBytes = 256;
constexpr size_t kOriginator = 256, kOriginatorBytes = 32;
constexpr size_t kReference = 288, kReferenceBytes = 32;
constexpr size_t kDate = 320, kDateBytes = 10;
constexpr size_t kTime = 330, kTimeBytes = 8;
constexpr size_t kTimeReferenceLow = 338;
constexpr size_t kTimeReferenceHigh = 342;
constexpr size_t kVersion = 346;

void putText(uint8_t* body, size_t offset, size_t slot, const std::string& text) noexcept
{
    std::memcpy(body + offset, text.data(), std::min(slot, text.size()));
}

std::string getText(const uint8_t* body, size_t offset, size_t slot)
{
    const auto* begin = reinterpret_cast<const char*>(body + offset);
    return std::string(begin, strnlen(begin, slot));
}

void put32(uint8_t* p, uint32_t v) noexcept
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t get32(const uint8_t* p) noexcept
{
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

} // namespace

std::array<uint8_t, kBextBodyBytes> encodeBext(const BextChunk& chunk) noexcept
{
    std::array<uint8_t, kBextBodyBytes> body{};
    putText(body.data(), kDescription, kDescriptionBytes, chunk.description);
    putText(body.data(), kOriginator, kOriginatorBytes, chunk.originator);
    putText(body.data(), kReference, kReferenceBytes, chunk.originatorReference);
    putText(body.data(), kDate, kDateBytes, chunk.originationDate);
    putText(body.data(), kTime, kTimeBytes, chunk.originationTime);
    put32(&body[kTimeReferenceLow], static_cast<uint32_t>(chunk.timeReference));
    put32(&body[kTimeReferenceHigh], static_cast<uint32_t>(chunk.timeReference >> 32));
    body[kVersion] = static_cast<uint8_t>(chunk.version);
    body[kVersion + 1] = static_cast<uint8_t>(chunk.version >> 8);
    // UMID, loudness fields and the reserved bytes stay zero: "not known".
    return body;
}

std::optional<BextChunk> decodeBext(const uint8_t* body, uint32_t size)
{
    if (body == nullptr || size < kBextTimeReferenceEnd)
        return std::nullopt;
    BextChunk chunk;
    chunk.description = getText(body, kDescription, kDescriptionBytes);
    chunk.originator = getText(body, kOriginator, kOriginatorBytes);
    chunk.originatorReference = getText(body, kReference, kReferenceBytes);
    chunk.originationDate = getText(body, kDate, kDateBytes);
    chunk.originationTime = getText(body, kTime, kTimeBytes);
    chunk.timeReference = uint64_t{get32(body + kTimeReferenceLow)} | uint64_t{get32(body + kTimeReferenceHigh)} << 32;
    chunk.version = size >= kVersion + 2 ? static_cast<uint16_t>(body[kVersion] | body[kVersion + 1] << 8) : 0;
    return chunk;
}

std::string makeTakeReference(uint64_t bits)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string reference = "KTAKE-";
    for (int shift = 60; shift >= 0; shift -= 4)
        reference += kHex[(bits >> shift) & 0xF];
    return reference;
}

bool continuesTake(const BextChunk& first, uint64_t framesBefore, const BextChunk& candidate) noexcept
{
    return !first.originatorReference.empty() && candidate.originatorReference == first.originatorReference
           && candidate.timeReference == first.timeReference + framesBefore;
}

} // namespace kestravel::plugins
