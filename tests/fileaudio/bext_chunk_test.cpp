#include "fileaudio/bext_chunk.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kestravel::plugins {
namespace {

TEST(BextChunk, FieldsSitAtTheirPublishedOffsets)
{
    BextChunk chunk;
    chunk.description = "Bass DI";
    chunk.originator = "KESTRAVEL RECORDER";
    chunk.originatorReference = makeTakeReference(0x0123456789ABCDEFull);
    chunk.originationDate = "2026-12-10";
    chunk.originationTime = "18:30:05";
    chunk.timeReference = 0x0000000500000007ull;
    const auto body = encodeBext(chunk);

    EXPECT_EQ(0, std::memcmp(&body[0], "Bass DI\0", 8));
    EXPECT_EQ(0, std::memcmp(&body[256], "KESTRAVEL RECORDER", 18));
    EXPECT_EQ(0, std::memcmp(&body[288], "KTAKE-0123456789ABCDEF", 22));
    EXPECT_EQ(0, std::memcmp(&body[320], "2026-12-1018:30:05", 18));
    const uint8_t timeReference[8] = {7, 0, 0, 0, 5, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(&body[338], timeReference, 8));
    EXPECT_EQ(body[346], 2);
    EXPECT_EQ(body[347], 0);
    for (size_t i = 348; i < body.size(); ++i)
        ASSERT_EQ(body[i], 0) << "byte " << i;

    const auto back = decodeBext(body.data(), kBextBodyBytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->description, chunk.description);
    EXPECT_EQ(back->originatorReference, chunk.originatorReference);
    EXPECT_EQ(back->originationTime, chunk.originationTime);
    EXPECT_EQ(back->timeReference, chunk.timeReference);
    EXPECT_EQ(back->version, 2);
}

TEST(BextChunk, FullSlotsHaveNoTerminatorAndLongTextIsCut)
{
    BextChunk chunk;
    chunk.originator = std::string(40, 'x');
    const auto body = encodeBext(chunk);
    EXPECT_EQ(body[256 + 31], 'x');
    EXPECT_EQ(body[288], 0); // the next field starts clean
    EXPECT_EQ(decodeBext(body.data(), kBextBodyBytes)->originator, std::string(32, 'x'));
}

TEST(BextChunk, ShortBodiesAreReadAsFarAsTheyGo)
{
    BextChunk chunk;
    chunk.timeReference = 48000;
    const auto body = encodeBext(chunk);
    EXPECT_FALSE(decodeBext(body.data(), kBextTimeReferenceEnd - 1));
    EXPECT_FALSE(decodeBext(nullptr, kBextBodyBytes));
    const auto old = decodeBext(body.data(), kBextTimeReferenceEnd);
    ASSERT_TRUE(old);
    EXPECT_EQ(old->timeReference, 48000u);
    EXPECT_EQ(old->version, 0);
}

TEST(BextChunk, APartContinuesOnlyItsOwnTake)
{
    BextChunk first;
    first.originatorReference = makeTakeReference(1);
    first.timeReference = 1000;
    struct Case {
        const char* what;
        std::string reference;
        uint64_t timeReference;
        bool joins;
    } cases[] = {
        {"same take, next frame", makeTakeReference(1), 1500, true},
        {"same take, a gap", makeTakeReference(1), 1501, false},
        {"another take", makeTakeReference(2), 1500, false},
        {"no identity", "", 1500, false},
    };
    for (const auto& c : cases) {
        BextChunk candidate;
        candidate.originatorReference = c.reference;
        candidate.timeReference = c.timeReference;
        EXPECT_EQ(continuesTake(first, 500, candidate), c.joins) << c.what;
    }
    BextChunk anonymous;
    EXPECT_FALSE(continuesTake(anonymous, 0, anonymous)) << "two files without identity are not one take";
}

} // namespace
} // namespace kestravel::plugins
