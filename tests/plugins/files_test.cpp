// The file modules: choosing a file, the status line, activation and take naming.

#include "plugin_fixture.h"

#include "pluginterfaces/vst/ivstprocesscontext.h"
#include "pluginterfaces/vst/vstspeaker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

namespace kestravel::plugins::test {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace fs = std::filesystem;

void setUp(UtilityPlugin& plugin, double rate = 48000.0)
{
    ProcessSetup setup{kRealtime, kSample32, 256, rate};
    ASSERT_EQ(plugin.setupProcessing(setup), kResultOk);
}

// One stereo input bus and one stereo output bus of 32-bit blocks, ready for process().
struct StereoBlock {
    StereoBlock(int32 mode, int32 samples)
        : in(2, std::vector<float>(static_cast<size_t>(samples))), out(2, std::vector<float>(static_cast<size_t>(samples)))
    {
        for (size_t c = 0; c < 2; ++c) {
            inRows[c] = in[c].data();
            outRows[c] = out[c].data();
        }
        inBus.numChannels = 2;
        inBus.channelBuffers32 = inRows;
        outBus.numChannels = 2;
        outBus.channelBuffers32 = outRows;
        data.processMode = mode;
        data.symbolicSampleSize = kSample32;
        data.numSamples = samples;
        data.numInputs = 1;
        data.inputs = &inBus;
        data.numOutputs = 1;
        data.outputs = &outBus;
    }
    StereoBlock(const StereoBlock&) = delete;
    StereoBlock& operator=(const StereoBlock&) = delete;

