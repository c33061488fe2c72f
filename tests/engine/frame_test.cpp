// The block frame: what a block must look like, the clock, gathering the change points, and
// walking the block in sub-blocks.

#include "engine_fixture.h"
#include "host_fakes.h"

#include "engine/transport_sync.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>

namespace kestravel::plugins::test {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct ValidationCase {
    std::string name;
    std::function<void(ProcessData&, HostBlock<float>&)> mutate;
    tresult expected;
};

TEST(BlockFrame, MalformedBlocksChangeNothing)
{
    static std::vector<AudioBusBuffers> dummyBuses(65);
    const std::vector<ValidationCase> cases = {
        {"block of exactly maxBlockSize", [](ProcessData&, HostBlock<float>&) {}, kResultOk},
        {"one sample over maxBlockSize", [](ProcessData& d, HostBlock<float>&) { d.numSamples = 257; },
         kInvalidArgument},
        {"negative sample count", [](ProcessData& d, HostBlock<float>&) { d.numSamples = -1; },
         kInvalidArgument},
        {"65 input buses",
         [&](ProcessData& d, HostBlock<float>&) {
             d.numInputs = 65;
             d.inputs = dummyBuses.data();
         },
         kInvalidArgument},
        {"negative output bus count", [](ProcessData& d, HostBlock<float>&) { d.numOutputs = -1; },
         kInvalidArgument},
        {"two outputs without an array",
         [](ProcessData& d, HostBlock<float>&) {
             d.numOutputs = 2;
             d.outputs = nullptr;
         },
         kInvalidArgument},
        {"an input without an array", [](ProcessData& d, HostBlock<float>&) { d.inputs = nullptr; },
         kInvalidArgument},
        {"a bus with 65 channels",
         [](ProcessData&, HostBlock<float>& h) { h.outputs[0].numChannels = 65; }, kInvalidArgument},
        {"a bus with a negative channel count",
         [](ProcessData&, HostBlock<float>& h) { h.inputs[0].numChannels = -2; }, kInvalidArgument},
        {"no outputs and no array",
         [](ProcessData& d, HostBlock<float>&) {
             d.numOutputs = 0;
             d.outputs = nullptr;
         },
         kResultOk},
        {"64 channels on a bus", [](ProcessData&, HostBlock<float>&) {}, kResultOk},
    };
    for (const auto& c : cases) {
        auto core = makeCore(INPUT, 256);
        core->sampleClock = 1000;
        HostBlock<float> host(256, {64}, {2});
        host.fillInput(0, 0, [](size_t) { return 0.5; });
        host.fillOutputs(7.0f);
        host.useContext(ProcessContext::kContTimeValid, 48000);
        FakeChanges changes{FakeQueue(kGainParam, {{0, 0.25}})};
        host.data.inputParameterChanges = &changes;
        c.mutate(host.data, host);

        EXPECT_EQ(processBlock(*core, host.data), c.expected) << c.name;
        if (c.expected == kInvalidArgument) {
            EXPECT_EQ(core->sampleClock, 1000) << c.name;
            EXPECT_EQ(core->paramValues[kGainParam].load(), 15.0 / 17.0) << c.name;
            EXPECT_EQ(host.out(0, 0, 0), 7.0f) << c.name;
            EXPECT_EQ(changes.queueReads, 0) << c.name;
        } else {
            EXPECT_EQ(core->paramValues[kGainParam].load(), 0.25) << c.name;
        }
    }
}

struct ClockCase {
    std::string name;
    int64_t initial;
    bool context;
    uint32_t state;
    int64_t time;
    int32 samples;
    int32 blocks;
    int64_t expected;
};

TEST(BlockFrame, ClockFollowsContinuousTimeElseRunsOn)
{
    const uint32_t valid = ProcessContext::kContTimeValid;
    const std::vector<ClockCase> cases = {
        {"no context: two blocks from 1000", 1000, false, 0, 0, 512, 2, 2024},
        {"valid time replaces the clock", 1000, true, valid, 48000, 512, 1, 48512},
        {"valid time each block", 0, true, valid, 96000, 512, 3, 96512},
        {"time without the valid bit", 1000, true, ProcessContext::kPlaying, 48000, 512, 1, 1512},
        {"negative time", 1000, true, valid, -5, 512, 1, 1512},
        {"empty block keeps the clock", 1000, false, 0, 0, 0, 1, 1000},
        {"empty block takes a valid time", 1000, true, valid, 500, 0, 1, 500},
        {"near the top the clock saturates", 0, true, valid, std::numeric_limits<int64_t>::max() - 3,
         512, 1, std::numeric_limits<int64_t>::max()},
    };
    for (const auto& c : cases) {
        auto core = makeCore(OUTPUT, 512);
        core->sampleClock = c.initial;
        HostBlock<float> host(c.samples, {2}, {2});
        if (c.context)
            host.useContext(c.state, c.time);
        for (int32 b = 0; b < c.blocks; ++b)
            ASSERT_EQ(processBlock(*core, host.data), kResultOk) << c.name;
        EXPECT_EQ(core->sampleClock, c.expected) << c.name;
    }
}

struct PointCase {
    std::string name;
    ParamID id;
    QueuePoint point;
    uint32_t slot;
    double expected;
};

TEST(BlockFrame, PointsAreCheckedClampedAndStored)
{
    const std::vector<PointCase> cases = {
        {"in range", 7, {10, 0.25}, 7, 0.25},
        {"above 1 clamps", 7, {10, 1.5}, 7, 1.0},
        {"below 0 clamps", 7, {10, -0.25}, 7, 0.0},
        {"NaN is dropped", 1, {10, kNan}, 1, 15.0 / 17.0},
        {"infinity is dropped", 1, {10, kInf}, 1, 15.0 / 17.0},
        {"refused by the queue", 7, {10, 0.5, kResultFalse}, 7, 0.0},
        {"negative offset", 7, {-1, 0.5}, 7, 0.0},
        {"offset past the block", 7, {257, 0.5}, 7, 0.0},
        {"offset at the end is never applied", 7, {256, 0.5}, 7, 0.0},
        {"last sample", 7, {255, 0.5}, 7, 0.5},
        {"highest slot", 511, {0, 0.75}, 511, 0.75},
    };
    for (const auto& c : cases) {
        auto core = makeCore(OUTPUT, 512);
        HostBlock<float> host(256, {2}, {2});
        FakeChanges changes{FakeQueue(c.id, {c.point})};
        host.data.inputParameterChanges = &changes;
        ASSERT_EQ(processBlock(*core, host.data), kResultOk) << c.name;
        EXPECT_EQ(core->paramValues[c.slot].load(), c.expected) << c.name;
    }
}

TEST(BlockFrame, IdsPastTheSlotsAreIgnoredAndSyncCodesActOnEveryKind)
{
    auto core = makeCore(OUTPUT, 512);
    HostBlock<float> host(64, {2}, {2});
    FakeChanges changes{FakeQueue(700, {{0, 0.5}}), FakeQueue(512, {{0, 0.5}}),
                        FakeQueue(kSyncStartCode, {{3, 0.9}})};
    host.data.inputParameterChanges = &changes;
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    EXPECT_EQ(core->paramValues[kFollowTransportParam].load(), 0.0);
    EXPECT_EQ(core->paramValues[kPlayRecordParam].load(), 1.0);
    EXPECT_TRUE(core->syncRunning);

    FakeChanges stop{FakeQueue(kSyncStopCode, {{0, 0.0}})};
    host.data.inputParameterChanges = &stop;
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    EXPECT_EQ(core->paramValues[kPlayRecordParam].load(), 0.0);
    EXPECT_FALSE(core->syncRunning);
}

TEST(BlockFrame, GatheringStopsAtItsLimits)
{
    auto points = [](int n, int32 offset, double scale) {
        std::vector<QueuePoint> p;
        for (int k = 0; k < n; ++k)
            p.push_back({offset, k / scale});
        return p;
    };
    struct LimitCase {
        std::string name;
        std::function<void(FakeChanges&)> build;
        uint32_t slot;
        double expected; // the last point gathered wins at a shared offset
    };
    const std::vector<LimitCase> cases = {
        {"one queue of 5000 points keeps 4096",
         [&](FakeChanges& c) { c.add(FakeQueue(5, points(5000, 0, 5000.0))); }, 5, 4095 / 5000.0},
        {"600 queues: only 512 are read",
         [&](FakeChanges& c) {
             for (int q = 0; q < 600; ++q)
                 c.add(FakeQueue(5, {{0, q / 1000.0}}));
         },
         5, 511 / 1000.0},
        {"4096 points in all",
         [&](FakeChanges& c) {
             c.add(FakeQueue(5, points(2000, 0, 2000.0)));
             c.add(FakeQueue(6, points(2000, 0, 2000.0)));
             c.add(FakeQueue(7, points(2000, 0, 2000.0)));
         },
         7, 95 / 2000.0},
        {"null queues are skipped",
         [&](FakeChanges& c) {
             c.add(FakeQueue(5, {{0, 0.5}}));
             c.queues.insert(c.queues.begin(), nullptr);
         },
         5, 0.5},
    };
    for (const auto& c : cases) {
        auto core = makeCore(OUTPUT, 512);
        HostBlock<float> host(32, {2}, {2});
        FakeChanges changes;
        c.build(changes);
        host.data.inputParameterChanges = &changes;
        ASSERT_EQ(processBlock(*core, host.data), kResultOk) << c.name;
        EXPECT_EQ(core->paramValues[c.slot].load(), c.expected) << c.name;
    }
}

// Points at 0 and 128 split a 256-sample block in two: the first value rules [0, 128), the
// second [128, 256), each ramp starting at its own sample.
TEST(BlockFrame, PointsSplitTheBlockAtTheirSamples)
{
    auto core = makeCore(INPUT, 512);
    HostBlock<float> host(256, {2}, {2});
    host.fillInput(0, 0, [](size_t i) { return 0.25 + static_cast<double>(i) / 1024.0; });
    ASSERT_EQ(processBlock(*core, host.data), kResultOk); // primes at 0 dB

    // Points arrive out of order and from two queues.
    FakeChanges changes{FakeQueue(kGainParam, {{128, 0.3}}), FakeQueue(kGainParam, {{0, 0.6}})};
    host.data.inputParameterChanges = &changes;
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);

