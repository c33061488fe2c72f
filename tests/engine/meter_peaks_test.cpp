// Meter peaks: what the audio thread leaves for the editor's meters.
#include "engine_fixture.h"

#include "engine/meter_peaks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace kestravel::plugins::test {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

TEST(MeterPeaks, PeakOfCountsMagnitudesAndNonFiniteAsInfinity)
{
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* name;
        std::vector<double> samples;
        float peak;
    };
    const Case cases[] = {
        {"silence", {0.0, -0.0, 0.0}, 0.0f},
        {"negative wins", {0.25, -0.75, 0.5}, 0.75f},
        {"above full scale", {1.5, -0.1}, 1.5f},
        {"NaN", {0.1, std::nan(""), 0.2}, inf},
        {"minus infinity", {-std::numeric_limits<double>::infinity()}, inf},
        {"denormal is sound", {1e-310}, 0.0f}, // narrowed to float it is 0, yet not negative
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<float> f(c.samples.begin(), c.samples.end());
        EXPECT_EQ(peakOf(c.samples.data(), static_cast<int32_t>(c.samples.size())), c.peak);
        if (std::string(c.name) != "denormal is sound") {
            EXPECT_EQ(peakOf(f.data(), static_cast<int32_t>(f.size())), c.peak);
        }
    }
}

// Inputs are read before a kernel that writes in place; outputs as the host reads them; the
// largest block survives until the editor takes it, then the channel starts from 0.
TEST(MeterPeaks, BlocksRaiseThePeaksUntilTheyAreTaken)
{
    auto core = makeCore(DISTRIBUTOR, 32);
    core->paramValues[kGainParam].store(15.0 / 17.0 - 6.0 / 102.0); // -6 dB
    HostBlock<float> host(32, {2}, {2});
    host.fillInput(0, 0, [](size_t i) { return i == 7 ? -0.5f : 0.1f; });
    host.fillInput(0, 1, [](size_t) { return 0.0f; });
    host.setOutputPointer(0, 0, host.in(0, 0)); // in place
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    host.fillInput(0, 0, [](size_t) { return 0.2f; }); // a quieter second block
    host.setOutputPointer(0, 0, host.out(0, 0));
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);

    EXPECT_EQ(core->meters.take(MeterSide::Input, 0, 0), 0.5f);
    EXPECT_EQ(core->meters.take(MeterSide::Input, 0, 0), 0.0f); // taken
    EXPECT_EQ(core->meters.take(MeterSide::Input, 0, 1), 0.0f);
    EXPECT_NEAR(core->meters.take(MeterSide::Output, 0, 0), 0.5f * std::pow(10.0, -6.0 / 20.0), 1e-4);
    for (const auto& [bus, channel] : {std::pair{-1, 0}, {64, 0}, {0, 64}, {0, -1}})
        EXPECT_EQ(core->meters.take(MeterSide::Output, bus, channel), 0.0f);
}

// Only what the editor shows is metered: OUTPUT's input is not, RECORDER's output is not.
TEST(MeterPeaks, OnlyTheBusesTheEditorShows)
{
    for (const ModuleKind kind : {OUTPUT, RECORDER}) {
        auto core = makeCore(kind, 16);
        HostBlock<float> host(16, {2}, {2});
        host.fillInput(0, 0, [](size_t) { return 0.5f; });
        ASSERT_EQ(processBlock(*core, host.data), kResultOk);
        EXPECT_EQ(core->meters.take(MeterSide::Input, 0, 0), kind == RECORDER ? 0.5f : 0.0f);
        EXPECT_EQ(core->meters.take(MeterSide::Output, 0, 0), kind == RECORDER ? 0.0f : 0.5f);
    }
}