    std::vector<std::vector<float>> in, out;
    float* inRows[2]{};
    float* outRows[2]{};
    AudioBusBuffers inBus{};
    AudioBusBuffers outBus{};
    ProcessData data{};
};

TEST(FileControl, KindsWithoutAFileRefuse)
{
    for (ModuleKind kind : {INPUT, OUTPUT, SUMMING, BREAKOUT, FADER_BANK, DISTRIBUTOR}) {
        Module module(kind);
        std::string message;
        EXPECT_FALSE(module->setFile(u"/tmp/x.wav", message));
        EXPECT_EQ(message, "Module has no file interface");
        EXPECT_EQ(module->statusText(), "Host audio ports | Digital processing | No extra hardware engine");
    }
}

TEST(FileControl, PlayerLoadsReportsAndKeepsItsFileOnFailure)
{
    TempDir dir;
    writeTestWav(dir.path / "loop.wav", 1000);
    Module player(PLAYER);
    EXPECT_EQ(player->statusText(), "Choose a WAV file. Disk is never read in the audio callback.");
    std::string message;
    ASSERT_TRUE(player->setFile(dir.file("loop.wav"), message)) << message;
    EXPECT_EQ(player->statusText(), "loop.wav | Ready");
    EXPECT_EQ(player->player.totalFrames.load(), 1000u);

    std::ofstream(dir.path / "bad.wav") << "RIFF0000WAVEjunk";
    EXPECT_FALSE(player->setFile(dir.file("bad.wav"), message));
    EXPECT_EQ(message, "Unsupported WAV encoding/layout");
    EXPECT_EQ(player->player.totalFrames.load(), 1000u);
    EXPECT_EQ(player->statusText(), "loop.wav | Ready");

    player->player.playing.store(true);
    EXPECT_FALSE(player->setFile(dir.file("loop.wav"), message));
    EXPECT_EQ(message, "Stop file playback before replacing WAV; the DAW audio engine can stay running");
    EXPECT_EQ(player->statusText(), "loop.wav | Playing");
}

TEST(FileControl, RecorderArmsAtOnceAndNeverOverwrites)
{
    TempDir dir;
    Module recorder(RECORDER);
    setUp(*recorder);
    EXPECT_EQ(recorder->statusText(), "Choose a NEW WAV destination before playback");
    std::string message;
    ASSERT_TRUE(recorder->setFile(dir.file("take.wav"), message)) << message;
    EXPECT_EQ(recorder->statusText(), "Armed and ready");
    EXPECT_EQ(recorder->recorder.channels.load(), 2u);

    // An armed recorder takes a new destination; the empty armed file is finalized.
    ASSERT_TRUE(recorder->setFile(dir.file("second.wav"), message)) << message;
    EXPECT_EQ(fs::file_size(dir.path / "take.wav"), 668u); // a new module stamps its takes

    // The refusal comes after the previous writer was stopped: the recorder is left unarmed.
    EXPECT_FALSE(recorder->setFile(dir.file("take.wav"), message));
    EXPECT_EQ(message, "Destination exists; choose a new file");
    EXPECT_EQ(recorder->destinationPath, dir.file("second.wav"));
    EXPECT_FALSE(recorder->recorder.ready.load());

    ASSERT_TRUE(recorder->setFile(dir.file("third.wav"), message)) << message;
    recorder->recorder.startCapture(0);
    EXPECT_FALSE(recorder->setFile(dir.file("fourth.wav"), message));
    EXPECT_EQ(message, "Stop recording first");
    EXPECT_EQ(recorder->statusText(), "Recording 0 frames; dropped 0");
}

// What the editor reads of the audio path through the module object: bus widths, peaks taken
// once, and the take light, which a clip during a take lights and arming the next take puts out.
TEST(FileControl, TheEditorReadsTheMetersAndTheTakeLight)
{
    TempDir dir;
    Module recorder(RECORDER);
    setUp(*recorder);
    EXPECT_EQ(recorder->inputBusChannelCount(0), 2);
    EXPECT_EQ(recorder->outputBusChannelCount(0), 2);
    EXPECT_EQ(recorder->outputBusChannelCount(1), 0);
    EXPECT_EQ(recorder->inputBusChannelCount(-1), 0);
    std::string message;
    ASSERT_TRUE(recorder->setFile(dir.file("take.wav"), message)) << message;
    recorder->activateBus(kAudio, kInput, 0, true);
    recorder->activateBus(kAudio, kOutput, 0, true);
    recorder->setParamNormalized(kFollowTransportParam, 0.0);
    ASSERT_EQ(recorder->setProcessing(true), kResultOk);

    StereoBlock block(kRealtime, 64);
    std::fill(block.in[0].begin(), block.in[0].end(), 0.5f);
    std::fill(block.in[1].begin(), block.in[1].end(), -0.25f);
    ASSERT_EQ(recorder->process(block.data), kResultOk);
    EXPECT_EQ(recorder->takeMeterPeak(MeterSide::Input, 0, 0), 0.5f);
    EXPECT_EQ(recorder->takeMeterPeak(MeterSide::Input, 0, 1), 0.25f);
    EXPECT_EQ(recorder->takeMeterPeak(MeterSide::Input, 0, 0), 0.0f); // taken
    EXPECT_EQ(recorder->takeMeterPeak(MeterSide::Output, 0, 0), 0.0f); // its output is its input
    EXPECT_FALSE(recorder->recorderTakeClipped());

    recorder->setParamNormalized(kPlayRecordParam, 1.0);
    block.in[1][7] = -1.0f;
    ASSERT_EQ(recorder->process(block.data), kResultOk);
    EXPECT_TRUE(recorder->recorderTakeClipped());
    recorder->setParamNormalized(kPlayRecordParam, 0.0);
    ASSERT_EQ(recorder->process(block.data), kResultOk);
    EXPECT_TRUE(recorder->recorderTakeClipped()); // for the rest of that take
    ASSERT_EQ(recorder->setProcessing(false), kResultOk);
    recorder->recorder.stopWriter();
    ASSERT_TRUE(recorder->setFile(dir.file("next.wav"), message)) << message;
    EXPECT_FALSE(recorder->recorderTakeClipped());
}

// A chosen name with a NUL in it would reach the OS cut short, and every later take would
// land on the cut name: refused before anything is touched.
TEST(FileControl, NamesWithANulAreRefused)
{
    TempDir dir;
    writeTestWav(dir.path / "a.wav", 100);
    // Cut at the NUL, the PLAYER's name is a file that exists, the RECORDER's a free name.
    for (auto [kind, name] : {std::pair{PLAYER, "a.wav"}, std::pair{RECORDER, "new.wav"}}) {
        Module module(kind);
        setUp(*module);
        std::string message;
        EXPECT_FALSE(module->setFile(dir.file(name) + std::u16string(1, u'\0') + u"x.wav", message));
        EXPECT_EQ(message, "File name contains a NUL character");
        EXPECT_TRUE(module->destinationPath.empty());
        EXPECT_FALSE(module->recorder.ready.load());
        EXPECT_EQ(module->player.totalFrames.load(), 0u);
    }
    EXPECT_FALSE(fs::exists(dir.path / "new.wav"));
}

TEST(Activation, RecorderRearmsOnTheStoredPathOrTheFirstFreeTake)
{
    TempDir dir;
    Module recorder(RECORDER);
    setUp(*recorder);
    recorder->destinationPath = dir.file("song.WAV");

    // Nothing at the stored path yet: that very path is armed.
    ASSERT_EQ(recorder->setActive(true), kResultOk);
    EXPECT_EQ(recorder->destinationPath, dir.file("song.WAV"));
    EXPECT_TRUE(recorder->recorder.ready.load());

    // Same channels and rate: the armed file stays armed.
    ASSERT_EQ(recorder->setActive(true), kResultOk);
    EXPECT_EQ(recorder->destinationPath, dir.file("song.WAV"));

    ASSERT_EQ(recorder->setActive(false), kResultOk);
    EXPECT_FALSE(recorder->recorder.ready.load());
    EXPECT_EQ(recorder->statusText(), "Finalized song.WAV");
    std::ofstream(dir.path / "song-take1.wav") << "someone else's";

    ASSERT_EQ(recorder->setActive(true), kResultOk);
    EXPECT_EQ(recorder->destinationPath, dir.file("song-take2.wav"));
    ASSERT_EQ(recorder->setActive(false), kResultOk);
    ASSERT_EQ(recorder->setActive(true), kResultOk);
    EXPECT_EQ(recorder->destinationPath, dir.file("song-take2-take1.wav"));

    // A change of rate finalizes the armed file and takes a new name.
    setUp(*recorder, 44100.0);
    ASSERT_EQ(recorder->setActive(true), kResultOk);
    EXPECT_EQ(recorder->destinationPath, dir.file("song-take2-take1-take1.wav"));
    EXPECT_EQ(fs::file_size(dir.path / "song-take2-take1.wav"), 668u);
}

// A new RECORDER time-stamps its takes; a project saved before the switch existed reads 0 there
// and keeps writing the plain 44-byte header it always wrote.
TEST(FileControl, SavedStatesFromBeforeKeepThePlainHeader)
{
    Module fresh(RECORDER);
    Steinberg::Vst::ParameterInfo info{};
    for (int32 i = 0; i < fresh->getParameterCount() && info.id != kTimestampTakesParam; ++i)
        ASSERT_EQ(fresh->getParameterInfo(i, info), kResultOk);
    ASSERT_EQ(info.id, kTimestampTakesParam);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(info.title)), u"Timestamp takes (BWF)");
    EXPECT_EQ(info.stepCount, 1);
    EXPECT_EQ(info.defaultNormalizedValue, 1.0);
    EXPECT_EQ(fresh->getParamNormalized(kTimestampTakesParam), 1.0);

    MemoryStream saved;
    ASSERT_EQ(fresh->getState(&saved), kResultOk);
    std::string text = saved.data.substr(4);
    // The same document with 0 in the switch's slot, as a state saved before it existed reads.
    size_t at = text.find("\"parameters\":[");
    ASSERT_NE(at, std::string::npos);
    at += 14;
    for (uint32_t slot = 0; slot < kTimestampTakesParam; ++slot)
        at = text.find(',', at) + 1;
    ASSERT_EQ(text.substr(at, 4), "1.0,") << text.substr(0, 90);
    text.replace(at, 3, "0.0");
    const auto n = static_cast<uint32_t>(text.size());
    MemoryStream old(std::string{static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
                                 static_cast<char>((n >> 16) & 0xFF), static_cast<char>(n >> 24)} + text);

    TempDir dir;
    Module recorder(RECORDER);
    setUp(*recorder);
    ASSERT_EQ(recorder->setState(&old), kResultOk);
    EXPECT_EQ(recorder->getParamNormalized(kTimestampTakesParam), 0.0);
    std::string message;
    ASSERT_TRUE(recorder->setFile(dir.file("old.wav"), message)) << message;
    ASSERT_EQ(recorder->setActive(false), kResultOk);
    EXPECT_EQ(fs::file_size(dir.path / "old.wav"), 44u);
}