    RefSmoother master{1.0};
    std::vector<double> gains = master.call(refLinear(0.6), 128);
    const std::vector<double> second = master.call(refLinear(0.3), 128);
    gains.insert(gains.end(), second.begin(), second.end());
    for (size_t i = 0; i < 256; ++i)
        ASSERT_TRUE(sameBits(host.out(0, 0, i), refWritten<float>(host.in(0, 0, i) * gains[i])))
            << i;
    EXPECT_EQ(core->masterGainState, master.value);
    EXPECT_EQ(core->paramValues[kGainParam].load(), 0.3);
}

TEST(BlockFrame, EmptyBlockAppliesPointsAtZeroOnly)
{
    auto core = makeCore(INPUT, 512);
    core->sampleClock = 700;
    HostBlock<float> host(0, {2}, {2});
    host.outputs[0].silenceFlags = 0x2;
    FakeChanges changes{FakeQueue(kGainParam, {{0, 0.5}, {1, 0.9}})};
    host.data.inputParameterChanges = &changes;
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    EXPECT_EQ(core->paramValues[kGainParam].load(), 0.5);
    EXPECT_EQ(core->sampleClock, 700);
    EXPECT_EQ(host.flags(0), 0x2u); // as the host passed them
    EXPECT_FALSE(core->gainStatePrimed); // no kernel ran
}

