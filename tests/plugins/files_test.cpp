// The file modules: choosing a file, the status line, activation and take naming.

#include "plugin_fixture.h"

#include "pluginterfaces/vst/vstspeaker.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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
    EXPECT_EQ(fs::file_size(dir.path / "take.wav"), 44u);

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
    EXPECT_EQ(fs::file_size(dir.path / "song-take2-take1.wav"), 44u);
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
    EXPECT_EQ(fs::file_size(dir.path / "live.wav"), 44u + 64u * 2u * 4u);
}

} // namespace
} // namespace kestravel::plugins::test