// A host's channel context: only the name is kept, as a host would hand it.
class TrackContext : public IAttributeList {
public:
    std::u16string name;
    bool named = true;
    tresult PLUGIN_API queryInterface(const TUID, void** obj) override
    {
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }
    tresult PLUGIN_API setInt(AttrID, int64) override { return kResultFalse; }
    tresult PLUGIN_API getInt(AttrID, int64&) override { return kResultFalse; }
    tresult PLUGIN_API setFloat(AttrID, double) override { return kResultFalse; }
    tresult PLUGIN_API getFloat(AttrID, double&) override { return kResultFalse; }
    tresult PLUGIN_API setString(AttrID, const TChar*) override { return kResultFalse; }
    tresult PLUGIN_API getString(AttrID id, TChar* string, uint32 sizeInBytes) override
    {
        if (!named || std::string(id) != "channel name" || sizeInBytes < 2 * (name.size() + 1))
            return kResultFalse;
        std::memcpy(string, name.c_str(), 2 * (name.size() + 1));
        return kResultTrue;
    }
    tresult PLUGIN_API setBinary(AttrID, const void*, uint32) override { return kResultFalse; }
    tresult PLUGIN_API getBinary(AttrID, const void*&, uint32&) override { return kResultFalse; }
};

// The host names the track through the channel context: the name is the Description of the
// take's time stamp. A host that names nothing leaves the last name in place.
TEST(FileControl, TrackNameGoesIntoTheTimeStamp)
{
    TempDir dir;
    Module recorder(RECORDER);
    setUp(*recorder);
    void* listener = nullptr;
    ASSERT_EQ(recorder->queryInterface(Vst::ChannelContext::IInfoListener::iid, &listener), kResultOk);
    ASSERT_NE(listener, nullptr);
    auto* info = static_cast<Vst::ChannelContext::IInfoListener*>(listener);
    TrackContext context;
    context.name = u"Drums \u00FCber";
    EXPECT_EQ(info->setChannelContextInfos(&context), kResultOk);
    context.named = false;
    EXPECT_EQ(info->setChannelContextInfos(&context), kResultOk);
    EXPECT_EQ(info->setChannelContextInfos(nullptr), kInvalidArgument);
    info->release();

    std::string message;
    ASSERT_TRUE(recorder->setFile(dir.file("named.wav"), message)) << message;
    recorder->recorder.startCapture(0);
    ASSERT_EQ(recorder->setActive(false), kResultOk);
    std::ifstream file(dir.path / "named.wav", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 668u);
    EXPECT_EQ(bytes.substr(50, 4), "bext");
    EXPECT_EQ(std::string(bytes.c_str() + 58), "Drums \xC3\xBC" "ber"); // UTF-8, as the host wrote it
}