TEST(BlockFrame, UnknownSampleSizeFailsAtTheFirstSubBlock)
{
    auto core = makeCore(INPUT, 512);
    core->sampleClock = 100;
    HostBlock<float> host(64, {2}, {2});
    host.fillOutputs(7.0f);
    host.data.symbolicSampleSize = 2;
    FakeChanges changes{FakeQueue(5, {{0, 0.5}}), FakeQueue(7, {{10, 0.5}})};
    host.data.inputParameterChanges = &changes;
    EXPECT_EQ(processBlock(*core, host.data), kInvalidArgument);
    EXPECT_EQ(core->paramValues[5].load(), 0.5); // applied before the first stretch
    EXPECT_EQ(core->paramValues[7].load(), 0.0);
    EXPECT_EQ(core->sampleClock, 100);
    EXPECT_EQ(host.out(0, 0, 0), 7.0f);
}

struct SyncEventCase {
    std::string name;
    Event event;
    tresult getResult;
    bool starts;
};

TEST(BlockFrame, RecorderTakesOnlyExactSyncMessagesInsideTheBlock)
{
    static const uint8 start[] = {0xF0, 0x7D, 'K', 'T', 'S', 0x01, 0xF7};
    static const uint8 three[] = {0xF0, 0x7D, 'K', 'T', 'S', 0x03, 0xF7};
    static const uint8 eight[] = {0xF0, 0x7D, 'K', 'T', 'S', 0x01, 0xF7, 0x00};
    static const uint8 tag[] = {0xF0, 0x7D, 'K', 'T', 'X', 0x01, 0xF7};
    static const uint8 tail[] = {0xF0, 0x7D, 'K', 'T', 'S', 0x01, 0xF0};
    Event note = sysexEvent(100, start, 7);
    note.type = Event::kNoteOnEvent;
    Event otherPayload = sysexEvent(100, start, 7);
    otherPayload.data.type = 1;
    Event otherBus = sysexEvent(100, start, 7);
    otherBus.busIndex = 3;
    const std::vector<SyncEventCase> cases = {
        {"exact start", sysexEvent(100, start, 7), kResultOk, true},
        {"any bus index", otherBus, kResultOk, true},
        {"command 03", sysexEvent(100, three, 7), kResultOk, false},
        {"eight bytes", sysexEvent(100, eight, 8), kResultOk, false},
        {"size six", sysexEvent(100, start, 6), kResultOk, false},
        {"wrong tag", sysexEvent(100, tag, 7), kResultOk, false},
        {"no end byte", sysexEvent(100, tail, 7), kResultOk, false},
        {"null bytes", sysexEvent(100, nullptr, 7), kResultOk, false},
        {"offset equal to the block", sysexEvent(256, start, 7), kResultOk, false},
        {"negative offset", sysexEvent(-1, start, 7), kResultOk, false},
        {"not a data event", note, kResultOk, false},
        {"not system exclusive", otherPayload, kResultOk, false},
        {"refused by the list", sysexEvent(100, start, 7), kResultFalse, false},
    };
    for (const auto& c : cases) {
        auto core = makeCore(RECORDER, 512);
        core->paramValues[kFollowTransportParam].store(1.0);
        HostBlock<float> host(256, {2}, {2});
        FakeEvents events;
        events.events = {c.event};
        events.results = {c.getResult};
        host.data.inputEvents = &events;
        ASSERT_EQ(processBlock(*core, host.data), kResultOk) << c.name;
        EXPECT_EQ(core->syncRunning, c.starts) << c.name;
        EXPECT_EQ(core->paramValues[kPlayRecordParam].load(), c.starts ? 1.0 : 0.0) << c.name;
        EXPECT_EQ(core->paramValues[kFollowTransportParam].load(), c.starts ? 0.0 : 1.0) << c.name;
    }
}

