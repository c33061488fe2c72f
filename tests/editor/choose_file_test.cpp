// The file dialog flow with scripted answers: cancel, refusal, recorder busy, success.

#include <gtest/gtest.h>

#include "editor/choose_file.h"
#include "fake_editor_host.h"
#include "scripted_dialogs.h"

namespace kestravel::plugins::testing {
namespace {

void* const kOwner = reinterpret_cast<void*>(0x5150);

TEST(ChooseFile, PlayerOpensExistingWavFilesOnly)
{
    FakeEditorHost host(PLAYER);
    ScriptedDialogs dialogs;
    EXPECT_FALSE(chooseFile(host, dialogs, kOwner)); // no answer scripted: the user cancels

    ASSERT_EQ(dialogs.fileDialogs.size(), 1u);
    const auto& call = dialogs.fileDialogs[0];
    EXPECT_FALSE(call.save);
    EXPECT_EQ(call.request.owner, kOwner);
    EXPECT_EQ(call.request.filter, std::u16string(u"WAV audio\0*.wav\0\0", 17));
    EXPECT_EQ(call.request.defaultExtension, u"wav");
    EXPECT_EQ(call.request.flags, 0x00080000u | 0x00000800u | 0x00000008u | 0x00001000u);
    EXPECT_TRUE(host.filesSet.empty());
    EXPECT_TRUE(dialogs.boxes.empty()); // a cancel is silent
}

TEST(ChooseFile, OtherKindsUseTheSaveDialogWithoutOverwritePrompt)
{
    for (ModuleKind kind : {RECORDER, OUTPUT}) {
        FakeEditorHost host(kind);
        ScriptedDialogs dialogs;
        dialogs.fileAnswers.push_back(u"/takes/new.wav");
        chooseFile(host, dialogs, kOwner);
        ASSERT_EQ(dialogs.fileDialogs.size(), 1u);
        EXPECT_TRUE(dialogs.fileDialogs[0].save);
        EXPECT_EQ(dialogs.fileDialogs[0].request.flags, 0x00080000u | 0x00000800u | 0x00000008u);
    }
}

TEST(ChooseFile, AcceptedPathReachesTheModuleUpToItsFirstNul)
{
    FakeEditorHost host(RECORDER);
    ScriptedDialogs dialogs;
    dialogs.fileAnswers.push_back(std::u16string(u"D:\\t\u00e4ke.wav\0junk", 16));
    EXPECT_TRUE(chooseFile(host, dialogs, kOwner));
    ASSERT_EQ(host.filesSet.size(), 1u);
    EXPECT_EQ(host.filesSet[0], u"D:\\t\u00e4ke.wav");
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST(ChooseFile, RefusedFileShowsTheModulesReasonAsAnError)
{
    const struct {
        ModuleKind kind;
        const char* reason;
        const char16_t* caption;
    } cases[] = {
        {PLAYER, "Stop file playback before replacing WAV; the DAW audio engine can stay running", u"KESTRAVEL PLAYER"},
        {RECORDER, "Destination exists; choose a new file", u"KESTRAVEL RECORDER"},
        {SUMMING, "Module has no file interface", u"KESTRAVEL SUMMING"},
    };
    for (const auto& c : cases) {
        FakeEditorHost host(c.kind);
        host.setFileRefusal = c.reason;
        ScriptedDialogs dialogs;
        dialogs.fileAnswers.push_back(u"C:\\x.wav");
        EXPECT_FALSE(chooseFile(host, dialogs, kOwner));
        ASSERT_EQ(dialogs.boxes.size(), 1u);
        const auto& box = dialogs.boxes[0];
        EXPECT_FALSE(box.wide); // the reason arrives as 8-bit text
        EXPECT_EQ(box.owner, kOwner);
        EXPECT_EQ(box.text, std::u16string(c.reason, c.reason + std::char_traits<char>::length(c.reason)));
        EXPECT_EQ(box.caption, c.caption);
        EXPECT_EQ(box.type, kMbOk | kMbIconError);
        EXPECT_EQ(box.type, 0x10u);
    }
}

TEST(ChooseFile, RecorderWhileRecordingRefusesBeforeAnyDialog)
{
    FakeEditorHost host(RECORDER);
    host.recording = true;
    ScriptedDialogs dialogs;
    dialogs.fileAnswers.push_back(u"C:\\x.wav");
    EXPECT_FALSE(chooseFile(host, dialogs, kOwner));
    EXPECT_TRUE(dialogs.fileDialogs.empty());
    EXPECT_TRUE(host.filesSet.empty());
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_TRUE(dialogs.boxes[0].wide);
    EXPECT_EQ(dialogs.boxes[0].text, u"Stop recording before choosing a new destination.");
    EXPECT_EQ(dialogs.boxes[0].caption, u"KESTRAVEL RECORDER");
    EXPECT_EQ(dialogs.boxes[0].type, kMbOk); // no icon

    // A PLAYER's "recording" flag means nothing.
    FakeEditorHost player(PLAYER);
    player.recording = true;
    ScriptedDialogs playerDialogs;
    chooseFile(player, playerDialogs, kOwner);
    EXPECT_EQ(playerDialogs.fileDialogs.size(), 1u);
}

} // namespace
} // namespace kestravel::plugins::testing