TEST(Activation, FailuresReportFalseAndKeepThePath)
{
    TempDir dir;
    Module recorder(RECORDER);
    setUp(*recorder);
    recorder->destinationPath = dir.file("missing-folder/song.wav");
    EXPECT_EQ(recorder->setActive(true), kResultFalse);
    EXPECT_EQ(recorder->destinationPath, dir.file("missing-folder/song.wav"));
    EXPECT_FALSE(recorder->recorder.ready.load());

    Module other(OUTPUT);
    other->destinationPath = dir.file("x.wav");
    EXPECT_EQ(other->setActive(true), kResultOk);
    EXPECT_FALSE(fs::exists(dir.path / "x.wav"));
}

TEST(Activation, DeactivationEndsTheTakeAndResetsTheSwitch)
{
    TempDir dir;
    Module recorder(RECORDER);
    setUp(*recorder);
    std::string message;
    ASSERT_TRUE(recorder->setFile(dir.file("live.wav"), message)) << message;
    recorder->setParamNormalized(kPlayRecordParam, 1.0);
    recorder->recorder.startCapture(0);
    float samples[2][64] = {};
    samples[0][5] = 0.5f;
    const float* rows[2] = {samples[0], samples[1]};
    recorder->recorder.pushBlock(rows, 2, 64, 0);
    recorder->syncRunning = true;
    ASSERT_EQ(recorder->setActive(false), kResultOk);
    EXPECT_EQ(recorder->getParamNormalized(kPlayRecordParam), 0.0);
    EXPECT_FALSE(recorder->syncRunning);
    EXPECT_TRUE(recorder->recorder.finished.load());
    EXPECT_EQ(fs::file_size(dir.path / "live.wav"), 668u + 64u * 2u * 4u);
}