TEST(BlockFrame, OnlyRecorderReadsTheEventList)
{
    static const uint8 start[] = {0xF0, 0x7D, 'K', 'T', 'S', 0x01, 0xF7};
    for (ModuleKind kind : {INPUT, OUTPUT, SUMMING, BREAKOUT, PLAYER, FADER_BANK, DISTRIBUTOR}) {
        auto core = makeCore(kind, 512);
        HostBlock<float> host(64, {}, {2});
        FakeEvents events;
        events.events = {sysexEvent(0, start, 7)};
        host.data.inputEvents = &events;
        ASSERT_EQ(processBlock(*core, host.data), kResultOk) << kind;
        EXPECT_EQ(events.countReads, 0) << kind;
        EXPECT_FALSE(core->syncRunning) << kind;
    }
}

TEST(BlockFrame, OnlyTheFirst4096EventsAreScanned)
{
    static const uint8 start[] = {0xF0, 0x7D, 'K', 'T', 'S', 0x01, 0xF7};
    static const uint8 other[] = {0xF0, 0x7D, 'K', 'T', 'S', 0x03, 0xF7};
    auto core = makeCore(RECORDER, 512);
    HostBlock<float> host(64, {2}, {2});
    FakeEvents events;
    events.events.assign(4096, sysexEvent(0, other, 7));
    events.events.push_back(sysexEvent(0, start, 7));
    host.data.inputEvents = &events;
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    EXPECT_FALSE(core->syncRunning);

    events.events[4095] = sysexEvent(0, start, 7);
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    EXPECT_TRUE(core->syncRunning);
}

TEST(TailSettings, SecondsNeverFallBelowTenMilliseconds)
{
    EXPECT_DOUBLE_EQ(tailSilenceSeconds(0.05), 0.5);
    EXPECT_EQ(tailSilenceSeconds(0.0), 0.01);
    EXPECT_EQ(tailSilenceSeconds(0.0005), 0.01);
    EXPECT_DOUBLE_EQ(tailSilenceSeconds(1.0), 10.0);
    EXPECT_DOUBLE_EQ(maximumTailSeconds(1.0 / 120.0), 30.0);
    EXPECT_EQ(maximumTailSeconds(0.0), 0.01);
    EXPECT_DOUBLE_EQ(maximumTailSeconds(1.0), 3600.0);
}

} // namespace
} // namespace kestravel::plugins::test