// Missing channel pointers, a block without samples and switched-off metering leave the peaks
// alone; non-finite input shows as a clip although the output is scrubbed.
TEST(MeterPeaks, OddBlocksAndNonFiniteInput)
{
    auto core = makeCore(DISTRIBUTOR, 16);
    HostBlock<double> host(16, {2}, {2});
    host.fillInput(0, 0, [](size_t i) { return i == 3 ? std::nan("") : 0.5; });
    host.fillInput(0, 1, [](size_t) { return 0.9; });
    host.setInputPointer(0, 1, nullptr);
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    EXPECT_EQ(core->meters.take(MeterSide::Input, 0, 0), std::numeric_limits<float>::infinity());
    EXPECT_EQ(core->meters.take(MeterSide::Input, 0, 1), 0.0f);
    EXPECT_LT(core->meters.take(MeterSide::Output, 0, 0), 1.0f);

    host.data.numSamples = 0;
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    core->meters.enabled = false;
    host.data.numSamples = 16;
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    EXPECT_EQ(core->meters.take(MeterSide::Input, 0, 0), 0.0f);
}

// DISTRIBUTOR's open branches are copies of one stage and show its level; a closed one shows none.
TEST(MeterPeaks, OpenBranchesShowTheStageClosedOnesNothing)
{
    auto core = makeCore(DISTRIBUTOR, 32);
    core->paramValues[kActiveStripsParam].store(1.0 / 63.0); // two of three branches
    HostBlock<float> host(32, {2}, {2, 2, 2});
    host.fillInput(0, 0, [](size_t) { return 0.25f; });
    host.fillInput(0, 1, [](size_t) { return -0.5f; });
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    for (int32 b = 0; b < 3; ++b) {
        EXPECT_EQ(core->meters.take(MeterSide::Output, b, 0), b < 2 ? 0.25f : 0.0f) << b;
        EXPECT_EQ(core->meters.take(MeterSide::Output, b, 1), b < 2 ? 0.5f : 0.0f) << b;
    }
}

// A lane that is off leaves its input channel to the kernel unread; the meter still shows it,
// at the latest one block after the lane was switched off.
TEST(MeterPeaks, InputChannelsTheKernelLeavesUnreadAreMeteredToo)
{
    auto core = makeCore(BREAKOUT, 32);
    core->paramValues[kActiveStripsParam].store(1.0 / 63.0); // two lanes
    HostBlock<float> host(32, {4}, {1, 1, 1, 1});
    for (size_t c = 0; c < 4; ++c)
        host.fillInput(0, c, [c](size_t) { return 0.1f * static_cast<float>(c + 3); });
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    for (int32 c = 0; c < 4; ++c)
        EXPECT_FLOAT_EQ(core->meters.take(MeterSide::Input, 0, c), 0.1f * static_cast<float>(c + 3)) << c;

    core->paramValues[kActiveStripsParam].store(0.0); // one lane: channel 1 goes unread
    float seen = 0.0f;
    for (int block = 0; block < 2; ++block) {
        ASSERT_EQ(processBlock(*core, host.data), kResultOk);
        seen = core->meters.take(MeterSide::Input, 0, 1);
    }
    EXPECT_FLOAT_EQ(seen, 0.4f);
}

// Peaks wait in the audio thread until the editor has looked or 1024 samples have passed; none
// is lost on the way.
TEST(MeterPeaks, NoPeakIsLostBetweenLooks)
{
    auto core = makeCore(OUTPUT, 32);
    HostBlock<float> host(32, {2}, {2});
    auto play = [&](float level) {
        host.fillInput(0, 0, [level](size_t i) { return i == 9 ? level : 0.01f; });
        ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    };
    play(0.01f);
    core->meters.take(MeterSide::Output, 0, 0);
    for (int block = 0; block < 100; ++block) // 3200 samples without a look
        play(block == 50 ? 0.5f : 0.01f);
    EXPECT_EQ(core->meters.take(MeterSide::Output, 0, 0), 0.5f);

    play(0.75f); // the last block before a look
    const float first = core->meters.take(MeterSide::Output, 0, 0);
    play(0.01f);
    const float second = core->meters.take(MeterSide::Output, 0, 0);
    EXPECT_EQ(std::max(first, second), 0.75f);
}

} // namespace
} // namespace kestravel::plugins::test