// The user keeps choosing destinations while the host bounces offline with its transport
// toggling every few blocks: takes start, stop and finalize on the new files at any moment, and
// every choice returns, armed, refused or already finished. A hang aborts the run.
TEST(FileControl, ChoicesDuringAnOfflineBounceAlwaysReturn)
{
    TempDir dir;
    Module recorder(RECORDER);
    constexpr int32 kBlock = 64;
    ProcessSetup setup{kOffline, kSample32, kBlock, 48000.0};
    ASSERT_EQ(recorder->setupProcessing(setup), kResultOk);
    recorder->activateBus(kAudio, kInput, 0, true);
    recorder->activateBus(kAudio, kOutput, 0, true);
    recorder->setParamNormalized(kTailSilenceTimeParam, 0.0); // silent input: tails end at once
    recorder->setParamNormalized(kMaximumTailParam, 0.0);
    ASSERT_EQ(recorder->setProcessing(true), kResultOk);

    std::atomic<bool> done{false};
    std::thread audio([&] {
        StereoBlock block(kOffline, kBlock);
        ProcessContext context{};
        block.data.processContext = &context;
        for (uint64_t b = 0; !done.load(); ++b) {
            context.state = b % 24 < 3 ? static_cast<uint32>(ProcessContext::kPlaying) : 0u;
            context.projectTimeSamples = static_cast<int64>(b * kBlock);
            recorder->process(block.data);
        }
    });

    std::atomic<int> returned{0};
    std::thread watchdog([&] {
        int seen = 0;
        auto lastChange = std::chrono::steady_clock::now();
        while (!done.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (returned.load() != seen) {
                seen = returned.load();
                lastChange = std::chrono::steady_clock::now();
            } else if (std::chrono::steady_clock::now() - lastChange > std::chrono::seconds(20)) {
                std::fprintf(stderr, "choosing a destination hangs after %d choices\n", seen);
                std::abort();
            }
        }
    });
    int armed = 0;
    int late = 0; // choices that ran into the time limit: none may
    for (int i = 0; i < 2000; ++i) {
        std::string message;
        std::string name = std::to_string(i);
        name += ".wav";
        armed += recorder->setFile(dir.file(name), message) ? 1 : 0;
        late += message.find("in time") != std::string::npos ? 1 : 0;
        ++returned;
        if (late > 0)
            break;
    }
    done.store(true);
    audio.join();
    watchdog.join();
    ASSERT_EQ(recorder->setProcessing(false), kResultOk);
    ASSERT_EQ(recorder->setActive(false), kResultOk);
    EXPECT_EQ(late, 0);
    EXPECT_EQ(returned.load(), 2000);
    EXPECT_GT(armed, 0);
}

// What rackhost reads through the module's report: the last refusal in the module's words
// (cleared by a success), and the files and counts of a take that continued in a part.
TEST(FileControl, ReportGivesTheLastRefusalAndTheTakesFiles)
{
    TempDir dir;
    Module recorder(RECORDER);
    setUp(*recorder);
    IModuleReport& report = *recorder.plugin;
    char8 text[256];
    std::string message;
    std::ofstream(dir.path / "taken.wav") << "x";
    EXPECT_FALSE(recorder->setFile(dir.file("taken.wav"), message));
    EXPECT_EQ(report.getLastFileError(text, sizeof text), kResultTrue);
    EXPECT_STREQ(text, "Destination exists; choose a new file");
    EXPECT_EQ(report.getLastFileError(text, 8), kResultTrue);
    EXPECT_STREQ(text, "Destina"); // cut to the caller's size

    FileRecorder::WriterOptions parts;
    parts.fileByteBudget = 100 * 2 * 4;
    recorder->recorder.setWriterOptionsForTesting(parts);
    ASSERT_TRUE(recorder->setFile(dir.file("take.wav"), message)) << message;
    EXPECT_EQ(report.getLastFileError(text, sizeof text), kResultFalse);
    EXPECT_STREQ(text, "");
    recorder->recorder.startCapture(0);
    float samples[2][150] = {};
    const float* rows[2] = {samples[0], samples[1]};
    recorder->recorder.pushBlock(rows, 2, 150, 0);
    ASSERT_EQ(recorder->setActive(false), kResultOk);

    TakeReport take;
    ASSERT_EQ(report.getTakeReport(&take), kResultOk);
    EXPECT_EQ(take.framesWritten, 150u);
    EXPECT_EQ(take.framesDropped, 0u);
    EXPECT_EQ(take.files, 2);
    EXPECT_EQ(take.failed, 0);
    EXPECT_EQ(take.finished, 1);
    ASSERT_EQ(report.getTakeFile(1, text, sizeof text), kResultOk);
    EXPECT_EQ(fs::path(text).filename(), "take-part2.wav");
    EXPECT_EQ(report.getTakeFile(2, text, sizeof text), kInvalidArgument);

    Module output(OUTPUT);
    EXPECT_EQ(static_cast<IModuleReport&>(*output.plugin).getTakeReport(&take), kResultFalse);
}

// The ring is sized when processing is set up, in time: half a second of the bus's channels x
// rate at least, so a 64-channel take at 384 kHz has a ring of 2^24 samples before it starts.
TEST(Setup, RecorderRingFollowsChannelsAndRate)
{
    Module recorder(RECORDER);
    SpeakerArrangement wide = ~SpeakerArrangement{0};
    ASSERT_EQ(recorder->setBusArrangements(&wide, 1, &wide, 1), kResultTrue);
    setUp(*recorder, 384000.0);
    EXPECT_EQ(recorder->recorder.ringSamples(), 1u << 24);
    SpeakerArrangement stereo = SpeakerArr::kStereo;
    ASSERT_EQ(recorder->setBusArrangements(&stereo, 1, &stereo, 1), kResultTrue);
    setUp(*recorder, 96000.0);
    EXPECT_EQ(recorder->recorder.ringSamples(), 1u << 20);
    ASSERT_EQ(recorder->setBusArrangements(&wide, 1, &wide, 1), kResultTrue);
    ASSERT_EQ(recorder->setActive(true), kResultOk); // arrangement changed after set-up
    EXPECT_EQ(recorder->recorder.ringSamples(), 1u << 22);

    Module output(OUTPUT); // other kinds keep the ring they were built with
    ASSERT_EQ(output->setBusArrangements(&wide, 1, &wide, 1), kResultTrue);
    setUp(*output, 384000.0);
    EXPECT_EQ(output->recorder.ringSamples(), 1u << 20);
}

struct ProcessModeCase {
    const char* name;
    int32 mode;
    bool waits;
};

class RecorderProcessMode : public ::testing::TestWithParam<ProcessModeCase> {};

// The host's process mode reaches the recorder: in an offline bounce a slow disk holds the
// render back instead of losing frames; in real time and prefetch a full ring drops as before.
TEST_P(RecorderProcessMode, OnlyOfflineWaitsForTheWriter)
{
    const ProcessModeCase pc = GetParam();
    TempDir dir;
    Module recorder(RECORDER);
    constexpr int32 kBlock = 4096;
    ProcessSetup setup{pc.mode, kSample32, kBlock, 8000.0};
    ASSERT_EQ(recorder->setupProcessing(setup), kResultOk);
    // A millisecond per write; in the dropping modes the writer also waits for the end of the
    // render after its first write, so the ring surely fills however fast the machine is.
    std::atomic<bool> renderDone{pc.waits};
    FileRecorder::WriterOptions slow;
    slow.afterWrite = [&renderDone](uint64_t) {
        do
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        while (!renderDone.load());
    };
    recorder->recorder.setWriterOptionsForTesting(slow);
    std::string message;
    ASSERT_TRUE(recorder->setFile(dir.file("bounce.wav"), message)) << message;
    recorder->activateBus(kAudio, kInput, 0, true);
    recorder->activateBus(kAudio, kOutput, 0, true);
    recorder->setParamNormalized(kFollowTransportParam, 0.0);
    recorder->setParamNormalized(kPlayRecordParam, 1.0);
    ASSERT_EQ(recorder->setProcessing(true), kResultOk);

    StereoBlock block(pc.mode, kBlock);
    auto& in = block.in;
    ProcessData& data = block.data;

    const uint64_t blocks = 4 * recorder->recorder.ringSamples() / (2 * kBlock) + 1;
    for (uint64_t b = 0; b < blocks; ++b) {
        for (int32 i = 0; i < kBlock; ++i) {
            const auto frame = static_cast<float>(b * kBlock + static_cast<uint64_t>(i));
            in[0][static_cast<size_t>(i)] = frame;
            in[1][static_cast<size_t>(i)] = -frame;
        }
        ASSERT_EQ(recorder->process(data), kResultOk);
    }
    renderDone.store(true);
    ASSERT_EQ(recorder->setProcessing(false), kResultOk);
    ASSERT_EQ(recorder->setActive(false), kResultOk);
    const uint64_t frames = blocks * kBlock;
    EXPECT_EQ(recorder->recorder.framesWritten.load() + recorder->recorder.droppedFrames.load(), frames);
    if (!pc.waits) {
        EXPECT_GT(recorder->recorder.droppedFrames.load(), 0u);
        return;
    }
    EXPECT_EQ(recorder->recorder.droppedFrames.load(), 0u);
    std::ifstream file(dir.path / "bounce.wav", std::ios::binary);
    file.seekg(668); // past the time-stamped header of a new module
    std::vector<float> samples(frames * 2);
    file.read(reinterpret_cast<char*>(samples.data()), static_cast<std::streamsize>(samples.size() * 4));
    ASSERT_TRUE(file.good());
    for (uint64_t f = 0; f < frames; ++f)
        ASSERT_TRUE(samples[2 * f] == static_cast<float>(f) && samples[2 * f + 1] == -static_cast<float>(f))
            << "frame " << f << ": " << samples[2 * f] << ", " << samples[2 * f + 1];
}

INSTANTIATE_TEST_SUITE_P(Modes, RecorderProcessMode,
                         ::testing::Values(ProcessModeCase{"Realtime", kRealtime, false},
                                           ProcessModeCase{"Prefetch", kPrefetch, false},
                                           ProcessModeCase{"Offline", kOffline, true}),
                         [](const auto& p) { return std::string(p.param.name); });

} // namespace
} // namespace kestravel::plugins::test

namespace kestravel::plugins::test {
namespace {

std::string stateWithPath(ModuleKind kind, const std::u16string& path, double follow = 1.0)
{
    Module source(kind);
    source->destinationPath = path;
    source->setParamNormalized(kFollowTransportParam, follow);
    MemoryStream stream;
    EXPECT_EQ(source->getState(&stream), kResultOk);
    return stream.data;
}

// The order some hosts use when a project opens: active and processing first, the state after.
TEST(RestoreWhileActive, RecorderArmsTheRestoredDestinationAtOnce)
{
    TempDir dir;
    Module recorder(RECORDER);
    setUp(*recorder);
    ASSERT_EQ(recorder->setActive(true), kResultOk);
    ASSERT_EQ(recorder->setProcessing(true), kResultOk);
    EXPECT_FALSE(recorder->recorder.ready.load());

    MemoryStream state(stateWithPath(RECORDER, dir.file("song.wav")));
    ASSERT_EQ(recorder->setState(&state), kResultOk);
    EXPECT_TRUE(recorder->recorder.ready.load());
    EXPECT_EQ(recorder->destinationPath, dir.file("song.wav"));
    EXPECT_TRUE(fs::exists(dir.path / "song.wav"));

    // Restored again with the same destination: the armed take stays.
    MemoryStream again(stateWithPath(RECORDER, dir.file("song.wav")));
    ASSERT_EQ(recorder->setState(&again), kResultOk);
    EXPECT_EQ(recorder->destinationPath, dir.file("song.wav"));
    recorder->setProcessing(false);
    recorder->setActive(false);
}

// A take that is running is never cut or re-targeted: the restored destination and transport
// switches wait, the status line says where the next take goes, and the next activation arms it.
TEST(RestoreWhileActive, RecorderTakeRunsOnAndTheRestoredDestinationWaits)
{
    TempDir dir;
    Module recorder(RECORDER);
    setUp(*recorder);
    std::string message;
    ASSERT_TRUE(recorder->setFile(dir.file("live.wav"), message)) << message;
    ASSERT_EQ(recorder->setActive(true), kResultOk);
    ASSERT_EQ(recorder->setProcessing(true), kResultOk);
    recorder->setParamNormalized(kFollowTransportParam, 0.0);
    recorder->setParamNormalized(kPlayRecordParam, 1.0);
    recorder->recorder.startCapture(0);
    ASSERT_TRUE(recorder->recorder.recording.load());

    const std::string restored = stateWithPath(RECORDER, dir.file("other.wav"), 1.0);
    MemoryStream state(restored);
    ASSERT_EQ(recorder->setState(&state), kResultOk);
    EXPECT_TRUE(recorder->recorder.recording.load());
    EXPECT_EQ(recorder->destinationPath, dir.file("live.wav"));
    EXPECT_EQ(recorder->getParamNormalized(kPlayRecordParam), 1.0);
    EXPECT_EQ(recorder->getParamNormalized(kFollowTransportParam), 0.0);
    EXPECT_NE(recorder->statusText().find("next take: other.wav"), std::string::npos) << recorder->statusText();
    EXPECT_FALSE(fs::exists(dir.path / "other.wav"));
    // The project now holds the restored destination.
    MemoryStream saved;
    ASSERT_EQ(recorder->getState(&saved), kResultOk);
    EXPECT_NE(saved.data.find("other.wav"), std::string::npos);

    recorder->setProcessing(false);
    ASSERT_EQ(recorder->setActive(false), kResultOk);
    EXPECT_TRUE(fs::exists(dir.path / "live.wav"));
    ASSERT_EQ(recorder->setActive(true), kResultOk);
    EXPECT_EQ(recorder->destinationPath, dir.file("other.wav"));
    EXPECT_TRUE(recorder->recorder.ready.load());
    EXPECT_EQ(recorder->statusText().find("next take"), std::string::npos);
    recorder->setActive(false);
}

// A PLAYER restored while it plays the same file keeps playing it.
TEST(RestoreWhileActive, PlayerKeepsPlayingItsOwnFile)
{
    TempDir dir;
    writeTestWav(dir.path / "loop.wav", 4800);
    Module player(PLAYER);
    setUp(*player);
    std::string message;
    ASSERT_TRUE(player->setFile(dir.file("loop.wav"), message)) << message;
    ASSERT_EQ(player->setActive(true), kResultOk);
    ASSERT_EQ(player->setProcessing(true), kResultOk);
    player->player.startPlayback(0, 0);
    MemoryStream same(stateWithPath(PLAYER, dir.file("loop.wav")));
    ASSERT_EQ(player->setState(&same), kResultOk);
    EXPECT_TRUE(player->player.playing.load());

    writeTestWav(dir.path / "other.wav", 480);
    MemoryStream other(stateWithPath(PLAYER, dir.file("other.wav")));
    ASSERT_EQ(player->setState(&other), kResultOk);
    EXPECT_EQ(player->player.totalFrames.load(), 480u);
    player->setProcessing(false);
    player->setActive(false);
}

// Hosts that suspend modules whose input is silent must keep calling a PLAYER with a file and a
// RECORDER with somewhere to record; they hear of a change through kLatencyChanged.
TEST(Tail, FileModulesAskToBeCalledAndSayWhenThatChanges)
{
    TempDir dir;
    writeTestWav(dir.path / "a.wav", 480);
    const std::string restart = "restart " + std::to_string(kLatencyChanged);
    for (const ModuleKind kind : {INPUT, OUTPUT, SUMMING, BREAKOUT, FADER_BANK, DISTRIBUTOR})
        EXPECT_EQ(Module(kind)->getTailSamples(), kNoTail) << kindDisplayName(kind);

    Module player(PLAYER);
    RecordingHandler handler;
    player->setComponentHandler(&handler);
    EXPECT_EQ(player->getTailSamples(), kNoTail);
    std::string message;
    ASSERT_TRUE(player->setFile(dir.file("a.wav"), message)) << message;
    EXPECT_EQ(player->getTailSamples(), kInfiniteTail);
    ASSERT_TRUE(player->setFile(dir.file("a.wav"), message)) << message;
    EXPECT_EQ(handler.calls, std::vector<std::string>{restart}) << "told once, not per load";
    MemoryStream empty(stateWithPath(PLAYER, u""));
    ASSERT_EQ(player->setState(&empty), kResultOk);
    EXPECT_EQ(player->getTailSamples(), kNoTail);
    EXPECT_EQ(handler.calls, (std::vector<std::string>{restart, restart}));

    Module recorder(RECORDER);
    RecordingHandler recorderHandler;
    recorder->setComponentHandler(&recorderHandler);
    setUp(*recorder);
    EXPECT_EQ(recorder->getTailSamples(), kNoTail);
    MemoryStream state(stateWithPath(RECORDER, dir.file("take.wav")));
    ASSERT_EQ(recorder->setState(&state), kResultOk);
    EXPECT_EQ(recorder->getTailSamples(), kInfiniteTail);
    // A host that reactivates on the news finds the same answer: no second round.
    ASSERT_EQ(recorder->setActive(true), kResultOk);
    ASSERT_EQ(recorder->setActive(false), kResultOk);
    EXPECT_EQ(recorder->getTailSamples(), kInfiniteTail);
    EXPECT_EQ(recorderHandler.calls, std::vector<std::string>{restart});
    player->setComponentHandler(nullptr);
    recorder->setComponentHandler(nullptr);
}

} // namespace
} // namespace kestravel::plugins::test
